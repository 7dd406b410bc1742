#pragma once

#include "platform/code_page_codec.hpp"
#include "platform/file_system.hpp"
#include "platform/files_in_use.hpp"
#include "platform/folder_browser.hpp"
#include "platform/process_launcher.hpp"
#include "platform/registry.hpp"
#include "platform/run_lock.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hotfix {

// The backends CMake chose for this platform.

// Opts the program into the system's own guards for a program that works as the system in folders others
// may write to, before it looks at anything: on Windows, Redirection Guard (no junction or link an ordinary
// user made is followed) where the system has it. Nothing on POSIX.
void guardProcess();

std::unique_ptr<FileSystem> makeFileSystem();
// The workstation's ANSI and OEM code pages (on POSIX, those Wine takes from the locale).
std::unique_ptr<CodePageCodec> makeCodePageCodec();
std::unique_ptr<RegistryApi> makeRegistry();
std::unique_ptr<FolderBrowser> makeFolderBrowser();
// On POSIX nothing is ever in use: a rename over a file that a Wine program holds goes through.
std::unique_ptr<FilesInUse> makeFilesInUse();
// The machine's one-run-at-a-time lock: a named mutex in the global namespace on Windows, a lock file in the
// Wine prefix on POSIX.
std::unique_ptr<RunLock> makeRunLock();

// Why this account must not work on the workstation at all, or nothing where it may. On POSIX: a Wine prefix
// that is not there, or one, a drive link of it or one of the roots (Windows names) that another account
// owns, as Wine itself refuses another account's prefix. On Windows nothing: the records' folder's owner is
// checked where it is made.
std::optional<std::string> workstationRefusal(const std::vector<std::string>& roots = {});

// post hands a launcher's exit handler to the thread that must run it (the user-interface thread);
// without one the handler runs on the launcher's own waiting thread.
using CallbackPoster = std::function<void(std::function<void()>)>;
std::unique_ptr<ProcessLauncher> makeProcessLauncher(CallbackPoster post = {});

// The folder of the running program, as Windows names it (on POSIX, the name Wine gives it: C:\Patch, or
// Z:\... outside the prefix's drives), without a closing separator: the name boxes, logs and records show.
std::string programFolder();
// The same folder as the host's own file calls name it (the same on Windows).
std::string hostProgramFolder();
// A path the user gave (a --log file) as the host's own file calls name it: on POSIX a path with a drive
// letter lies in the Wine prefix, as every other Windows name does (empty where the prefix has no such
// drive); any other path, and every path on Windows, as given.
std::string hostPathOf(const std::string& path);
// A folder the host names (a --package folder) as programFolder names the program's: the name Wine gives it
// on POSIX; the full path on Windows. Nothing where it is not an existing folder.
std::optional<std::string> windowsFolderOf(const std::string& hostFolder);
// Whether the workstation itself is missing: a Wine prefix that is not there (never on Windows).
bool workstationMissing();

// The machine's shared data folder (%ProgramData% on Windows, "C:\ProgramData" of the Wine prefix on POSIX),
// Windows-style, as the FileSystem takes it, without a closing separator.
std::string programDataFolder();

} // namespace hotfix
