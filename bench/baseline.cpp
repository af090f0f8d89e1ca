#include "baseline.hpp"

namespace bench {
namespace {

class MapReader final : public InputReader {
 public:
  explicit MapReader(const std::unordered_map<std::wstring, depman::ObjectRef>& values)
      : m_values(values) {}
  depman::ObjectRef Read(const std::wstring& name) override {
    auto it = m_values.find(name);
    return it != m_values.end() ? it->second : nullptr;
  }

 private:
  const std::unordered_map<std::wstring, depman::ObjectRef>& m_values;
};

}  // namespace

NaiveDocument::NaiveDocument(const Workload& w) : m_workload(w) {
  m_constants.reserve(w.cells.size());
  for (const CellSpec& cell : w.cells) m_constants.push_back(cell.constant);
  RecomputeAll();
}

void NaiveDocument::RecomputeAll() {
  MapReader reader(m_values);
  for (std::size_t i = 0; i < m_workload.cells.size(); ++i) {
    const CellSpec& cell = m_workload.cells[i];
    // Computed before it is stored: a cell reads the earlier definition of its own name.
    depman::ObjectRef value = Compute(cell, m_constants[i], reader);
    m_values[cell.name] = std::move(value);
  }
}

depman::ObjectRef NaiveDocument::ValueOf(std::size_t cell) const {
  return m_values.find(m_workload.cells[cell].name)->second;
}

depman::ObjectRef NaiveDocument::Last() const { return ValueOf(m_workload.cells.size() - 1); }

depman::ObjectRef NaiveDocument::Apply(const Edit& edit, double value) {
  m_constants[edit.cell] = value;
  RecomputeAll();
  depman::ObjectRef last;
  for (std::size_t output : edit.outputs) last = ValueOf(output);
  return last;
}

}  // namespace bench
