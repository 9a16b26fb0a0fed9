#ifndef DIRCLIENT_BENCH_RATIO_REPORTER_H
#define DIRCLIENT_BENCH_RATIO_REPORTER_H

// Runs a program's benchmarks with the usual console table and then prints the ratios its
// targets are stated in, computed from the runs' real times.

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Real time per iteration of each run, by its full name ("BM_X/1/iterations:10000").
using RunTimes = std::map<std::string, double>;

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::function<void(const RunTimes&)> summary)
        : summary_(std::move(summary)) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        summary_(times_);
    }

  private:
    std::function<void(const RunTimes&)> summary_;
    RunTimes times_;
};

// The whole of such a program's main.
inline int run_benchmarks_with_ratios(int argc, char** argv,
                                      std::function<void(const RunTimes&)> summary) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::move(summary));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

// The time of a run, 0 when it did not run (filtered out).
inline double time_of(const RunTimes& times, const std::string& name) {
    auto found = times.find(name);
    return found != times.end() ? found->second : 0;
}

}  // namespace bench

#endif
