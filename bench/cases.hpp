// The benchmark cases: every workload built and edited by depman and by the
// naive baseline, and the memory that a depman document holds per node.
//
// Case names read "<workload>/<case>/<size>/<engine>", e.g.
// "W1_chain/update/N=10000/depman", so that --benchmark_filter can pick them
// and the summary can pair each depman case with its baseline.
#pragma once

namespace bench {

// The counter of the update cases: cells computed per update.
inline constexpr const char* kActionsPerUpdate = "actions/update";
// Heap allocations per update, the host's included.
inline constexpr const char* kAllocationsPerUpdate = "allocs/update";

// Registers every case with Google Benchmark.
void RegisterCases();

}  // namespace bench
