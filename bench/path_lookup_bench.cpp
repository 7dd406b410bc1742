#include "platform/ascii.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "support/ratio.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace hotfix::posix {
namespace {

// New files in one folder, named with the folder spelt in another case than on disk, as a list file may
// spell it: every file is looked up ignoring case (missing, so the folder's listing is consulted) and then
// created, the way the install run adds a file that was not installed yet.
void BM_NewFilesInOneFolder(benchmark::State& state) {
    const auto files = static_cast<int>(state.range(0));
    test::TempDir dir;
    dir.write("package/new.dll", "new");
    const std::string source = dir.str() + "\\package\\new.dll";
    PosixFileSystem fs;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folderName = "Folder" + std::to_string(round++);
        std::filesystem::create_directory(dir.path() / folderName);
        std::string folder = dir.str() + "\\";
        for (const char c : folderName) {
            folder.push_back(asciiUpper(c));
        }
        state.ResumeTiming();

        for (int i = 0; i < files; ++i) {
            const std::string destination = folder + "\\File" + std::to_string(i) + ".DLL";
            if (fs.fileExists(destination) || !fs.folderExists(folder) ||
                !fs.copyFileToNew(source, destination)) {
                state.SkipWithError("a new file could not be made");
                break;
            }
        }

        state.PauseTiming();
        std::filesystem::remove_all(dir.path() / folderName);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * files);
}

BENCHMARK(BM_NewFilesInOneFolder)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// Every file of a full folder looked up under another case than its own: name work only, no file made.
void BM_LookupsIgnoringCase(benchmark::State& state) {
    const auto files = static_cast<int>(state.range(0));
    test::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        const std::string name = "File" + std::to_string(i) + ".dll";
        dir.write("Folder/" + name, "");
        paths.push_back(dir.str() + "\\FOLDER\\FILE" + std::to_string(i) + ".DLL");
    }
    PosixFileSystem fs;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            if (!fs.fileExists(path)) {
                state.SkipWithError("a file was not found");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * files);
}

BENCHMARK(BM_LookupsIgnoringCase)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// Ten times the files in at most twenty times the time: at most twice the time per file.
const bool kRatio = (bench::reportRatio("BM_NewFilesInOneFolder/10000/min_time:2.000/real_time",
                                        "BM_NewFilesInOneFolder/1000/min_time:2.000/real_time", 20.0),
                     bench::reportRatio("BM_LookupsIgnoringCase/10000/min_time:2.000/real_time",
                                        "BM_LookupsIgnoringCase/1000/min_time:2.000/real_time", 20.0),
                     true);

} // namespace
} // namespace hotfix::posix
