#pragma once

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
    // (msiexec's code, which deployment tools retry).
    kAnotherRunInProgress = 1618,
};

enum class Mode { Window, Help, Check, Install, Restore };

struct Options {
    Mode mode = Mode::Window;
    std::optional<std::string> productRoot;
    std::optional<std::string> windowsRoot;
    std::optional<std::string> suffix;
    bool dateSuffix = false;
    bool registerDlls = false;
    std::optional<std::string> logFile;
};

struct ArgumentError {
    std::string message;
};

// The arguments after the program's name. No argument, or none that starts with "--", is the window (the
// toolkit may take its own arguments there).
std::variant<Options, ArgumentError> parseCommandLine(const std::vector<std::string>& arguments);

// The option that chooses the mode: "--install" for Mode::Install; empty for the window.
std::string_view modeOption(Mode mode);

// The modes, their options and the exit codes, as --help prints them.
std::string usageText();

} // namespace hotfix::cli
