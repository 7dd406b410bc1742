#pragma once

#include "engine/engine_services.hpp"
#include "engine/file_replacement.hpp"
#include "engine/installer_window.hpp"
#include "engine/side.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hotfix {

// The folder of the machine's shared data folder (%ProgramData%) that holds the records of every package.
inline constexpr std::string_view kRecordFolderName = "HotFix Installer";

// The package as its two lists name it: the same lists give the same identity wherever the package was
// unpacked (a deployment tool's cache folder changes from run to run), different lists another one.
std::string PackageIdentity(const InstallerWindow& window);

// The package's record on this machine: <record folder>\<identity>\record.txt. One file per package holds
// every install and restore of it, in order, each line appended and made durable before what it announces.
std::string RecordPath(std::string_view recordFolder, std::string_view identity);

// The record of one install while it runs.
class InstallRecord {
public:
    // Starts the install's entry in the package's record. Nothing, with the user told, when the record
    // cannot be written: then no file may be replaced.
    static std::optional<InstallRecord> Begin(InstallerWindow& window, const EngineServices& services);

    // Makes one entry per staged file durable before any of them is put in place: its side, destination,
    // backup, the SHA-256 of the installed content and of the new, the temporary file holding the new, and
    // for an added file its identity.
    // False, with the user told, when that cannot be done.
    bool BeforeReplacing(std::span<const StagedFile> staged);
    // Notes what became of a file; it is written with the next entry.
    void Outcome(const ListedFile& file, FileOutcome outcome);
    // Ends the install's entry. False, with the user told, when it cannot be written.
    bool Finish(bool succeeded);

private:
    InstallRecord(const EngineServices& services, std::string path)
        : m_services(services)
        , m_path(std::move(path)) {}
    bool append(std::string_view lines);

    const EngineServices& m_services;
    std::string m_path;
    std::string m_pending;
};

// What a record says of one file of an install.
struct RecordedFile {
    Side side = Side::Product;
    std::string destination;
    // Empty for a file the install added.
    std::string backup;
    // Empty for a file the install added.
    std::string originalSha256;
    std::string newSha256;
    // Where the new content waited to be put in place; a run cut off may have left it.
    std::string temporary;
    // What the run said became of the file; nothing where it was cut off before it could say.
    std::optional<std::string> outcome;
};

// The outcome the record writes for a file that a run added.
inline constexpr std::string_view kAddedOutcome = "new file";

struct RecordedInstall {
    bool registerDlls = false;
    // In the order the install put them in place.
    std::vector<RecordedFile> files;
};

// The last install a record holds. A last line cut off by a crash is passed over. Nothing when the record
// cannot be read or holds no install.
std::optional<RecordedInstall> ReadLastInstall(FileSystem& fs, std::string_view path);

// A record's line: each field followed by a tab, then "." to mark the line whole; a tab, a line break or "%"
// inside a field escaped as %09, %0A, %0D or %25. The fields of a line that is not whole are none.
std::string RecordLine(std::initializer_list<std::string_view> fields);
std::vector<std::string> RecordFields(std::string_view line);

// The record's own names for sides.
std::string_view RecordSideName(Side side);

// Now, in UTC, as the record writes times: 2026-12-07T17:26:21Z.
std::string RecordTime();

} // namespace hotfix
