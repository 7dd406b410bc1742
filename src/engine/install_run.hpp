#pragma once

#include "engine/engine_services.hpp"
#include "engine/installer_window.hpp"
#include "engine/listed_file.hpp"
#include "platform/files_in_use.hpp"

#include <string>
#include <vector>

namespace hotfix {

// What an install did, for a caller that goes on after it.
struct InstallOutcome {
    // The run began an install of its own in the record (so rollBackInstall may undo the record's last).
    bool recorded = false;
    // The run put the hot fix's files in place. Where the caller hears of each registration that failed
    // (registrationFailed), the success box is left to it, once the scripts have ended.
    bool applied = false;
};

// One whole install: the body of the install button's click handler. Succeeded when the hot fix was
// applied. The caller holds the machine's run lock (RunLock) from before this call until the scripts the
// install started have ended.
RunResult runInstall(InstallerWindow& window, const EngineServices& services,
                     InstallOutcome* outcome = nullptr);

// Whether every listed file holds the package's bytes, but those the install passes over (their folder is
// not on the workstation, an optional part of the product; or neither the workstation nor the package has
// them), with at least one in place, and no library a recorded install replaced waiting for its registration
// (see unregisteredLibraries): the hot fix is in place, and an unattended install has nothing to do.
// The install decides the same way, so that what it calls applied is found in place. Looks only (the
// window must be unattended for a file to count as in place).
bool hotFixInPlace(InstallerWindow& window, const EngineServices& services);

// Whether an install that replaces the file registers it again (a library of Windows', or of the product's
// where the window says so).
bool registersLibrary(const ListedFile& file, const InstallerWindow& window);

// The listed files that are installed on the workstation: those a running program may hold.
std::vector<std::string> installedListedFiles(InstallerWindow& window, const EngineServices& services);
// The programs, a line each, as a box names them.
std::string describeHolders(const std::vector<FilesInUse::Holder>& holders);

} // namespace hotfix
