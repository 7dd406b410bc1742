#include "engine/file_lists.hpp"
#include "platform/file_system.hpp"
#include "platform/platform_services.hpp"
#include "support/code_pages.hpp"
#include "support/hooked_file_system.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix {
namespace {

using test::RecordingMsgBox;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Item {
    Side side;
    std::string name;
    std::string folder;
    friend bool operator==(const Item&, const Item&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Item& item) {
        return os << (item.side == Side::Product ? "product " : "windows ") << item.name << " | "
                  << item.folder;
    }
};

class ItemRecorder final : public FileListSink {
public:
    void addListItem(Side side, std::string_view name, std::string_view folder) override {
        items.push_back({side, std::string(name), std::string(folder)});
    }
    std::vector<Item> items;
};

// A package folder on disk whose product list file holds the given bytes.
class ListFileTest : public ::testing::Test {
protected:
    bool load(std::string_view content, Side side = Side::Product) {
        const std::string_view file =
            side == Side::Product ? "Setup/InstallPatch.BLR" : "Setup/InstallWinPatch.BLR";
        package.write(file, content);
        return loadAgain(side);
    }
    bool loadAgain(Side side = Side::Product) {
        const std::string folder = package.str();
        return LoadListFile(side, {folder, *fileSystem, boxes, test::machineCodePages()}, recorder);
    }

    TempDir package;
    std::unique_ptr<FileSystem> fileSystem = makeFileSystem();
    RecordingMsgBox boxes;
    ItemRecorder recorder;
};

const MsgBoxRequest kErrorEntry{"error", MsgButtons::Ok, MsgIcon::None, std::nullopt};

TEST_F(ListFileTest, entriesSplitAtLastBackslashInFileOrder) {
    EXPECT_TRUE(load("a\\x.dll, b\\y.dll,Suite\\bin\\deep\\z.ocx"));
    EXPECT_THAT(recorder.items,
                ElementsAre(Item{Side::Product, "x.dll", "a\\"}, Item{Side::Product, "y.dll", "b\\"},
                            Item{Side::Product, "z.ocx", "Suite\\bin\\deep\\"}));
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ListFileTest, badEntriesEachGiveOneUntitledErrorBoxAndAreSkipped) {
    EXPECT_TRUE(load("a\\x.dll,,x.dll, ,b\\y.dll,"));
    EXPECT_THAT(recorder.items,
                ElementsAre(Item{Side::Product, "x.dll", "a\\"}, Item{Side::Product, "y.dll", "b\\"}));
    // The empty entry, x.dll, the blank entry and the one after the final comma.
    EXPECT_THAT(boxes.shown, ElementsAre(kErrorEntry, kErrorEntry, kErrorEntry, kErrorEntry));
    EXPECT_EQ(boxes.shown.front().shownTitle(), "Patch");
}

TEST_F(ListFileTest, emptyNamesRootFoldersAndInnerBlanksAreKept) {
    EXPECT_TRUE(load("a\\b\\ ,\\x.dll,  c \\ name with blank.dll  "));
    EXPECT_THAT(recorder.items,
                ElementsAre(Item{Side::Product, "", "a\\b\\"}, Item{Side::Product, "x.dll", "\\"},
                            Item{Side::Product, "name with blank.dll", "c \\"}));
}

TEST_F(ListFileTest, lineBreaksAndTabsAtEntryEndsAreRemoved) {
    // Saved by an editor with a final line break, the last file must not be lost or renamed.
    EXPECT_TRUE(load("a\\x.dll,\tb\\y.dll\r\n"));
    EXPECT_THAT(recorder.items,
                ElementsAre(Item{Side::Product, "x.dll", "a\\"}, Item{Side::Product, "y.dll", "b\\"}));
    EXPECT_TRUE(load("c\\\t z.dll \n"));
    EXPECT_EQ(recorder.items.back(), (Item{Side::Product, "z.dll", "c\\"}));
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ListFileTest, emptyOrBlankListGivesNoItemsAndAMissingOneNoBox) {
    EXPECT_TRUE(load(""));
    EXPECT_TRUE(load("    "));
    EXPECT_TRUE(load(" \r\n"));
    EXPECT_THAT(recorder.items, IsEmpty());
    EXPECT_THAT(boxes.shown, IsEmpty());

    EXPECT_FALSE(loadAgain(Side::Windows));
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ListFileTest, windowsSideReadsItsOwnFile) {
    EXPECT_TRUE(load("WINNT\\system32\\x.dll", Side::Windows));
    EXPECT_THAT(recorder.items, ElementsAre(Item{Side::Windows, "x.dll", "WINNT\\system32\\"}));
    EXPECT_FALSE(loadAgain(Side::Product));
}

TEST_F(ListFileTest, unreadableListFileCountsAsMissingAndSaysWhichFile) {
    // A folder of the list file's name cannot be read, whoever runs the installer.
    std::filesystem::create_directories(package.path() / "Setup" / "InstallPatch.BLR");
    EXPECT_FALSE(loadAgain());
    EXPECT_THAT(boxes.shown, ElementsAre(test::errorBox("File ''" + package.str() +
                                                        "\\Setup\\InstallPatch.BLR'' could not be read")));

    // A file the platform fails to read.
    package.write("Setup/InstallWinPatch.BLR", "a\\b.dll");
    test::HookedFileSystem failing(*fileSystem);
    failing.failWhen = [](std::string_view op, std::string_view) {
        return op == "readFile";
    };
    EXPECT_FALSE(
        LoadListFile(Side::Windows, {package.str(), failing, boxes, test::machineCodePages()}, recorder));
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[1],
              test::errorBox("File ''" + package.str() + "\\Setup\\InstallWinPatch.BLR'' could not be read"));
    EXPECT_THAT(recorder.items, IsEmpty());
}

TEST_F(ListFileTest, entriesThatNameNoWindowsFileAreBadEntries) {
    // A NUL or another control character inside, and the names Windows opens as devices.
    const std::string content =
        std::string("a\\x.dll,bin\\nu") + '\0' + "l.dll,bin\\tab\there.dll,bin\\bell\a.dll," +
        "bin\\CON,bin\\con.dll,bin\\Nul .txt,bin\\aux.tar.gz,bin\\COM1.dll,bin\\lpt9," +
        "bin\\COM\xC2\xB9.dll,bin\\CONOUT$," +
        "bin\\console.dll,bin\\COM10.dll,bin\\LPT0.dll,bin\\nul_.dll,CON\\b.dll," +
        // A folder that leads out of the root.
        "..\\up.dll,bin\\..\\..\\up.dll,bin/ .. /up.dll,..bin\\dots.dll";
    EXPECT_TRUE(load(content));
    EXPECT_THAT(recorder.items,
                ElementsAre(Item{Side::Product, "x.dll", "a\\"}, Item{Side::Product, "console.dll", "bin\\"},
                            Item{Side::Product, "COM10.dll", "bin\\"},
                            Item{Side::Product, "LPT0.dll", "bin\\"},
                            Item{Side::Product, "nul_.dll", "bin\\"}, Item{Side::Product, "b.dll", "CON\\"},
                            Item{Side::Product, "dots.dll", "..bin\\"}));
    EXPECT_EQ(boxes.shown.size(), 14U);
}

// Long names and folders are looked through many bytes at a time: a control character, DEL or "/" is found
// wherever it stands, and the bytes of UTF-8 text around it are never taken for one.
TEST_F(ListFileTest, aControlCharacterOrSlashAnywhereInALongNameOrFolderIsABadEntry) {
    constexpr char kSpoilers[] = {'\x1f', '\x01', '\x7f', '/'};
    const std::string name = "r\xC3\xA9sum\xC3\xA9 of the year.dll";
    const std::string folder = "Program \xC3\xA9l\xC3\xA8ves\\bin\\";
    std::string content = folder + name;
    std::size_t bad = 0;
    for (const std::string& good : {name, folder}) {
        // In place of each ASCII byte but the ends, which are trimmed: the text stays UTF-8.
        for (std::size_t at = 1; at + 1 < good.size(); ++at) {
            if (static_cast<unsigned char>(good[at]) < 0x80) {
                std::string spoilt = good;
                spoilt[at] = kSpoilers[at % 4];
                content += ',';
                content += good == name ? folder + spoilt : spoilt + name;
                ++bad;
            }
        }
    }
    EXPECT_TRUE(load(content));
    EXPECT_THAT(recorder.items, ElementsAre(Item{Side::Product, name, folder}));
    EXPECT_EQ(boxes.shown.size(), bad);
}

struct EntryCase {
    std::string entry;
    bool kept;
};

class ListEntryRule : public ListFileTest, public ::testing::WithParamInterface<EntryCase> {};

// "/" separates folders on Windows as "\" does: a name or folder with one could lead anywhere.
TEST_P(ListEntryRule, anEntryIsKeptOnlyWhereItStaysBelowItsRootAndNamesAFile) {
    EXPECT_TRUE(load("a\\x.dll," + GetParam().entry));
    EXPECT_EQ(recorder.items.size(), GetParam().kept ? 2U : 1U);
    EXPECT_EQ(boxes.shown, GetParam().kept ? std::vector<MsgBoxRequest>{} : std::vector{kErrorEntry});
}

INSTANTIATE_TEST_SUITE_P(
    NamesAndFolders, ListEntryRule,
    ::testing::Values(EntryCase{"bin\\../../x/pwned.txt", false}, EntryCase{"bin/..\\x.dll", false},
                      EntryCase{"bin\\sub/x.dll", false}, EntryCase{"bin/sub\\x.dll", false},
                      EntryCase{"bin\\..", false}, EntryCase{"bin\\ .. ", false},
                      EntryCase{"bin\\ ..\\x.dll", false}, EntryCase{"bin\\x\x7f.dll", false},
                      EntryCase{"b\x7fin\\x.dll", false},
                      EntryCase{"Program Files\\a long\x7f name.dll", false},
                      EntryCase{"Program Files\\bin\x1b\\name.dll", false},
                      EntryCase{"bin\\...\\x.dll", true}, EntryCase{"..bin\\x..dll", true},
                      EntryCase{"Program Files\\caf\xC3\xA9 \xC3\xA9l\xC3\xA8ves.dll", true}));

TEST_F(ListFileTest, byteOrderMarkOfAUtf8FileIsNoPartOfTheFirstFolder) {
    EXPECT_TRUE(load("\xEF\xBB\xBFVantrel\\caf\xC3\xA9.dll, bin\\b.dll"));
    EXPECT_THAT(recorder.items, ElementsAre(Item{Side::Product, "caf\xC3\xA9.dll", "Vantrel\\"},
                                            Item{Side::Product, "b.dll", "bin\\"}));
    // The same mark before 8-bit text.
    EXPECT_TRUE(load("\xEF\xBB\xBF"
                     "caf\xE9\\x.dll"));
    EXPECT_EQ(recorder.items.back(), (Item{Side::Product, "x.dll", "caf\xC3\xA9\\"}));
}

TEST_F(ListFileTest, moreThanSixteenBitsOfEntriesAreAllKept) {
    std::string content;
    constexpr int kCount = 40'000;
    for (int i = 0; i < kCount; ++i) {
        content += "bin\\f" + std::to_string(i) + ".dll,";
    }
    content.pop_back();
    EXPECT_TRUE(load(content));
    ASSERT_EQ(recorder.items.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(recorder.items.back().name, "f39999.dll");
}

TEST_F(ListFileTest, eightBitNamesBecomeUtf8) {
    EXPECT_TRUE(load("caf\xE9\\r\xE9sum\xE9.dll"));
    EXPECT_THAT(recorder.items,
                ElementsAre(Item{Side::Product, "r\xC3\xA9sum\xC3\xA9.dll", "caf\xC3\xA9\\"}));
}

TEST(PathRule, headEqualToRootsLastFolderIsDropped) {
    EXPECT_EQ(DestinationPath("D:\\Suite", "Suite\\bin\\", "a.dll"), "D:\\Suite\\\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("D:\\Suite", "bin\\", "a.dll"), "D:\\Suite\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("C:\\WINNT", "WINNT\\system32\\", "x.dll"), "C:\\WINNT\\\\system32\\x.dll");
    EXPECT_EQ(DestinationPath("D:\\Suite", "Suite\\", "a.dll"), "D:\\Suite\\\\a.dll");
}

TEST(PathRule, headComparisonIsExactAndCaseSensitive) {
    EXPECT_EQ(DestinationPath("D:\\Suite", "suite\\bin\\", "a.dll"), "D:\\Suite\\suite\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("D:\\Suite", "Suite2\\", "a.dll"), "D:\\Suite\\Suite2\\a.dll");
    EXPECT_EQ(DestinationPath("D:\\Sui", "Suite\\", "a.dll"), "D:\\Sui\\Suite\\a.dll");
}

TEST(PathRule, rootEndingInBackslashDropsNothingButARootFolder) {
    EXPECT_EQ(DestinationPath("C:\\", "bin\\", "x.dll"), "C:\\\\bin\\x.dll");
    EXPECT_EQ(DestinationPath("C:\\", "\\", "x.dll"), "C:\\\\\\x.dll");
    EXPECT_EQ(DestinationPath("D:\\Suite", "\\", "x.dll"), "D:\\Suite\\\\x.dll");
}

TEST(PathRule, rootWithoutBackslashUsesItsWholeTextOrTheTextAfterItsLastSlash) {
    EXPECT_EQ(lastFolderName("Suite"), "Suite");
    EXPECT_EQ(DestinationPath("Suite", "Suite\\bin\\", "a.dll"), "Suite\\\\bin\\a.dll");
    EXPECT_EQ(lastFolderName("/opt/vantrel"), "vantrel");
    EXPECT_EQ(DestinationPath("/opt/vantrel", "vantrel\\bin\\", "a.dll"), "/opt/vantrel\\\\bin\\a.dll");
    EXPECT_EQ(lastFolderName("/opt\\vantrel"), "vantrel");
    EXPECT_EQ(lastFolderName(""), "");
    EXPECT_EQ(DestinationPath("", "bin\\", "a.dll"), "\\bin\\a.dll");
}

TEST(PathRule, onlyARootThatIsANetworkPathGivesOne) {
    EXPECT_EQ(DestinationPath("\\", "bin\\", "a.dll"), "\\bin\\a.dll");
    EXPECT_EQ(DestinationPath("/", "\\", "a.dll"), "\\a.dll");
    EXPECT_EQ(DestinationPath("\\\\server\\share", "bin\\", "a.dll"), "\\\\server\\share\\bin\\a.dll");
}

TEST(PathRule, sourceKeepsTheFolderAsListed) {
    EXPECT_EQ(SourcePath("C:\\Patch", Side::Product, "Suite\\bin\\", "a.dll"),
              "C:\\Patch\\Setup\\Vtrl\\Suite\\bin\\a.dll");
    EXPECT_EQ(SourcePath("C:\\Patch", Side::Windows, "\\", "x.dll"), "C:\\Patch\\Setup\\Othr\\\\x.dll");
}

TEST(PathRule, listedFilesRoundTripThroughThePosixBackend) {
    TempDir package;
    TempDir root;
    package.write("Setup/InstallPatch.BLR", "Suite\\bin\\a.dll , \\top.txt");
    package.write("Setup/Vtrl/Suite/bin/a.dll", "new a");
    package.write("Setup/Vtrl/top.txt", "new top");
    const auto installRoot = root.path() / "Suite";
    std::filesystem::create_directories(installRoot / "bin");

    const auto fs = makeFileSystem();
    RecordingMsgBox boxes;
    ItemRecorder recorder;
    const std::string programFolder = package.str();
    ASSERT_TRUE(LoadListFile(Side::Product, {programFolder, *fs, boxes, test::machineCodePages()}, recorder));
    ASSERT_EQ(recorder.items.size(), 2U);

    for (const Item& item : recorder.items) {
        const std::string source = SourcePath(programFolder, Side::Product, item.folder, item.name);
        const std::string destination = DestinationPath(installRoot.string(), item.folder, item.name);
        ASSERT_TRUE(fs->fileExists(source)) << source;
        EXPECT_TRUE(fs->copyFileToNew(source, destination)) << destination;
    }
    EXPECT_EQ(test::readFile(installRoot / "bin" / "a.dll"), "new a");
    EXPECT_EQ(test::readFile(installRoot / "top.txt"), "new top");
}

} // namespace
} // namespace hotfix
