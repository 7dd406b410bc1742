#pragma once

#include <string>

namespace hotfix {

class FileSystem;
class MsgBox;
class ProcessLauncher;
class RunLock;

// What the engine reaches the machine through.
struct EngineServices {
    std::string programFolder;
    FileSystem& fs;
    MsgBox& msgBox;
    ProcessLauncher& launcher;
    // Where installs are recorded so that they can be undone (%ProgramData%\HotFix Installer); empty keeps no
    // record.
    std::string recordFolder = {};
    // One install or restore at a time on the machine; none where nothing else can run.
    RunLock* runLock = nullptr;
};

// How an install or a restore ended.
enum class RunResult {
    Succeeded,
    Failed,
    // Another install or restore held the machine; nothing was looked at or changed.
    AnotherRunInProgress,
};

// What became of one listed file.
enum class FileOutcome { Replaced, SourceMissing, NewFile, Failed };

} // namespace hotfix
