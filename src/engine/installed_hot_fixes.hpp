#pragma once

#include <string>
#include <vector>

namespace hotfix {

class FileSystem;

// A hot fix the workstation's records know of, as a deployment tool's inventory asks for it.
struct InstalledHotFix {
    // The package's identity: its record's folder.
    std::string identity;
    // Why its record was not read (not the installer's own, another version's, damaged); empty where it was.
    std::string refusal;
    // The newest install: the package folder it ran from, when (UTC, as the record writes it), how
    // ("window", "command line"; empty where the record does not say) and how it ended ("succeeded",
    // "failed", "cut off" where the run never wrote its end, "rolled back" where it took itself back).
    std::string packageFolder;
    std::string installedAt;
    std::string mode;
    std::string result;
    // A restore undid every install since; when it ended.
    bool restored = false;
    std::string restoredAt;
    // Every file the installs not undone changed holds their new bytes now, and every library they replaced
    // was registered.
    bool inPlace = false;
};

// Every record below recordFolder, by identity. Reads only, and only records that are the installer's own.
std::vector<InstalledHotFix> installedHotFixes(FileSystem& fs, const std::string& recordFolder);

} // namespace hotfix
