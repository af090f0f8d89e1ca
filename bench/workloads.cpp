#include "workloads.hpp"

namespace bench {
namespace {

std::wstring Indexed(const wchar_t* prefix, std::size_t i) { return prefix + std::to_wstring(i); }

CellSpec Input(std::wstring name, double value) {
  return {std::move(name), Formula::kInput, value, {}};
}

CellSpec Cell(std::wstring name, Formula formula, double constant,
              std::vector<std::wstring> inputs) {
  return {std::move(name), formula, constant, std::move(inputs)};
}

// Every cell after the first adds one to the cell before it.
void AppendChain(Workload& w, const std::wstring& prefix, std::size_t length) {
  w.cells.push_back(Input(prefix + L"0", 1));
  for (std::size_t i = 1; i < length; ++i) {
    w.cells.push_back(Cell(prefix + std::to_wstring(i), Formula::kAddConstant, 1,
                           {prefix + std::to_wstring(i - 1)}));
  }
}

// A stride that is prime to every group count used visits each group once per
// round while jumping across the document, as a person editing here and there
// would, instead of walking it front to back.
constexpr std::size_t kGroupStride = 7919;

}  // namespace

Workload Chain(std::size_t n) {
  Workload w{.name = "W1_chain"};
  AppendChain(w, L"c", n);
  w.edits.push_back({0, {n - 1}});
  return w;
}

Workload FanOut(std::size_t n) {
  Workload w{.name = "W2_fan-out"};
  w.cells.push_back(Input(L"x", 1));
  Edit edit{0, {}};
  for (std::size_t i = 0; i < n; ++i) {
    w.cells.push_back(
        Cell(Indexed(L"f", i), Formula::kAddConstant, static_cast<double>(i), {L"x"}));
    edit.outputs.push_back(i + 1);
  }
  w.edits.push_back(std::move(edit));
  return w;
}

Workload FanIn(std::size_t n) {
  Workload w{.name = "W3_fan-in"};
  std::vector<std::wstring> inputs;
  for (std::size_t i = 0; i < n; ++i) {
    inputs.push_back(Indexed(L"a", i));
    w.cells.push_back(Input(inputs.back(), static_cast<double>(i)));
  }
  w.cells.push_back(Cell(L"s", Formula::kSum, 0, std::move(inputs)));
  for (std::size_t i = 0; i < n; ++i) w.edits.push_back({i, {n}});
  return w;
}

Workload Ladder(std::size_t n) {
  Workload w{.name = "W4_ladder"};
  w.cells.push_back(Input(L"c0", 1));
  w.cells.push_back(Input(L"c1", 1));
  for (std::size_t i = 2; i < n; ++i) {
    w.cells.push_back(
        Cell(Indexed(L"c", i), Formula::kLadder, 0, {Indexed(L"c", i - 1), Indexed(L"c", i - 2)}));
  }
  w.edits.push_back({0, {n - 1}});
  return w;
}

Workload Groups(std::size_t g) {
  constexpr std::size_t kGroupLength = 10;
  Workload w{.name = "W5_sparse-edit"};
  for (std::size_t i = 0; i < g; ++i)
    AppendChain(w, L"g" + std::to_wstring(i) + L"_", kGroupLength);
  for (std::size_t k = 0; k < g; ++k) {
    const std::size_t head = (k * kGroupStride % g) * kGroupLength;
    w.edits.push_back({head, {head + kGroupLength - 1}});
  }
  return w;
}

Workload Cutoff(std::size_t n) {
  Workload w{.name = "W6_early-cutoff", .never_reruns = Formula::kConcat};
  w.cells.push_back(Input(L"x", 1));
  w.cells.push_back(Cell(L"y", Formula::kSign, 0, {L"x"}));
  for (std::size_t i = 0; i < n; ++i) {
    w.cells.push_back(Cell(Indexed(L"d", i), Formula::kConcat, static_cast<double>(i), {L"y"}));
  }
  w.edits.push_back({0, {n + 1}});
  return w;
}

}  // namespace bench
