#pragma once

#include "side.hpp"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hotfix {

struct EngineServices;

// Script files whose interpreter has not ended yet. The window keeps it across runs, and exit handlers
// that outlive a run share it, so that no script file is written over or removed while it is read.
class RunningScripts {
public:
    bool isRunning(const std::string& path) const;
    void started(const std::string& path);
    void ended(const std::string& path);

private:
    mutable std::mutex m_mutex;
    std::multiset<std::string> m_paths;
};

// The lines that unregister and register one library, for the command interpreter. The first library of
// a script gets the longer block that also changes to the drive's root.
std::vector<std::string> registrationLines(bool firstLibrary, std::string_view silentSwitch,
                                           std::string_view name, std::string_view destinationFolder);

// A name or folder that no quoting makes safe in a script line (a quote mark, a control character).
bool unsafeForScript(std::string_view text);

// An item is a library when the last three characters of its name, in lower case, are "dll".
bool isLibrary(std::string_view name);

// Writes one side's registration script during a run, starts it at the end of the side and has its
// file removed once the interpreter has ended.
class RegistrationScript {
public:
    RegistrationScript(Side side, const EngineServices& services, std::string silentSwitch,
                       std::shared_ptr<RunningScripts> running);

    // Appends the library's lines, creating the script at the side's first library. False when the library
    // cannot be registered (the user has been told at the end of the side, or now for an unsafe name).
    bool AddLibrary(std::string_view name, std::string_view destinationFolder);

    // Starts the script when one was written, and removes a leftover one. False when the script could not
    // be written (the user has been told, and nothing was started).
    bool FinishScript();

    const std::string& path() const { return m_path; }

private:
    std::string choosePath() const;
    void removeIfIdle(const std::string& path);

    const EngineServices& m_services;
    std::string m_silentSwitch;
    std::shared_ptr<RunningScripts> m_running;
    // The side's script name; m_path differs only while an earlier script of that name still runs.
    const std::string m_basePath;
    std::string m_path;
    bool m_started = false;
    bool m_writeFailed = false;
};

} // namespace hotfix
