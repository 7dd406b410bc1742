#pragma once

#include "platform/exit_codes.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hotfix::cli {

// What the program ends with when it runs without its window.
enum ExitCode : int {
    kSuccess = 0,
    // The checks, the install or the restore did not pass; the messages say why.
    kFailure = 1,
    // The command line cannot be run as given: nothing was looked at or changed.
    kBadArguments = 2,
    // Another install or restore runs on the machine: nothing was looked at or changed; try again later
    // (1618 on Windows, msiexec's code, which deployment tools retry; 75 on POSIX).
    kAnotherRunInProgress = kAnotherRunExitCode,
    // Installed, but running programs hold files that are replaced when Windows restarts (msiexec's code).
    // Windows only: on POSIX nothing waits for a restart.
    kRestartNeeded = 3010,
};

enum class Mode { Window, Help, Check, Detect, Install, Restore, List };

struct Options {
    Mode mode = Mode::Window;
    std::optional<std::string> productRoot;
    std::optional<std::string> windowsRoot;
    std::optional<std::string> suffix;
    bool dateSuffix = false;
    bool registerDlls = false;
    bool closeApplications = false;
    // A failed install keeps what it changed instead of taking it back.
    bool keepPartial = false;
    std::optional<std::string> logFile;
    // The hot fix's folder where the program does not lie in it (a copy elsewhere, one program for many).
    std::optional<std::string> packageFolder;
    // The result as one JSON object on standard output, for a tool to read, instead of lines for people.
    bool json = false;
};

struct ArgumentError {
    std::string message;
};

// The arguments after the program's name. No argument, or only the toolkit's own options (-platform, -style
// and the like), is the window; anything else must be a mode with its options, or the command line is
// refused: a deployment tool's guess (/quiet, /S, install) must never open a window that waits for nobody.
std::variant<Options, ArgumentError> parseCommandLine(const std::vector<std::string>& arguments);

// The option that chooses the mode: "--install" for Mode::Install; empty for the window.
std::string_view modeOption(Mode mode);

// The modes, their options and the exit codes, as --help prints them.
std::string usageText();

} // namespace hotfix::cli
