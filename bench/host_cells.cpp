#include "host_cells.hpp"

#include <utility>

namespace bench {
namespace {

// Reads a name through the environment that depman hands to a running action.
class EnvironmentReader final : public InputReader {
 public:
  explicit EnvironmentReader(depman::Environment& env) : m_env(env) {}
  depman::ObjectRef Read(const std::wstring& name) override {
    depman::DictionaryRef values = m_env.Lookup(name);
    return values != nullptr ? values->Get(name) : nullptr;
  }

 private:
  depman::Environment& m_env;
};

// Defines one name: the cell's value, computed from the names it looks up.
class CellAction final : public depman::Action {
 public:
  CellAction(const CellSpec& cell, double constant, depman::ListRef defs)
      : m_cell(cell), m_constant(constant), m_defs(std::move(defs)) {}

  depman::DictionaryRef Invoke(const depman::EnvironmentRef& env) override {
    EnvironmentReader reader(*env);
    auto result = std::make_shared<depman::Dictionary>(1);
    result->Set(m_cell.name, Compute(m_cell, m_constant, reader));
    return result;
  }
  depman::ListRef GetDefs() override { return m_defs; }
  void Release() override {}

 private:
  const CellSpec& m_cell;
  double m_constant;
  depman::ListRef m_defs;
};

depman::ListRef DefsOf(const CellSpec& cell) { return depman::List::Names({cell.name}); }

}  // namespace

std::vector<depman::ActionRef> MakeActions(const Workload& w) {
  std::vector<depman::ActionRef> actions;
  actions.reserve(w.cells.size());
  for (const CellSpec& cell : w.cells) {
    actions.push_back(std::make_shared<CellAction>(cell, cell.constant, DefsOf(cell)));
  }
  return actions;
}

depman::ActionRef MakeInputAction(const CellSpec& cell, double value, depman::ListRef defs) {
  return std::make_shared<CellAction>(cell, value, std::move(defs));
}

DepmanDocument::DepmanDocument(const Workload& w, std::vector<depman::ActionRef> actions)
    : m_workload(w) {
  m_handles.reserve(actions.size());
  std::int32_t previous = 0;  // names no node: the first cell starts the document
  for (std::size_t i = 0; i < actions.size(); ++i) {
    if (w.cells[i].formula == Formula::kInput) m_input_defs.emplace(i, actions[i]->GetDefs());
    previous = m_doc.AddAfter(previous, actions[i], 0);
    m_handles.push_back(previous);
  }
}

depman::DictionaryRef DepmanDocument::EvaluateAll() { return m_doc.GetAllValues(m_handles.back()); }

depman::ObjectRef DepmanDocument::Apply(const Edit& edit, double value) {
  const CellSpec& input = m_workload.cells[edit.cell];
  m_doc.Update(m_handles[edit.cell], MakeInputAction(input, value, m_input_defs.at(edit.cell)), 0);
  depman::ObjectRef last;
  for (std::size_t output : edit.outputs) {
    last = m_doc.GetValue(m_handles[output], m_workload.cells[output].name);
  }
  return last;
}

}  // namespace bench
