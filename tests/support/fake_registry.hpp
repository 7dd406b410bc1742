#pragma once

#include "platform/registry.hpp"

#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace hotfix::test {

// HKEY_LOCAL_MACHINE as a test sets it up, value by value, and a record of how the reader used it. A query
// or close of a handle it never gave out, and a buffer smaller than the size offered, fail the test.
class FakeRegistry final : public RegistryApi {
public:
    static constexpr long kInvalidHandle = 6;
    static constexpr long kInvalidParameter = 87;
    static constexpr std::uint32_t kTextType = 1;

    struct Value {
        std::uint32_t type = kTextType;
        std::string bytes; // exactly as the registry hands them out
    };

    // A text value as Windows stores it, with its closing zero byte.
    void set(const std::string& key, const std::string& name, const std::string& text) {
        setBytes(key, name, kTextType, text + '\0');
    }
    void setBytes(const std::string& key, const std::string& name, std::uint32_t type, std::string bytes) {
        m_keys[key][name] = {type, std::move(bytes)};
    }

    long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) override {
        accesses.push_back(access);
        const auto found = m_keys.find(keyPath);
        if (rootKey != kLocalMachine || found == m_keys.end()) {
            return kFileNotFound;
        }
        key = m_next++;
        m_open[key] = found->first;
        ++openKeys;
        return kSuccess;
    }

    long queryValue(Key key, std::string_view valueName, std::uint32_t& type, std::span<std::byte> buffer,
                    std::uint32_t& size) override {
        capacities.push_back(size);
        if (buffer.size() < size) {
            ADD_FAILURE() << "a buffer smaller than the size offered";
            return kInvalidParameter;
        }
        const auto open = m_open.find(key);
        if (open == m_open.end()) {
            ADD_FAILURE() << "query of a key that is not open";
            return kInvalidHandle;
        }
        const auto& values = m_keys.at(open->second);
        const auto found = values.find(std::string(valueName));
        if (found == values.end()) {
            return kFileNotFound;
        }
        const std::string& bytes = found->second.bytes;
        type = found->second.type;
        const bool fits = bytes.size() <= capacities.back();
        size = static_cast<std::uint32_t>(bytes.size());
        if (!fits) {
            return kMoreData;
        }
        std::memcpy(buffer.data(), bytes.data(), bytes.size());
        return kSuccess;
    }

    void closeKey(Key key) override {
        if (m_open.erase(key) == 0) {
            ADD_FAILURE() << "close of a key that is not open";
            return;
        }
        --openKeys;
    }

    std::string decodeText(std::string_view bytes) override { return decodedPrefix + std::string(bytes); }

    // Put before every decoded text, so that a test sees that the reader decoded it.
    std::string decodedPrefix;
    // Keys open now.
    int openKeys = 0;
    // The access asked for at each opening, and the buffer capacity offered at each query.
    std::vector<std::uint32_t> accesses;
    std::vector<std::uint32_t> capacities;

private:
    std::map<std::string, std::map<std::string, Value>, std::less<>> m_keys;
    std::map<Key, std::string> m_open;
    Key m_next = 1;
};

} // namespace hotfix::test
