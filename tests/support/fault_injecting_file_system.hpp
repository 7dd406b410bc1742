#pragma once

#include "forwarding_file_system.hpp"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace hotfix::test {

// Passes every call to a real file system and makes one of them fail, the way a real machine fails: an
// existence test that cannot stat says "not there", a copy into a new file that breaks off leaves the part
// it wrote, a link, a rename or a flush fails whole. Operations and writes are counted from 1 so that a test
// can aim at each one of a clean run in turn.
class FaultInjectingFileSystem final : public ForwardingFileSystem {
public:
    enum class Fault {
        None,
        // Operation k fails and changes nothing.
        OneOperation,
        // Write k fails after doing part of its work: a copy into a new file leaves it cut short, a script
        // write leaves half its text, a created file stays; a copy over a file leaves it whole, as its
        // backend writes the copy beside it first.
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
        m_firstFailure.reset();
    }

    int operations() const { return m_operations; }
    int writes() const { return m_writes; }
    // The first operation that was made to fail, as "operation path", or nothing.
    const std::optional<std::string>& firstFailure() const { return m_firstFailure; }

    bool fileExists(std::string_view path) override {
        return !failsNow("fileExists", path, false) && real().fileExists(path);
    }
    bool folderExists(std::string_view path) override {
        return !failsNow("folderExists", path, false) && real().folderExists(path);
    }
    bool sameFile(std::string_view first, std::string_view second) override {
        return !failsNow("sameFile", second, false) && real().sameFile(first, second);
    }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        if (failsNow("attributes", path, false)) {
            return std::nullopt;
        }
        return real().attributes(path);
    }
    bool setAttributes(std::string_view path, FileAttributes attributes) override {
        return !failsNow("setAttributes", path, false) && real().setAttributes(path, attributes);
    }
    bool clearAttributes(std::string_view path) override {
        return !failsNow("clearAttributes", path, false) && real().clearAttributes(path);
    }
    bool copyFile(std::string_view from, std::string_view to) override {
        return !failsNow("copyFile", to, true) && real().copyFile(from, to);
    }
    bool copyFileToNew(std::string_view from, std::string_view to) override {
        if (!failsNow("copyFileToNew", to, true)) {
            return real().copyFileToNew(from, to);
        }
        if (partway() && real().copyFileToNew(from, to)) {
            cutShort(to);
        }
        return false;
    }
    LinkResult linkFile(std::string_view existing, std::string_view newName) override {
        if (failsNow("linkFile", newName, true)) {
            return LinkResult::Failed;
        }
        return real().linkFile(existing, newName);
    }
    bool moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override {
        return !failsNow("moveFile", to, true) && real().moveFile(from, to, overwrite);
    }
    bool flush(std::span<const std::string> paths) override {
        return !failsNow("flush", paths.empty() ? std::string_view() : paths.front(), true) &&
               real().flush(paths);
    }
    bool deleteFile(std::string_view path) override {
        return !failsNow("deleteFile", path, false) && real().deleteFile(path);
    }
    // A creation that fails partway leaves nothing: the backends remove a file they made but could not
    // complete.
    bool createTextFile(std::string_view path) override {
        return !failsNow("createTextFile", path, true) && real().createTextFile(path);
    }
    std::optional<std::string> readTextFile(std::string_view path) override {
        if (failsNow("readTextFile", path, false)) {
            return std::nullopt;
        }
        return real().readTextFile(path);
    }
    bool appendLines(std::string_view path, std::span<const std::string> lines) override {
        if (!failsNow("appendLines", path, true)) {
            return real().appendLines(path, lines);
        }
        if (partway() && real().fileExists(path)) {
            std::string text;
            for (const std::string& line : lines) {
                text += line + "\r\n";
            }
            std::ofstream out(nativePath(path), std::ios::binary | std::ios::app);
            out.write(text.data(), static_cast<std::streamsize>(text.size() / 2));
        }
        return false;
    }

    std::optional<std::string> scriptText(std::string_view text) override { return real().scriptText(text); }
    std::optional<std::string> identity(std::string_view path) override {
        if (failsNow("identity", path, false)) {
            return std::nullopt;
        }
        return real().identity(path);
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
    bool failsNow(std::string_view operation, std::string_view path, bool isWrite) {
        ++m_operations;
        if (isWrite) {
            ++m_writes;
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
            m_firstFailure = std::string(operation) + " " + std::string(path);
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
    std::optional<std::string> m_firstFailure;
};

} // namespace hotfix::test
