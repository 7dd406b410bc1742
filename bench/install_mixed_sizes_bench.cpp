// A whole install of 5,000 installed files of 4 KiB and 200 of 1 MiB through the platform's file system on a
// real temporary folder, against the bare file work on the same files: copy to the backup, copy over, no
// checks. The install's checks, attribute changes and registration scripts must cost little beside it.

#include "engine/install_run.hpp"
#include "platform/platform_services.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/ratio.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace hotfix {
namespace {

constexpr int kSmallFiles = 5000;
constexpr int kLargeFiles = 200;
constexpr std::size_t kSmallSize = 4 * 1024;
constexpr std::size_t kLargeSize = 1024 * 1024;
constexpr int kSmallPerFolder = 100;

struct Item {
    std::string folder; // as listed
    std::string name;
};

// Every listed file is installed already, in 51 folders; one in ten small files is a library.
struct Workstation {
    Workstation() {
        const std::string newSmall(kSmallSize, 'n');
        const std::string oldSmall(kSmallSize, 'o');
        const std::string newLarge(kLargeSize, 'N');
        const std::string oldLarge(kLargeSize, 'O');
        for (int i = 0; i < kSmallFiles; ++i) {
            add(numbered("f", i / kSmallPerFolder, ""), numbered("file", i, i % 10 == 0 ? ".dll" : ".dat"),
                newSmall, oldSmall);
        }
        for (int i = 0; i < kLargeFiles; ++i) {
            add("large", numbered("data", i, ".bin"), newLarge, oldLarge);
        }
    }

    // Appended piece by piece: GCC 12 warns wrongly about "literal" + std::string.
    static std::string numbered(std::string_view prefix, int number, std::string_view suffix) {
        std::string out(prefix);
        out.append(std::to_string(number)).append(suffix);
        return out;
    }

    void add(const std::string& folder, const std::string& name, const std::string& newContent,
             const std::string& oldContent) {
        package.write("Setup/Vtrl/" + folder + "/" + name, newContent);
        machine.write("Vantrel/" + folder + "/" + name, oldContent);
        items.push_back({folder + "\\", name});
    }

    std::string root() const { return machine.str() + "/Vantrel"; }

    // Each iteration starts alike: no backups, and nothing of the last one still waiting to be written.
    void reset() const {
        for (const Item& item : items) {
            std::filesystem::remove(machine.path() / "Vantrel" /
                                    item.folder.substr(0, item.folder.size() - 1) / (item.name + "_backup"));
        }
        ::sync();
    }

    test::TempDir package;
    test::TempDir machine;
    std::vector<Item> items;
};

Workstation& workstation() {
    static Workstation instance;
    return instance;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds of one whole install, or nothing when it did not succeed.
std::optional<double> timeInstall(Workstation& ws, FileSystem& fs) {
    test::FakeInstallerWindow window;
    window.TxtPath = ws.root();
    window.chkRegisterDlls = true;
    for (const Item& item : ws.items) {
        window.addListItem(Side::Product, item.name, item.folder);
    }
    test::RecordingMsgBox boxes;
    test::FakeLauncher launcher;
    const EngineServices services{ws.package.str(), fs, boxes, launcher};
    const auto start = Clock::now();
    RunInstall(window, services);
    const double seconds = secondsSince(start);
    launcher.endAll();
    if (boxes.shown.size() != 1 || boxes.shown[0].prompt != "Sucessfully Applied the HotFix") {
        return std::nullopt;
    }
    return seconds;
}

double timeBareFileWork(Workstation& ws, FileSystem& fs) {
    const std::string source = ws.package.str() + "\\Setup\\Vtrl\\";
    const std::string root = ws.root() + "\\";
    const auto start = Clock::now();
    for (const Item& item : ws.items) {
        const std::string destination = root + item.folder + item.name;
        fs.copyFile(destination, destination + "_backup");
        fs.copyFile(source + item.folder + item.name, destination);
    }
    return secondsSince(start);
}

constexpr int kRounds = 5;

// The disk under the temporary folder is shared with everything else the machine does, and its speed drifts
// by a factor of several within a minute (it discards freed blocks as it goes). So install and bare work are
// timed in alternation, each from the same state, and each benchmark below reports its half of the rounds.
struct Rounds {
    std::vector<double> install;
    std::vector<double> bare;
    bool failed = false;
};

const Rounds& rounds() {
    static const Rounds measured = [] {
        Workstation& ws = workstation();
        const auto fs = makeFileSystem();
        Rounds out;
        for (int round = 0; round < kRounds; ++round) {
            const bool installFirst = round % 2 == 0;
            for (int half = 0; half < 2; ++half) {
                ws.reset();
                if ((half == 0) == installFirst) {
                    const auto seconds = timeInstall(ws, *fs);
                    out.failed = out.failed || !seconds;
                    out.install.push_back(seconds.value_or(0.0));
                } else {
                    out.bare.push_back(timeBareFileWork(ws, *fs));
                }
            }
        }
        return out;
    }();
    return measured;
}

void reportRounds(benchmark::State& state, const std::vector<double>& times) {
    if (rounds().failed) {
        state.SkipWithError("the install did not succeed");
        return;
    }
    // One round per repetition; the shared main takes the median of the repetitions.
    static std::map<const std::vector<double>*, std::size_t> next;
    const std::size_t round = next[&times]++ % times.size();
    for (auto _ : state) {
        state.SetIterationTime(times[round]);
    }
    state.SetItemsProcessed(kSmallFiles + kLargeFiles);
    state.SetBytesProcessed(2 *
                            static_cast<std::int64_t>(kSmallFiles * kSmallSize + kLargeFiles * kLargeSize));
}

void BM_InstallMixedSizes(benchmark::State& state) {
    reportRounds(state, rounds().install);
}

void BM_BareFileWorkMixedSizes(benchmark::State& state) {
    reportRounds(state, rounds().bare);
}

BENCHMARK(BM_InstallMixedSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRounds);
BENCHMARK(BM_BareFileWorkMixedSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRounds);

const bool kRatio = (bench::reportRatio("BM_InstallMixedSizes/iterations:1/repeats:5/manual_time",
                                        "BM_BareFileWorkMixedSizes/iterations:1/repeats:5/manual_time", 1.3),
                     true);

} // namespace
} // namespace hotfix
