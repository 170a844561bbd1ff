// A Google Benchmark console reporter that keeps each benchmark's time per
// iteration and, at the end, prints how fast ours ran beside a reference
// (1.00 = as fast; higher is faster).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tarvelo::bench {

struct Ratio {
    const char* what;
    const char* ours;       // benchmark name
    const char* reference;  // benchmark name
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        std::printf("\nratios (1.00 = as fast as the reference; higher is faster)\n");
        for (const Ratio& r : ratios_) {
            auto a = times_.find(r.ours), b = times_.find(r.reference);
            if (a == times_.end() || b == times_.end()) continue;
            std::printf("  %-36s %.2f\n", r.what, b->second / a->second);
        }
    }

  private:
    std::vector<Ratio> ratios_;
    std::map<std::string, double> times_;
};

}  // namespace tarvelo::bench
