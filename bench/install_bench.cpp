// Whole installs through the platform's file system on a real temporary folder, against the bare file work
// on the same files: copy each installed file to its backup and the package's file over it, no checks, no
// flushes. The install keeps its backups without copying them and flushes once per side, so it should cost
// less than that. Two workstations: 2,000 files of 4 KiB, and 5,000 of 4 KiB with 200 of 1 MiB. The same
// install without its flushes shows what the durability costs.

#include "engine/install_run.hpp"
#include "platform/platform_services.hpp"
#include "support/forwarding_file_system.hpp"
#include "support/ratio.hpp"
#include "support/temp_dir.hpp"
#include "support/workstation.hpp"

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;

struct Shape {
    int smallFiles;
    int largeFiles;
};
constexpr std::size_t kSmallSize = 4 * 1024;
constexpr std::size_t kLargeSize = 1024 * 1024;
constexpr int kSmallPerFolder = 100;

struct Item {
    std::string folder; // as listed
    std::string name;
};

// Appended piece by piece: GCC 12 warns wrongly about "literal" + std::string.
std::string numbered(std::string_view prefix, int number, std::string_view suffix) {
    std::string out(prefix);
    out.append(std::to_string(number)).append(suffix);
    return out;
}

// Every listed file is installed already; one in ten small files is a library.
class Workstation {
public:
    explicit Workstation(Shape shape) {
        for (int i = 0; i < shape.smallFiles; ++i) {
            add(numbered("f", i / kSmallPerFolder, ""), numbered("file", i, i % 10 == 0 ? ".dll" : ".dat"),
                kSmallSize);
        }
        for (int i = 0; i < shape.largeFiles; ++i) {
            add("large", numbered("data", i, ".bin"), kLargeSize);
        }
    }

    std::string root() const { return machine.str() + "/Vantrel"; }
    const std::vector<Item>& items() const { return m_items; }
    fs::path installed(const Item& item) const {
        return machine.path() / "Vantrel" / item.folder.substr(0, item.folder.size() - 1) / item.name;
    }
    fs::path packaged(const Item& item) const {
        return package.path() / "Setup/Vtrl" / item.folder.substr(0, item.folder.size() - 1) / item.name;
    }

    // Each round starts alike: the old files in place, no backups, nothing still waiting to be written.
    void reset() const {
        for (const Item& item : m_items) {
            const fs::path path = installed(item);
            fs::remove(path.string() + "_backup");
            test::writeFile(path, std::string(item.name.ends_with(".bin") ? kLargeSize : kSmallSize, 'o'));
        }
        ::sync();
    }

    test::TempDir package;
    test::TempDir machine;

private:
    void add(const std::string& folder, const std::string& name, std::size_t size) {
        package.write("Setup/Vtrl/" + folder + "/" + name, std::string(size, 'n'));
        machine.write("Vantrel/" + folder + "/" + name, std::string(size, 'o'));
        m_items.push_back({folder + "\\", name});
    }

    std::vector<Item> m_items;
};

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The platform's file system with every flush a no-op: what the install costs without its durability.
class WithoutFlushes final : public test::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    FileResult flush(std::span<const std::string>) override { return {}; }
    FileResult flushNames(std::span<const std::string>) override { return {}; }
};

// Seconds of one whole install, or nothing when it did not succeed.
std::optional<double> timeInstall(const Workstation& ws, FileSystem& fs) {
    test::Workstation run(ws.package.str(), fs);
    run.window.TxtPath = ws.root();
    run.window.chkRegisterDlls = true;
    for (const Item& item : ws.items()) {
        run.list(Side::Product, item.folder, item.name);
    }
    const auto start = Clock::now();
    runInstall(run.window, run.services);
    const double seconds = secondsSince(start);
    run.launcher.endAll();
    if (run.boxes.shown.size() != 1 || run.boxes.shown[0].prompt != "Sucessfully Applied the HotFix") {
        return std::nullopt;
    }
    return seconds;
}

double timeBareFileWork(const Workstation& ws) {
    const auto start = Clock::now();
    for (const Item& item : ws.items()) {
        const fs::path destination = ws.installed(item);
        fs::copy_file(destination, destination.string() + "_backup", fs::copy_options::overwrite_existing);
        fs::copy_file(ws.packaged(item), destination, fs::copy_options::overwrite_existing);
    }
    return secondsSince(start);
}

constexpr int kRounds = 5;
enum Variant { kInstall, kInstallWithoutFlushes, kBare, kVariants };

// The disk under the temporary folder is shared with everything else the machine does, and its speed drifts
// by a factor of several within a minute. So the variants are timed in turn within each round, each from
// the same state, in an order that rotates from round to round.
struct Rounds {
    std::array<std::vector<double>, kVariants> times;
    bool failed = false;
};

const Rounds& rounds(Shape shape) {
    static std::map<std::pair<int, int>, Rounds> measured;
    const auto key = std::make_pair(shape.smallFiles, shape.largeFiles);
    if (const auto found = measured.find(key); found != measured.end()) {
        return found->second;
    }
    Rounds& out = measured[key];
    const Workstation ws(shape);
    const auto real = makeFileSystem();
    WithoutFlushes unflushed(*real);
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < kVariants; ++turn) {
            const auto variant = static_cast<Variant>((round + turn) % kVariants);
            ws.reset();
            if (variant == kBare) {
                out.times[variant].push_back(timeBareFileWork(ws));
                continue;
            }
            const auto seconds = timeInstall(ws, variant == kInstall ? *real : unflushed);
            out.failed = out.failed || !seconds;
            out.times[variant].push_back(seconds.value_or(0.0));
        }
    }
    return out;
}

void reportRounds(benchmark::State& state, Shape shape, Variant variant) {
    const Rounds& measured = rounds(shape);
    if (measured.failed) {
        state.SkipWithError("the install did not succeed");
        return;
    }
    // One round per repetition; the shared main takes the median of the repetitions.
    static std::map<std::tuple<int, int, int>, std::size_t> next;
    const std::size_t round = next[{shape.smallFiles, shape.largeFiles, variant}]++ % kRounds;
    for (auto _ : state) {
        state.SetIterationTime(measured.times[variant][round]);
    }
    state.SetItemsProcessed(shape.smallFiles + shape.largeFiles);
}

constexpr Shape kSmall{2000, 0};
constexpr Shape kMixed{5000, 200};

void BM_Install_2000x4KiB(benchmark::State& state) {
    reportRounds(state, kSmall, kInstall);
}
void BM_InstallWithoutFlushes_2000x4KiB(benchmark::State& state) {
    reportRounds(state, kSmall, kInstallWithoutFlushes);
}
void BM_BareFileWork_2000x4KiB(benchmark::State& state) {
    reportRounds(state, kSmall, kBare);
}
void BM_Install_Mixed(benchmark::State& state) {
    reportRounds(state, kMixed, kInstall);
}
void BM_InstallWithoutFlushes_Mixed(benchmark::State& state) {
    reportRounds(state, kMixed, kInstallWithoutFlushes);
}
void BM_BareFileWork_Mixed(benchmark::State& state) {
    reportRounds(state, kMixed, kBare);
}

#define HOTFIX_ROUNDS(name)                                                                                  \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(kRounds)
HOTFIX_ROUNDS(BM_Install_2000x4KiB);
HOTFIX_ROUNDS(BM_InstallWithoutFlushes_2000x4KiB);
HOTFIX_ROUNDS(BM_BareFileWork_2000x4KiB);
HOTFIX_ROUNDS(BM_Install_Mixed);
HOTFIX_ROUNDS(BM_InstallWithoutFlushes_Mixed);
HOTFIX_ROUNDS(BM_BareFileWork_Mixed);

std::string repeated(std::string_view name) {
    return std::string(name) + "/iterations:1/repeats:5/manual_time";
}

// One copy of each file's bytes instead of two, a rename and a share of one flush.
const bool kRatios =
    (bench::reportRatio(repeated("BM_Install_2000x4KiB"), repeated("BM_BareFileWork_2000x4KiB"), 0.6),
     bench::reportRatio(repeated("BM_Install_Mixed"), repeated("BM_BareFileWork_Mixed"), 0.6),
     bench::reportRatio(repeated("BM_InstallWithoutFlushes_2000x4KiB"), repeated("BM_BareFileWork_2000x4KiB"),
                        0.6),
     bench::reportRatio(repeated("BM_InstallWithoutFlushes_Mixed"), repeated("BM_BareFileWork_Mixed"), 0.6),
     true);

} // namespace
} // namespace hotfix
