// Medians for a benchmark program's own summary after Google Benchmark's
// table. With --benchmark_repetitions=N the median of the repetitions; with
// --benchmark_report_aggregates_only=true only the aggregates reach the
// reporter, and their "median" row is taken.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
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

// A goal of ours against a peer in the same run: at most `limit` times the
// peer's median wall time.
struct RatioGoal {
  const char* what;
  const char* ours;
  const char* peer;
  const char* peerName;
  double limit;
};

// Prints each goal whose two benchmarks ran: both medians, the ratio, met
// or MISSED.
inline void PrintRatioGoals(const MedianReporter& reporter, std::initializer_list<RatioGoal> goals) {
  const auto m = reporter.Medians();
  const auto ms = [&](const char* name) { return m.contains(name) ? m.at(name).realMs : 0.0; };
  for (const RatioGoal& g : goals) {
    const double ours = ms(g.ours), peer = ms(g.peer);
    if (ours <= 0 || peer <= 0) continue;
    std::printf("%s: %.3g ms, %s %.3g ms: %.2fx (goal <= %.1fx, %s)\n", g.what, ours, g.peerName, peer, ours / peer,
                g.limit, ours / peer <= g.limit ? "met" : "MISSED");
  }
}

// A benchmark program's main: runs the benchmarks the command line asks
// for, then prints the goals.
inline int RunWithRatioGoals(int argc, char** argv, std::initializer_list<RatioGoal> goals) {
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatioGoals(reporter, goals);
  benchmark::Shutdown();
  return 0;
}

}  // namespace benchsupport
