#pragma once

#include "engine/engine_services.hpp"
#include "engine/installer_window.hpp"
#include "engine/side.hpp"
#include "platform/file_system.hpp"

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

namespace hotfix {

class InstallRecord;

// One listed file as the run sees it.
struct ListedFile {
    Side side = Side::Product;
    int index = 0;
    std::string name;
    std::string folder;
    std::string destination;
    std::string source;
};

ListedFile listedFileAt(Side side, int index, const InstallerWindow& window, std::string_view programFolder);

// A listed file whose new content is written beside its place, complete but not yet flushed or named.
struct StagedFile {
    ListedFile file;
    std::string temporary;
    // Empty for a file that was not installed.
    std::string backup;
    // Where the file system has no hard links: a copy of the installed file waiting for the backup's name.
    std::string backupTemporary;
    FileAttributes originalMarks;
};

// Backs up and replaces (or adds) one listed file up to the point where its new content waits beside its
// place: either the outcome is final already (the user has been told of any fault), or the file is staged.
std::variant<FileOutcome, StagedFile> StageListedFile(const ListedFile& file, InstallerWindow& window,
                                                      const EngineServices& services);

// Files staged together and put in place together. One flush makes every new content and every backup
// durable before any installed file is replaced, so that a replaced file always has a complete backup on
// the disk, without waiting for the disk once per file.
class ReplacementBatch {
public:
    // With a record, the batch's entries are in it, on the disk, before any file is put in place.
    explicit ReplacementBatch(const EngineServices& services, InstallRecord* record = nullptr)
        : m_services(services)
        , m_record(record) {}

    bool empty() const { return m_staged.empty(); }
    // Whether a staged file goes to this destination (spelled in any case): such a file must be in place
    // before the destination is looked at again.
    bool holds(std::string_view destination) const;
    void add(StagedFile staged);

    // Flushes, records, puts every staged file in place in the order staged and reports each one's outcome.
    // Empties the batch. False when the files could not be made durable (the user has been told).
    bool commit(const std::function<void(const ListedFile&, FileOutcome)>& outcome);

private:
    // The destination as Windows compares names: separators and ASCII letters' case do not count.
    static std::string folded(std::string_view destination);
    FileOutcome putInPlace(const StagedFile& staged);

    const EngineServices& m_services;
    InstallRecord* m_record;
    std::vector<StagedFile> m_staged;
    std::unordered_set<std::string> m_destinations;
};

// What an install would do with a listed file, as it stands now.
enum class PlannedAction {
    Replace,
    CopyNew,
    PassOverFolderMissing,
    PassOverPackageFileMissing,
    RefusedPackageFileMissing,
    RefusedNoBackupName,
    RefusedPackageIsRoot
};
struct PlannedFile {
    PlannedAction action = PlannedAction::CopyNew;
    // The backup's name, for a replacement.
    std::string backup;
};
// Looks only, with the suffix the checks settled: nothing on the disk changes.
PlannedFile PlanListedFile(const ListedFile& file, std::string_view backupSuffix,
                           const EngineServices& services);

// Removes a backup name, also where it is a second name of the installed file; the installed file keeps
// its marks.
void RemoveBackupName(FileSystem& fs, const std::string& backup, const std::string& installed,
                      FileAttributes marks);

// Backs up and replaces (or adds) item index of a side, on its own.
FileOutcome ReplaceListedFile(Side side, int index, InstallerWindow& window, const EngineServices& services);

} // namespace hotfix
