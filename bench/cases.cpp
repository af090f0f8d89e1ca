#include "cases.hpp"

#include <benchmark/benchmark.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "alloc_counter.hpp"
#include "baseline.hpp"
#include "host_cells.hpp"
#include "memory_case.hpp"
#include "workloads.hpp"

namespace bench {
namespace {

// Fails the case when depman's answer differs from the baseline's: a fast
// wrong answer would measure nothing.
void CheckSameAnswer(benchmark::State& state, const depman::ObjectRef& depman,
                     const depman::ObjectRef& baseline) {
  const auto text = [](const depman::ObjectRef& v) { return v ? v->ToString() : L"none"; };
  if (text(depman) != text(baseline)) state.SkipWithError("depman and the baseline disagree");
}

// (a): add every cell, then evaluate the last one. Tearing the document down
// is not part of the case.
void DepmanBuild(benchmark::State& state, const Workload& w) {
  depman::DictionaryRef last;
  for (auto _ : state) {
    auto doc = std::make_unique<DepmanDocument>(w, MakeActions(w));
    last = doc->EvaluateAll();
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  CheckSameAnswer(state, last ? last->Get(w.cells.back().name) : nullptr, NaiveDocument(w).Last());
}

void BaselineBuild(benchmark::State& state, const Workload& w) {
  for (auto _ : state) {
    auto doc = std::make_unique<NaiveDocument>(w);
    benchmark::DoNotOptimize(doc->Last());
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
}

// Fails the case when a cell that an edit must leave alone ran again (the
// baseline reruns everything by design and is not checked).
void CheckCutoff(benchmark::State& state, const Workload& w, const ComputeCounts& before) {
  if (!w.never_reruns) return;
  const auto formula = static_cast<std::size_t>(*w.never_reruns);
  const std::uint64_t reruns = ComputeCount()[formula] - before[formula];
  if (reruns > 0) {
    state.SkipWithError(
        (std::to_string(reruns) + " cells ran again although their input stayed equal").c_str());
  }
}

// (b): one edit of an input and the reads of its outputs per iteration; the
// document is built and evaluated beforehand. Returns the computation counts
// from before the first edit.
template <class Document>
ComputeCounts RunUpdates(benchmark::State& state, const Workload& w, Document& doc) {
  const ComputeCounts before = ComputeCount();
  const HeapSnapshot heap_before = TakeHeapSnapshot();
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(doc.Apply(w.edits[k % w.edits.size()], EditValue(k)));
    ++k;
  }
  state.counters[kActionsPerUpdate] = benchmark::Counter(
      static_cast<double>(TotalSince(ComputeCount(), before)), benchmark::Counter::kAvgIterations);
  state.counters[kAllocationsPerUpdate] = benchmark::Counter(
      static_cast<double>(Difference(TakeHeapSnapshot(), heap_before).allocations_ever),
      benchmark::Counter::kAvgIterations);
  return before;
}

void DepmanUpdate(benchmark::State& state, const Workload& w) {
  DepmanDocument doc(w, MakeActions(w));
  doc.EvaluateAll();
  NaiveDocument baseline(w);
  CheckSameAnswer(state, doc.Apply(w.edits[0], EditValue(0)),
                  baseline.Apply(w.edits[0], EditValue(0)));
  CheckCutoff(state, w, RunUpdates(state, w, doc));
}

void BaselineUpdate(benchmark::State& state, const Workload& w) {
  NaiveDocument doc(w);
  RunUpdates(state, w, doc);
}

using Case = void (*)(benchmark::State&, const Workload&);

void Register(const std::string& name, Case run, const Workload& w) {
  benchmark::RegisterBenchmark(name.c_str(), run, std::cref(w))->Unit(benchmark::kMicrosecond);
}

// Registers (a) and (b) for depman and the baseline. `w` must outlive the run.
void RegisterWorkload(const Workload& w, const std::string& size) {
  const std::string prefix = w.name + "/";
  Register(prefix + "build/" + size + "/depman", DepmanBuild, w);
  Register(prefix + "build/" + size + "/baseline", BaselineBuild, w);
  Register(prefix + "update/" + size + "/depman", DepmanUpdate, w);
  Register(prefix + "update/" + size + "/baseline", BaselineUpdate, w);
}

}  // namespace

void RegisterCases() {
  // Benchmarks hold references to their workloads until the program ends.
  static std::deque<Workload> workloads;
  const auto add = [](Workload w, const std::string& size) {
    RegisterWorkload(workloads.emplace_back(std::move(w)), size);
  };
  for (std::size_t n : {1000, 10000, 100000}) add(Chain(n), "N=" + std::to_string(n));
  RegisterMemoryCase(workloads.back(), "N=100000");
  add(FanOut(10000), "N=10000");
  add(FanIn(10000), "N=10000");
  add(Ladder(10000), "N=10000");
  for (std::size_t g : {1000, 10000}) add(Groups(g), "G=" + std::to_string(g));
  add(Cutoff(1000), "N=1000");
}

}  // namespace bench
