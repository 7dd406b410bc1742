#include "engine/record_history.hpp"

#include "engine/backup_name.hpp"
#include "engine/file_lists.hpp"
#include "engine/install_record.hpp"
#include "engine/name_rules.hpp"
#include "platform/temporary_name.hpp"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace hotfix {

namespace {

// The first line of a record written before the record named its package.
constexpr std::string_view kVersionOneHeading = "HotFix Installer record\t1";

bool isDigits(std::string_view text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isLowerHex(std::string_view text, std::size_t size) {
    return text.size() == size && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// 2026-12-07T17:26:21Z, as recordTime writes it.
bool isRecordTime(std::string_view text) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}

std::string_view folderOf(std::string_view path) {
    return path.substr(0, path.find_last_of("\\/") + 1);
}

// One of the installer's temporary names (~hotfix,<16 hex digits>,<number>.tmp) beside the destination.
bool isTemporaryBeside(std::string_view temporary, std::string_view destination) {
    const std::string_view folder = folderOf(destination);
    if (!temporary.starts_with(folder)) {
        return false;
    }
    std::string_view name = temporary.substr(folder.size());
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) {
        return false;
    }
    name =
        name.substr(kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
    const std::size_t comma = name.find(',');
    return comma == 16 && isLowerHex(name.substr(0, comma), 16) && isDigits(name.substr(comma + 1), 10);
}

// The side's script name in an absolute folder, or that name with "_N" (N from 2) before ".bat", as a run
// names the script where the name is taken.
bool isScriptOf(std::string_view path, Side side) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos || !isAbsoluteRoot(path.substr(0, slash)) ||
        leadsUpward(path.substr(0, slash))) {
        return false;
    }
    const std::string_view name = path.substr(slash + 1);
    const std::string_view base = sideInfo(side).scriptName.substr(1);
    const std::string_view stem = base.substr(0, base.size() - std::string_view(".bat").size());
    if (name == base) {
        return true;
    }
    if (!name.starts_with(stem) || !name.ends_with(".bat") || name.size() < stem.size() + 6) {
        return false;
    }
    const std::string_view number = name.substr(stem.size() + 1, name.size() - stem.size() - 5);
    return name[stem.size()] == '_' && isDigits(number, 9) && number[0] != '0' && number != "1";
}

bool isOutcomeName(std::string_view name) {
    constexpr FileOutcome kOutcomes[] = {
        FileOutcome::Replaced,   FileOutcome::SourceMissing, FileOutcome::NewFile,  FileOutcome::Failed,
        FileOutcome::PassedOver, FileOutcome::InPlace,       FileOutcome::AtRestart};
    return std::any_of(std::begin(kOutcomes), std::end(kOutcomes),
                       [&](FileOutcome outcome) { return recordOutcomeName(outcome) == name; });
}

bool isRestoreAction(std::string_view name) {
    return std::any_of(kRestoreActionNames.begin(), kRestoreActionNames.end(),
                       [&](const auto& each) { return each.second == name; });
}

class Reader {
public:
    Reader(std::string_view identity, const std::vector<ListedItem>& items)
        : m_identity(identity)
        , m_items(items) {}

    std::variant<RecordHistory, RecordRefusal> read(std::string_view text) {
        // What follows the last line break was cut off as it was written: a crash, a full disk.
        const std::size_t end = text.rfind('\n');
        text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
        std::vector<std::string_view> lines;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t stop = text.find('\n', start);
            lines.push_back(text.substr(start, stop - start));
            start = stop + 1;
        }
        if (lines.empty()) {
            return refuse(1, "is missing: the record is empty");
        }
        if (auto refusal = heading(lines.front())) {
            return *refusal;
        }
        // Only what followed the last restore that succeeded is still to undo.
        std::size_t first = 1;
        for (std::size_t i = lines.size(); i-- > 1;) {
            if (recordFields(lines[i]) == std::vector<std::string>{"end restore", "succeeded"}) {
                first = i + 1;
                break;
            }
        }
        for (std::size_t i = 1; i < first && !m_history.anyInstall; ++i) {
            const auto fields = recordFields(lines[i]);
            m_history.anyInstall = !fields.empty() && fields.front() == "install";
        }
        for (std::size_t i = first; i < lines.size(); ++i) {
            m_line = static_cast<int>(i) + 1;
            // A run that could not see the record (a failed look) heads it once more.
            if (lines[i] == lines.front()) {
                continue;
            }
            const std::vector<std::string> fields = recordFields(lines[i]);
            if (fields.empty()) {
                // Records of the first version may hold a line cut off by a crash in their midst.
                if (m_versionOne) {
                    continue;
                }
                return refuse(m_line, "is cut off or damaged");
            }
            if (auto why = take(fields)) {
                return refuse(m_line, *why);
            }
        }
        leaveUnended();
        return m_history;
    }

private:
    static RecordRefusal refuse(int line, std::string why) { return {line, std::move(why)}; }

    std::optional<RecordRefusal> heading(std::string_view line) {
        if (line == kVersionOneHeading) {
            m_versionOne = true;
            return std::nullopt;
        }
        const std::vector<std::string> fields = recordFields(line);
        if (fields.empty() || fields[0] != kRecordKind) {
            return refuse(1, "is not the heading of an install record");
        }
        if (fields.size() != 3 || fields[1] != kRecordVersion) {
            return refuse(1, "is the heading of a record of another version of the installer");
        }
        if (fields[2] != m_identity) {
            return refuse(1, "names another package");
        }
        return std::nullopt;
    }

    // Nothing when the line is one the installer writes, where it writes it; otherwise what is wrong.
    std::optional<std::string> take(const std::vector<std::string>& fields) {
        for (const std::string& field : fields) {
            if (holdsControlCharacter(field)) {
                return "holds a control character";
            }
        }
        const std::string& kind = fields[0];
        const std::size_t count = fields.size();
        if (kind == "install" &&
            (count == 7 || (count == 8 && (fields[7] == kWindowRun || fields[7] == kCommandLineRun)))) {
            return install(fields);
        }
        if (kind == "stage" && count == 7) {
            return stage(fields);
        }
        if (kind == "file" && count == 7) {
            return file(fields);
        }
        if (kind == "outcome" && count == 4) {
            return outcome(fields);
        }
        if (kind == "end install" && count == 2 && (fields[1] == "succeeded" || fields[1] == "failed")) {
            if (!inInstall()) {
                return "ends no install";
            }
            m_lastEndedInstall = true;
            return endSection();
        }
        if (kind == "registration" && count == 3 && recordSideNamed(fields[1]) &&
            isRegistrationState(fields[2])) {
            // A script ends after its install's last line, but before anything else begins.
            if (!inInstall() && !(m_section == Section::None && m_lastEndedInstall)) {
                return "stands outside an install";
            }
            RecordedInstall& install = m_history.toUndo.back();
            const std::size_t side = *recordSideNamed(fields[1]) == Side::Product ? 0 : 1;
            if (fields[2] == kRegistrationPlanned) {
                install.registrationPlanned[side] = true;
            } else {
                install.registrationEnded[side] = fields[2];
            }
            return std::nullopt;
        }
        if (kind == "script" && count == 3 && recordSideNamed(fields[1])) {
            const Side side = *recordSideNamed(fields[1]);
            if (m_section == Section::None) {
                return "stands outside an install or a restore";
            }
            if (!isScriptOf(fields[2], side)) {
                return "names a file that is not one of the side's scripts";
            }
            if (inInstall()) {
                m_history.toUndo.back().scripts[side == Side::Product ? 0 : 1].push_back(fields[2]);
            } else {
                m_undoScripts.push_back(fields[2]);
            }
            return std::nullopt;
        }
        if (kind == "restore" && count == 2 && isRecordTime(fields[1])) {
            leaveUnended();
            m_section = Section::Restore;
            m_lastEndedInstall = false;
            return std::nullopt;
        }
        if (kind == "rollback" && count == 2 && isRecordTime(fields[1])) {
            // The run that made an install rolls it back directly after it, whether or not its last line
            // could be written.
            if (!inInstall() && !(m_section == Section::None && m_lastEndedInstall)) {
                return "rolls back no install";
            }
            leaveUnended();
            m_section = Section::Rollback;
            return std::nullopt;
        }
        if (kind == "restored" && count == 4 && recordSideNamed(fields[1]) && isRestoreAction(fields[3])) {
            return m_section == Section::Restore || m_section == Section::Rollback
                       ? std::nullopt
                       : std::optional<std::string>("stands outside a restore");
        }
        if (kind == "end rollback" && count == 2 && (fields[1] == "succeeded" || fields[1] == "failed")) {
            if (m_section != Section::Rollback) {
                return "ends no rollback";
            }
            // A rollback that went through leaves nothing of its install to undo.
            if (fields[1] == "succeeded" && !m_history.toUndo.empty()) {
                m_history.toUndo.pop_back();
            }
            return endSection();
        }
        if (kind == "end restore" && count == 2 && fields[1] == "failed") {
            return m_section == Section::Restore ? endSection()
                                                 : std::optional<std::string>("ends no restore");
        }
        return "is not a line the installer writes";
    }

    // A restore or rollback that never wrote its end was cut off, perhaps before it started its scripts.
    void leaveUnended() {
        m_history.scriptsOfUnendedUndos.insert(m_history.scriptsOfUnendedUndos.end(), m_undoScripts.begin(),
                                               m_undoScripts.end());
        m_undoScripts.clear();
    }

    std::optional<std::string> endSection() {
        // Its end is written once its scripts have started.
        m_undoScripts.clear();
        m_lastEndedInstall = m_lastEndedInstall && m_section == Section::Install;
        m_section = Section::None;
        return std::nullopt;
    }

    bool inInstall() const { return m_section == Section::Install; }

    std::optional<std::string> install(const std::vector<std::string>& fields) {
        if (!isRecordTime(fields[1])) {
            return "has no time the installer writes";
        }
        const std::string& productRoot = fields[3];
        const std::string& windowsRoot = fields[4];
        // A side with no listed file may have no root at all (none in the registry, none given): then no
        // destination lies on it.
        const auto rootOrNone = [](const std::string& root) {
            return root.empty() || isAbsoluteRoot(root);
        };
        if (!rootOrNone(productRoot) || !rootOrNone(windowsRoot) ||
            (productRoot.empty() && windowsRoot.empty())) {
            return "names a root that is no folder's path";
        }
        if (!isBackupSuffix(fields[5])) {
            return "names a suffix that no backup name can hold";
        }
        if (fields[6] != "register-dlls" && fields[6] != "no-register-dlls") {
            return "says neither whether libraries were registered nor that they were not";
        }
        leaveUnended();
        m_section = Section::Install;
        m_history.anyInstall = true;
        m_suffix = fields[5];
        for (std::unordered_set<std::string>& set : m_destinations) {
            set.clear();
        }
        const std::array<std::string_view, 2> roots = {productRoot, windowsRoot};
        for (const ListedItem& item : m_items) {
            // The lists' reader refuses such an entry: the installer never wrote a line for it.
            if (!isEntryPart(item.folder) || !isEntryPart(item.name)) {
                continue;
            }
            const auto side = static_cast<std::size_t>(item.side == Side::Product ? 0 : 1);
            if (roots[side].empty()) {
                continue;
            }
            m_destinations[side].insert(DestinationPath(roots[side], item.folder, item.name));
        }
        m_history.toUndo.push_back(
            {m_line, productRoot, windowsRoot, m_suffix, fields[6] == "register-dlls", {}, {}, {}, {}});
        return std::nullopt;
    }

    // The side, and a destination that the package's lists give for it under the install's root.
    std::optional<std::string> destination(const std::string& sideName, const std::string& path, Side& side) {
        if (!inInstall()) {
            return "stands outside an install";
        }
        const auto named = recordSideNamed(sideName);
        if (!named) {
            return "names no side";
        }
        side = *named;
        if (leadsUpward(path) || !m_destinations[side == Side::Product ? 0 : 1].contains(path)) {
            return "names a file that the package does not list";
        }
        return std::nullopt;
    }

    std::optional<std::string> names(const std::string& destination, const std::string& temporary,
                                     const std::string& backup, const std::string& backupTemporary) const {
        if (!temporary.empty() && !isTemporaryBeside(temporary, destination)) {
            return "names a temporary file that is not the installer's";
        }
        if (!backupTemporary.empty() && !isTemporaryBeside(backupTemporary, destination)) {
            return "names a temporary file that is not the installer's";
        }
        if (!backup.empty() && !isBackupOf(backup, destination, m_suffix)) {
            return "names a backup that is not one of the file's";
        }
        // Each name is a file of its own: a restore that took a backup, or a temporary file, for the
        // destination would remove or overwrite the very file it means to keep.
        const std::array<std::string_view, 4> roles = {destination, temporary, backup, backupTemporary};
        for (std::size_t i = 0; i < roles.size(); ++i) {
            for (std::size_t j = i + 1; j < roles.size(); ++j) {
                if (!roles[i].empty() && roles[i] == roles[j]) {
                    return "names one file for two of its parts";
                }
            }
        }
        return std::nullopt;
    }

    std::optional<std::string> stage(const std::vector<std::string>& fields) {
        Side side{};
        if (auto why = destination(fields[1], fields[2], side)) {
            return why;
        }
        if (auto why = names(fields[2], fields[3], fields[4], fields[5])) {
            return why;
        }
        const std::string& marks = fields[6];
        if (fields[4].empty() ? !marks.empty() : !isDigits(marks, 10)) {
            return "gives the file's marks where the installer gives none, or none where it gives them";
        }
        RecordedFile entry;
        entry.side = side;
        entry.destination = fields[2];
        entry.temporary = fields[3];
        entry.backup = fields[4];
        entry.backupTemporary = fields[5];
        if (!marks.empty()) {
            entry.marks = static_cast<std::uint32_t>(std::stoull(marks));
        }
        m_history.toUndo.back().files.push_back(std::move(entry));
        return std::nullopt;
    }

    std::optional<std::string> file(const std::vector<std::string>& fields) {
        Side side{};
        if (auto why = destination(fields[1], fields[2], side)) {
            return why;
        }
        const std::string& backup = fields[3];
        const std::string& original = fields[4];
        const std::string& fresh = fields[5];
        const std::string& temporary = fields[6];
        if (temporary.empty()) {
            return "names no temporary file";
        }
        if (auto why = names(fields[2], temporary, backup, {})) {
            return why;
        }
        if (!isLowerHex(fresh, 64) || (backup.empty() ? !original.empty() : !isLowerHex(original, 64))) {
            return "holds no SHA-256 digest where the installer writes one";
        }
        std::vector<RecordedFile>& files = m_history.toUndo.back().files;
        auto entry = std::find_if(files.begin(), files.end(), [&](const RecordedFile& each) {
            return !each.journalled && each.side == side && each.destination == fields[2] &&
                   each.temporary == temporary;
        });
        if (entry == files.end()) {
            // Records of the first version name no file before the "file" line.
            if (!m_versionOne) {
                return "names a file that no earlier line of the install names";
            }
            files.push_back({side, fields[2], temporary, backup, {}, {}, false, {}, {}, {}});
            entry = std::prev(files.end());
        }
        if (entry->backup != backup) {
            return "names another backup than the install was about to make";
        }
        entry->journalled = true;
        entry->originalSha256 = original;
        entry->newSha256 = fresh;
        return std::nullopt;
    }

    std::optional<std::string> outcome(const std::vector<std::string>& fields) {
        Side side{};
        if (auto why = destination(fields[1], fields[2], side)) {
            return why;
        }
        if (!isOutcomeName(fields[3])) {
            return "names no outcome the installer writes";
        }
        // A file listed twice has two entries, and two outcomes in the same order; a file refused before it
        // got a name has an outcome alone.
        for (RecordedFile& each : m_history.toUndo.back().files) {
            if (!each.outcome && each.side == side && each.destination == fields[2]) {
                each.outcome = fields[3];
                break;
            }
        }
        return std::nullopt;
    }

    enum class Section { None, Install, Restore, Rollback };

    std::string_view m_identity;
    const std::vector<ListedItem>& m_items;
    bool m_versionOne = false;
    int m_line = 0;
    Section m_section = Section::None;
    // The scripts of the restore or rollback being read.
    std::vector<std::string> m_undoScripts;
    // The section just ended was an install of the history still to undo.
    bool m_lastEndedInstall = false;
    std::string m_suffix;
    std::array<std::unordered_set<std::string>, 2> m_destinations;
    RecordHistory m_history;
};

} // namespace

std::vector<ListedItem> listedItems(const InstallerWindow& window) {
    std::vector<ListedItem> items;
    for (const Side side : kSides) {
        for (int i = 0; i < window.itemCount(side); ++i) {
            items.push_back({side, window.itemFolder(side, i), window.itemName(side, i)});
        }
    }
    return items;
}

std::variant<RecordHistory, RecordRefusal> readRecordHistory(std::string_view text, std::string_view identity,
                                                             const std::vector<ListedItem>& items) {
    return Reader(identity, items).read(text);
}

} // namespace hotfix
