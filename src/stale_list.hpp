// The nodes whose chains may need work (new, invalidated, cleared or
// failed), in document order. An in-order evaluation changes nothing for any
// other node, so it visits only these.
#pragma once

#include "node.hpp"

namespace depman {

// An intrusive doubly linked list through the nodes' StaleLinks. Joining
// costs O(1) in the usual cases (after the last node, before the first, right
// after the node that joined last); otherwise the place is searched for
// backwards from the list's end and from the node through the document at
// once, at the cost of the shorter search. Leaving costs O(1).
class StaleList {
 public:
  StaleList() = default;
  StaleList(const StaleList&) = delete;
  StaleList& operator=(const StaleList&) = delete;

  bool contains(const Position* pos) const noexcept {
    return pos == m_first || pos->stale_links().prev != nullptr;
  }
  // Adds `pos`, which must not be in the list.
  void insert(Position* pos) noexcept;
  // Removes `pos` if it is in the list.
  void erase(Position* pos) noexcept;

  // The first node in the list that is not before `from`, or none.
  Position* first_from(const Position* from) const noexcept;
  // The node to visit after `pos` during a walk in which nothing joins.
  // `pos` may have left the list since the walk reached it (evaluated on its
  // own or by a node that read it): it then still names the node that came
  // after it when it left, which is where the walk goes on.
  static Position* after(const Position* pos) noexcept { return pos->stale_links().next; }

 private:
  // The last node in the list before `pos`, or none.
  Position* predecessor(const Position* pos) const noexcept;

  Position* m_first = nullptr;
  Position* m_last = nullptr;
  Position* m_last_joined = nullptr;  // the node that joined last, while in the list
};

}  // namespace depman
