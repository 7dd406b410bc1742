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
};

// What became of one listed file.
enum class FileOutcome { Replaced, SourceMissing, NewFile, Failed };

} // namespace hotfix
