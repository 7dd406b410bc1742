#pragma once

#include <functional>
#include <string>

namespace hotfix {

// Runs the registration scripts. The installer never waits for a script and never kills one: a script
// goes on when the installer closes.
class ProcessLauncher {
public:
    // Gets the interpreter's exit code (under Wine, only its lowest 8 bits reach the installer).
    using ExitHandler = std::function<void(int exitCode)>;

    virtual ~ProcessLauncher() = default;

    // Starts the platform's command interpreter on the script, its window minimized, and returns at once.
    // False when nothing could be started. Otherwise onExit runs once the interpreter has ended, with its
    // exit code, on the thread the launcher was told to use (see the backend); it is never called for a
    // failed start.
    virtual bool startScript(const std::string& scriptPath, ExitHandler onExit) = 0;
};

} // namespace hotfix
