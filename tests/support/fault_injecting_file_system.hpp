#pragma once

#include "platform/file_system.hpp"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace hotfix::test {

// Passes every call to a real file system and makes one of them fail, the way a real machine fails: an
// existence test that cannot stat says "not there", a copy that breaks off has already emptied its target.
// Operations and writes are counted from 1 so that a test can aim at each one of a clean run in turn.
class FaultInjectingFileSystem final : public FileSystem {
public:
    enum class Fault {
        None,
        // Operation k fails and changes nothing.
        OneOperation,
        // Write k fails after doing part of its work: a copy leaves its target cut short, a script write
        // leaves half its text, a created file stays.
        OneWritePartway,
        // Every write from write k on fails partway, as on a file system that has run out of space.
        DiskFullFromWrite,
    };

    explicit FaultInjectingFileSystem(FileSystem& real)
        : m_real(real) {}

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
        return !failsNow("fileExists", path, false) && m_real.fileExists(path);
    }
    bool folderExists(std::string_view path) override {
        return !failsNow("folderExists", path, false) && m_real.folderExists(path);
    }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        if (failsNow("attributes", path, false)) {
            return std::nullopt;
        }
        return m_real.attributes(path);
    }
    bool setAttributes(std::string_view path, FileAttributes attributes) override {
        return !failsNow("setAttributes", path, false) && m_real.setAttributes(path, attributes);
    }
    bool clearAttributes(std::string_view path) override {
        return !failsNow("clearAttributes", path, false) && m_real.clearAttributes(path);
    }
    bool copyFile(std::string_view from, std::string_view to) override {
        if (!failsNow("copyFile", to, true)) {
            return m_real.copyFile(from, to);
        }
        if (partway() && m_real.copyFile(from, to)) {
            cutShort(to);
        }
        return false;
    }
    bool copyFileToNew(std::string_view from, std::string_view to) override {
        if (!failsNow("copyFileToNew", to, true)) {
            return m_real.copyFileToNew(from, to);
        }
        if (partway() && m_real.copyFileToNew(from, to)) {
            cutShort(to);
        }
        return false;
    }
    bool deleteFile(std::string_view path) override {
        return !failsNow("deleteFile", path, false) && m_real.deleteFile(path);
    }
    // A creation that fails partway leaves nothing: the backends remove a file they made but could not
    // complete.
    bool createTextFile(std::string_view path) override {
        return !failsNow("createTextFile", path, true) && m_real.createTextFile(path);
    }
    std::optional<std::string> readTextFile(std::string_view path) override {
        if (failsNow("readTextFile", path, false)) {
            return std::nullopt;
        }
        return m_real.readTextFile(path);
    }
    bool appendLines(std::string_view path, std::span<const std::string> lines) override {
        if (!failsNow("appendLines", path, true)) {
            return m_real.appendLines(path, lines);
        }
        if (partway() && m_real.fileExists(path)) {
            std::string text;
            for (const std::string& line : lines) {
                text += line + "\r\n";
            }
            std::ofstream out(nativePath(path), std::ios::binary | std::ios::app);
            out.write(text.data(), static_cast<std::streamsize>(text.size() / 2));
        }
        return false;
    }

    std::optional<std::string> scriptText(std::string_view text) override { return m_real.scriptText(text); }
    std::optional<std::string> identity(std::string_view path) override {
        if (failsNow("identity", path, false)) {
            return std::nullopt;
        }
        return m_real.identity(path);
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

    FileSystem& m_real;
    Fault m_fault = Fault::None;
    int m_at = 0;
    int m_operations = 0;
    int m_writes = 0;
    std::optional<std::string> m_firstFailure;
};

} // namespace hotfix::test
