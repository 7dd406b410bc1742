// The installer's start, to its window on screen, with the largest lists a package may hold (32,767 items
// a side), against the start of a bare window of the same size. Each start is a fresh process, offscreen:
// the time runs from starting the process to its first paint, and the process reports its peak memory.
// The installer reads its roots from a Wine prefix whose system.reg has the size and shape of a freshly
// booted 64-bit prefix's.

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

// A GUID-like name, different for each number.
std::string guid(int number) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-11D0-8A1E-00C04FD%05X}",
                  static_cast<unsigned>(number) * 2654435761u, static_cast<unsigned>(number % 65536),
                  static_cast<unsigned>(number));
    return text;
}

// What wineboot writes, in its proportions: about 8,700 sections, most of them class and interface keys of
// four to five levels with a text or two, numbers, binary data over several lines, 54 links in the 32-bit
// view, and a 32-bit CurrentVersion with subkeys but without the values of the 64-bit one. About 1.7 MB.
std::string realisticSystemReg() {
    std::string reg = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
    const auto section = [&reg](const std::string& path, const std::string& values) {
        reg += "\n[" + path + "] 1796646522\n#time=1dd86467ea68522\n" + values;
    };
    const auto text = [](const std::string& name, const std::string& value) {
        return (name.empty() ? std::string("@") : "\"" + name + "\"") + "=\"" + value + "\"\n";
    };
    const auto binary = [](const std::string& name, int bytes) {
        std::string line = "\"" + name + "\"=hex:";
        for (int i = 0; i < bytes; ++i) {
            if (i > 0) {
                line += i % 25 == 0 ? ",\\\n  " : ",";
            }
            line += "a5";
        }
        return line + "\n";
    };
    for (const char* classes : {"Software\\\\Classes", "Software\\\\Classes\\\\Wow6432Node"}) {
        const int count = std::strcmp(classes, "Software\\\\Classes") == 0 ? 1700 : 500;
        for (int i = 0; i < count; ++i) {
            const std::string clsid = std::string(classes) + "\\\\CLSID\\\\" + guid(i);
            section(clsid, text("", "Wine component " + std::to_string(i)));
            section(clsid + "\\\\InprocServer32",
                    text("", "C:\\\\windows\\\\system32\\\\component" + std::to_string(i % 300) + ".dll") +
                        text("ThreadingModel", i % 2 == 0 ? "Both" : "Apartment"));
        }
    }
    for (int i = 0; i < 1500; ++i) {
        const std::string interface = "Software\\\\Classes\\\\Interface\\\\" + guid(100000 + i);
        section(interface, text("", "IWineInterface" + std::to_string(i)));
        section(interface + "\\\\ProxyStubClsid32", text("", guid(i % 1700)));
    }
    for (int i = 0; i < 900; ++i) {
        std::string values = text("DisplayName", "Wine setting " + std::to_string(i)) +
                             "\"Flags\"=dword:0000" + std::to_string(1000 + i) + "\n";
        if (i % 2 == 0) {
            values += binary("Data", 60 + i % 100);
        }
        section("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Setting" + std::to_string(i / 30) +
                    "\\\\Entry" + std::to_string(i),
                values);
    }
    section("Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion",
            text("CurrentBuild", "7601") + text("CurrentVersion", "6.1") + binary("DigitalProductId", 164) +
                text("PathName", "C:\\\\windows") + text("ProductName", "Microsoft Windows 7") +
                text("SystemRoot", "C:\\\\windows"));
    for (int i = 0; i < 54; ++i) {
        std::string link = "\"SymbolicLinkValue\"=hex(6):";
        const std::string target = "\\Registry\\Machine\\Software\\Shared" + std::to_string(i);
        for (std::size_t c = 0; c < target.size(); ++c) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "%s%02x,00", c == 0 ? "" : ",",
                          static_cast<unsigned char>(target[c]));
            link += byte;
        }
        section("Software\\\\Wow6432Node\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Shared" +
                    std::to_string(i),
                "#link\n" + link + "\n");
    }
    section("Software\\\\Wow6432Node\\\\Vantrel Software",
            text("QXINSTALLDIR", "C:\\\\Program Files (x86)\\\\Vantrel"));
    for (int i = 0; i < 1000; ++i) {
        section("System\\\\CurrentControlSet\\\\Services\\\\Service" + std::to_string(i),
                text("DisplayName", "Wine service " + std::to_string(i)) +
                    text("ImagePath", "C:\\\\windows\\\\system32\\\\service" + std::to_string(i) + ".exe") +
                    "\"Start\"=dword:00000003\n\"Type\"=dword:00000010\n");
    }
    return reg;
}

// The prefix the installer reads its registry from.
const test::TempDir& prefix() {
    static const test::TempDir folder;
    static const bool written = [] {
        folder.write("system.reg", realisticSystemReg());
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
        ::setenv("WINEPREFIX", prefix().str().c_str(), 1);
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
    prefix();
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
