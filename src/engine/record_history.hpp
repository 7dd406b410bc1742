#pragma once

#include "engine/installer_window.hpp"
#include "engine/side.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hotfix {

// One file of an install as the record names it.
struct RecordedFile {
    Side side = Side::Product;
    std::string destination;
    // The names the run was about to create beside it; any may be empty.
    std::string temporary;
    std::string backup;
    std::string backupTemporary;
    // The installed file's attributes (platform attribute bits) as the run found them.
    std::optional<std::uint32_t> marks;
    // The run wrote how to undo the file (its "file" line), which comes before the file is put in place:
    // without it the destination was never changed.
    bool journalled = false;
    // Empty for a file the run added.
    std::string originalSha256;
    std::string newSha256;
    // What the run said became of the file; nothing where it was cut off before it could say.
    std::optional<std::string> outcome;

    bool added() const { return journalled && originalSha256.empty(); }
};

struct RecordedInstall {
    // The line of the record that begins it, counted from 1.
    int line = 0;
    std::string productRoot;
    std::string windowsRoot;
    std::string suffix;
    bool registerDlls = false;
    // In the order the run wrote them.
    std::vector<RecordedFile> files;
    // By side (product, Windows): whether libraries were to be registered, and the last word on their
    // script (started, silent, succeeded, failed; empty where none was written).
    std::array<bool, 2> registrationPlanned{};
    std::array<std::string, 2> registrationEnded;
    // By side: the scripts the run created, as it named them.
    std::array<std::vector<std::string>, 2> scripts;
};

// What a restore must undo: every install since the last restore that succeeded, oldest first.
struct RecordHistory {
    std::vector<RecordedInstall> toUndo;
    // Whether the record holds any install at all, undone or not.
    bool anyInstall = false;
    // The scripts of restores and rollbacks since then that were cut off before their end.
    std::vector<std::string> scriptsOfUnendedUndos;
};

// A record that the restore refuses whole, and why: a line the installer could not have written.
struct RecordRefusal {
    int line = 0;
    std::string why;
};

// A listed file as the package the restore runs from lists it.
struct ListedItem {
    Side side = Side::Product;
    std::string folder;
    std::string name;
};
std::vector<ListedItem> listedItems(const InstallerWindow& window);

// Reads a record as the restore must trust it. Only the record's last line may be cut off (by a crash, as
// it was written); every other line, from the last restore that succeeded on, must be one that the
// installer writes for this package: each root absolute with no "." or ".." folder, each destination one
// that the package's lists give under the install's root, each backup the destination's name with the
// install's suffix (never empty; or a date suffix, and an "_N" where that was taken) in the same folder,
// each temporary file one of the installer's in the same folder, no two of a file's names the same, no
// control character in any field. Anything else refuses the record whole.
std::variant<RecordHistory, RecordRefusal> readRecordHistory(std::string_view text, std::string_view identity,
                                                             const std::vector<ListedItem>& items);

} // namespace hotfix
