// Collects the median of each benchmark's repetitions while the console shows
// the usual report, and afterwards prints the figures against their targets.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void print_summary() const;

  private:
    // The median of a counter, or of the wall clock per iteration in ns when
    // `counter` is empty; negative when the benchmark did not run (filtered out).
    double median(const std::string& name, const std::string& counter = "") const;

    std::map<std::string, Run> medians_;
    int repetitions_ = 1;
};
