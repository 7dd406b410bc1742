#pragma once

#include "engine/engine_services.hpp"
#include "support/code_pages.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"

#include <string>
#include <string_view>

namespace hotfix::test {

// Where a listed file's new version lies below the package folder ("/"-separated); folder as listed but
// "/"-separated, ending in "/" or empty.
inline std::string packageRelative(Side side, std::string_view folder, std::string_view name) {
    return std::string(side == Side::Product ? "Setup/Vtrl/" : "Setup/Othr/") + std::string(folder) +
           std::string(name);
}

// What an engine run meets beside the files: the window naming both roots and listing the hot fix, the
// boxes, a launcher whose scripts end when the test says, and the engine's services over the given file
// system, which must outlive it. Where the files lie (in memory, on real folders) is the test's.
class Workstation {
public:
    Workstation(std::string packageFolder, FileSystem& fs, std::string recordFolder = {},
                const CodePageCodec& codePages = machineCodePages())
        : services{std::move(packageFolder), fs, boxes, launcher, codePages, std::move(recordFolder)} {}
    Workstation(const Workstation&) = delete;
    Workstation& operator=(const Workstation&) = delete;

    void setRoots(std::string product, std::string windows) {
        window.TxtPath = std::move(product);
        window.TxtWinPath = std::move(windows);
    }
    void list(Side side, std::string_view folder, std::string_view name) {
        window.addListItem(side, name, folder);
    }

    FakeInstallerWindow window;
    RecordingMsgBox boxes;
    FakeLauncher launcher;
    EngineServices services;
};

} // namespace hotfix::test
