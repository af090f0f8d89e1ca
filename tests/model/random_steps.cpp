// How a randomized run picks its operations: which kinds and how often,
// which handles, names and actions. Every choice comes from a Source, so a
// seed or a fuzzer input replays the same run.
#include "driver.hpp"

namespace depman::model {

const Name& Driver::random_name(Source& source) const {
  return NamePool()[source.below(static_cast<uint32_t>(NamePool().size()))];
}

// Mostly a node of the document; sometimes a handle that names none.
int32_t Driver::random_handle(Source& source) const {
  const auto& cells = m_model.cells();
  if (cells.empty() || source.chance(6)) {
    return source.chance(50) ? 0 : m_model.max_handle() + 1 + static_cast<int32_t>(source.below(3));
  }
  return cells[source.below(static_cast<uint32_t>(cells.size()))].handle;
}

// A handle for the four-argument forms: above every handle so far, one
// that was removed, a negative one or 0; never one in use (none: let the
// library issue one).
std::optional<int32_t> Driver::random_new_handle(Source& source) const {
  if (source.chance(65)) return std::nullopt;
  int32_t handle = 0;
  switch (source.below(4)) {
    case 0:
      handle = m_model.max_handle() + 1 + static_cast<int32_t>(source.below(4));
      break;
    case 1:
      if (!m_removed_handles.empty()) {
        handle = m_removed_handles[source.below(static_cast<uint32_t>(m_removed_handles.size()))];
      }
      break;
    case 2:
      handle = -1 - static_cast<int32_t>(source.below(3));
      break;
    default:
      break;
  }
  if (m_model.index_of(handle) >= 0) return std::nullopt;
  return handle;
}

RecipeRef Driver::random_spec(Source& source) {
  auto spec = std::make_shared<ActionRecipe>();
  spec->id = ++m_next_spec_id;
  for (uint32_t n = source.below(4); n > 0; --n) spec->defs.push_back(random_name(source));
  spec->defs_none = source.chance(4);
  spec->defs_junk = source.chance(4);
  const std::size_t steps = source.chance(70) ? 1 : source.chance(60) ? 2 : 3;
  for (std::size_t i = 0; i < steps; ++i) {
    Step step;
    for (uint32_t n = source.below(4); n > 0; --n) step.lookups.push_back(random_name(source));
    for (const Name& name : spec->defs) {
      if (source.chance(85)) step.outputs.push_back(name);
    }
    if (source.chance(25)) step.outputs.push_back(random_name(source));
    step.fresh_next = source.chance(50);
    spec->steps.push_back(std::move(step));
  }
  if (source.chance(2)) spec->flaw = source.chance(50) ? Flaw::kReturnsNone : Flaw::kNextNotAction;
  return spec;
}

void Driver::random_step(Source& source) {
  const uint32_t roll = source.below(100);
  const bool room = m_model.size() < m_options.max_nodes;
  if (roll < 20) {
    if (!room) return remove(random_handle(source));
    const Side side = source.chance(60) ? Side::kAfter : Side::kBefore;
    const int32_t anchor = random_handle(source);
    RecipeRef spec = source.chance(8) ? nullptr : random_spec(source);
    const bool lazy = source.chance(20);
    add(side, anchor, std::move(spec), lazy, random_new_handle(source));
  } else if (roll < 36) {
    const int32_t handle = random_handle(source);
    RecipeRef spec = source.chance(8) ? nullptr : random_spec(source);
    update(handle, std::move(spec), source.chance(20));
  } else if (roll < 45) {
    remove(random_handle(source));
  } else if (roll < 60) {
    get_all_values(random_handle(source));
  } else if (roll < 68) {
    const int32_t handle = random_handle(source);
    get_value(handle, random_name(source));
  } else if (roll < 71) {
    ready(random_handle(source));
  } else if (roll < 76) {
    const int32_t handle = random_handle(source);
    get_value_at(handle, random_name(source));
  } else if (roll < 80) {
    const int32_t handle = random_handle(source);
    is_bound_at(handle, random_name(source));
  } else if (roll < 86) {
    const int32_t handle = random_handle(source);
    clear_chain(handle, static_cast<int32_t>(source.below(5)) - 1);
  } else if (roll < 87) {
    set_deps(false);
  } else if (roll < 91) {
    set_deps(true);
  } else if (roll < 93) {
    resync();
  } else if (roll < 95) {
    sweep();
  } else if (roll < 96) {
    switch_notify();
  } else if (roll < 97) {
    arm_failure(1 + source.below(40));
  } else {
    get_all_values(random_handle(source));
  }
}

}  // namespace depman::model
