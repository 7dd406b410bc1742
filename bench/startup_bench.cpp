// The installer's start, to its window on screen, with the largest lists a package may hold (32,767 items
// a side), against the start of a bare window of the same size. Each start is a fresh process, offscreen:
// the time runs from starting the process to its first paint, and the process reports its peak memory.

#include "support/ratio.hpp"
#include "support/temp_dir.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace hotfix {
namespace {

constexpr int kEntries = 32767;

std::string listOf(const char* firstFolder, int count) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += (i == 0 ? "" : ", ") + std::string(firstFolder) + "\\sub" + std::to_string(i % 97) +
                "\\file" + std::to_string(i) + (i % 3 == 0 ? ".dll" : ".dat");
    }
    return list;
}

const test::TempDir& package() {
    static const test::TempDir folder;
    static const bool written = [] {
        folder.write("Setup/InstallPatch.BLR", listOf("Vantrel\\bin", kEntries));
        folder.write("Setup/InstallWinPatch.BLR", listOf("system32", kEntries));
        return true;
    }();
    (void)written;
    return folder;
}

// The same installer with both list files empty: what the window costs without the lists.
const test::TempDir& emptyPackage() {
    static const test::TempDir folder;
    static const bool written = [] {
        folder.write("Setup/InstallPatch.BLR", "");
        folder.write("Setup/InstallWinPatch.BLR", "");
        return true;
    }();
    (void)written;
    return folder;
}

struct Start {
    double seconds = 0;
    long peakKiB = 0;
};

// Starts the probe and waits for its "shown" line.
bool startProbe(const char* mode, Start& start) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return false;
    }
    const auto begin = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string folder = std::strcmp(mode, "empty") == 0 ? emptyPackage().str() : package().str();
        ::execl(HOTFIX_STARTUP_PROBE, HOTFIX_STARTUP_PROBE, mode, folder.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    FILE* out = ::fdopen(pipeEnds[0], "r");
    const bool reported = out != nullptr && std::fscanf(out, "shown %ld", &start.peakKiB) == 1;
    start.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (out != nullptr) {
        std::fclose(out);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return reported && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long barePeakKiB = 0;

void runStarts(benchmark::State& state, const char* mode) {
    package();
    emptyPackage();
    long peak = 0;
    for (auto _ : state) {
        Start start;
        if (!startProbe(mode, start)) {
            state.SkipWithError("the window did not come up");
            return;
        }
        state.SetIterationTime(start.seconds);
        peak = std::max(peak, start.peakKiB);
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
    if (std::string(mode) == "bare") {
        barePeakKiB = peak;
    } else if (barePeakKiB > 0 && std::string(mode) == "installer") {
        const double above = static_cast<double>(peak - barePeakKiB) / 1024.0;
        state.counters["above_bare_MiB"] = above;
        if (above > 20.0) {
            state.SkipWithError("peak memory more than 20 MiB above the bare window's");
        }
    }
}

void BM_BareWindowStartup(benchmark::State& state) {
    runStarts(state, "bare");
}

void BM_InstallerStartupEmptyLists(benchmark::State& state) {
    runStarts(state, "empty");
}

void BM_InstallerStartup32767(benchmark::State& state) {
    runStarts(state, "installer");
}

BENCHMARK(BM_BareWindowStartup)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_InstallerStartupEmptyLists)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_InstallerStartup32767)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

const bool kRatio = (bench::reportRatio("BM_InstallerStartup32767/min_time:3.000/manual_time",
                                        "BM_BareWindowStartup/min_time:3.000/manual_time", 1.5),
                     // What the lists themselves add to the window's start.
                     bench::reportRatio("BM_InstallerStartup32767/min_time:3.000/manual_time",
                                        "BM_InstallerStartupEmptyLists/min_time:3.000/manual_time", 1.5),
                     true);

} // namespace
} // namespace hotfix
