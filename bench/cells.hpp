// The cells of the benchmark documents and the arithmetic they do. Both the
// depman host actions and the naive baseline compute a cell with Compute(),
// so the two differ only in how values are found and when cells run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <depman/host.hpp>
#include <string>
#include <vector>

namespace bench {

enum class Formula {
  kInput,        // the cell's constant
  kAddConstant,  // its only input plus the constant
  kSum,          // the sum of its inputs
  kLadder,       // (first + second input) mod 1000003
  kSign,         // the string "pos" when its input is > 0, else "neg"
  kConcat,       // its string input followed by the constant in decimal
};
inline constexpr std::size_t kFormulaCount = 6;

struct CellSpec {
  std::wstring name;  // the one name the cell defines
  Formula formula;
  double constant = 0;
  std::vector<std::wstring> inputs;
};

// Where a cell's inputs come from: a depman environment or the baseline's map.
class InputReader {
 public:
  virtual ~InputReader() = default;
  // The value defined under `name`; none when nothing defines it.
  virtual depman::ObjectRef Read(const std::wstring& name) = 0;
};

// Computes the value of `cell`, reading its inputs through `reader`, and counts
// the computation. `constant` stands in for the cell's own (an input's new value).
depman::ObjectRef Compute(const CellSpec& cell, double constant, InputReader& reader);

// How many cells of each formula Compute() has computed since the program began.
using ComputeCounts = std::array<std::uint64_t, kFormulaCount>;
const ComputeCounts& ComputeCount();

// The number of computations in `later` minus those in `earlier`, of every formula.
std::uint64_t TotalSince(const ComputeCounts& later, const ComputeCounts& earlier);

}  // namespace bench
