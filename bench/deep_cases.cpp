#include "deep_cases.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <depman/depman.hpp>
#include <memory>
#include <string>
#include <vector>

#include "host_cells.hpp"
#include "workloads.hpp"

namespace bench {
namespace {

// A W1 chain in a Depman, every cell lazy or every cell evaluated.
struct ChainDocument {
  ChainDocument(const Workload& w, bool lazy) {
    std::int32_t last = 0;
    for (const depman::ActionRef& action : MakeActions(w)) {
      last = doc.AddAfter(last, action, lazy ? 1 : 0);
      handles.push_back(last);
    }
  }

  depman::Depman doc;
  std::vector<std::int32_t> handles;
};

const std::wstring& LastName(const Workload& w) { return w.cells.back().name; }

// All cells lazy: reading the last one evaluates the chain from its end.
void LazyChain(benchmark::State& state, const Workload& w) {
  for (auto _ : state) {
    state.PauseTiming();
    auto chain = std::make_unique<ChainDocument>(w, /*lazy=*/true);
    state.ResumeTiming();
    benchmark::DoNotOptimize(chain->doc.GetValue(chain->handles.back(), LastName(w)));
    state.PauseTiming();
    chain.reset();
    state.ResumeTiming();
  }
}

// All cells evaluated, then the first removed: its dependents, invalidated
// behind the frontier, are brought up to date on demand from the end. A
// second definition of the head's name in front keeps every cell defined.
void RemovedHead(benchmark::State& state, const Workload& w) {
  const CellSpec& head = w.cells.front();
  for (auto _ : state) {
    state.PauseTiming();
    auto chain = std::make_unique<ChainDocument>(w, /*lazy=*/false);
    chain->doc.AddBefore(chain->handles.front(),
                         MakeInputAction(head, 2.0, depman::List::Names({head.name})), 0);
    chain->doc.GetAllValues(chain->handles.back());
    chain->doc.Remove(chain->handles.front());
    state.ResumeTiming();
    benchmark::DoNotOptimize(chain->doc.GetValue(chain->handles.back(), LastName(w)));
    state.PauseTiming();
    chain.reset();
    state.ResumeTiming();
  }
}

}  // namespace

void RegisterDeepCases() {
  static std::vector<std::unique_ptr<Workload>> chains;
  for (std::size_t n : {100'000, 1'000'000}) {
    const Workload& w = *chains.emplace_back(std::make_unique<Workload>(Chain(n)));
    const std::string size = "/N=" + std::to_string(n) + "/depman";
    const auto iterations = n > 100'000 ? 1 : 3;
    benchmark::RegisterBenchmark(("Deep_lazy/evaluate" + size).c_str(), LazyChain, std::cref(w))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
    benchmark::RegisterBenchmark(("Deep_removed/evaluate" + size).c_str(), RemovedHead,
                                 std::cref(w))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
  }
}

}  // namespace bench
