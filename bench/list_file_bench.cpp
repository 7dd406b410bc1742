// Reading the largest list file a side can hold (32,767 entries) through the platform's file system, against
// reading its bytes alone: splitting and trimming the entries must cost little beside the file access.

#include "engine/file_lists.hpp"
#include "platform/platform_services.hpp"
#include "support/ratio.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <benchmark/benchmark.h>

namespace hotfix {
namespace {

constexpr int kEntries = 32767;

struct Package {
    Package() {
        std::string content;
        for (int i = 0; i < kEntries; ++i) {
            if (i > 0) {
                content += ", ";
            }
            content.append("Vantrel\\Program Files\\module").append(std::to_string(i % 97));
            content.append("\\file").append(std::to_string(i)).append(i % 3 == 0 ? ".dll" : ".dat");
        }
        folder.write("Setup/InstallPatch.BLR", content);
    }
    test::TempDir folder;
};

const Package& package() {
    static const Package instance;
    return instance;
}

class Lists final : public FileListSink {
public:
    void addListItem(Side, std::string name, std::string folder) override {
        names.push_back(std::move(name));
        folders.push_back(std::move(folder));
    }
    std::vector<std::string> names;
    std::vector<std::string> folders;
};

void BM_LoadListFile(benchmark::State& state) {
    const auto fs = makeFileSystem();
    test::RecordingMsgBox boxes;
    const std::string programFolder = package().folder.str();
    for (auto _ : state) {
        Lists lists;
        LoadListFile(Side::Product, {programFolder, *fs, boxes}, lists);
        if (lists.names.size() != kEntries || !boxes.shown.empty()) {
            state.SkipWithError("the list was not read whole");
        }
        benchmark::DoNotOptimize(lists);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ReadListBytes(benchmark::State& state) {
    const auto fs = makeFileSystem();
    const std::string path = package().folder.str() + "\\Setup\\InstallPatch.BLR";
    for (auto _ : state) {
        auto content = fs->readTextFile(path);
        benchmark::DoNotOptimize(content);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

BENCHMARK(BM_LoadListFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_ReadListBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

const bool kRatio =
    (bench::reportRatio("BM_LoadListFile/repeats:5/real_time", "BM_ReadListBytes/repeats:5/real_time", 3.0),
     true);

} // namespace
} // namespace hotfix
