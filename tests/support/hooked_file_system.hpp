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

    // Log entries that change something on disk, in order, with every temporary name written "~temp".
    std::vector<std::string> effects() const {
        static const std::regex temporary(R"(~hotfix,[0-9a-f]+,[0-9]+\.tmp)");
        std::vector<std::string> out;
        for (const std::string& entry : log) {
            if (!entry.starts_with("fileExists") && !entry.starts_with("folderExists") &&
                !entry.starts_with("attributes") && !entry.starts_with("flush") &&
                !entry.starts_with("sameFile") && !entry.starts_with("identity") &&
                !entry.starts_with("readFile")) {
                out.push_back(std::regex_replace(entry, temporary, "~temp"));
            }
        }
        return out;
    }

private:
    bool refuses(std::string_view op, std::string_view path, std::string_view to) override {
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
