// Replays a fuzz target's seed corpus and every input that once broke it (fuzz/regressions/<target>/)
// through the target's own checks, in the regular test suite: what fuzzing found stays fixed, and the checks
// run under the sanitizer build too. A broken check aborts, and the last input named below is the culprit.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

TEST(HOTFIX_FUZZ_REPLAY_SUITE, seedsAndEveryInputThatOnceBrokeTheTargetPassItsChecks) {
    int replayed = 0;
    for (const fs::path folder : {HOTFIX_FUZZ_SEEDS, HOTFIX_FUZZ_REGRESSIONS}) {
        if (!fs::is_directory(folder)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "replaying %s\n", entry.path().string().c_str());
            std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

} // namespace
