// The dependency engine of one document: who defines each name, which chain
// links read it, name resolution, invalidation and the evaluation frontier.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "depman/contracts.hpp"
#include "names.hpp"
#include "node.hpp"
#include "stale_list.hpp"

namespace depman {

class ActionChain;

// The first element of a range in document order that is not before `pos`.
template <class Range>
auto doc_lower_bound(Range& r, const Position* pos) {
  return std::lower_bound(r.begin(), r.end(), pos, [](const auto& e, const Position* p) {
    return NodeOf(e)->ord() < p->ord();
  });
}

// The first element of a range in document order that is after `pos`.
template <class Range>
auto doc_upper_bound(Range& r, const Position* pos) {
  return std::upper_bound(r.begin(), r.end(), pos, [](const Position* p, const auto& e) {
    return p->ord() < NodeOf(e)->ord();
  });
}

// The greatest element of the document-ordered range `m` strictly before
// `key`, or end.
template <class Range>
auto lower_bound_ne(const Position* key, Range& m) {
  auto it = doc_lower_bound(m, key);
  return it == m.begin() ? m.end() : std::prev(it);
}

class DepManager {
 public:
  using DefinerSet = InlineVector<Position*, 1>;

  DepManager() = default;
  DepManager(const DepManager&) = delete;
  DepManager& operator=(const DepManager&) = delete;
  virtual ~DepManager();

  // Names. An entry exists while a node defines the name, a node reads it or
  // a link holds it.
  NameEntry* find_name(std::wstring_view name) const { return m_names.find(name); }
  NameEntry* intern(std::wstring_view name) { return m_names.intern(name); }
  void release_if_unused(NameEntry* entry);

  // Definitions.
  // Records `pos` as a definer of `name`; its entry, or none when `pos`
  // defined the name already.
  NameEntry* add_def(std::wstring_view name, Position* pos);
  void remove_def(std::wstring_view name, Position* pos);
  // The same for a name whose entry is at hand; the entry is freed if
  // nothing uses it any more.
  void remove_def(NameEntry* entry, Position* pos);
  Position* const* find_def(const DefinerSet& defs, Position* pos, ResolveMode mode) const;
  // The result of the definer of `name` seen from `position`; with `force`
  // a definer without a ready result is evaluated first.
  DictionaryRef resolve(std::wstring_view name, Position* position, ResolveMode mode, bool force);
  DictionaryRef resolve(const NameEntry* entry, Position* position, ResolveMode mode, bool force);
  // The result that `entry` finds strictly before `position`, evaluating its
  // definer if needed, lent rather than shared: valid until the definer is
  // evaluated again or the document is edited.
  const Dictionary* resolve_lent(const NameEntry* entry, Position* position);
  int32_t is_bound(std::wstring_view name, Position* position, ResolveMode mode) const;
  // The first definer of `name` strictly after `r`, or none.
  Position* find_next_def(std::wstring_view name, Position* r) const;

  // Dependents and invalidation.
  void add_dep(std::wstring_view name, Position* pos, ActionChain* ac);
  void add_dep(NameEntry* entry, Position* pos, ActionChain* ac);
  void remove_dep(std::wstring_view name, Position* pos, ActionChain* ac);
  void remove_dep(NameEntry* entry, Position* pos, ActionChain* ac);
  // Invalidates every link that may see another value now that the
  // definitions of `names` at `r` changed, then notifies their nodes.
  void invalidateChains(const List& names, Position* r);
  // The same for names whose entries are at hand (none stands for a name
  // that nobody reads), without looking them up.
  void invalidate_registered(const InlineVector<NameEntry*, 1>& names, Position* r);

  // Evaluation frontier.
  void eval_to(Position* pos);
  void needs_eval(Position* pos);
  void on_remove(Position* pos);
  void depctl(int32_t n) noexcept { m_invalidation_enabled = (n == 0); }

  // Tracks the non-lazy nodes whose chain may need work (new, invalidated,
  // cleared or failed): for every other node an in-order evaluation changes
  // nothing, so eval_to visits only these.
  void mark_stale(Position* pos);
  void mark_fresh(Position* pos) noexcept;

  Position* eval_frontier() const noexcept { return m_eval_frontier; }
  // The change test's way of telling strings from other values.
  StringTest& string_test() noexcept { return m_string_test; }
  // Whether no name has a definer or a dependent left.
  bool empty() const noexcept;

 private:
  // One name whose definition, as seen after `pos`, may have changed.
  struct WorkItem {
    const NameEntry* name;
    Position* pos;
  };
  // A node reached by a walk, with its ordinal read while the node was at
  // hand, so that ordering the reached nodes touches none of them.
  struct Reached {
    double ord;
    Position* node;
  };
  // The scratch space of one invalidation walk. Kept between walks, so that
  // a walk allocates nothing once the document has seen its largest one.
  struct Walk {
    std::vector<WorkItem> work;
    std::vector<ActionChain*> links;
    std::vector<Reached> nodes;
  };

  // What resolve returns, as the definer's own pointer to its result (valid
  // until the definer is evaluated again or the document is edited).
  const DictionaryRef* resolve_ref(const NameEntry* entry, Position* position, ResolveMode mode,
                                   bool force);
  // The node whose definition of `entry` `position` sees, or none.
  Position* definer_of(const NameEntry* entry, Position* position, ResolveMode mode) const;
  Walk start_walk();
  // Walks from the work items in `scratch`, marks what it reached and
  // notifies, then gives the scratch space back.
  void walk_and_invalidate(Walk scratch);
  void push_names(const List& defs, Position* pos, std::vector<WorkItem>& work) const;
  void push_definitions(Position* node, std::vector<WorkItem>& work) const;
  // Every registered dependent link of every node strictly after `r`; nodes
  // not yet reached by `walk` are added to `nodes`.
  void collect_dependents_after(Position* r, uint64_t walk, std::vector<ActionChain*>& links,
                                std::vector<Reached>& nodes) const;

  NameTable m_names;
  bool m_invalidation_enabled = true;
  uint64_t m_walks = 0;  // invalidation walks so far, to mark reached nodes
  Position* m_eval_frontier = nullptr;
  StaleList m_stale;
  Walk m_walk;
  StringTest m_string_test;
};

}  // namespace depman
