// The meaning of a document, computed the slow and obvious way: a vector of
// cells in document order; a lookup scans backwards for the nearest earlier
// cell that defines the name; every value is recomputed from scratch. It
// shares nothing with the library but the action descriptions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "action_recipe.hpp"

namespace depman::model {

struct Cell {
  int32_t handle = 0;
  RecipeRef spec;  // none: the node has no action
  bool lazy = false;
};

// A node's result as the document means it.
struct NodeValue {
  enum Kind { kNoAction, kError, kValues };
  Kind kind = kNoAction;
  Values values;
  // Cells whose results any of its links reads (lookups that found a definer).
  std::vector<std::size_t> reads;
};

class ReferenceModel {
 public:
  const std::vector<Cell>& cells() const { return m_cells; }
  std::size_t size() const { return m_cells.size(); }
  // The index of the cell with `handle`, or -1.
  int index_of(int32_t handle) const;
  int32_t max_handle() const { return m_max_handle; }

  // Edits, with the library's placement rules for an anchor that names no
  // cell: after the first cell (or alone), or at the front.
  void add_after(int32_t anchor, Cell cell);
  void add_before(int32_t anchor, Cell cell);
  void update(int32_t handle, RecipeRef spec, bool lazy);
  void set_lazy(int32_t handle, bool lazy);
  void remove(int32_t handle);

  // The cell that defines `name`, nearest strictly before (or at or before)
  // cell `index`; -1 when there is none.
  int definer_before(std::size_t index, const Name& name) const;
  int definer_at_or_before(std::size_t index, const Name& name) const;

  // One line per cell: handle, lazy flag, names defined, and per link the
  // names looked up and returned.
  std::string describe() const;

  // Every cell's result, in document order.
  std::vector<NodeValue> evaluate() const;

 private:
  bool defines(std::size_t index, const Name& name) const;
  NodeValue evaluate_cell(std::size_t index, const std::vector<NodeValue>& earlier) const;

  std::vector<Cell> m_cells;
  int32_t m_max_handle = 0;
};

}  // namespace depman::model
