#include "engine/install_record.hpp"

#include "engine/messages.hpp"
#include "engine/sha256.hpp"
#include "engine/text.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"

#include <chrono>
#include <cstdio>

namespace hotfix {

namespace {

constexpr std::string_view kRecordHeading = "HotFix Installer record\t1\n";
constexpr std::string_view kRecordFileName = "record.txt";
// The last field of every line: what lacks it was cut off as it was written.
constexpr std::string_view kLineEnd = "\t.";
// Enough of the digest to tell packages apart on one machine, short enough for a folder name.
constexpr std::size_t kIdentityDigits = 16;

std::string_view outcomeName(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::Replaced:
        return "replaced";
    case FileOutcome::NewFile:
        return kAddedOutcome;
    case FileOutcome::SourceMissing:
        return "package file missing";
    case FileOutcome::Failed:
        return "failed";
    }
    return "";
}

std::optional<Side> sideNamed(std::string_view name) {
    for (const Side side : kSides) {
        if (RecordSideName(side) == name) {
            return side;
        }
    }
    return std::nullopt;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Gives the outcome to the first file of that side and destination that has none yet: a file listed twice
// has two entries, and two outcomes in the same order.
void noteOutcome(RecordedInstall& install, std::string_view side, std::string_view destination,
                 std::string_view outcome) {
    for (RecordedFile& file : install.files) {
        if (!file.outcome && RecordSideName(file.side) == side && file.destination == destination) {
            file.outcome = outcome;
            return;
        }
    }
}

} // namespace

std::string PackageIdentity(const InstallerWindow& window) {
    Sha256 digest;
    for (const Side side : kSides) {
        const int count = window.itemCount(side);
        for (int i = 0; i < count; ++i) {
            const std::string line =
                RecordLine({RecordSideName(side), window.itemFolder(side, i), window.itemName(side, i)}) +
                "\n";
            digest.update(line);
        }
    }
    return digest.hexDigest().substr(0, kIdentityDigits);
}

std::string RecordPath(std::string_view recordFolder, std::string_view identity) {
    return concat({recordFolder, "\\", identity, "\\", kRecordFileName});
}

std::string_view RecordSideName(Side side) {
    return side == Side::Product ? "Vantrel" : "Windows";
}

std::string RecordTime() {
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

std::string RecordLine(std::initializer_list<std::string_view> fields) {
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

std::vector<std::string> RecordFields(std::string_view line) {
    // A line cut off by a crash, even where a later line break closed it, lacks its end mark.
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

std::optional<InstallRecord> InstallRecord::Begin(InstallerWindow& window, const EngineServices& services) {
    FileSystem& fs = services.fs;
    const std::string identity = PackageIdentity(window);
    const std::string folder = concat({services.recordFolder, "\\", identity});
    InstallRecord record(services, RecordPath(services.recordFolder, identity));
    // A line cut off at the end of the record by an earlier crash gets its own line.
    std::string lines = fs.fileExists(record.m_path) ? "\n" : std::string(kRecordHeading);
    lines += RecordLine({"install", RecordTime(), services.programFolder, window.rootText(Side::Product),
                         window.rootText(Side::Windows), window.installState().BackupSuffix,
                         window.registerDllsTicked() ? "register-dlls" : "no-register-dlls"});
    lines += '\n';
    if (!fs.createFolders(folder) || !record.append(lines)) {
        return std::nullopt;
    }
    return record;
}

bool InstallRecord::append(std::string_view lines) {
    m_pending += lines;
    if (m_services.fs.appendDurably(m_path, m_pending)) {
        m_pending.clear();
        return true;
    }
    // What the failed write left of its text must not run into the next line.
    m_pending.assign(1, '\n');
    m_services.msgBox.show(messages::couldNotWriteRecord(m_path));
    return false;
}

bool InstallRecord::BeforeReplacing(std::span<const StagedFile> staged) {
    FileSystem& fs = m_services.fs;
    std::string lines;
    for (const StagedFile& each : staged) {
        const bool added = each.backup.empty();
        const std::optional<std::string> original =
            added ? std::optional<std::string>("") : fileSha256(fs, each.file.destination);
        const std::optional<std::string> fresh = fileSha256(fs, each.temporary);
        if (!original || !fresh) {
            m_services.msgBox.show(messages::couldNotWriteRecord(m_path));
            return false;
        }
        lines += RecordLine({"file", RecordSideName(each.file.side), each.file.destination, each.backup,
                             *original, *fresh, each.temporary});
        lines += '\n';
    }
    return append(lines);
}

void InstallRecord::Outcome(const ListedFile& file, FileOutcome outcome) {
    m_pending += RecordLine({"outcome", RecordSideName(file.side), file.destination, outcomeName(outcome)});
    m_pending += '\n';
}

bool InstallRecord::Finish(bool succeeded) {
    return append(RecordLine({"end install", succeeded ? "succeeded" : "failed"}) + "\n");
}

std::optional<RecordedInstall> ReadLastInstall(FileSystem& fs, std::string_view path) {
    std::string text;
    if (!fs.readFile(path, [&](std::span<const char> piece) { text.append(piece.data(), piece.size()); })) {
        return std::nullopt;
    }
    std::optional<RecordedInstall> last;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        const std::vector<std::string> fields =
            RecordFields(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (fields.empty()) {
            continue;
        }
        if (fields[0] == "install" && fields.size() == 7) {
            last = RecordedInstall{fields[6] == "register-dlls", {}};
        } else if (fields[0] == "file" && fields.size() == 7 && last) {
            if (const auto side = sideNamed(fields[1])) {
                last->files.push_back({*side, fields[2], fields[3], fields[4], fields[5], fields[6], {}});
            }
        } else if (fields[0] == "outcome" && fields.size() == 4 && last) {
            noteOutcome(*last, fields[1], fields[2], fields[3]);
        }
    }
    return last;
}

} // namespace hotfix
