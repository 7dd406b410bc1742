#include "engine/install_run.hpp"
#include "platform/platform_services.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/ratio.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>

#include <benchmark/benchmark.h>

namespace hotfix {
namespace {

constexpr int kFiles = 2000;
constexpr std::size_t kFileSize = 4096;

// A package of kFiles product files over 20 folders, every one installed already.
struct Workstation {
    Workstation() {
        const std::string newContent(kFileSize, 'n');
        const std::string oldContent(kFileSize, 'o');
        for (int i = 0; i < kFiles; ++i) {
            const std::string folder = "f" + std::to_string(i % 20);
            const std::string name = "file" + std::to_string(i) + (i % 10 == 0 ? ".dll" : ".dat");
            package.write("Setup/Vtrl/" + folder + "/" + name, newContent);
            machine.write("Vantrel/" + folder + "/" + name, oldContent);
            items.push_back({folder + "\\", name});
        }
    }

    std::string root() const { return machine.str() + "/Vantrel"; }

    void removeBackups() const {
        for (const auto& [folder, name] : items) {
            std::filesystem::remove(machine.path() / "Vantrel" / folder.substr(0, folder.size() - 1) /
                                    (name + "_backup"));
        }
    }

    test::TempDir package;
    test::TempDir machine;
    std::vector<std::pair<std::string, std::string>> items;
};

Workstation& workstation() {
    static Workstation instance;
    return instance;
}

void BM_HeadlessInstall(benchmark::State& state) {
    Workstation& ws = workstation();
    const auto fs = makeFileSystem();
    for (auto _ : state) {
        state.PauseTiming();
        ws.removeBackups();
        test::FakeInstallerWindow window;
        window.TxtPath = ws.root();
        window.chkRegisterDlls = true;
        for (const auto& [folder, name] : ws.items) {
            window.addListItem(Side::Product, name, folder);
        }
        test::RecordingMsgBox boxes;
        test::FakeLauncher launcher;
        const EngineServices services{ws.package.str(), *fs, boxes, launcher};
        state.ResumeTiming();

        RunInstall(window, services);

        state.PauseTiming();
        if (boxes.shown.size() != 1 || boxes.shown[0].prompt != "Sucessfully Applied the HotFix") {
            state.SkipWithError("the install did not succeed");
        }
        launcher.endAll();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_BareFileWork(benchmark::State& state) {
    Workstation& ws = workstation();
    const auto fs = makeFileSystem();
    const std::string source = ws.package.str() + "\\Setup\\Vtrl\\";
    const std::string root = ws.root() + "\\";
    for (auto _ : state) {
        state.PauseTiming();
        ws.removeBackups();
        state.ResumeTiming();
        for (const auto& [folder, name] : ws.items) {
            const std::string destination = root + folder + name;
            fs->copyFile(destination, destination + "_backup");
            fs->copyFile(source + folder + name, destination);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

BENCHMARK(BM_HeadlessInstall)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BareFileWork)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

const bool kRatio = (bench::reportRatio("BM_HeadlessInstall/min_time:2.000/real_time",
                                        "BM_BareFileWork/min_time:2.000/real_time", 1.3),
                     true);

} // namespace
} // namespace hotfix
