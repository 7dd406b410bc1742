#include "engine/install_record.hpp"
#include "engine/record_history.hpp"

#include <gtest/gtest.h>

namespace hotfix {
namespace {

constexpr std::string_view kIdentity = "0123456789abcdef";
const std::string kProduct = "C:\\Program Files\\Vantrel";
const std::string kCore = kProduct + "\\bin\\core.dll";
const std::string kTemporary = kProduct + "\\bin\\~hotfix,0123456789abcdef,0.tmp";
const std::string kDigest(64, 'a');

// The last two are items that only a list the installer refuses could give.
const std::vector<ListedItem> kItems = {{Side::Product, "bin\\", "core.dll"},
                                        {Side::Windows, "system32\\", "hook.dll"},
                                        {Side::Product, "bin\\", "~hotfix,0123456789abcdef,0.tmp"},
                                        {Side::Product, "bin\\", "sub/x.dll"}};

std::string lines(std::initializer_list<std::string> each) {
    std::string text;
    for (const std::string& line : each) {
        text += line + "\n";
    }
    return text;
}

const std::string kHeading = recordLine({kRecordKind, kRecordVersion, kIdentity});

std::string installLine(std::string_view suffix = "_backup", std::string_view product = kProduct,
                        std::string_view windows = "C:\\WINNT") {
    return recordLine(
        {"install", "2026-12-07T09:05:00Z", "C:\\Patch", product, windows, suffix, "no-register-dlls"});
}

std::string stageLine(std::string_view backup, std::string_view destination = kCore) {
    return recordLine(
        {"stage", "Vantrel", destination, kTemporary, backup, "", backup.empty() ? "" : "33188"});
}

std::string fileLine(std::string_view backup) {
    return recordLine({"file", "Vantrel", kCore, backup, kDigest, kDigest, kTemporary});
}

struct Reading {
    std::string_view name;
    std::string text;
    // Files of the installs to undo, or the line refused (then files is -1).
    int files;
    int refusedLine = 0;
};

TEST(RecordHistory, acceptsWhatTheInstallerWritesAndRefusesEverythingElseByLine) {
    const Reading readings[] = {
        {"a whole install",
         lines({kHeading, installLine(), stageLine(kCore + "_backup"), fileLine(kCore + "_backup"),
                recordLine({"outcome", "Vantrel", kCore, "replaced"}),
                recordLine({"end install", "succeeded"})}),
         1},
        {"a last line cut off by a crash",
         lines({kHeading, installLine(), stageLine(kCore + "_backup")}) + "file\tVantrel\tC:", 1},
        {"a backup numbered where the name was taken, and one with the date suffix",
         lines({kHeading, installLine(), stageLine(kCore + "_backup_12"), installLine(),
                stageLine(kCore + "-2026.12.7.9.5_2")}),
         2},
        {"nothing left after a restore that succeeded",
         lines({kHeading, installLine(), stageLine(kCore + "_backup"),
                recordLine({"restore", "2026-12-07T10:00:00Z"}), recordLine({"end restore", "succeeded"})}),
         0},
        {"an install rolled back by its run, after an earlier one still to undo",
         lines({kHeading, installLine(), stageLine(kCore + "_backup"),
                recordLine({"end install", "succeeded"}), installLine(), stageLine(kCore + "_backup_2"),
                recordLine({"end install", "failed"}), recordLine({"rollback", "2026-12-07T09:06:00Z"}),
                recordLine({"restored", "Vantrel", kCore, "restored"}),
                recordLine({"end rollback", "succeeded"})}),
         1},
        {"a rollback cut off, or failed, and one after an install whose end was never written",
         lines({kHeading, installLine(), stageLine(kCore + "_backup"),
                recordLine({"rollback", "2026-12-07T09:06:00Z"}), recordLine({"end rollback", "failed"}),
                installLine(), stageLine(kCore + "_backup_2"),
                recordLine({"rollback", "2026-12-07T09:07:00Z"})}),
         2},
        {"a rollback after a restore",
         lines({kHeading, installLine(), recordLine({"end install", "failed"}),
                recordLine({"restore", "2026-12-07T10:00:00Z"}), recordLine({"end restore", "failed"}),
                recordLine({"rollback", "2026-12-07T10:01:00Z"})}),
         -1, 6},
        {"a rollback's end without its start",
         lines({kHeading, installLine(), recordLine({"end rollback", "succeeded"})}), -1, 3},
        {"the first version's heading, and a line cut off in its midst",
         lines({"HotFix Installer record\t1", installLine(), "file\tVan", fileLine(kCore + "_backup")}), 1},
        {"a line cut off in the midst", lines({kHeading, installLine(), "stage\tVantrel", stageLine("")}), -1,
         3},
        {"a backup numbered 1000", lines({kHeading, installLine(), stageLine(kCore + "_backup_1000")}), -1,
         3},
        {"a backup of another suffix", lines({kHeading, installLine(), stageLine(kCore + "_old")}), -1, 3},
        {"a file line no stage line announced", lines({kHeading, installLine(), fileLine(kCore + "_backup")}),
         -1, 3},
        {"a file line naming another backup than staged",
         lines({kHeading, installLine(), stageLine(kCore + "_backup"), fileLine(kCore + "_backup_2")}), -1,
         4},
        {"a stage line outside an install", lines({kHeading, stageLine("")}), -1, 2},
        {"an unknown line", lines({kHeading, installLine(), recordLine({"delete", kCore})}), -1, 3},
        {"an empty record", "", -1, 1},
        {"roots of a network share and of a POSIX path",
         lines({kHeading, installLine("_backup", "\\\\srv\\share", "/tmp/x")}), 0},
        {"a side without a root, and the way the install ran",
         lines({kHeading,
                recordLine({"install", "2026-12-07T09:05:00Z", "C:\\Patch", kProduct, "", "_backup",
                            "no-register-dlls", "command line"}),
                stageLine(kCore + "_backup")}),
         1},
        {"a file on a side without a root", lines({kHeading, installLine("_backup", ""), stageLine("")}), -1,
         3},
        {"no root at all", lines({kHeading, installLine("_backup", "", "")}), -1, 2},
        {"an install run some other way",
         lines({kHeading, recordLine({"install", "2026-12-07T09:05:00Z", "C:\\Patch", kProduct, "C:\\WINNT",
                                      "_backup", "no-register-dlls", "by hand"})}),
         -1, 2},
        {"a relative root", lines({kHeading, installLine("_backup", "Program Files\\Vantrel")}), -1, 2},
        {"a drive-relative root", lines({kHeading, installLine("_backup", kProduct, "C:WINNT")}), -1, 2},
        {"a root that leads up", lines({kHeading, installLine("_backup", "C:\\x\\ ..\\Vantrel")}), -1, 2},
        {"a root with a dot folder", lines({kHeading, installLine("_backup", kProduct, "/tmp/./x")}), -1, 2},
        {"an empty suffix that makes a file its own backup",
         lines({kHeading, installLine(""), stageLine(kCore)}), -1, 2},
        {"a suffix with a control character", lines({kHeading, installLine("_b\x7f")}), -1, 2},
        {"a suffix that Windows drops from a name", lines({kHeading, installLine(". .")}), -1, 2},
        {"a backup that is the file itself", lines({kHeading, installLine(), stageLine(kCore)}), -1, 3},
        {"a temporary file that is the file itself",
         lines({kHeading, installLine(), stageLine("", kTemporary)}), -1, 3},
        {"a file that a list with a slash in a name would give",
         lines({kHeading, installLine(),
                recordLine({"stage", "Vantrel", kProduct + "\\bin\\sub/x.dll",
                            kProduct + "\\bin\\sub/~hotfix,0123456789abcdef,0.tmp", "", "", ""})}),
         -1, 3},
    };
    for (const Reading& reading : readings) {
        const auto read = readRecordHistory(reading.text, kIdentity, kItems);
        if (reading.files < 0) {
            const auto* refusal = std::get_if<RecordRefusal>(&read);
            ASSERT_NE(refusal, nullptr) << reading.name;
            EXPECT_EQ(refusal->line, reading.refusedLine) << reading.name << ": " << refusal->why;
            continue;
        }
        const auto* history = std::get_if<RecordHistory>(&read);
        ASSERT_NE(history, nullptr) << reading.name << ": " << std::get<RecordRefusal>(read).why;
        int files = 0;
        for (const RecordedInstall& install : history->toUndo) {
            files += static_cast<int>(install.files.size());
        }
        EXPECT_EQ(files, reading.files) << reading.name;
    }
}

} // namespace
} // namespace hotfix
