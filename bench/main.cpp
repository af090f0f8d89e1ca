// depman_bench: the standard incremental-computation workloads on depman and
// on a naive baseline, then a summary table of both.
#include <benchmark/benchmark.h>

#include "cases.hpp"
#include "summary_reporter.hpp"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RegisterCases();
  bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
