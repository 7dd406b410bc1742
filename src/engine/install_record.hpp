#pragma once

#include "engine/engine_services.hpp"
#include "engine/file_replacement.hpp"
#include "engine/installer_window.hpp"
#include "engine/side.hpp"
#include "platform/file_system.hpp"

#include <array>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hotfix {

// The folder of the machine's shared data folder (%ProgramData%) that holds the records of every package.
inline constexpr std::string_view kRecordFolderName = "HotFix Installer";

// The record's first line: its kind, the version of its format, and the package it belongs to.
inline constexpr std::string_view kRecordKind = "HotFix Installer record";
inline constexpr std::string_view kRecordVersion = "2";

// No real history of one package comes near this; a record past it is refused rather than read.
inline constexpr std::size_t kRecordSizeLimit = std::size_t{64} * 1024 * 1024;

// The package as its two lists name it: the same lists give the same identity wherever the package was
// unpacked (a deployment tool's cache folder changes from run to run), different lists another one.
std::string packageIdentity(const InstallerWindow& window);

// The package's record on this machine: <record folder>\<identity>\record.txt. One file per package holds
// every install and restore of it, in order, each line appended and made durable before what it announces.
std::string recordPath(std::string_view recordFolder, std::string_view identity);

// The one name a new record is written under, beside its place, before it takes the record's own: a fixed
// name, so that a run finds and removes what one cut off while making the record left there.
std::string recordTemporaryPath(std::string_view recordPath);
// Removes what a run cut off while making the record left; false where it is still there.
bool removeRecordLeftover(FileSystem& fs, std::string_view recordPath);
// Whether a record's text holds a whole line: one without any (nothing, or a first line cut off) is what a
// run killed while making the record, or a full disk, left of it, and records nothing.
bool holdsWholeLine(std::string_view text);

// Makes the folder of every package's record (and of the logs) where it is missing, with the parent the
// machine's data folder should have, protected as below; what is there is checked.
FileSystem::Privacy makeRecordRoot(FileSystem& fs, const std::string& recordFolder);

// Makes the record's folders where they are missing, protected so that only the administrators may change
// what is in them, and checks that they and the record are the installer's own: no link, no other owner,
// nobody else allowed to write. The user is told what is wrong otherwise.
bool prepareRecordFolder(const EngineServices& services, std::string_view identity);
// Tells the user why a record, or a folder on its way, cannot be trusted; true when it can (or, where it may
// be, when it is missing).
bool trustedRecordPart(const EngineServices& services, std::string_view path, FileSystem::Privacy privacy,
                       bool mayBeMissing);
// Whether the record, where there is one, may be read: the same checks, for a run that creates nothing.
bool recordIsPrivate(const EngineServices& services, std::string_view identity);

// The record of one install while it runs.
class InstallRecord final : public BatchJournal {
public:
    // Starts the install's entry in the package's record. Nothing, with the user told, when the record
    // cannot be written or cannot be trusted: then no file may be replaced.
    static std::optional<InstallRecord> begin(InstallerWindow& window, const EngineServices& services);

    // One "stage" line per file naming the temporary, backup and backup copy it is about to create, and the
    // installed file's attributes.
    bool beforeStaging(std::span<const PlannedFile> planned) override;
    // One "file" line per staged file: its side, destination, backup, the SHA-256 of the installed content
    // and of the new, and the temporary file holding the new.
    bool beforeReplacing(std::span<const StagedFile> staged) override;
    // Notes what became of a file; it is written with the next entry.
    void outcome(const ListedFile& file, FileOutcome result);
    // Ends the install's entry. False, with the user told, when it cannot be written.
    bool finish(bool succeeded);
    // Notes that the side's libraries wait for their registration, written with the next entry (and so before
    // any file is put in place); the path the script's start and end are noted in.
    void registrationPlanned(Side side);
    const std::string& path() const { return m_path; }

private:
    InstallRecord(const EngineServices& services, std::string path)
        : m_services(&services)
        , m_path(std::move(path)) {}
    bool append(std::string_view lines);
    bool create(std::string_view lines, FileSystem::Overwrite overwrite);

    const EngineServices* m_services;
    std::string m_path;
    std::string m_pending;
    std::array<bool, 2> m_registrationPlanned{};
};

// A side's registration in the record: "registration", the side, and one of these. Planned is written
// before a library is replaced; started before a script that reports each library's outcome starts, then
// succeeded or failed when it ends; silent where the script reports nothing (the window's), which counts as
// done. A side planned, started or failed but never done leaves its libraries unregistered.
inline constexpr std::string_view kRegistrationPlanned = "planned";
inline constexpr std::string_view kRegistrationStarted = "started";
inline constexpr std::string_view kRegistrationSilent = "silent";
inline constexpr std::string_view kRegistrationSucceeded = "succeeded";
inline constexpr std::string_view kRegistrationFailed = "failed";
bool isRegistrationState(std::string_view state);
// Appends a side's registration line to the record durably; false where it cannot.
bool recordRegistration(FileSystem& fs, std::string_view recordPath, Side side, std::string_view state);
// Appends "script", the side and the path of a script the run has just created, durably: a run cut off
// before it started the script leaves it behind, and the next run knows it for its own.
bool recordScript(FileSystem& fs, std::string_view recordPath, Side side, std::string_view scriptPath);

// A record's line: each field followed by a tab, then "." to mark the line whole; a tab, a line break or "%"
// inside a field escaped as %09, %0A, %0D or %25. The fields of a line that is not whole are none.
std::string recordLine(std::initializer_list<std::string_view> fields);
std::vector<std::string> recordFields(std::string_view line);

// The record's own names for sides, and the outcome of a file the run added.
std::string_view recordSideName(Side side);
std::optional<Side> recordSideNamed(std::string_view name);
std::string_view recordOutcomeName(FileOutcome outcome);
inline constexpr std::string_view kAddedOutcome = "new file";
inline constexpr std::string_view kAtRestartOutcome = "at restart";

// What a restore did with one file of an install.
enum class RestoreAction {
    // The file held the install's new content; it has its original back.
    Restored,
    // The install added the file, and it was unchanged; it is gone.
    Removed,
    // The file is as it was before the install already (a run cut off before it, or an earlier restore).
    AsBefore,
    // The file changed since the install (a later hot fix, a user); it is left alone.
    ChangedSince,
    // It could not be put back; the user has been told why.
    Failed,
};

// Each action with the name the record and the command line give it: the restore writes by this table, and
// the record's reader accepts these names alone.
inline constexpr std::array<std::pair<RestoreAction, std::string_view>, 5> kRestoreActionNames = {{
    {RestoreAction::Restored, "restored"},
    {RestoreAction::Removed, "removed"},
    {RestoreAction::AsBefore, "as before"},
    {RestoreAction::ChangedSince, "changed since"},
    {RestoreAction::Failed, "failed"},
}};
std::string_view restoreActionName(RestoreAction action);

// How the install ran, as its line in the record ends (records made before say nothing of it).
inline constexpr std::string_view kWindowRun = "window";
inline constexpr std::string_view kCommandLineRun = "command line";

// Now, in UTC, as the record writes times: 2026-12-07T17:26:21Z.
std::string recordTime();

} // namespace hotfix
