#pragma once

#include "installer_window.hpp"
#include "side.hpp"

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

enum class FileOutcome { Replaced, SourceMissing, NewFile, Failed };

// The pre-install checks: settle InstallState::BackupSuffix and set InstallState::ChecksPassed.
void ValidateInstall(InstallerWindow& window, const EngineServices& services);

// Backs up and replaces (or adds) item index of a side.
FileOutcome ReplaceListedFile(Side side, int index, InstallerWindow& window, const EngineServices& services);

// One whole install: the body of the install button's click handler.
void RunInstall(InstallerWindow& window, const EngineServices& services);

} // namespace hotfix
