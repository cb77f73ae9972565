// Medians for a benchmark program's own summary after Google Benchmark's
// table. With --benchmark_repetitions=N the median of the repetitions; with
// --benchmark_report_aggregates_only=true only the aggregates reach the
// reporter, and their "median" row is taken.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace benchsupport {

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double cpuMs = 0;
    double realMs = 0;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double scale = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      const Times t{run.GetAdjustedCPUTime() * scale, run.GetAdjustedRealTime() * scale};
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") aggregated_[name] = t;
      } else {
        samples_[name].push_back(t);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Median times of each benchmark by its name; the median aggregate when
  // the library reported one.
  std::map<std::string, Times> Medians() const {
    std::map<std::string, Times> out = aggregated_;
    for (const auto& [name, list] : samples_) {
      if (out.contains(name) || list.empty()) continue;
      out[name] = Times{Median(list, &Times::cpuMs), Median(list, &Times::realMs)};
    }
    return out;
  }

 private:
  static double Median(const std::vector<Times>& list, double Times::*field) {
    std::vector<double> v;
    for (const Times& t : list) v.push_back(t.*field);
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }

  std::map<std::string, Times> aggregated_;
  std::map<std::string, std::vector<Times>> samples_;
};

}  // namespace benchsupport
