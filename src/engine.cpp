#include "engine.hpp"

#include <exception>
#include <utility>
#include <vector>

#include "eval.hpp"
#include "prefetch.hpp"
#include "stack.hpp"

namespace depman {
namespace {

// The first definer of the entry's name strictly after `pos`, or none.
Position* NextDefiner(const NameEntry& entry, const Position* pos) {
  auto it = doc_upper_bound(entry.definers, pos);
  return it == entry.definers.end() ? nullptr : *it;
}

}  // namespace

DepManager::~DepManager() = default;

void DepManager::release_if_unused(NameEntry* entry) {
  if (entry->unused()) m_names.erase(entry);
}

bool DepManager::empty() const noexcept {
  bool found = false;
  m_names.for_each([&found](const NameEntry& entry) {
    found = found || !entry.definers.empty() || !entry.dependents.empty();
  });
  return !found;
}

NameEntry* DepManager::add_def(std::wstring_view name, Position* pos) {
  NameEntry* entry = intern(name);
  DefinerSet& defs = entry->definers;
  auto it = doc_lower_bound(defs, pos);
  if (it != defs.end() && *it == pos) return nullptr;
  defs.insert(it, pos);
  return entry;
}

void DepManager::remove_def(std::wstring_view name, Position* pos) {
  if (NameEntry* entry = find_name(name)) remove_def(entry, pos);
}

void DepManager::remove_def(NameEntry* entry, Position* pos) {
  DefinerSet& defs = entry->definers;
  auto it = doc_lower_bound(defs, pos);
  if (it != defs.end() && *it == pos) defs.erase(it);
  release_if_unused(entry);
}

Position* const* DepManager::find_def(const DefinerSet& defs, Position* pos,
                                      ResolveMode mode) const {
  if (mode != ResolveMode::BEFORE) {
    auto it = doc_lower_bound(defs, pos);
    if (it != defs.end() && *it == pos) return it;
  }
  return mode == ResolveMode::AT ? defs.end() : lower_bound_ne(pos, defs);
}

DictionaryRef DepManager::resolve(std::wstring_view name, Position* position, ResolveMode mode,
                                  bool force) {
  return resolve(find_name(name), position, mode, force);
}

Position* DepManager::definer_of(const NameEntry* entry, Position* position,
                                 ResolveMode mode) const {
  if (position == nullptr || entry == nullptr) return nullptr;
  Position* const* found = find_def(entry->definers, position, mode);
  return found == entry->definers.end() ? nullptr : *found;
}

DictionaryRef DepManager::resolve(const NameEntry* entry, Position* position, ResolveMode mode,
                                  bool force) {
  const DictionaryRef* result = resolve_ref(entry, position, mode, force);
  return result != nullptr ? *result : nullptr;
}

const Dictionary* DepManager::resolve_lent(const NameEntry* entry, Position* position) {
  const DictionaryRef* result = resolve_ref(entry, position, ResolveMode::BEFORE, true);
  return result != nullptr ? result->get() : nullptr;
}

const DictionaryRef* DepManager::resolve_ref(const NameEntry* entry, Position* position,
                                             ResolveMode mode, bool force) {
  Position* definer = definer_of(entry, position, mode);
  if (definer == nullptr) return nullptr;
  if (const DictionaryRef* ready = definer->ready_lent()) return ready;
  if (!force) return nullptr;
  // Evaluation recurses towards the front of the document, as deep as the
  // chain of definers that are not up to date: keep it off the host's stack.
  return WithStackRoom([definer] { return definer->eval_lent(true); });
}

int32_t DepManager::is_bound(std::wstring_view name, Position* position, ResolveMode mode) const {
  return definer_of(find_name(name), position, mode) != nullptr ? 1 : 0;
}

Position* DepManager::find_next_def(std::wstring_view name, Position* r) const {
  const NameEntry* entry = find_name(name);
  return entry != nullptr ? NextDefiner(*entry, r) : nullptr;
}

void DepManager::add_dep(std::wstring_view name, Position* pos, ActionChain* ac) {
  add_dep(intern(name), pos, ac);
}

void DepManager::add_dep(NameEntry* entry, Position* pos, ActionChain* ac) {
  auto& deps = entry->dependents;
  auto it = doc_lower_bound(deps, pos);
  if (it == deps.end() || it->node != pos) {
    deps.insert(it, {pos, ac});
  } else if (it->link->seq_no() > ac->seq_no()) {
    it->link = ac;
  }
}

void DepManager::remove_dep(std::wstring_view name, Position* pos, ActionChain* ac) {
  if (NameEntry* entry = find_name(name)) remove_dep(entry, pos, ac);
}

void DepManager::remove_dep(NameEntry* entry, Position* pos, ActionChain* ac) {
  auto& deps = entry->dependents;
  auto it = doc_lower_bound(deps, pos);
  if (it == deps.end() || it->node != pos || it->link != ac) return;
  deps.erase(it);
  release_if_unused(entry);
}

namespace {

// Walks mostly meet nodes in document order already, or as two ordered runs.
template <class Reached>
void SortInDocumentOrder(std::vector<Reached>& nodes) {
  const auto earlier = [](const Reached& a, const Reached& b) { return a.ord < b.ord; };
  const auto run_end = std::is_sorted_until(nodes.begin(), nodes.end(), earlier);
  if (run_end == nodes.end()) return;
  if (std::is_sorted(run_end, nodes.end(), earlier)) {
    std::inplace_merge(nodes.begin(), run_end, nodes.end(), earlier);
  } else {
    std::sort(nodes.begin(), nodes.end(), earlier);
  }
}

// Marking and notifying go through arrays of links and nodes that the walk
// met too long ago for them to be in the cache still: `act` runs on each item
// in order, while `fetch` asks for what an item sixteen places ahead reads.
template <class T, class Fetch, class Act>
void ForEachFetchingAhead(const std::vector<T>& items, Fetch fetch, Act act) {
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i + kAhead < items.size()) fetch(items[i + kAhead]);
    act(items[i]);
  }
}

}  // namespace

// Pushes a work item for every registered name (String) of `defs`, seen
// after `pos`. A name the registry does not know has neither definers nor
// dependents, so there is nothing to walk for it.
void DepManager::push_names(const List& defs, Position* pos, std::vector<WorkItem>& work) const {
  for (const ObjectRef& item : defs) {
    if (const auto* name = dynamic_cast<const String*>(item.get())) {
      if (const NameEntry* entry = find_name(name->Value())) work.push_back({entry, pos});
    }
  }
}

void DepManager::invalidateChains(const List& names, Position* r) {
  if (!m_invalidation_enabled) return;
  Walk scratch = start_walk();
  push_names(names, r, scratch.work);
  walk_and_invalidate(std::move(scratch));
}

void DepManager::invalidate_registered(const InlineVector<NameEntry*, 1>& names, Position* r) {
  if (!m_invalidation_enabled) return;
  Walk scratch = start_walk();
  for (const NameEntry* entry : names) {
    if (entry != nullptr) scratch.work.push_back({entry, r});
  }
  walk_and_invalidate(std::move(scratch));
}

// Borrowed for one walk; a walk started from a notification of this one
// finds the scratch space empty and makes its own.
DepManager::Walk DepManager::start_walk() {
  Walk scratch = std::move(m_walk);
  scratch.work.clear();
  scratch.links.clear();
  scratch.nodes.clear();
  return scratch;
}

void DepManager::walk_and_invalidate(Walk scratch) {
  auto& [work, links, nodes] = scratch;
  const uint64_t walk = ++m_walks;
  // A reached node whose names cannot be read (its action's GetDefs fails)
  // may pass the change on through any name. The walk still completes, and
  // every dependent after the earliest such node is invalidated too; the
  // first failure is reported once everything is marked.
  std::exception_ptr failure;
  Position* unknown_from = nullptr;

  // Walk: collect without acting, so a failing host GetDefs leaves no trace.
  // Items are taken in the order they were pushed (which one comes first
  // changes nothing that is collected): the walk then mostly moves forward
  // through the document, on nodes it has just met.
  for (std::size_t next_item = 0; next_item < work.size(); ++next_item) {
    const WorkItem item = work[next_item];
    const NameEntry& entry = *item.name;
    auto it = doc_upper_bound(entry.dependents, item.pos);
    if (it == entry.dependents.end()) continue;  // nobody after reads the name
    Position* next_def = NextDefiner(entry, item.pos);
    for (; it != entry.dependents.end(); ++it) {
      Position* dependent = it->node;
      if (next_def != nullptr && value_less{}(next_def, dependent)) break;
      links.push_back(it->link);
      if (dependent->reach(walk)) {
        try {
          push_definitions(dependent, work);
        } catch (...) {
          if (!failure) failure = std::current_exception();
          if (unknown_from == nullptr || value_less{}(dependent, unknown_from)) {
            unknown_from = dependent;
          }
        }
        nodes.push_back({dependent->ord(), dependent});
      }
      if (dependent == next_def) next_def = NextDefiner(entry, dependent);
    }
  }

  if (unknown_from != nullptr) collect_dependents_after(unknown_from, walk, links, nodes);

  // Act: every link first, then every node once, in document order. A link
  // reached twice is marked twice, which is the same as once. A failing
  // notification stops the notices, not the marking.
  SortInDocumentOrder(nodes);
  const auto fetch_node = [](const Reached& r) { r.node->prefetch_notice_fields(); };
  ForEachFetchingAhead(
      links, [](const ActionChain* link) { link->prefetch_check_flag(); },
      [](ActionChain* link) { link->invalidate(); });
  ForEachFetchingAhead(nodes, fetch_node, [this](const Reached& r) { mark_stale(r.node); });
  // Given back before notifying: the host may start another walk.
  std::vector<Reached> notify = std::move(nodes);
  m_walk = std::move(scratch);
  try {
    ForEachFetchingAhead(notify, fetch_node, [](const Reached& r) { r.node->Invalidate(); });
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  m_walk.nodes = std::move(notify);
  if (failure) std::rethrow_exception(failure);
}

// Pushes a work item for each name `node` defines, as seen after it; a name
// that nobody reads needs none.
void DepManager::push_definitions(Position* node, std::vector<WorkItem>& work) const {
  ListRef defs = node->GetDefs();
  if (defs == nullptr) return;
  if (const auto* entries = node->registered_names(defs)) {
    for (const NameEntry* e : *entries) {
      if (!e->dependents.empty()) work.push_back({e, node});
    }
  } else {
    push_names(*defs, node, work);
  }
}

void DepManager::collect_dependents_after(Position* r, uint64_t walk,
                                          std::vector<ActionChain*>& links,
                                          std::vector<Reached>& nodes) const {
  m_names.for_each([&](const NameEntry& entry) {
    for (auto it = doc_upper_bound(entry.dependents, r); it != entry.dependents.end(); ++it) {
      links.push_back(it->link);
      if (it->node->reach(walk)) nodes.push_back({it->node->ord(), it->node});
    }
  });
}

// Evaluates, in document order, the nodes from the frontier through `pos`
// that may need work; for any other node such an evaluation changes nothing.
void DepManager::eval_to(Position* pos) {
  if (m_eval_frontier == nullptr || value_less{}(pos, m_eval_frontier)) return;
  // Evaluating a node takes it out of the list, and may take out nodes
  // before it (read on demand) or, through a host callback, after it; no
  // node joins meanwhile. A node that left still leads to the rest.
  for (Position* node = m_stale.first_from(m_eval_frontier);
       node != nullptr && !value_less{}(pos, node); node = StaleList::after(node)) {
    if (m_stale.contains(node)) node->eval(false);
  }
  m_eval_frontier = pos->next();
}

void DepManager::mark_stale(Position* pos) {
  if (pos->lazy() || pos->chain() == nullptr || m_stale.contains(pos)) return;
  m_stale.insert(pos);
}

void DepManager::mark_fresh(Position* pos) noexcept { m_stale.erase(pos); }

void DepManager::needs_eval(Position* pos) {
  if (m_eval_frontier == nullptr || value_less{}(pos, m_eval_frontier)) m_eval_frontier = pos;
}

void DepManager::on_remove(Position* pos) {
  if (m_eval_frontier == pos) m_eval_frontier = pos->next();
}

}  // namespace depman
