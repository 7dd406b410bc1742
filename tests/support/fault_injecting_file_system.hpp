#pragma once

#include "forwarding_file_system.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace hotfix::test {

// Passes every call to a real file system and makes one of them fail, the way a real machine fails: an
// existence test that cannot stat says "not there", a copy into a new file that breaks off leaves the part
// it wrote, a read that breaks off has handed over the part it read, a link, a rename, a flush or making
// folders fails whole. Operations and writes are counted from 1 so that a test can aim at each one of a
// clean run in turn.
class FaultInjectingFileSystem final : public ForwardingFileSystem {
public:
    enum class Fault {
        None,
        // Operation k fails and changes nothing.
        OneOperation,
        // Write k fails after doing part of its work: a copy into a new file leaves it cut short, a script
        // write or a durable append leaves half its text, a created file stays; a copy over a file leaves it
        // whole, as its backend writes the copy beside it first.
        OneWritePartway,
        // Every write from write k on fails partway, as on a file system that has run out of space.
        DiskFullFromWrite,
    };

    using ForwardingFileSystem::ForwardingFileSystem;

    // Starts counting afresh.
    void inject(Fault fault, int at) {
        m_fault = fault;
        m_at = at;
        m_operations = 0;
        m_writes = 0;
        m_operationKinds.clear();
        m_writeKinds.clear();
        m_firstFailure.reset();
    }

    int operations() const { return m_operations; }
    int writes() const { return m_writes; }
    // The kind of each operation and each write since the last inject(), in order: operation k is
    // operationKinds()[k - 1].
    const std::vector<std::string>& operationKinds() const { return m_operationKinds; }
    const std::vector<std::string>& writeKinds() const { return m_writeKinds; }
    // The first operation that was made to fail, as "operation path", or nothing.
    const std::optional<std::string>& firstFailure() const { return m_firstFailure; }

    // The calls that leave part of their work behind. Every other call fails whole: a creation that fails
    // partway leaves nothing, as the backends remove a file they made but could not complete.
    FileResult copyFileToNew(std::string_view from, std::string_view to) override {
        if (!refuses("copyFileToNew", from, to)) {
            return real().copyFileToNew(from, to);
        }
        if (partway() && real().copyFileToNew(from, to)) {
            cutShort(to);
        }
        return refused();
    }
    FileResult appendToFile(std::string_view path, std::string_view bytes) override {
        if (!refuses("appendToFile", path, {})) {
            return real().appendToFile(path, bytes);
        }
        if (partway()) {
            real().appendToFile(path, bytes.substr(0, bytes.size() / 2));
        }
        return refused();
    }
    FileResult appendDurably(std::string_view path, std::string_view bytes) override {
        if (!refuses("appendDurably", path, {})) {
            return real().appendDurably(path, bytes);
        }
        if (partway()) {
            // The file is opened, made where missing, before the disk runs out under the write.
            real().appendDurably(path, bytes.substr(0, bytes.size() / 2));
        }
        return refused();
    }
    // A read that fails has handed over the first half of the file (nothing of an empty one), so that a
    // reader that uses the bytes before it knows the outcome is caught.
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override {
        if (!refuses("readFile", path, {})) {
            return real().readFile(path, sink);
        }
        std::string bytes;
        if (real().readFile(
                path, [&bytes](std::span<const char> piece) { bytes.append(piece.data(), piece.size()); }) &&
            bytes.size() >= 2) {
            sink(std::span<const char>(bytes.data(), bytes.size() / 2));
        }
        return false;
    }

    // The host's spelling of a path as the engine joined it; the tests join real temporary paths.
    static std::filesystem::path nativePath(std::string_view path) {
        std::string out(path);
        for (char& c : out) {
            if (c == '\\') {
                c = '/';
            }
        }
        return out;
    }

private:
    // Calls that write data, which a full disk fails; removing a file or changing its marks needs no space.
    static bool writesData(std::string_view op) {
        constexpr std::string_view kWrites[] = {
            "copyFileToNew", "linkFile",      "moveFile",         "moveFileOver",
            "flush",         "flushNames",    "createTextFile",   "appendToFile",
            "createFolders", "appendDurably", "makePrivateFolder"};
        return std::find(std::begin(kWrites), std::end(kWrites), op) != std::end(kWrites);
    }

    bool refuses(std::string_view op, std::string_view path, std::string_view to) override {
        const bool isWrite = writesData(op);
        ++m_operations;
        m_operationKinds.emplace_back(op);
        if (isWrite) {
            ++m_writes;
            m_writeKinds.emplace_back(op);
        }
        bool fails = false;
        switch (m_fault) {
        case Fault::None:
            break;
        case Fault::OneOperation:
            fails = m_operations == m_at;
            break;
        case Fault::OneWritePartway:
            fails = isWrite && m_writes == m_at;
            break;
        case Fault::DiskFullFromWrite:
            fails = isWrite && m_writes >= m_at;
            break;
        }
        if (fails && !m_firstFailure) {
            m_firstFailure = std::string(op) + " " + std::string(to.empty() ? path : to);
        }
        return fails;
    }

    static void cutShort(std::string_view path) {
        std::error_code error;
        const auto target = nativePath(path);
        std::filesystem::resize_file(target, std::filesystem::file_size(target, error) / 2, error);
    }

    bool partway() const { return m_fault != Fault::OneOperation; }

    Fault m_fault = Fault::None;
    int m_at = 0;
    int m_operations = 0;
    int m_writes = 0;
    std::vector<std::string> m_operationKinds;
    std::vector<std::string> m_writeKinds;
    std::optional<std::string> m_firstFailure;
};

} // namespace hotfix::test
