// The naive baseline: recompute every cell from scratch, in document order,
// looking inputs up in one name-to-value hash map.
#pragma once

#include <depman/host.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "workloads.hpp"

namespace bench {

class NaiveDocument {
 public:
  // Computes every cell once.
  explicit NaiveDocument(const Workload& w);

  // The value of the last cell.
  depman::ObjectRef Last() const;
  // Gives the edited input cell `value`, recomputes every cell and reads every
  // output of the edit. Returns the last output.
  depman::ObjectRef Apply(const Edit& edit, double value);

 private:
  void RecomputeAll();
  depman::ObjectRef ValueOf(std::size_t cell) const;

  const Workload& m_workload;
  std::vector<double> m_constants;  // per cell: its own constant, or an input's current value
  std::unordered_map<std::wstring, depman::ObjectRef> m_values;
};

}  // namespace bench
