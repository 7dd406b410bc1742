#include "registration_script.hpp"

#include "install_run.hpp"
#include "messages.hpp"
#include "text.hpp"

#include <algorithm>
#include <platform/file_system.hpp>
#include <platform/msg_box.hpp>
#include <platform/process_launcher.hpp>

namespace hotfix {

namespace {

// Characters that make cmd do more than take a word as it stands.
constexpr std::string_view kCmdSpecial = "&|<>^%(),;=!";

bool needsQuotes(std::string_view text, bool blankCounts) {
    return text.find_first_of(kCmdSpecial) != std::string_view::npos ||
           (blankCounts && text.find(' ') != std::string_view::npos);
}

std::string quotedIfNeeded(std::string_view text, bool blankCounts) {
    return needsQuotes(text, blankCounts) ? concat({"\"", text, "\""}) : std::string(text);
}

// cmd expands %...% even inside quotes; a doubled "%" stands for itself in a script.
std::string doublePercent(std::string line) {
    for (std::size_t at = line.find('%'); at != std::string::npos; at = line.find('%', at + 2)) {
        line.insert(at, 1, '%');
    }
    return line;
}

// Removes a script file without trusting one answer alone: a delete that was refused is tried again with the
// file's marks cleared, unless the file turns out not to be there.
void removeScriptFile(FileSystem& fs, const std::string& path) {
    if (!fs.deleteFile(path) && fs.fileExists(path)) {
        fs.clearAttributes(path);
        fs.deleteFile(path);
    }
}

} // namespace

bool RunningScripts::isRunning(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    return m_paths.contains(path);
}

void RunningScripts::started(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    m_paths.insert(path);
}

void RunningScripts::ended(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    if (const auto it = m_paths.find(path); it != m_paths.end()) {
        m_paths.erase(it);
    }
}

bool unsafeForScript(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == '"' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F;
    });
}

bool isLibrary(std::string_view name) {
    const std::string_view tail = name.size() > 3 ? name.substr(name.size() - 3) : name;
    std::string lower(tail);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower == "dll";
}

std::vector<std::string> registrationLines(bool firstLibrary, std::string_view silentSwitch,
                                           std::string_view name, std::string_view destinationFolder) {
    const std::string drive = quotedIfNeeded(destinationFolder.substr(0, 2), true);
    const std::string change = "cd " + quotedIfNeeded(destinationFolder, false);
    const std::string library = concat({silentSwitch, quotedIfNeeded(name, true)});
    std::vector<std::string> lines;
    if (firstLibrary) {
        lines = {"cd\\", drive, change, "regsvr32 -u " + library, "regsvr32 " + library};
    } else {
        lines = {drive, change, "regsvr32 -u  " + library, "regsvr32    " + library};
    }
    for (std::string& line : lines) {
        line = doublePercent(std::move(line));
    }
    return lines;
}

RegistrationScript::RegistrationScript(Side side, const EngineServices& services, std::string silentSwitch,
                                       std::shared_ptr<RunningScripts> running)
    : m_services(services)
    , m_silentSwitch(std::move(silentSwitch))
    , m_running(std::move(running))
    , m_basePath(concat({services.programFolder, sideInfo(side).scriptName}))
    , m_path(m_basePath) {}

std::string RegistrationScript::choosePath() const {
    // A script of an earlier run that is still running keeps its file; this run writes beside it.
    if (!m_running->isRunning(m_basePath)) {
        return m_basePath;
    }
    const std::string stem = m_basePath.substr(0, m_basePath.size() - std::string_view(".bat").size());
    for (int n = 2;; ++n) {
        std::string candidate = stem + "_" + std::to_string(n) + ".bat";
        if (!m_running->isRunning(candidate)) {
            return candidate;
        }
    }
}

void RegistrationScript::removeIfIdle(const std::string& path) {
    if (!m_running->isRunning(path)) {
        removeScriptFile(m_services.fs, path);
    }
}

bool RegistrationScript::AddLibrary(std::string_view name, std::string_view destinationFolder) {
    if (unsafeForScript(name) || unsafeForScript(destinationFolder)) {
        m_services.msgBox.show(messages::cannotRegister(concat({destinationFolder, name})));
        return false;
    }
    FileSystem& fs = m_services.fs;
    const bool first = !m_started;
    if (first) {
        m_path = choosePath();
        if (fs.fileExists(m_path)) {
            fs.clearAttributes(m_path);
            fs.deleteFile(m_path);
        }
        m_writeFailed = !fs.createTextFile(m_path);
        m_started = true;
    }
    if (!m_writeFailed) {
        m_writeFailed =
            !fs.appendLines(m_path, registrationLines(first, m_silentSwitch, name, destinationFolder));
    }
    return !m_writeFailed;
}

bool RegistrationScript::FinishScript() {
    if (!m_started) {
        removeIfIdle(m_basePath);
        return true;
    }
    if (m_writeFailed) {
        m_services.msgBox.show(messages::couldNotWriteScript(m_path));
        removeIfIdle(m_path);
        return false;
    }
    // The file is complete: every append closed it. It is removed once its interpreter has ended.
    m_running->started(m_path);
    const bool launched =
        m_services.launcher.startScript(m_path, [running = m_running, &fs = m_services.fs, path = m_path] {
            running->ended(path);
            if (!running->isRunning(path)) {
                removeScriptFile(fs, path);
            }
        });
    if (!launched) {
        m_running->ended(m_path);
        removeIfIdle(m_path);
    }
    if (m_path != m_basePath) {
        removeIfIdle(m_basePath);
    }
    return true;
}

} // namespace hotfix
