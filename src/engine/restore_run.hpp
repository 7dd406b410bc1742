#pragma once

#include "engine/engine_services.hpp"
#include "engine/install_record.hpp"
#include "engine/installer_window.hpp"
#include "engine/side.hpp"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace hotfix {

struct RestoredFile {
    Side side = Side::Product;
    std::string destination;
    RestoreAction action = RestoreAction::AsBefore;
};

// Undoes every recorded install of the window's package that no restore has undone yet, newest first and
// each last file first, so that every listed file is as it was before the earliest of them; removes every
// temporary file and backup they made, and registers again the libraries that hold their originals. Acts
// only on what the record may be trusted with (see readRecordHistory), and on nothing when the record is
// refused. The restore is recorded too: a second one finds nothing left to undo. Succeeded only when every
// file those installs touched is as it was. The caller holds the machine's run lock, as for runInstall.
RunResult runRestore(const InstallerWindow& window, const EngineServices& services,
                     const std::function<void(const RestoredFile&)>& report);

// A library that a recorded install, not undone, replaced and whose registration never succeeded: its script
// failed, or never started or ended (the run was cut off). Such a hot fix is not in place.
struct UnregisteredLibrary {
    Side side = Side::Product;
    std::string path;
};
// Looks only: reads the record where it may be trusted (nothing where it may not, or there is none).
std::vector<UnregisteredLibrary> unregisteredLibraries(const InstallerWindow& window,
                                                       const EngineServices& services);

// Before an install, with the run lock held: removes what runs of the package cut off before it left of their
// own (their temporary files, and scripts they never started), and gives the libraries still unregistered.
std::vector<UnregisteredLibrary> takeOverFromEarlierRuns(const InstallerWindow& window,
                                                         const EngineServices& services);

// Undoes the install that the caller's run has just made and that failed, as runRestore would undo it
// alone, so that a failed run leaves the workstation as it found it; earlier installs stay. Succeeded when
// every file it changed is as it was (or it changed none). Only for the run that made the record's last
// install, with the run lock held since before it began, and once its scripts have ended.
RunResult rollBackInstall(const InstallerWindow& window, const EngineServices& services,
                          const std::function<void(const RestoredFile&)>& report);

} // namespace hotfix
