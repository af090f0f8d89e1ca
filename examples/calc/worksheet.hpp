// The calculation document: its lines, and a depman::Depman holding one node
// per cell, in line order.
#pragma once

#include <cstdint>
#include <depman/depman.hpp>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ast.hpp"
#include "cell_action.hpp"

namespace calc {

// One line of the document. Blank and comment lines are kept (for :save and
// so that line numbers match the file) but have no node.
struct Line {
  std::string text;                            // as written, UTF-8
  std::shared_ptr<const CellProgram> program;  // none when the line is no cell
  int32_t handle = 0;                          // the cell's node

  bool is_cell() const { return program != nullptr; }
};

class Worksheet {
 public:
  Worksheet();
  Worksheet(const Worksheet&) = delete;
  Worksheet& operator=(const Worksheet&) = delete;

  // Edits. Line indices are 0-based; the caller checks their range. An edit
  // only installs; Refresh() brings the values up to date.
  void Append(std::string text);
  void Insert(std::size_t index, std::string text);  // before line `index`; size() appends
  void Replace(std::size_t index, std::string text);
  void Erase(std::size_t index);
  // Turns the `lazy` prefix of the cell at `index` on or off.
  void SetLazy(std::size_t index, bool lazy);
  // Drops the cell's computed result from chain link `depth` on.
  void ClearChain(std::size_t index, int32_t depth);
  // Appends depman's listing of every node to `path`; throws std::system_error.
  void Dump(const std::string& path);

  // Brings every non-lazy cell up to date; lazy cells are computed only when
  // a cell that is computed reads them.
  void Refresh();
  // The lines whose cells were computed since the last call, in line order.
  std::vector<std::size_t> TakeComputed();
  // Prints every status notification to `out` (none: stop).
  void TraceTo(std::ostream* out) { m_trace = out; }

  std::size_t size() const { return m_lines.size(); }
  const Line& line(std::size_t index) const { return m_lines[index]; }
  // The line of the cell with handle `handle`, or none when it is gone.
  std::optional<std::size_t> IndexOf(int32_t handle) const;
  // The cell's result: up to date for a non-lazy cell; for a lazy cell its
  // last result if still valid, else none (reading it computes nothing).
  depman::DictionaryRef Result(std::size_t index);

 private:
  // Installs the cell of line `index` (already in m_lines) as a new node.
  void AddNode(std::size_t index);
  std::shared_ptr<CellAction> MakeAction(const Line& line) const;
  void RemoveNode(int32_t handle);
  std::optional<int32_t> PreviousCell(std::size_t index) const;
  void Reindex(std::size_t from);
  void OnStatus(int32_t handle, depman::Status status);
  // The lines of the cells invalidated since the last call, in line order.
  std::vector<std::size_t> StaleLines();
  // The lines of the cells in `handles` that still exist, in line order.
  std::vector<std::size_t> LinesOf(const std::unordered_set<int32_t>& handles) const;

  depman::Depman m_doc;
  std::vector<Line> m_lines;
  std::unordered_map<int32_t, std::size_t> m_index_of;  // handle -> line index
  int32_t m_last_handle = 0;                            // handles are issued from 1
  std::unordered_set<int32_t> m_computed;               // since TakeComputed
  std::unordered_set<int32_t> m_stale;                  // invalidated since Refresh
  std::ostream* m_trace = nullptr;
};

}  // namespace calc
