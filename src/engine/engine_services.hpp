#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace hotfix {

class CodePageCodec;
class DigestWorker;
class FileSystem;
class FilesInUse;
class MsgBox;
class ProcessLauncher;
struct ListedFile;
enum class FileOutcome;

// What the engine reaches the machine through.
struct EngineServices {
    std::string programFolder;
    FileSystem& fs;
    MsgBox& msgBox;
    ProcessLauncher& launcher;
    // The workstation's code pages: list files are read, and scripts written, in them.
    const CodePageCodec& codePages;
    // Where installs are recorded so that they can be undone (%ProgramData%\HotFix Installer); empty keeps no
    // record.
    std::string recordFolder = {};
    // Who holds files, and replacement at the next restart; none where no file is ever held (POSIX).
    FilesInUse* filesInUse = nullptr;
    // Given, the scripts report a library that regsvr32 could not register (by its path, with regsvr32's
    // exit code) once their interpreter has ended: a run without a window waits for them and counts it as
    // a failure. The window's scripts, which nobody waits for, are as they have always been.
    std::function<void(const std::string& library, int code)> registrationFailed = {};
    // Given, gets one line for each file an install or a restore dealt with: its side, what became of it,
    // its path and, for a failure, the system's reason.
    std::function<void(std::string_view line)> log = {};
    // Given, hears what became of each file an install dealt with, and for a failure the system's reason.
    std::function<void(const ListedFile& file, FileOutcome outcome, std::string_view reason)> fileSettled =
        {};
    // Given, the record's digests are taken on its thread while the install goes on; without one, at once.
    DigestWorker* digests = nullptr;
};

// How an install or a restore ended.
enum class RunResult {
    Succeeded,
    Failed,
    // Succeeded, but files that running programs hold are replaced only when Windows restarts.
    RestartNeeded,
};

// What became of one listed file. The engine tells a file passed over (no package file, or no folder for
// it) from one added, which the installer has always reported alike as NewFile; InPlace: it held the
// package's bytes already (unattended runs only); AtRestart: a running program holds it, so it is backed up
// now and replaced when Windows restarts.
enum class FileOutcome { Replaced, SourceMissing, NewFile, Failed, PassedOver, InPlace, AtRestart };

} // namespace hotfix
