// The interactive command layer: reads commands and cells, edits the
// worksheet, and reports which cells each edit computed again.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "worksheet.hpp"

namespace calc {

class Session {
 public:
  // Works on `sheet`; writes everything, complaints included, to `out`.
  Session(Worksheet& sheet, std::ostream& out) : m_sheet(sheet), m_out(out) {}

  // Executes lines from `in` until :quit or the end of input. Writes a prompt
  // before each line when `prompt` is set (a terminal).
  void Run(std::istream& in, bool prompt);

  // Executes one input line: a command, or a cell to append. Returns false
  // after :quit.
  bool Execute(const std::string& input);

 private:
  struct Command;
  static const Command* FindCommand(std::string_view name);

  // Runs `edit`, brings the worksheet up to date and reports what it computed.
  template <class Edit>
  void Apply(Edit edit);

  void List(std::string_view args);
  void Set(std::string_view args);
  void Insert(std::string_view args);
  void Append(std::string_view args);
  void Remove(std::string_view args);
  void Lazy(std::string_view args);
  void Clear(std::string_view args);
  void Dump(std::string_view args);
  void Save(std::string_view args);
  void Help(std::string_view args);

  // The 0-based index of line number `word`, which must be at most
  // size() + `past_end`; throws UsageError.
  std::size_t LineIndex(std::string_view word, std::size_t past_end = 0) const;
  std::size_t CellIndex(std::string_view word) const;

  Worksheet& m_sheet;
  std::ostream& m_out;
};

}  // namespace calc
