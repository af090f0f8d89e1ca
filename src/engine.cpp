#include "engine.hpp"

#include <exception>
#include <stack>
#include <utility>
#include <vector>

#include "eval.hpp"

namespace depman {

DepManager::~DepManager() = default;

void DepManager::add_def(std::wstring_view name, Position* pos) {
  DefinerSet* defs = lookup(name, m_def_map);
  if (defs == nullptr) defs = insert(std::make_unique<DefinerSet>(), name, m_def_map);
  defs->insert(pos);
}

void DepManager::remove_def(std::wstring_view name, Position* pos) {
  auto it = m_def_map.find(name);
  if (it == m_def_map.end()) return;
  it->second->erase(pos);
  if (it->second->empty()) m_def_map.erase(it);
}

DepManager::DefinerSet::const_iterator DepManager::find_def(const DefinerSet& defs, Position* pos,
                                                            ResolveMode mode) const {
  auto found = defs.end();
  if (mode != ResolveMode::BEFORE) found = defs.find(pos);
  if (mode != ResolveMode::AT && found == defs.end()) found = lower_bound_ne(pos, defs);
  return found;
}

DictionaryRef DepManager::resolve(std::wstring_view name, Position* position, ResolveMode mode,
                                  bool force) {
  if (position == nullptr) return nullptr;
  const DefinerSet* defs = lookup(name, m_def_map);
  if (defs == nullptr) return nullptr;
  auto found = find_def(*defs, position, mode);
  if (found == defs->end()) return nullptr;
  Position* definer = *found;  // from here on only the node is held
  if (DictionaryRef ready = definer->ready()) return ready;
  return force ? definer->eval(true) : nullptr;
}

int32_t DepManager::is_bound(std::wstring_view name, Position* position, ResolveMode mode) const {
  if (position == nullptr) return 0;
  const DefinerSet* defs = lookup(name, m_def_map);
  if (defs == nullptr) return 0;
  return find_def(*defs, position, mode) != defs->end() ? 1 : 0;
}

Position* DepManager::find_next_def(std::wstring_view name, Position* r) const {
  const DefinerSet* defs = lookup(name, m_def_map);
  if (defs == nullptr) return nullptr;
  auto it = defs->upper_bound(r);
  return it == defs->end() ? nullptr : *it;
}

void DepManager::add_dep(std::wstring_view name, Position* pos, ActionChain* ac) {
  DependentMap* deps = lookup(name, m_dep_map);
  if (deps == nullptr) deps = insert(std::make_unique<DependentMap>(), name, m_dep_map);
  auto [it, added] = deps->emplace(pos, ac);
  if (!added && it->second->seq_no() > ac->seq_no()) it->second = ac;
}

void DepManager::remove_dep(std::wstring_view name, Position* pos, ActionChain* ac) {
  auto map_it = m_dep_map.find(name);
  if (map_it == m_dep_map.end()) return;
  DependentMap& deps = *map_it->second;
  auto it = deps.find(pos);
  if (it == deps.end() || it->second != ac) return;
  deps.erase(it);
  if (deps.empty()) m_dep_map.erase(map_it);
}

namespace {

struct WorkItem {
  std::wstring name;
  Position* pos;
};

// Pushes a work item for every name (String) of `defs` seen after `pos`.
void PushNames(const List& defs, Position* pos, std::vector<WorkItem>& work) {
  for (const ObjectRef& item : defs) {
    if (const auto* name = dynamic_cast<const String*>(item.get())) {
      work.push_back({name->Value(), pos});
    }
  }
}

}  // namespace

void DepManager::invalidateChains(const List& names, Position* r) {
  if (!m_invalidation_enabled) return;
  std::vector<WorkItem> work;
  std::vector<ActionChain*> links;
  std::set<Position*, value_less> nodes;
  PushNames(names, r, work);
  // A reached node whose names cannot be read (its action's GetDefs fails)
  // may pass the change on through any name. The walk still completes, and
  // every dependent after the earliest such node is invalidated too; the
  // first failure is reported once everything is marked.
  std::exception_ptr failure;
  Position* unknown_from = nullptr;

  // Walk: collect without acting.
  while (!work.empty()) {
    WorkItem item = std::move(work.back());
    work.pop_back();
    Position* next_def = find_next_def(item.name, item.pos);
    const DependentMap* deps = lookup(item.name, m_dep_map);
    if (deps == nullptr) continue;
    for (auto it = deps->upper_bound(item.pos); it != deps->end(); ++it) {
      Position* dependent = it->first;
      if (next_def != nullptr && value_less{}(next_def, dependent)) break;
      links.push_back(it->second);
      if (nodes.find(dependent) == nodes.end()) {
        try {
          if (ListRef defs = dependent->GetDefs()) PushNames(*defs, dependent, work);
        } catch (...) {
          if (!failure) failure = std::current_exception();
          if (unknown_from == nullptr || value_less{}(dependent, unknown_from)) {
            unknown_from = dependent;
          }
        }
        nodes.insert(dependent);
      }
      if (dependent == next_def) next_def = find_next_def(item.name, dependent);
    }
  }

  if (unknown_from != nullptr) collect_dependents_after(unknown_from, links, nodes);

  // Act: every link first, then every node once, in document order. A link
  // reached twice is marked twice, which is the same as once. A failing
  // notification stops the notices, not the marking.
  for (ActionChain* link : links) link->invalidate();
  try {
    for (Position* node : nodes) node->Invalidate();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void DepManager::collect_dependents_after(Position* r, std::vector<ActionChain*>& links,
                                          std::set<Position*, value_less>& nodes) const {
  for (const auto& entry : m_dep_map) {
    const DependentMap& deps = *entry.second;
    for (auto it = deps.upper_bound(r); it != deps.end(); ++it) {
      links.push_back(it->second);
      nodes.insert(it->first);
    }
  }
}

void DepManager::eval_to(Position* pos) {
  if (m_eval_frontier == nullptr || value_less{}(pos, m_eval_frontier)) return;
  for (Position* p = m_eval_frontier;; p = p->next()) {
    p->eval(false);
    if (p == pos) break;
  }
  m_eval_frontier = pos->next();
}

void DepManager::needs_eval(Position* pos) {
  if (m_eval_frontier == nullptr || value_less{}(pos, m_eval_frontier)) m_eval_frontier = pos;
}

void DepManager::on_remove(Position* pos) {
  if (m_eval_frontier == pos) m_eval_frontier = pos->next();
}

}  // namespace depman
