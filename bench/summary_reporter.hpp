// The console report of Google Benchmark, followed by a summary table that
// sets every depman case beside its baseline, and the memory breakdown.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "targets.hpp"

namespace bench {

class SummaryReporter final : public benchmark::ConsoleReporter {
 public:
  // Plain text: the report is as often read from a log as from a terminal.
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  // What one case measured: its median over repetitions when there are any.
  struct Measurement {
    double cpu_us = 0;
    benchmark::UserCounters counters;
    std::string error;  // empty unless the case failed
    bool is_median = false;
  };
  struct Row {
    std::map<std::string, Measurement> engines;  // "depman", "baseline"
  };

  void Collect(const Run& run);
  void PrintTable(std::ostream& out) const;
  void PrintMemory(std::ostream& out) const;
  std::vector<std::string> TableLine(const CaseKey& key, const Row& row) const;

  std::vector<CaseKey> m_order;  // rows in the order they were first run
  std::map<CaseKey, Row> m_rows;
};

}  // namespace bench
