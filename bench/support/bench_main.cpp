#include "ratio.hpp"

#include <cstdio>
#include <map>
#include <vector>

#include <benchmark/benchmark.h>

namespace hotfix::bench {

namespace {

struct Ratio {
    std::string measured;
    std::string baseline;
    double target;
};

std::vector<Ratio>& ratios() {
    static std::vector<Ratio> all;
    return all;
}

// Keeps each benchmark's real time per iteration, and still prints the usual table.
class CollectingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the benchmark; a single run stands for itself.
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times[run.run_name.str()] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration && !times.contains(run.run_name.str())) {
                times[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

void reportRatio(std::string measured, std::string baseline, double target) {
    ratios().push_back({std::move(measured), std::move(baseline), target});
}

} // namespace hotfix::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    hotfix::bench::CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    int missed = 0;
    for (const auto& ratio : hotfix::bench::ratios()) {
        const auto measured = reporter.times.find(ratio.measured);
        const auto baseline = reporter.times.find(ratio.baseline);
        if (measured == reporter.times.end() || baseline == reporter.times.end() || baseline->second <= 0) {
            continue;
        }
        const double value = measured->second / baseline->second;
        const bool met = value <= ratio.target;
        missed += met ? 0 : 1;
        std::printf("ratio %-48s / %-40s = %5.2f (target <= %.2f) %s\n", ratio.measured.c_str(),
                    ratio.baseline.c_str(), value, ratio.target, met ? "met" : "MISSED");
    }
    return missed == 0 ? 0 : 2;
}
