// The dependency engine of one document: who defines each name, which chain
// links read it, name resolution, invalidation and the evaluation frontier.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "depman/contracts.hpp"
#include "node.hpp"

namespace depman {

class ActionChain;

// The value `m` maps to `k`, or none; never inserts.
template <class Map, class Key>
typename Map::mapped_type::pointer lookup(const Key& k, const Map& m) {
  auto it = m.find(k);
  return it == m.end() ? nullptr : it->second.get();
}

// Sets the entry of `m` under `k` to `v` (creating or replacing it); returns `v`.
template <class Map, class Key, class Value>
auto insert(Value v, const Key& k, Map& m) -> decltype(&*v) {
  auto& slot = m[typename Map::key_type(k)];
  slot = std::move(v);
  return slot.get();
}

// The greatest element of `m` strictly less than `key`, or end.
template <class Set, class Key>
typename Set::const_iterator lower_bound_ne(const Key& key, const Set& m) {
  if (m.empty()) return m.end();
  auto it = m.lower_bound(key);
  if (it == m.begin()) return m.end();
  return std::prev(it);
}

class DepManager {
 public:
  using DefinerSet = std::set<Position*, value_less>;
  using DependentMap = std::map<Position*, ActionChain*, value_less>;

  DepManager() = default;
  DepManager(const DepManager&) = delete;
  DepManager& operator=(const DepManager&) = delete;
  virtual ~DepManager();

  // Definitions.
  void add_def(std::wstring_view name, Position* pos);
  void remove_def(std::wstring_view name, Position* pos);
  DefinerSet::const_iterator find_def(const DefinerSet& defs, Position* pos,
                                      ResolveMode mode) const;
  // The result of the definer of `name` seen from `position`; with `force`
  // a definer without a ready result is evaluated first.
  DictionaryRef resolve(std::wstring_view name, Position* position, ResolveMode mode, bool force);
  int32_t is_bound(std::wstring_view name, Position* position, ResolveMode mode) const;
  // The first definer of `name` strictly after `r`, or none.
  Position* find_next_def(std::wstring_view name, Position* r) const;

  // Dependents and invalidation.
  void add_dep(std::wstring_view name, Position* pos, ActionChain* ac);
  void remove_dep(std::wstring_view name, Position* pos, ActionChain* ac);
  // Invalidates every link that may see another value now that the
  // definitions of `names` at `r` changed, then notifies their nodes.
  void invalidateChains(const List& names, Position* r);

  // Evaluation frontier.
  void eval_to(Position* pos);
  void needs_eval(Position* pos);
  void on_remove(Position* pos);
  void depctl(int32_t n) noexcept { m_invalidation_enabled = (n == 0); }

  Position* eval_frontier() const noexcept { return m_eval_frontier; }
  // Whether no name has a definer or a dependent left.
  bool empty() const noexcept { return m_def_map.empty() && m_dep_map.empty(); }

 private:
  // Every registered dependent link of every node strictly after `r`.
  void collect_dependents_after(Position* r, std::vector<ActionChain*>& links,
                                std::set<Position*, value_less>& nodes) const;

  template <class V>
  using NameMap =
      std::unordered_map<std::wstring, std::unique_ptr<V>, detail::NameHash, detail::NameEqual>;

  NameMap<DefinerSet> m_def_map;
  NameMap<DependentMap> m_dep_map;
  bool m_invalidation_enabled = true;
  Position* m_eval_frontier = nullptr;
};

}  // namespace depman
