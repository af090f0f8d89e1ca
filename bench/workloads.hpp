// The standard incremental-computation workloads as documents of cells, with
// the edits that their incremental case makes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cells.hpp"

namespace bench {

// One incremental step: give input cell `cell` a new value, then read `outputs`.
struct Edit {
  std::size_t cell;
  std::vector<std::size_t> outputs;
};

struct Workload {
  std::string name;               // e.g. "W1_chain"
  std::vector<CellSpec> cells{};  // in document order
  std::vector<Edit> edits{};      // the k-th update makes edits[k % edits.size()]
  // Cells of this formula must not run again after an edit, if there is one.
  std::optional<Formula> never_reruns{};
};

// The value that the k-th update gives its input: positive, and a new value each time.
inline double EditValue(std::size_t k) { return static_cast<double>(k + 2); }

Workload Chain(std::size_t n);   // W1: c0 = 1, c_i = c_{i-1} + 1
Workload FanOut(std::size_t n);  // W2: x, f_i = x + i
Workload FanIn(std::size_t n);   // W3: a_i, s = sum of a_i
Workload Ladder(std::size_t n);  // W4: c_i = (c_{i-1} + c_{i-2}) mod 1000003
Workload Groups(std::size_t g);  // W5: g chains of 10 cells, edited in scattered order
Workload Cutoff(std::size_t n);  // W6: x, y = sign of x, d_i = y & i

}  // namespace bench
