#include "ui/main_window/qt_settings_store.hpp"
#include "ui/main_window/window_fixture.hpp"
#include "ui/widgets/frame.hpp"
#include "ui/widgets/list_box.hpp"

#include <QLineEdit>
#include <QRadioButton>

namespace hotfix::test {
namespace {

using StartupTest = WindowTest;

struct RootCase {
    const char* name;
    const char* productRoot; // nullptr: value missing
    const char* pathName;
    const char* systemRoot;
    const char* saved;
    const char* expectedTxtPath;
    const char* expectedTxtWinPath;
};

void PrintTo(const RootCase& rootCase, std::ostream* out) {
    *out << rootCase.name;
}

class RootsTest : public WindowTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(RootsTest, rootsComeFromTheRegistryThenTheSavedSettingThenTheFixedFolder) {
    const RootCase& c = GetParam();
    if (c.productRoot != nullptr) {
        registry.set(kProductKey, "QXINSTALLDIR", c.productRoot);
    }
    if (c.pathName != nullptr) {
        registry.set(kWindowsKey, "PathName", c.pathName);
    }
    if (c.systemRoot != nullptr) {
        registry.set(kWindowsKey, "SystemRoot", c.systemRoot);
    }
    if (c.saved != nullptr) {
        settings.SaveSetting(package.str(), "PatchVantrel", "FrmInstallPatchTxtPath", c.saved);
    }
    FrmInstallPatch& w = open();
    EXPECT_EQ(w.TxtPath->text().toStdString(), c.expectedTxtPath);
    EXPECT_EQ(w.TxtWinPath->text().toStdString(), c.expectedTxtWinPath);
    EXPECT_TRUE(msgBox.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    StartupTest, RootsTest,
    ::testing::Values(
        RootCase{"bothValues", "D:\\Vantrel", "C:\\WINNT", "C:\\WINDOWS", "E:\\Saved", "D:\\Vantrel",
                 "C:\\WINNT"},
        RootCase{"savedSetting", nullptr, "C:\\WINNT", nullptr, "D:\\Tools\\Suite", "D:\\Tools\\Suite",
                 "C:\\WINNT"},
        RootCase{"fixedFolder", nullptr, "C:\\WINNT", nullptr, nullptr, "C:\\Program Files\\Vantrel",
                 "C:\\WINNT"},
        RootCase{"blankIsMissing", "   ", "C:\\WINNT", nullptr, nullptr, "C:\\Program Files\\Vantrel",
                 "C:\\WINNT"},
        RootCase{"spacesKept", " D:\\Vantrel ", "C:\\WINNT", nullptr, nullptr, " D:\\Vantrel ", "C:\\WINNT"},
        // A fresh Wine prefix has no PathName: the Windows root comes from SystemRoot, never from the
        // product root.
        RootCase{"systemRoot", "D:\\Vantrel", nullptr, "C:\\windows", nullptr, "D:\\Vantrel", "C:\\windows"},
        RootCase{"noWindowsRoot", "D:\\Vantrel", nullptr, nullptr, nullptr, "D:\\Vantrel", ""},
        RootCase{"nothingAtAll", nullptr, nullptr, nullptr, nullptr, "C:\\Program Files\\Vantrel", ""}),
    [](const ::testing::TestParamInfo<RootCase>& param) { return std::string(param.param.name); });

TEST_F(StartupTest, registryRootLeavesTheSavedSettingUnread) {
    registry.set(kProductKey, "QXINSTALLDIR", "D:\\Vantrel");
    open();
    EXPECT_EQ(settings.reads, 0);
}

TEST_F(StartupTest, listsFillBothSidesInFileOrder) {
    writeLists("Vantrel\\bin\\a.dll, Common\\b.dll,\\readme.txt", "system32\\c.dll");
    FrmInstallPatch& w = open();
    ASSERT_EQ(w.itemCount(Side::Product), 3);
    EXPECT_EQ(w.itemName(Side::Product, 1), "b.dll");
    EXPECT_EQ(w.itemFolder(Side::Product, 1), "Common\\");
    EXPECT_EQ(w.itemFolder(Side::Product, 2), "\\");
    EXPECT_EQ(w.LstInstFilePath->count(), 3);
    ASSERT_EQ(w.itemCount(Side::Windows), 1);
    EXPECT_EQ(w.LstWinInstFileName->item(0), "c.dll");
    EXPECT_EQ(w.LstWinInstFilePath->item(0), "system32\\");
    EXPECT_EQ(w.LstWinInstFilePath->model()->data(w.LstWinInstFilePath->model()->index(0, 0)).toString(),
              "system32\\");
    // Items added to a filled list follow its own, which stay as they were.
    ListBoxItems more;
    more.add("d.dll");
    more.add("");
    more.add("\xC3\xA9.dll");
    w.LstInstFileName->addItems(std::move(more));
    w.LstInstFileName->addItem("f.dll");
    std::vector<std::string> names;
    for (int i = 0; i < w.LstInstFileName->count(); ++i) {
        names.push_back(w.LstInstFileName->item(i));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.dll", "b.dll", "readme.txt", "d.dll", "", "\xC3\xA9.dll",
                                               "f.dll"}));
    EXPECT_EQ(w.LstInstFileName->model()->data(w.LstInstFileName->model()->index(5, 0)).toString(),
              QString::fromUtf8("\xC3\xA9.dll"));
}

TEST_F(StartupTest, missingListFileDisablesItsSideAndTheWindowStillOpensOnTheProductFrame) {
    writeLists(nullptr, "system32\\c.dll");
    FrmInstallPatch& w = open();
    EXPECT_FALSE(w.TxtPath->isEnabled());
    EXPECT_FALSE(w.OptVantrel->isEnabled());
    EXPECT_TRUE(w.OptVantrel->isChecked());
    EXPECT_TRUE(w.FrmVantrel->isVisibleTo(&w));
    EXPECT_TRUE(w.TxtWinPath->isEnabled());
    EXPECT_TRUE(w.OptWindows->isEnabled());
    EXPECT_TRUE(msgBox.shown.empty());
}

TEST_F(StartupTest, emptyListFileKeepsItsSideEnabled) {
    writeLists("", "");
    FrmInstallPatch& w = open();
    EXPECT_TRUE(w.TxtPath->isEnabled());
    EXPECT_TRUE(w.OptWindows->isEnabled());
    EXPECT_EQ(w.itemCount(Side::Product), 0);
}

TEST_F(StartupTest, badListEntryIsReportedBeforeTheWindowShows) {
    writeLists("bin\\a.dll, nofolder.dll", nullptr);
    FrmInstallPatch& w = open();
    EXPECT_EQ(msgBox.prompts(), std::vector<std::string>{"error"});
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.itemCount(Side::Product), 1);
}

TEST(SettingsStoreTest, savedValueIsReadBackExactlyByALaterRun) {
    TempDir folder;
    const QString file = QString::fromStdString(folder.str() + "/settings.ini");
    const std::string value = "  D:\\Tools\\Suite; a=b, \"c\" \xC3\xBC  ";
    {
        QtSettingsStore first(file);
        first.SaveSetting("C:\\Patch/2005", "PatchVantrel", "FrmInstallPatchTxtPath", value);
        first.SaveSetting("C:/Patch\\2005", "PatchVantrel", "FrmInstallPatchTxtPath", "other");
    }
    QtSettingsStore later(file);
    EXPECT_EQ(later.GetSetting("C:\\Patch/2005", "PatchVantrel", "FrmInstallPatchTxtPath"), value);
    EXPECT_EQ(later.GetSetting("C:/Patch\\2005", "PatchVantrel", "FrmInstallPatchTxtPath"), "other");
    EXPECT_EQ(later.GetSetting("C:\\Patch", "PatchVantrel", "FrmInstallPatchTxtPath"), "");
    EXPECT_EQ(later.GetSetting("C:\\Patch/2005", "PatchVantrel", "Other"), "");
}

TEST(SettingsStoreTest, applicationSeparatorsDoNotSplitIntoGroups) {
    EXPECT_EQ(QtSettingsStore::settingPath("/opt/patch\\x%y", "PatchVantrel", "FrmInstallPatchTxtPath"),
              "%2Fopt%2Fpatch%5Cx%25y/PatchVantrel/FrmInstallPatchTxtPath");
}

} // namespace
} // namespace hotfix::test
