#include "reference_model.hpp"

#include <algorithm>

namespace depman::model {

int ReferenceModel::index_of(int32_t handle) const {
  for (std::size_t i = 0; i < m_cells.size(); ++i) {
    if (m_cells[i].handle == handle) return static_cast<int>(i);
  }
  return -1;
}

void ReferenceModel::add_after(int32_t anchor, Cell cell) {
  m_max_handle = std::max(m_max_handle, cell.handle);
  const int at = index_of(anchor);
  const std::size_t position = at >= 0 ? at + 1 : std::min<std::size_t>(1, m_cells.size());
  m_cells.insert(m_cells.begin() + static_cast<std::ptrdiff_t>(position), std::move(cell));
}

void ReferenceModel::add_before(int32_t anchor, Cell cell) {
  m_max_handle = std::max(m_max_handle, cell.handle);
  const int at = index_of(anchor);
  const std::size_t position = at >= 0 ? at : 0;
  m_cells.insert(m_cells.begin() + static_cast<std::ptrdiff_t>(position), std::move(cell));
}

void ReferenceModel::update(int32_t handle, RecipeRef spec, bool lazy) {
  const int at = index_of(handle);
  if (at < 0) return;
  m_cells[at].spec = std::move(spec);
  m_cells[at].lazy = lazy;
}

void ReferenceModel::set_lazy(int32_t handle, bool lazy) {
  const int at = index_of(handle);
  if (at >= 0) m_cells[at].lazy = lazy;
}

void ReferenceModel::remove(int32_t handle) {
  const int at = index_of(handle);
  if (at >= 0) m_cells.erase(m_cells.begin() + at);
}

bool ReferenceModel::defines(std::size_t index, const Name& name) const {
  const RecipeRef& spec = m_cells[index].spec;
  if (spec == nullptr) return false;
  const std::vector<Name> names = spec->registered();
  return std::find(names.begin(), names.end(), name) != names.end();
}

int ReferenceModel::definer_before(std::size_t index, const Name& name) const {
  for (std::size_t i = index; i-- > 0;) {
    if (defines(i, name)) return static_cast<int>(i);
  }
  return -1;
}

int ReferenceModel::definer_at_or_before(std::size_t index, const Name& name) const {
  return defines(index, name) ? static_cast<int>(index) : definer_before(index, name);
}

namespace {

std::string Names(const std::vector<Name>& names) {
  std::string text;
  for (const Name& name : names) text += std::string(name.begin(), name.end());
  return text;
}

}  // namespace

std::string ReferenceModel::describe() const {
  std::string text;
  for (const Cell& cell : m_cells) {
    text += "  node " + std::to_string(cell.handle) + (cell.lazy ? " lazy" : "");
    if (cell.spec == nullptr) {
      text += " no action\n";
      continue;
    }
    const ActionRecipe& spec = *cell.spec;
    text += " action " + std::to_string(spec.id) + " defs [" +
            (spec.defs_none ? "none" : Names(spec.defs)) + "]";
    for (const Step& step : spec.steps) {
      text += " | reads " + Names(step.lookups) + " gives " + Names(step.outputs) +
              (step.fresh_next ? " fresh" : "");
    }
    if (spec.flaw != Flaw::kNone) text += " FLAWED";
    text += "\n";
  }
  return text;
}

std::vector<NodeValue> ReferenceModel::evaluate() const {
  std::vector<NodeValue> values;
  values.reserve(m_cells.size());
  for (std::size_t i = 0; i < m_cells.size(); ++i) values.push_back(evaluate_cell(i, values));
  return values;
}

// Runs the cell's links in order, as the library would from scratch: each
// link's lookups see the final results of the earlier cells; a lookup whose
// definer fails makes this cell fail too.
NodeValue ReferenceModel::evaluate_cell(std::size_t index,
                                        const std::vector<NodeValue>& earlier) const {
  NodeValue result;
  const RecipeRef& spec = m_cells[index].spec;
  if (spec == nullptr) return result;
  bool failed = false;
  std::optional<uint64_t> carried;
  uint64_t digest = 0;
  for (std::size_t step = 0; step < spec->steps.size(); ++step) {
    std::vector<Input> inputs;
    for (const Name& name : spec->steps[step].lookups) {
      const int definer = definer_before(index, name);
      if (definer < 0) {
        inputs.emplace_back();
        continue;
      }
      result.reads.push_back(static_cast<std::size_t>(definer));
      const NodeValue& source = earlier[definer];
      if (source.kind == NodeValue::kError) failed = true;
      auto it = source.values.find(name);
      inputs.push_back(it == source.values.end() ? Input() : Input(it->second));
    }
    digest = FoldInputs(StepSeed(*spec, step, carried), inputs);
    carried.reset();
    if (spec->steps[step].fresh_next) carried = digest;
  }
  if (failed || spec->flaw != Flaw::kNone) {
    result.kind = NodeValue::kError;
  } else {
    result.kind = NodeValue::kValues;
    result.values = OutputValues(*spec, digest);
  }
  return result;
}

}  // namespace depman::model
