#include "engine/installed_hot_fixes.hpp"

#include "engine/install_record.hpp"
#include "engine/sha256.hpp"
#include "platform/file_system.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string_view>

namespace hotfix {

namespace {

struct Install {
    std::string time;
    std::string packageFolder;
    std::string mode;
    std::string result = "cut off";
    bool undone = false;
    // By destination: the new content's digest, and what the run said became of the file.
    std::map<std::string, std::pair<std::string, std::string>> files;
    // By side: the last registration state written, empty where none.
    std::array<std::string, 2> registration;
};

std::size_t sideIndex(std::string_view name) {
    return recordSideNamed(name) == Side::Windows ? 1 : 0;
}

// What the installs of one record say, line by line. The record is the installer's own (private, read as
// such); a line it does not know is passed over, as this is an inventory, never a decision to change a file.
class RecordSummary {
public:
    explicit RecordSummary(std::string identity) { m_fix.identity = std::move(identity); }

    InstalledHotFix read(FileSystem& fs, const std::string& path) {
        std::string text;
        bool tooLarge = false;
        const FileSystem::Privacy privacy = fs.readPrivateFile(path, [&](std::span<const char> piece) {
            tooLarge = tooLarge || text.size() + piece.size() > kRecordSizeLimit;
            if (!tooLarge) {
                text.append(piece.data(), piece.size());
            }
        });
        if (privacy != FileSystem::Privacy::Private || tooLarge) {
            return refused(tooLarge ? "the record is larger than any the installer writes"
                                    : "the record cannot be read, or is not the installer's own");
        }
        std::size_t start = 0;
        bool first = true;
        for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
            const std::vector<std::string> fields =
                recordFields(std::string_view(text).substr(start, end - start));
            start = end + 1;
            if (first) {
                first = false;
                if (fields.size() != 3 || fields[0] != kRecordKind || fields[1] != kRecordVersion ||
                    fields[2] != m_fix.identity) {
                    return refused("the record is not one this version of the installer reads");
                }
                continue;
            }
            take(fields);
        }
        if (first) {
            return refused("the record holds no whole line");
        }
        summarize(fs);
        return m_fix;
    }

private:
    InstalledHotFix refused(std::string why) {
        m_fix.refusal = std::move(why);
        return m_fix;
    }

    void take(const std::vector<std::string>& fields) {
        if (fields.empty()) {
            return;
        }
        const std::string& kind = fields[0];
        Install* const last = m_installs.empty() ? nullptr : &m_installs.back();
        if (kind == "install" && fields.size() >= 7) {
            m_installs.push_back(
                {fields[1], fields[2], fields.size() > 7 ? fields[7] : "", "cut off", false, {}, {}});
            m_fix.restored = false;
        } else if (kind == "file" && fields.size() == 7 && last != nullptr) {
            last->files[fields[2]] = {fields[5], ""};
        } else if (kind == "outcome" && fields.size() == 4 && last != nullptr) {
            if (const auto found = last->files.find(fields[2]); found != last->files.end()) {
                found->second.second = fields[3];
            }
        } else if (kind == "registration" && fields.size() == 3 && last != nullptr) {
            last->registration[sideIndex(fields[1])] = fields[2];
        } else if (kind == "end install" && fields.size() == 2 && last != nullptr) {
            last->result = fields[1];
        } else if ((kind == "restore" || kind == "rollback") && fields.size() == 2) {
            m_undoTime = fields[1];
        } else if (kind == "end restore" && fields == std::vector<std::string>{"end restore", "succeeded"}) {
            for (Install& install : m_installs) {
                install.undone = true;
            }
            m_fix.restored = !m_installs.empty();
            m_fix.restoredAt = m_undoTime;
        } else if (kind == "end rollback" && fields.size() == 2 && fields[1] == "succeeded" &&
                   last != nullptr) {
            last->undone = true;
            last->result = "rolled back";
        }
    }

    void summarize(FileSystem& fs) {
        if (m_installs.empty()) {
            return;
        }
        const Install& newest = m_installs.back();
        m_fix.packageFolder = newest.packageFolder;
        m_fix.installedAt = newest.time;
        m_fix.mode = newest.mode;
        m_fix.result = newest.result;
        // What the installs not undone left, each file as the latest of them changed it.
        std::map<std::string, std::pair<std::string, std::string>> files;
        std::array<std::string, 2> registration;
        const Install* newestStanding = nullptr;
        for (const Install& install : m_installs) {
            if (install.undone) {
                continue;
            }
            newestStanding = &install;
            for (const auto& [destination, file] : install.files) {
                files[destination] = file;
            }
            for (std::size_t side = 0; side < registration.size(); ++side) {
                if (!install.registration[side].empty()) {
                    registration[side] = install.registration[side];
                }
            }
        }
        if (newestStanding == nullptr || newestStanding->result != "succeeded") {
            return;
        }
        const bool registered =
            std::all_of(registration.begin(), registration.end(), [](const std::string& state) {
                return state.empty() || state == kRegistrationSucceeded || state == kRegistrationSilent;
            });
        const bool filesInPlace = std::all_of(files.begin(), files.end(), [&fs](const auto& file) {
            const std::string& outcome = file.second.second;
            const bool changed =
                outcome == "replaced" || outcome == kAddedOutcome || outcome == kAtRestartOutcome;
            return !changed || fileSha256(fs, file.first) == file.second.first;
        });
        m_fix.inPlace = registered && filesInPlace;
    }

    InstalledHotFix m_fix;
    std::vector<Install> m_installs;
    std::string m_undoTime;
};

} // namespace

std::vector<InstalledHotFix> installedHotFixes(FileSystem& fs, const std::string& recordFolder) {
    std::vector<std::string> identities =
        fs.subfolderNames(recordFolder).value_or(std::vector<std::string>{});
    std::sort(identities.begin(), identities.end());
    std::vector<InstalledHotFix> fixes;
    for (const std::string& identity : identities) {
        const std::string path = recordPath(recordFolder, identity);
        // The logs' and the scripts' folders, and a package whose record was never made.
        if (!fs.fileExists(path)) {
            continue;
        }
        fixes.push_back(RecordSummary(identity).read(fs, path));
    }
    return fixes;
}

} // namespace hotfix
