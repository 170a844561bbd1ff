// A Google Benchmark console reporter that keeps each benchmark's time per
// iteration and, at the end, prints how fast ours ran beside a reference
// (1.00 = as fast; higher is faster). With --benchmark_repetitions the
// median of the repetitions is compared; the load average before and after
// is printed with the ratios, since other work on the machine skews them.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tarvelo::bench {

struct Ratio {
    const char* what;
    const char* ours;       // benchmark name
    const char* reference;  // benchmark name
    // Printed as our time over the reference's (how many times it costs)
    // rather than as a speed: for a reference that only bounds ours.
    bool cost = false;
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)), load_before_(load()) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration) times_[run.run_name.str()].push_back(run.GetAdjustedRealTime());
            else if (run.aggregate_name == "median") medians_[run.run_name.str()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        std::printf("\nratios (1.00 = as fast as the reference; higher is faster; 'x': times the reference's time;"
                    " medians of repetitions)\n");
        for (const Ratio& r : ratios_) {
            const double ours = time(r.ours), reference = time(r.reference);
            if (ours <= 0 || reference <= 0) continue;
            if (r.cost) std::printf("  %-40s %.1fx\n", r.what, ours / reference);
            else std::printf("  %-40s %.2f\n", r.what, reference / ours);
        }
        std::printf("load average: %s before, %s after\n", load_before_.c_str(), load().c_str());
    }

  private:
    double time(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto t = times_.find(name);
        if (t == times_.end() || t->second.empty()) return 0;
        std::vector<double> v = t->second;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    static std::string load() {
        char text[64] = "?";
        if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
            if (std::fscanf(f, "%63s", text) != 1) text[0] = '?', text[1] = 0;
            std::fclose(f);
        }
        return text;
    }

    std::vector<Ratio> ratios_;
    std::map<std::string, std::vector<double>> times_;
    std::map<std::string, double> medians_;
    std::string load_before_;
};

}  // namespace tarvelo::bench
