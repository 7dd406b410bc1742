#include "engine/install_record.hpp"

#include "engine/messages.hpp"
#include "engine/sha256.hpp"
#include "engine/text.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"
#include "platform/temporary_name.hpp"

#include <chrono>
#include <cstdio>

namespace hotfix {

namespace {

constexpr std::string_view kRecordFileName = "record.txt";
// The last field of every line: what lacks it was cut off as it was written.
constexpr std::string_view kLineEnd = "\t.";
// Enough of the digest to tell packages apart on one machine, short enough for a folder name.
constexpr std::size_t kIdentityDigits = 16;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view privacyText(FileSystem::Privacy privacy) {
    switch (privacy) {
    case FileSystem::Privacy::Private:
        return "";
    case FileSystem::Privacy::Missing:
        return "it is missing and cannot be made";
    case FileSystem::Privacy::Link:
        return "it is a link to somewhere else";
    case FileSystem::Privacy::ForeignOwner:
        return "it belongs to another account";
    case FileSystem::Privacy::OthersMayWrite:
        return "other accounts may change it";
    case FileSystem::Privacy::Unknown:
        return "its owner and rights cannot be read";
    case FileSystem::Privacy::NotPlainFile:
        return "it is no plain file of its own: a pipe, a device, or a file with another name elsewhere";
    }
    return "";
}

std::string packageFolder(const EngineServices& services, std::string_view identity) {
    return concat({services.recordFolder, "\\", identity});
}

// What an install finds where its record goes.
enum class Found { Nothing, NoWholeLine, Lines };

Found recordFound(FileSystem& fs, const std::string& path) {
    if (!fs.fileExists(path)) {
        return Found::Nothing;
    }
    bool line = false;
    const bool read = fs.readFile(path, [&line](std::span<const char> piece) {
        line = line || holdsWholeLine(std::string_view(piece.data(), piece.size()));
    });
    // A record that cannot be read is never replaced: the append meets what is wrong with it.
    return !read || line ? Found::Lines : Found::NoWholeLine;
}

} // namespace

bool trustedRecordPart(const EngineServices& services, std::string_view path, FileSystem::Privacy privacy,
                       bool mayBeMissing) {
    if (privacy == FileSystem::Privacy::Private ||
        (mayBeMissing && privacy == FileSystem::Privacy::Missing)) {
        return true;
    }
    services.msgBox.show(messages::recordNotPrivate(path, privacyText(privacy)));
    return false;
}

std::string packageIdentity(const InstallerWindow& window) {
    Sha256 digest;
    for (const Side side : kSides) {
        const int count = window.itemCount(side);
        for (int i = 0; i < count; ++i) {
            const std::string line =
                recordLine({recordSideName(side), window.itemFolder(side, i), window.itemName(side, i)}) +
                "\n";
            digest.update(line);
        }
    }
    return digest.hexDigest().substr(0, kIdentityDigits);
}

std::string recordPath(std::string_view recordFolder, std::string_view identity) {
    return concat({recordFolder, "\\", identity, "\\", kRecordFileName});
}

std::string recordTemporaryPath(std::string_view recordPath) {
    return concat({recordPath.substr(0, recordPath.find_last_of("\\/") + 1), kTemporaryPrefix, "record",
                   kTemporarySuffix});
}

bool removeRecordLeftover(FileSystem& fs, std::string_view recordPath) {
    const std::string leftover = recordTemporaryPath(recordPath);
    return !fs.fileExists(leftover) || fs.deleteFile(leftover);
}

bool holdsWholeLine(std::string_view text) {
    return text.find('\n') != std::string_view::npos;
}

FileSystem::Privacy makeRecordRoot(FileSystem& fs, const std::string& recordFolder) {
    // The machine's data folder is there on every Windows; a fresh Wine prefix may still lack it.
    if (const auto separator = recordFolder.find_last_of("\\/");
        separator != std::string::npos && separator > 0 && !fs.folderExists(recordFolder)) {
        fs.createFolders(recordFolder.substr(0, separator));
    }
    return fs.makePrivateFolder(recordFolder);
}

bool prepareRecordFolder(const EngineServices& services, std::string_view identity) {
    FileSystem& fs = services.fs;
    const std::string folder = packageFolder(services, identity);
    const std::string& root = services.recordFolder;
    return trustedRecordPart(services, root, makeRecordRoot(fs, root), false) &&
           trustedRecordPart(services, folder, fs.makePrivateFolder(folder), false) &&
           trustedRecordPart(services, recordPath(services.recordFolder, identity),
                             fs.privacy(recordPath(services.recordFolder, identity)), true);
}

bool recordIsPrivate(const EngineServices& services, std::string_view identity) {
    FileSystem& fs = services.fs;
    const std::string folder = packageFolder(services, identity);
    const std::string path = recordPath(services.recordFolder, identity);
    return trustedRecordPart(services, services.recordFolder, fs.privacy(services.recordFolder), true) &&
           trustedRecordPart(services, folder, fs.privacy(folder), true) &&
           trustedRecordPart(services, path, fs.privacy(path), true);
}

std::string_view recordSideName(Side side) {
    return side == Side::Product ? "Vantrel" : "Windows";
}

std::optional<Side> recordSideNamed(std::string_view name) {
    for (const Side side : kSides) {
        if (recordSideName(side) == name) {
            return side;
        }
    }
    return std::nullopt;
}

std::string_view recordOutcomeName(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::Replaced:
        return "replaced";
    case FileOutcome::NewFile:
        return kAddedOutcome;
    case FileOutcome::SourceMissing:
        return "package file missing";
    case FileOutcome::Failed:
        return "failed";
    case FileOutcome::InPlace:
        return "in place";
    case FileOutcome::PassedOver:
        return "passed over";
    case FileOutcome::AtRestart:
        return kAtRestartOutcome;
    }
    return "";
}

std::string recordTime() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string recordLine(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (const std::string_view field : fields) {
        for (const char c : field) {
            switch (c) {
            case '%':
                line += "%25";
                break;
            case '\t':
                line += "%09";
                break;
            case '\n':
                line += "%0A";
                break;
            case '\r':
                line += "%0D";
                break;
            default:
                line += c;
            }
        }
        line += '\t';
    }
    // The tab after the last field and this make the line's end mark.
    line += '.';
    return line;
}

std::vector<std::string> recordFields(std::string_view line) {
    // A line cut off by a crash lacks its end mark.
    if (!line.ends_with(kLineEnd)) {
        return {};
    }
    line.remove_suffix(kLineEnd.size());
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '%' && i + 2 < line.size() && hexValue(line[i + 1]) >= 0 &&
                   hexValue(line[i + 2]) >= 0) {
            fields.back() += static_cast<char>(hexValue(line[i + 1]) * 16 + hexValue(line[i + 2]));
            i += 2;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::optional<InstallRecord> InstallRecord::begin(InstallerWindow& window, const EngineServices& services) {
    FileSystem& fs = services.fs;
    const std::string identity = packageIdentity(window);
    if (!prepareRecordFolder(services, identity)) {
        return std::nullopt;
    }
    InstallRecord record(services, recordPath(services.recordFolder, identity));
    std::string lines =
        recordLine({"install", recordTime(), services.programFolder, window.rootText(Side::Product),
                    window.rootText(Side::Windows), window.installState().BackupSuffix,
                    window.registerDllsTicked() ? "register-dlls" : "no-register-dlls",
                    window.unattended() ? kCommandLineRun : kWindowRun});
    lines += '\n';
    bool begun = false;
    switch (recordFound(fs, record.m_path)) {
    case Found::Lines:
        begun = record.append(lines);
        break;
    case Found::Nothing:
        begun = record.create(recordLine({kRecordKind, kRecordVersion, identity}) + "\n" + lines,
                              FileSystem::Overwrite::Never);
        break;
    case Found::NoWholeLine:
        // Nothing is recorded in it: made anew, as where there was none.
        begun = record.create(recordLine({kRecordKind, kRecordVersion, identity}) + "\n" + lines,
                              FileSystem::Overwrite::Existing);
        break;
    }
    if (!begun) {
        return std::nullopt;
    }
    return record;
}

// The record takes its name with its heading and first lines on the disk: a run killed or a disk full
// while it is written leaves no record, never one without its heading.
bool InstallRecord::create(std::string_view lines, FileSystem::Overwrite overwrite) {
    FileSystem& fs = m_services->fs;
    const std::string temporary = recordTemporaryPath(m_path);
    const std::vector<std::string> names = {m_path};
    // Only a record that still holds no line is replaced: looked at again right before.
    const bool made =
        removeRecordLeftover(fs, m_path) && fs.appendDurably(temporary, lines) &&
        (overwrite == FileSystem::Overwrite::Never || recordFound(fs, m_path) == Found::NoWholeLine) &&
        fs.moveFile(temporary, m_path, overwrite) && fs.flushNames(names);
    if (!made) {
        removeRecordLeftover(fs, m_path);
        m_services->msgBox.show(messages::couldNotWriteRecord(m_path));
    }
    return made;
}

bool InstallRecord::append(std::string_view lines) {
    m_pending += lines;
    if (m_services->fs.appendDurably(m_path, m_pending)) {
        m_pending.clear();
        return true;
    }
    // The next append drops what this one left of its last line.
    m_pending.clear();
    m_services->msgBox.show(messages::couldNotWriteRecord(m_path));
    return false;
}

bool InstallRecord::beforeStaging(std::span<const PlannedFile> planned) {
    std::string lines;
    for (const PlannedFile& each : planned) {
        if (each.temporary.empty() && each.backupTemporary.empty()) {
            continue;
        }
        const bool installed = each.action == PlannedAction::Replace ||
                               each.action == PlannedAction::BackUpOnlyPackageFileMissing;
        // The installed file's attributes, which a crash could take from it while a hard link of it has them
        // lifted, and a restore puts back.
        const std::string marks = installed ? std::to_string(each.originalMarks.bits) : std::string();
        lines += recordLine({"stage", recordSideName(each.file.side), each.file.destination, each.temporary,
                             installed ? std::string_view(each.backup) : std::string_view(),
                             each.backupTemporary, marks});
        lines += '\n';
    }
    return lines.empty() || append(lines);
}

bool InstallRecord::beforeReplacing(std::span<const StagedFile> staged) {
    FileSystem& fs = m_services->fs;
    std::string lines;
    for (const StagedFile& each : staged) {
        const PlannedFile& planned = each.plan;
        const bool added = planned.action != PlannedAction::Replace;
        // Digests taken on the way are not taken again: each byte is read once. They may still be being
        // taken.
        const auto valueOf = [](const std::optional<PendingDigest>& digest) {
            return digest ? std::optional<std::string>(digest->value()) : std::nullopt;
        };
        std::optional<std::string> original =
            valueOf(each.originalSha256 ? each.originalSha256 : planned.installedSha256);
        if (added) {
            original = "";
        } else if (!original) {
            original = fileSha256(fs, planned.file.destination);
        }
        const std::optional<std::string> fresh =
            each.newSha256 ? valueOf(each.newSha256) : fileSha256(fs, planned.temporary);
        if (!original || !fresh) {
            m_services->msgBox.show(messages::couldNotWriteRecord(m_path));
            return false;
        }
        lines += recordLine({"file", recordSideName(planned.file.side), planned.file.destination,
                             added ? std::string_view() : std::string_view(planned.backup), *original, *fresh,
                             planned.temporary});
        lines += '\n';
    }
    return append(lines);
}

void InstallRecord::registrationPlanned(Side side) {
    bool& planned = m_registrationPlanned[side == Side::Product ? 0 : 1];
    if (!planned) {
        planned = true;
        m_pending += recordLine({"registration", recordSideName(side), kRegistrationPlanned}) + "\n";
    }
}

bool isRegistrationState(std::string_view state) {
    return state == kRegistrationPlanned || state == kRegistrationStarted || state == kRegistrationSilent ||
           state == kRegistrationSucceeded || state == kRegistrationFailed;
}

bool recordRegistration(FileSystem& fs, std::string_view recordPath, Side side, std::string_view state) {
    return fs.appendDurably(recordPath, recordLine({"registration", recordSideName(side), state}) + "\n")
        .ok();
}

bool recordScript(FileSystem& fs, std::string_view recordPath, Side side, std::string_view scriptPath) {
    return fs.appendDurably(recordPath, recordLine({"script", recordSideName(side), scriptPath}) + "\n").ok();
}

void InstallRecord::outcome(const ListedFile& file, FileOutcome result) {
    m_pending +=
        recordLine({"outcome", recordSideName(file.side), file.destination, recordOutcomeName(result)});
    m_pending += '\n';
}

bool InstallRecord::finish(bool succeeded) {
    return append(recordLine({"end install", succeeded ? "succeeded" : "failed"}) + "\n");
}

std::string_view restoreActionName(RestoreAction action) {
    for (const auto& [each, name] : kRestoreActionNames) {
        if (each == action) {
            return name;
        }
    }
    return "";
}

} // namespace hotfix
