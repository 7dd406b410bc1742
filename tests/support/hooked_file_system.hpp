#pragma once

#include "platform/file_system.hpp"

#include <functional>
#include <string>
#include <vector>

namespace hotfix::test {

// Passes every call to a real file system, logs it as "op path", runs a test's hook before it and fails
// it where the test says so.
class HookedFileSystem final : public FileSystem {
public:
    explicit HookedFileSystem(FileSystem& real)
        : m_real(real) {}

    // Called before each operation with its name and first path; true fails the operation untouched.
    std::function<bool(std::string_view op, std::string_view path)> failWhen;
    std::function<void(std::string_view op, std::string_view path)> before;
    std::vector<std::string> log;

    bool fileExists(std::string_view path) override {
        return !intercept("fileExists", path) && m_real.fileExists(path);
    }
    bool folderExists(std::string_view path) override {
        return !intercept("folderExists", path) && m_real.folderExists(path);
    }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        if (intercept("attributes", path)) {
            return std::nullopt;
        }
        return m_real.attributes(path);
    }
    bool setAttributes(std::string_view path, FileAttributes attributes) override {
        return !intercept("setAttributes", path) && m_real.setAttributes(path, attributes);
    }
    bool clearAttributes(std::string_view path) override {
        return !intercept("clearAttributes", path) && m_real.clearAttributes(path);
    }
    bool copyFile(std::string_view from, std::string_view to) override {
        return !intercept("copyFile", from, to) && m_real.copyFile(from, to);
    }
    bool deleteFile(std::string_view path) override {
        return !intercept("deleteFile", path) && m_real.deleteFile(path);
    }
    bool createTextFile(std::string_view path) override {
        return !intercept("createTextFile", path) && m_real.createTextFile(path);
    }
    std::optional<std::string> readTextFile(std::string_view path) override {
        if (intercept("readTextFile", path)) {
            return std::nullopt;
        }
        return m_real.readTextFile(path);
    }
    bool appendLines(std::string_view path, std::span<const std::string> lines) override {
        return !intercept("appendLines", path) && m_real.appendLines(path, lines);
    }
    std::optional<std::string> scriptText(std::string_view text) override { return m_real.scriptText(text); }
    std::optional<std::string> identity(std::string_view path) override {
        if (intercept("identity", path)) {
            return std::nullopt;
        }
        return m_real.identity(path);
    }

    // Log entries that change something on disk, in order.
    std::vector<std::string> effects() const {
        std::vector<std::string> out;
        for (const std::string& entry : log) {
            if (!entry.starts_with("fileExists") && !entry.starts_with("folderExists") &&
                !entry.starts_with("attributes") && !entry.starts_with("readTextFile") &&
                !entry.starts_with("identity")) {
                out.push_back(entry);
            }
        }
        return out;
    }

private:
    bool intercept(std::string_view op, std::string_view path, std::string_view to = {}) {
        std::string entry = std::string(op) + " " + std::string(path);
        if (!to.empty()) {
            entry += " -> " + std::string(to);
        }
        log.push_back(std::move(entry));
        if (before) {
            before(op, path);
        }
        return failWhen && failWhen(op, to.empty() ? path : to);
    }

    FileSystem& m_real;
};

} // namespace hotfix::test
