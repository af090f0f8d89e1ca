#include "stale_list.hpp"

namespace depman {
namespace {

bool Before(const Position* a, const Position* b) noexcept { return value_less{}(a, b); }

}  // namespace

Position* StaleList::predecessor(const Position* pos) const noexcept {
  if (m_last == nullptr || Before(m_last, pos)) return m_last;
  if (Before(pos, m_first)) return nullptr;
  if (m_last_joined != nullptr && Before(m_last_joined, pos)) {
    Position* next = m_last_joined->stale_links().next;
    if (next == nullptr || Before(pos, next)) return m_last_joined;
  }
  // Search backwards through the list from its end and through the document
  // from `pos` in step, so that the cost is the smaller of the two distances.
  // The list has a node before `pos` (its first), so both searches end.
  const Position* in_list = m_last;
  const Position* in_document = pos->previous();
  for (;;) {
    if (Before(in_list, pos)) return const_cast<Position*>(in_list);
    in_list = in_list->stale_links().prev;
    if (contains(in_document)) return const_cast<Position*>(in_document);
    in_document = in_document->previous();
  }
}

void StaleList::insert(Position* pos) noexcept {
  StaleLinks& links = pos->stale_links();
  Position* prev = predecessor(pos);
  Position* next = prev != nullptr ? prev->stale_links().next : m_first;
  links.prev = prev;
  links.next = next;
  (prev != nullptr ? prev->stale_links().next : m_first) = pos;
  (next != nullptr ? next->stale_links().prev : m_last) = pos;
  m_last_joined = pos;
}

void StaleList::erase(Position* pos) noexcept {
  if (!contains(pos)) return;
  StaleLinks& links = pos->stale_links();
  (links.prev != nullptr ? links.prev->stale_links().next : m_first) = links.next;
  (links.next != nullptr ? links.next->stale_links().prev : m_last) = links.prev;
  // `next` stays: a walk standing on this node goes on from there.
  links.prev = nullptr;
  if (m_last_joined == pos) m_last_joined = nullptr;
}

Position* StaleList::first_from(const Position* from) const noexcept {
  Position* node = m_first;
  while (node != nullptr && Before(node, from)) node = node->stale_links().next;
  return node;
}

}  // namespace depman
