#pragma once

#include "engine/side.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace hotfix {

struct EngineServices;

// Where a library's lines stand in its script.
enum class LibraryInScript { First, Further };

// The lines that unregister and register one library, for the command interpreter. Its two regsvr32 lines
// run only when the change to the library's drive and folder worked, so that they never act on a library
// of that name elsewhere. The first library of a script also remembers the folder the script was started
// in (pushd), where the script removes itself at its end; every further one first clears the exit code
// that the lines before it left.
std::vector<std::string> registrationLines(LibraryInScript place, std::string_view silentSwitch,
                                           std::string_view name, std::string_view destinationFolder);

// A script's last line: back to its own folder, remove its file, and end the interpreter before it would
// read on in the removed file (which cmd reports as an error).
std::string selfRemovalLine(std::string_view scriptFileName);

// A name or folder that no quoting makes safe in a script line (a quote mark, a control character).
bool unsafeForScript(std::string_view text);

// An item is a library when the last three characters of its name, in lower case, are "dll".
bool isLibrary(std::string_view name);

// Writes one side's registration script during a run and starts it at the end of the side. A script is
// written only to a file this run creates (Register.bat, or Register_2.bat and on where that is taken: it
// may be running, started by another installer here or on another machine) and removes itself as its last
// act; the installer removes only its own scripts, and only when no interpreter runs them.
class RegistrationScript {
public:
    RegistrationScript(Side side, const EngineServices& services, std::string silentSwitch);

    // Appends the library's lines, creating the script at the side's first library. False when the library
    // cannot be registered (the user has been told at the end of the side, or now for a name that cannot be
    // written to a script exactly).
    bool AddLibrary(std::string_view name, std::string_view destinationFolder);

    // Completes and starts the script when one was written. False when it could not be written or started
    // (the user has been told, and the script is gone).
    bool FinishScript();

    // The script's path; the side's script name until a script has been created.
    const std::string& path() const { return m_path; }

private:
    bool create();
    void removeOwnScript();

    const EngineServices& m_services;
    std::string m_silentSwitch;
    const std::string m_basePath;
    std::string m_path;
    bool m_started = false;
    bool m_created = false;
    bool m_writeFailed = false;
};

} // namespace hotfix
