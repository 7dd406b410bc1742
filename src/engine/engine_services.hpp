#pragma once

#include <string>

namespace hotfix {

class FileSystem;
class MsgBox;
class ProcessLauncher;

// What the engine reaches the machine through.
struct EngineServices {
    std::string programFolder;
    FileSystem& fs;
    MsgBox& msgBox;
    ProcessLauncher& launcher;
    // Where installs are recorded so that they can be undone (%ProgramData%\HotFix Installer); empty keeps no
    // record.
    std::string recordFolder = {};
};

// What became of one listed file.
enum class FileOutcome { Replaced, SourceMissing, NewFile, Failed };

} // namespace hotfix
