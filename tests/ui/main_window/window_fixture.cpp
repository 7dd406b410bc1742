#include "ui/main_window/window_fixture.hpp"

#include <QTest>

namespace hotfix::test {

QApplication& testApplication() {
    static QApplication* const app = [] {
        static int argc = 1;
        static char name[] = "hotfix-ui-test";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}

long FakeRegistry::openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t, Key& key) {
    const auto found = m_keys.find(keyPath);
    if (rootKey != kLocalMachine || found == m_keys.end()) {
        return kFileNotFound;
    }
    ++openKeys;
    key = m_next++;
    m_open[key] = found->first;
    return kSuccess;
}

long FakeRegistry::queryValue(Key key, std::string_view valueName, std::uint32_t& type,
                              std::span<std::byte> buffer, std::uint32_t& size) {
    const auto& values = m_keys.at(m_open.at(key));
    const auto found = values.find(std::string(valueName));
    if (found == values.end()) {
        return kFileNotFound;
    }
    const std::string& text = found->second;
    type = 1;
    size = static_cast<std::uint32_t>(text.size() + 1);
    if (text.size() + 1 > buffer.size()) {
        return kMoreData;
    }
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    return kSuccess;
}

void FakeRegistry::closeKey(Key key) {
    m_open.erase(key);
}

WindowTest::WindowTest()
    : fs(makeFileSystem()) {
    testApplication();
}

WindowTest::~WindowTest() {
    window.reset();
}

void WindowTest::writeLists(const char* product, const char* windows) {
    if (product != nullptr) {
        package.write("Setup/InstallPatch.BLR", product);
    }
    if (windows != nullptr) {
        package.write("Setup/InstallWinPatch.BLR", windows);
    }
}

FrmInstallPatch& WindowTest::open(MsgBox* box) {
    window = std::make_unique<FrmInstallPatch>(
        MainWindowServices{package.str(), *fs, box != nullptr ? *box : msgBox, registry, settings, launcher,
                           folders, [this] { return now; },
                           [this] {
                               ++endRequests;
                           }});
    window->Form_Load();
    return *window;
}

void WindowTest::showAndActivate() {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

} // namespace hotfix::test
