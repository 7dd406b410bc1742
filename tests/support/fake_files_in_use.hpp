#pragma once

#include "platform/file_system.hpp"
#include "platform/files_in_use.hpp"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace hotfix::test {

// The system's lists of holders, of renames at restart and of commands after it, kept in memory; restart()
// carries them out as Windows does when it starts again.
class FakeFilesInUse final : public FilesInUse {
public:
    explicit FakeFilesInUse(FileSystem& fs)
        : m_fs(fs) {}

    // Each look takes the next answer; the last one stays.
    std::vector<Holder> holders(std::span<const std::string> paths) override {
        ++asked;
        askedAbout.assign(paths.begin(), paths.end());
        if (answers.empty()) {
            return {};
        }
        std::vector<Holder> answer = answers.front();
        if (answers.size() > 1) {
            answers.pop_front();
        }
        return answer;
    }
    std::vector<std::string> heldFiles(std::span<const std::string> paths) override {
        std::vector<std::string> found;
        for (const std::string& path : paths) {
            if (std::find(held.begin(), held.end(), path) != held.end()) {
                found.push_back(path);
            }
        }
        return found;
    }
    bool closeHolders(std::span<const std::string> paths) override {
        closeAsked.assign(paths.begin(), paths.end());
        if (onClose) {
            onClose();
        }
        return true;
    }
    bool restartClosed() override {
        ++restartedClosed;
        return true;
    }
    Queued replaceAtRestart(std::string_view from, std::string_view to) override {
        if (queueAnswer == Queued::Queued) {
            pending.emplace_back(from, to);
        }
        return queueAnswer;
    }
    bool cancelAtRestart(std::string_view from) override {
        std::erase_if(pending, [&](const auto& rename) { return rename.first == from; });
        return true;
    }
    bool runAfterRestart(std::string_view name, std::string_view commandLine) override {
        afterRestart[std::string(name)] = commandLine;
        return true;
    }
    bool cancelRunAfterRestart(std::string_view name) override {
        afterRestart.erase(std::string(name));
        return true;
    }

    // Windows starts again: the renames in their order, and the commands are gone. False when a rename
    // failed.
    bool restart() {
        bool renamed = true;
        for (const auto& [from, to] : pending) {
            renamed = m_fs.moveFile(from, to, FileSystem::Overwrite::Existing) && renamed;
        }
        pending.clear();
        afterRestart.clear();
        return renamed;
    }

    std::deque<std::vector<Holder>> answers;
    // The files heldFiles finds held.
    std::vector<std::string> held;
    int asked = 0;
    std::vector<std::string> askedAbout;
    std::vector<std::string> closeAsked;
    std::function<void()> onClose;
    int restartedClosed = 0;
    Queued queueAnswer = Queued::Queued;
    std::vector<std::pair<std::string, std::string>> pending;
    std::map<std::string, std::string> afterRestart;

private:
    FileSystem& m_fs;
};

} // namespace hotfix::test
