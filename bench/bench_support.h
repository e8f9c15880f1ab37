// Helpers shared by the benchmarks.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

// Ends the run with a message naming the benchmark: a check before measuring found a fault, or
// the corpus is missing.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
  std::abort();
}

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path + " (build the brannock_corpus target)");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The console report, which also keeps each row's rate in one counter (the median when there are
// repetitions), so a benchmark can print its own table of rates and ratios at the end.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  explicit RateReporter(std::string counter)
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular),
        counter_(std::move(counter)) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      auto rate = run.counters.find(counter_);
      if (run.error_occurred || rate == run.counters.end()) continue;
      std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians_[name] = rate->second.value;
      } else {
        samples_[name].push_back(rate->second.value);
      }
    }
    ConsoleReporter::ReportRuns(reports);
  }

  // The rate of a row: the median of its repetitions, or its only run.
  double Rate(const std::string& name) const {
    if (auto it = medians_.find(name); it != medians_.end()) return it->second;
    if (auto it = samples_.find(name); it != samples_.end() && !it->second.empty()) {
      std::vector<double> v = it->second;
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    }
    return 0;
  }

 private:
  std::string counter_;
  std::map<std::string, double> medians_;
  std::map<std::string, std::vector<double>> samples_;
};
