#pragma once

#include "engine/engine_services.hpp"
#include "engine/installer_window.hpp"
#include "engine/side.hpp"

#include <string>
#include <string_view>

namespace hotfix {

// The pre-install checks: settle InstallState::BackupSuffix and set InstallState::ChecksPassed.
void ValidateInstall(InstallerWindow& window, const EngineServices& services);

// The folder that holds the records' folder: file work is confined below it rather than below the records'
// folder itself, which must never be reached through a link.
std::string recordFolderParent(std::string_view recordFolder);

// From here on the file work stays below the roots, the package's folder and the records' folder: a link
// below any of them is never followed.
void confineToRoots(const InstallerWindow& window, const EngineServices& services);

// The suffix the window asks backups to take, as the checks settle it before any backup switches it to the
// date: empty where it names none (a blank text).
std::string chosenBackupSuffix(const InstallerWindow& window);

// Ticks the date box and takes its caption as the suffix: a backup of the suffix in use exists already.
void switchToDateSuffix(InstallerWindow& window);

// The first folder of the side's package, as item 0 names it once its head is dropped.
std::string firstPackageFolderHead(Side side, const InstallerWindow& window);

// Whether that folder is in the package; the run asks again, as the folder may have gone since the checks.
bool packageFolderExists(Side side, std::string_view head, const EngineServices& services);

} // namespace hotfix
