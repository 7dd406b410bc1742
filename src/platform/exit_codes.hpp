#pragma once

// What differs between the platforms in the program's exit codes; each backend's CMakeLists.txt sets it.
namespace hotfix {

// Another install or restore runs: msiexec's 1618 on Windows, which deployment tools retry; 75 (EX_TEMPFAIL)
// on POSIX, where the parent sees only the low 8 bits of the status.
inline constexpr int kAnotherRunExitCode = HOTFIX_EXIT_ANOTHER_RUN;

// Whether files a running program holds can be left for the next restart (Windows). On POSIX a rename goes
// through whoever holds the file, so no run ever ends with "restart needed".
inline constexpr bool kRestartsReplaceFiles = HOTFIX_RESTARTS_REPLACE_FILES != 0;

} // namespace hotfix
