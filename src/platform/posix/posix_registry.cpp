#include "posix_registry.hpp"

#include "../text_codec.hpp"
#include "system_reg.hpp"
#include "unicode_text.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace hotfix {

namespace {

constexpr std::uint32_t kLinkType = 6;
constexpr std::string_view kLinkValueName = "symboliclinkvalue";
constexpr std::string_view kMachineRoot = "\\registry\\machine\\";
// Links pointing at links pointing at ... end somewhere; a loop must not.
constexpr int kMaxLinkHops = 16;

// Folded names joined by single "\": how key paths are compared.
std::string normalizedKeyPath(std::string_view path) {
    std::string out;
    std::string_view rest = path;
    while (!rest.empty()) {
        const auto separator = rest.find('\\');
        const std::string_view name = rest.substr(0, separator);
        if (!name.empty()) {
            if (!out.empty()) {
                out.push_back('\\');
            }
            out += foldCase(name);
        }
        if (separator == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(separator + 1);
    }
    return out;
}

// True when key is path itself or one of its ancestors.
bool isAncestorOrSelf(std::string_view key, std::string_view path) {
    return key.empty() || key == path ||
           (path.size() > key.size() && path.starts_with(key) && path[key.size()] == '\\');
}

bool readRegistryFile(const std::string& file, SystemRegVisitor& visitor) {
    std::ifstream in(file, std::ios::binary);
    return in && readSystemReg(in, visitor);
}

// One pass over the file for a key path: does the key exist (a section of its own or of a key below it,
// since Wine leaves out keys that hold only subkeys), and which of its ancestors are links, to where.
class KeyScan final : public SystemRegVisitor {
public:
    explicit KeyScan(std::string_view path)
        : m_path(path) {}

    bool key(std::string_view path) override {
        m_current = normalizedKeyPath(path);
        m_currentIsLink = false;
        if (isAncestorOrSelf(m_path, m_current)) {
            found = true;
        }
        return true;
    }
    void link() override { m_currentIsLink = true; }
    bool wantsValues() const override { return isAncestorOrSelf(m_current, m_path); }
    bool value(std::string_view name, const SystemRegValue& value) override {
        // The root itself is never a link, whatever a garbled file says.
        if (!m_currentIsLink || m_current.empty() || value.type != kLinkType ||
            foldCase(name) != kLinkValueName || !isAncestorOrSelf(m_current, m_path)) {
            return true;
        }
        std::u16string units;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                                  (static_cast<unsigned char>(value.data[i + 1]) << 8)));
        }
        const std::string target = foldCase(utf16ToUtf8(units));
        std::optional<std::string> to;
        if (target.starts_with(kMachineRoot)) {
            to = normalizedKeyPath(std::string_view(target).substr(kMachineRoot.size()));
        }
        // The outermost link decides; links below it are seen once the path goes through it.
        if (!outermostLink || m_current.size() < outermostLink->from.size()) {
            outermostLink = Link{m_current, std::move(to)};
        }
        return true;
    }

    struct Link {
        std::string from;
        std::optional<std::string> to; // nothing for a target outside HKEY_LOCAL_MACHINE
    };
    bool found = false;
    std::optional<Link> outermostLink;

private:
    std::string m_path;
    std::string m_current;
    bool m_currentIsLink = false;
};

// Finds one value of one key; the first section and value that match win.
class ValueScan final : public SystemRegVisitor {
public:
    ValueScan(std::string_view keyPath, std::string_view valueName)
        : m_key(keyPath)
        , m_name(foldCase(valueName)) {}

    bool key(std::string_view path) override {
        m_inKey = normalizedKeyPath(path) == m_key;
        return true;
    }
    bool wantsValues() const override { return m_inKey; }
    bool value(std::string_view name, const SystemRegValue& value) override {
        if (foldCase(name) != m_name) {
            return true;
        }
        found = value;
        return false;
    }

    std::optional<SystemRegValue> found;

private:
    std::string m_key;
    std::string m_name;
    bool m_inKey = false;
};

} // namespace

PosixRegistry::PosixRegistry(std::string systemRegPath)
    : m_file(std::move(systemRegPath)) {}

std::optional<std::string> PosixRegistry::resolveKey(std::string path) const {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (path.empty()) {
            return path;
        }
        KeyScan scan(path);
        if (!readRegistryFile(m_file, scan)) {
            return std::nullopt;
        }
        if (scan.outermostLink) {
            if (!scan.outermostLink->to) {
                return std::nullopt;
            }
            path = normalizedKeyPath(*scan.outermostLink->to + "\\" +
                                     path.substr(scan.outermostLink->from.size()));
            continue;
        }
        return scan.found ? std::optional<std::string>(path) : std::nullopt;
    }
    return std::nullopt;
}

long PosixRegistry::openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) {
    if (rootKey != kLocalMachine) {
        return kInvalidHandle;
    }
    if ((access & ~kReadRights) != 0) {
        return kAccessDenied;
    }
    const auto resolved = resolveKey(normalizedKeyPath(keyPath));
    if (!resolved) {
        return kFileNotFound;
    }
    key = m_nextKey++;
    m_openKeys.emplace(key, *resolved);
    return kSuccess;
}

long PosixRegistry::queryValue(Key key, std::string_view valueName, std::uint32_t& type,
                               std::span<std::byte> buffer, std::uint32_t& size) {
    const auto open = m_openKeys.find(key);
    if (open == m_openKeys.end()) {
        return kInvalidHandle;
    }
    ValueScan scan(open->second, valueName);
    readRegistryFile(m_file, scan);
    if (!scan.found) {
        return kFileNotFound;
    }
    const SystemRegValue& value = *scan.found;
    const std::size_t capacity = std::min<std::size_t>(size, buffer.size());
    type = value.type;
    if (value.size > capacity || value.data.size() < value.size) {
        size = static_cast<std::uint32_t>(std::min<std::uint64_t>(value.size, UINT32_MAX));
        return kMoreData;
    }
    std::memcpy(buffer.data(), value.data.data(), value.data.size());
    size = static_cast<std::uint32_t>(value.data.size());
    return kSuccess;
}

void PosixRegistry::closeKey(Key key) {
    m_openKeys.erase(key);
}

std::string PosixRegistry::decodeText(std::string_view bytes) {
    return decodeEightBitText(bytes);
}

} // namespace hotfix
