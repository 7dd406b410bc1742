#pragma once

#include "forwarding_file_system.hpp"

#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace hotfix::test {

// Passes every call to a real file system, logs it as "op path" ("op from -> to" for two paths), runs a
// test's hook before it and fails it where the test says so.
class HookedFileSystem final : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;

    // Called before each operation with its name and its target path; true fails the operation untouched.
    std::function<bool(std::string_view op, std::string_view path)> failWhen;
    std::function<void(std::string_view op, std::string_view path)> before;
    std::vector<std::string> log;

    bool fileExists(std::string_view path) override {
        return !intercept("fileExists", path) && real().fileExists(path);
    }
    bool folderExists(std::string_view path) override {
        return !intercept("folderExists", path) && real().folderExists(path);
    }
    bool sameFile(std::string_view first, std::string_view second) override {
        return !intercept("sameFile", first, second) && real().sameFile(first, second);
    }
    std::optional<FileAttributes> attributes(std::string_view path) override {
        if (intercept("attributes", path)) {
            return std::nullopt;
        }
        return real().attributes(path);
    }
    bool setAttributes(std::string_view path, FileAttributes attributes) override {
        return !intercept("setAttributes", path) && real().setAttributes(path, attributes);
    }
    bool clearAttributes(std::string_view path) override {
        return !intercept("clearAttributes", path) && real().clearAttributes(path);
    }
    bool copyFile(std::string_view from, std::string_view to) override {
        return !intercept("copyFile", from, to) && real().copyFile(from, to);
    }
    bool copyFileToNew(std::string_view from, std::string_view to) override {
        return !intercept("copyFileToNew", from, to) && real().copyFileToNew(from, to);
    }
    LinkResult linkFile(std::string_view existing, std::string_view newName) override {
        if (intercept("linkFile", existing, newName)) {
            return LinkResult::Failed;
        }
        return real().linkFile(existing, newName);
    }
    bool moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override {
        return !intercept(overwrite == Overwrite::Never ? "moveFile" : "moveFileOver", from, to) &&
               real().moveFile(from, to, overwrite);
    }
    bool flush(std::span<const std::string> paths) override {
        return !intercept("flush", paths.empty() ? std::string_view() : paths.front()) && real().flush(paths);
    }
    bool deleteFile(std::string_view path) override {
        return !intercept("deleteFile", path) && real().deleteFile(path);
    }
    bool createTextFile(std::string_view path) override {
        return !intercept("createTextFile", path) && real().createTextFile(path);
    }
    std::optional<std::string> readTextFile(std::string_view path) override {
        if (intercept("readTextFile", path)) {
            return std::nullopt;
        }
        return real().readTextFile(path);
    }
    bool appendLines(std::string_view path, std::span<const std::string> lines) override {
        return !intercept("appendLines", path) && real().appendLines(path, lines);
    }
    std::optional<std::string> scriptText(std::string_view text) override { return real().scriptText(text); }
    std::optional<std::string> identity(std::string_view path) override {
        if (intercept("identity", path)) {
            return std::nullopt;
        }
        return real().identity(path);
    }

    // Log entries that change something on disk, in order, with every temporary name written "~temp".
    std::vector<std::string> effects() const {
        static const std::regex temporary(R"(~hotfix,[0-9a-f]+,[0-9]+\.tmp)");
        std::vector<std::string> out;
        for (const std::string& entry : log) {
            if (!entry.starts_with("fileExists") && !entry.starts_with("folderExists") &&
                !entry.starts_with("attributes") && !entry.starts_with("readTextFile") &&
                !entry.starts_with("flush") && !entry.starts_with("sameFile") &&
                !entry.starts_with("identity")) {
                out.push_back(std::regex_replace(entry, temporary, "~temp"));
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
};

} // namespace hotfix::test
