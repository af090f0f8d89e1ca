#include "memory_case.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "alloc_counter.hpp"
#include "host_cells.hpp"

namespace bench {
namespace {

// Allocation sizes listed in the counters, the largest contributors first.
constexpr std::size_t kListedSizes = 10;

// The heap held by one result dictionary as a cell action returns it.
std::int64_t ResultBytes(const CellSpec& cell) {
  const HeapSnapshot before = TakeHeapSnapshot();
  auto result = std::make_shared<depman::Dictionary>(1);
  result->Set(cell.name, std::make_shared<depman::Box<double>>(cell.constant));
  return Difference(TakeHeapSnapshot(), before).bytes;
}

void ReportSizes(benchmark::State& state, const HeapSnapshot& held, double nodes) {
  std::vector<std::size_t> sizes;
  for (std::size_t size = 0; size < held.by_size.size(); ++size) {
    if (held.by_size[size] > 0) sizes.push_back(size);
  }
  const auto bytes = [&](std::size_t size) { return held.by_size[size] * std::int64_t(size); };
  std::sort(sizes.begin(), sizes.end(), [&](auto a, auto b) { return bytes(a) > bytes(b); });
  sizes.resize(std::min(sizes.size(), kListedSizes));
  for (std::size_t size : sizes) {
    state.counters[kSizePrefix + std::to_string(size)] =
        static_cast<double>(held.by_size[size]) / nodes;
  }
}

void DepmanMemory(benchmark::State& state, const Workload& w) {
  for (auto _ : state) {
    // Opened first, so that it is still open while the document is torn down.
    HeapTracking tracking;
    const double nodes = static_cast<double>(w.cells.size());
    const HeapSnapshot start = TakeHeapSnapshot();
    std::vector<depman::ActionRef> actions = MakeActions(w);
    // The vector is handed over and freed; only the actions stay.
    const std::int64_t vector_bytes = actions.capacity() * sizeof(depman::ActionRef);
    const std::int64_t action_bytes = Difference(TakeHeapSnapshot(), start).bytes - vector_bytes;
    DepmanDocument doc(w, std::move(actions));
    const HeapSnapshot built = TakeHeapSnapshot();
    doc.EvaluateAll();
    const HeapSnapshot held = Difference(TakeHeapSnapshot(), start);

    state.counters[kTotalBytes] = static_cast<double>(held.bytes) / nodes;
    state.counters[kAllocations] = static_cast<double>(held.allocations) / nodes;
    state.counters[kHostActions] = static_cast<double>(action_bytes) / nodes;
    state.counters[kDocument] =
        static_cast<double>(Difference(built, start).bytes - action_bytes) / nodes;
    state.counters[kEvaluation] =
        static_cast<double>(held.bytes - (built.bytes - start.bytes)) / nodes;
    state.counters[kHostResults] = static_cast<double>(ResultBytes(w.cells.back()));
    ReportSizes(state, held, nodes);
  }
}

}  // namespace

void RegisterMemoryCase(const Workload& w, const std::string& size) {
  benchmark::RegisterBenchmark((w.name + "/memory/" + size + "/depman").c_str(), DepmanMemory,
                               std::cref(w))
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
