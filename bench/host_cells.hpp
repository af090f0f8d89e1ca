// The benchmark's host side of depman: cell actions, and a document of them
// driven only through the public API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <depman/depman.hpp>
#include <unordered_map>
#include <vector>

#include "workloads.hpp"

namespace bench {

// The actions of every cell of `w`, in document order; each builds its
// GetDefs list once.
std::vector<depman::ActionRef> MakeActions(const Workload& w);

// An action for input cell `cell` holding `value`, whose GetDefs returns `defs`.
depman::ActionRef MakeInputAction(const CellSpec& cell, double value, depman::ListRef defs);

// One depman document holding a workload's cells.
class DepmanDocument {
 public:
  // Adds every action after the one before it; evaluates nothing.
  DepmanDocument(const Workload& w, std::vector<depman::ActionRef> actions);

  // Brings the whole document up to date; returns the last cell's result.
  depman::DictionaryRef EvaluateAll();
  // Gives the edited input cell `value` and reads every output of the edit.
  // Returns the last output so that the reads cannot be optimized away.
  depman::ObjectRef Apply(const Edit& edit, double value);

 private:
  const Workload& m_workload;
  depman::Depman m_doc;
  std::vector<std::int32_t> m_handles;
  // The definition lists of the input cells, shared by the actions that replace them.
  std::unordered_map<std::size_t, depman::ListRef> m_input_defs;
};

}  // namespace bench
