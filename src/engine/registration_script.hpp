#pragma once

#include "engine/side.hpp"

#include <optional>
#include <span>
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
// read on in the removed file (which cmd reports as an error). Reporting, the interpreter ends with the code
// that reportLine set.
std::string selfRemovalLine(std::string_view scriptFileName, bool reporting = false);

// The line after a library's block that notes the first library regsvr32 refused, as its place in the
// script (1 to 15; 15 stands for the 15th or a later one) times 16 plus regsvr32's code (0 to 15): the code
// the interpreter ends with, within the 8 bits that reach the installer through Wine.
std::string reportLine(int place);
// The library's place and regsvr32's code from the interpreter's exit code; nothing for 0.
struct RegistrationFailure {
    int place = 0;
    int code = 0;
};
std::optional<RegistrationFailure> decodeRegistrationExit(int exitCode);

// A name or folder that no quoting makes safe in a script line (a quote mark, a control character).
bool unsafeForScript(std::string_view text);

// A library replaced only when Windows restarts is registered after it, once, by the first administrator to
// log on: the name of that command, one per library, and its command line; nothing for a path that no
// quoting makes safe.
std::string registrationAfterRestartName(std::string_view library);
std::optional<std::string> registrationAfterRestartCommand(std::string_view library);

// An item is a library when the last three characters of its name, in lower case, are "dll".
bool isLibrary(std::string_view name);

// Writes one side's registration script during a run and starts it at the end of the side. A script is
// written only to a file this run creates (Register.bat, or Register_2.bat and on where that is taken: it
// may be running, started by another installer here or on another machine) and removes itself as its last
// act; the installer removes only its own scripts, and only when no interpreter runs them. Where the
// package folder cannot be written, the script is made in the records' folder instead (Scripts).
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
    // Whether the library (by its full path) is in the script already.
    bool holds(std::string_view library) const;

    // Notes the script's creation in the record, and, for an install, its start and how it ended.
    void recordIn(std::string recordPath, bool withStates = true) {
        m_recordPath = std::move(recordPath);
        m_recordStates = withStates;
    }

private:
    bool create();
    bool createIn(const std::string& basePath);
    void removeOwnScript();
    // Appends the lines in the code page cmd reads; false, writing nothing, where one has no exact form
    // there.
    bool appendLines(std::span<const std::string> lines);

    const EngineServices& m_services;
    const Side m_side;
    std::string m_recordPath;
    bool m_recordStates = true;
    std::string m_silentSwitch;
    const std::string m_basePath;
    std::string m_path;
    bool m_started = false;
    bool m_created = false;
    bool m_writeFailed = false;
    // The libraries in their order in the script, by full path, for a report of one that failed (and, where
    // it reports nothing, for holds()).
    std::vector<std::string> m_libraries;
};

} // namespace hotfix
