// Reading the largest list file a side can hold (32,767 entries) through the platform's file system into the
// two lists, against the least work that yields the same lists: the reader's trimming and checks must cost
// little beside it.

#include "engine/file_lists.hpp"
#include "platform/package_text.hpp"
#include "platform/platform_services.hpp"
#include "support/ratio.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <algorithm>

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
    // As the window does: room for the most a side holds, so that the lists never move.
    Lists() {
        names.reserve(kEntries);
        folders.reserve(kEntries);
    }
    void addListItem(Side, std::string_view name, std::string_view folder) override {
        names.emplace_back(name);
        folders.emplace_back(folder);
    }
    std::vector<std::string> names;
    std::vector<std::string> folders;
};

// The list as the installer reads it.
Lists loadList(FileSystem& fs, const CodePageCodec& codePages, test::RecordingMsgBox& boxes) {
    Lists lists;
    LoadListFile(Side::Product, {package().folder.str(), fs, boxes, codePages}, lists);
    return lists;
}

// The least work that yields the same lists: read the bytes, cut at every comma and at the last "\\", and
// keep both halves; no trimming, no checks.
Lists splitBare(FileSystem& fs, const CodePageCodec& codePages) {
    Lists lists;
    const std::string content = decodeListFile(
        readWholeFile(fs, package().folder.str() + "\\Setup\\InstallPatch.BLR").value_or(std::string()),
        codePages);
    const std::string_view text = content;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view entry = text.substr(start, comma - start);
        const std::size_t slash = entry.rfind('\\') + 1;
        lists.addListItem(Side::Product, entry.substr(slash), entry.substr(0, slash));
        start = comma + 1;
    }
    return lists;
}

void BM_LoadListFile(benchmark::State& state) {
    const auto fs = makeFileSystem();
    const auto codePages = makeCodePageCodec();
    test::RecordingMsgBox boxes;
    for (auto _ : state) {
        const Lists lists = loadList(*fs, *codePages, boxes);
        if (lists.names.size() != kEntries || !boxes.shown.empty()) {
            state.SkipWithError("the list was not read whole");
        }
        benchmark::DoNotOptimize(lists);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_BareListSplit(benchmark::State& state) {
    const auto fs = makeFileSystem();
    const auto codePages = makeCodePageCodec();
    for (auto _ : state) {
        const Lists lists = splitBare(*fs, *codePages);
        if (lists.names.size() != kEntries) {
            state.SkipWithError("the split went wrong");
        }
        benchmark::DoNotOptimize(lists);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

BENCHMARK(BM_LoadListFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_BareListSplit)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

const bool kRatio =
    (bench::reportRatio("BM_LoadListFile/repeats:5/real_time", "BM_BareListSplit/repeats:5/real_time", 1.3),
     true);

} // namespace
} // namespace hotfix
