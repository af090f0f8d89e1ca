#include "worksheet.hpp"

#include <algorithm>
#include <utility>

#include "lexer.hpp"
#include "parser.hpp"

namespace calc {
namespace {

// depman puts a node added before a handle that names no node at the front.
constexpr int32_t kNoCell = 0;

const char* StatusWord(depman::Status status) {
  switch (status) {
    case depman::Status::NODE_COMPUTING:
      return "computing";
    case depman::Status::NODE_NOT_COMPUTING:
      return "done";
    case depman::Status::NODE_INVALID:
      return "invalid";
    default:
      return "other";
  }
}

// The text of a lazy cell without its leading `lazy` keyword.
std::string WithoutLazyPrefix(const std::string& text) {
  const std::size_t keyword = text.find("lazy");
  return text.substr(text.find_first_not_of(" \t", keyword + 4));
}

// The line `text`, parsed when it is a cell; its node comes later.
Line ParseLine(std::string text) {
  const std::wstring wide = depman::ToString(text);
  if (IsBlankOrComment(wide)) return {std::move(text), nullptr};
  return {std::move(text), ParseCell(wide)};
}

}  // namespace

Worksheet::Worksheet() {
  m_doc.RegisterNotify(std::make_shared<depman::Notify>(
      [this](int32_t handle, depman::Status status) { OnStatus(handle, status); }));
}

void Worksheet::OnStatus(int32_t handle, depman::Status status) {
  if (status == depman::Status::NODE_COMPUTING) m_computed.insert(handle);
  if (status == depman::Status::NODE_INVALID) m_stale.insert(handle);
  if (m_trace != nullptr) {
    const std::optional<std::size_t> index = IndexOf(handle);
    *m_trace << '#' << (index ? *index + 1 : 0) << ' ' << StatusWord(status) << '\n';
  }
}

std::shared_ptr<CellAction> Worksheet::MakeAction(const Line& line) const {
  return std::make_shared<CellAction>(line.handle, line.program, depman::ToString(line.text));
}

// The action needs its own handle (an error value names the cell it arose
// in), so the worksheet issues handles and adds nodes under them.
void Worksheet::AddNode(std::size_t index) {
  Line& line = m_lines[index];
  line.handle = ++m_last_handle;
  m_index_of[line.handle] = index;
  if (const std::optional<int32_t> previous = PreviousCell(index)) {
    m_doc.AddAfter(*previous, MakeAction(line), line.handle, line.program->lazy);
  } else {
    m_doc.AddBefore(kNoCell, MakeAction(line), line.handle, line.program->lazy);
  }
}

std::optional<int32_t> Worksheet::PreviousCell(std::size_t index) const {
  while (index-- > 0) {
    if (m_lines[index].is_cell()) return m_lines[index].handle;
  }
  return std::nullopt;
}

void Worksheet::Reindex(std::size_t from) {
  for (std::size_t index = from; index < m_lines.size(); ++index) {
    if (m_lines[index].is_cell()) m_index_of[m_lines[index].handle] = index;
  }
}

void Worksheet::Append(std::string text) { Insert(m_lines.size(), std::move(text)); }

void Worksheet::Insert(std::size_t index, std::string text) {
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index), ParseLine(std::move(text)));
  Reindex(index + 1);
  if (m_lines[index].is_cell()) AddNode(index);
}

void Worksheet::Replace(std::size_t index, std::string text) {
  Line& line = m_lines[index];
  const Line old = std::exchange(line, ParseLine(std::move(text)));
  if (old.is_cell() && line.is_cell()) {
    // Keep the node: an update invalidates exactly the dependents of the change.
    line.handle = old.handle;
    m_doc.Update(line.handle, MakeAction(line), line.program->lazy);
    return;
  }
  if (old.is_cell()) RemoveNode(old.handle);
  if (line.is_cell()) AddNode(index);
}

void Worksheet::Erase(std::size_t index) {
  const Line old = std::move(m_lines[index]);
  m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(index));
  // Renumber first, so that the notifications of the removal name the lines
  // as they are after it.
  Reindex(index);
  if (old.is_cell()) RemoveNode(old.handle);
}

void Worksheet::RemoveNode(int32_t handle) {
  m_index_of.erase(handle);
  m_doc.Remove(handle);
}

void Worksheet::SetLazy(std::size_t index, bool lazy) {
  const Line& line = m_lines[index];
  if (line.program->lazy == lazy) return;
  Replace(index, lazy ? "lazy " + line.text : WithoutLazyPrefix(line.text));
}

void Worksheet::ClearChain(std::size_t index, int32_t depth) {
  m_doc.ClearChain(m_lines[index].handle, depth);
}

void Worksheet::Dump(const std::string& path) { m_doc.DumpNodes(depman::ToString(path)); }

void Worksheet::Refresh() {
  // Removing a cell invalidates its dependents without moving depman's
  // evaluation frontier back, so they are brought up to date here, in line
  // order: each then finds the cells it reads up to date already, instead of
  // validating the whole chain above it recursively.
  for (std::size_t index : StaleLines()) {
    if (!m_lines[index].program->lazy) m_doc.GetAllValues(m_lines[index].handle);
  }
  const auto last_eager = std::find_if(m_lines.rbegin(), m_lines.rend(), [](const Line& line) {
    return line.is_cell() && !line.program->lazy;
  });
  if (last_eager != m_lines.rend()) m_doc.GetAllValues(last_eager->handle);
}

std::vector<std::size_t> Worksheet::StaleLines() {
  std::vector<std::size_t> lines = LinesOf(m_stale);
  m_stale.clear();
  return lines;
}

std::vector<std::size_t> Worksheet::TakeComputed() {
  std::vector<std::size_t> lines = LinesOf(m_computed);
  m_computed.clear();
  return lines;
}

std::vector<std::size_t> Worksheet::LinesOf(const std::unordered_set<int32_t>& handles) const {
  std::vector<std::size_t> lines;
  for (int32_t handle : handles) {
    if (const std::optional<std::size_t> index = IndexOf(handle)) lines.push_back(*index);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::optional<std::size_t> Worksheet::IndexOf(int32_t handle) const {
  const auto found = m_index_of.find(handle);
  if (found == m_index_of.end()) return std::nullopt;
  return found->second;
}

depman::DictionaryRef Worksheet::Result(std::size_t index) {
  const Line& line = m_lines[index];
  if (!line.is_cell()) return nullptr;
  return line.program->lazy ? m_doc.Ready(line.handle) : m_doc.GetAllValues(line.handle);
}

}  // namespace calc
