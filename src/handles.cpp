#include "handles.hpp"

#include <algorithm>

namespace depman {

bool HandleIndex::dense(int32_t h) const noexcept {
  return h >= 0 && static_cast<std::size_t>(h) < std::max(kFirstSlots, 2 * m_dense.size());
}

bool HandleIndex::in_array(int32_t h) const noexcept {
  return h >= 0 && static_cast<std::size_t>(h) < m_dense.size();
}

Position* HandleIndex::find(int32_t h) const {
  if (in_array(h)) return m_dense[static_cast<std::size_t>(h)];
  if (m_sparse.empty()) return nullptr;
  auto it = m_sparse.find(h);
  return it == m_sparse.end() ? nullptr : it->second;
}

void HandleIndex::set(int32_t h, Position* p) {
  if (!dense(h)) {
    m_sparse[h] = p;
    return;
  }
  const auto slot = static_cast<std::size_t>(h);
  if (slot >= m_dense.size()) m_dense.resize(slot + 1, nullptr);
  m_dense[slot] = p;
}

void HandleIndex::unset(int32_t h, const Position* p) {
  if (in_array(h)) {
    Position*& slot = m_dense[static_cast<std::size_t>(h)];
    if (slot == p) slot = nullptr;
    return;
  }
  auto it = m_sparse.find(h);
  if (it != m_sparse.end() && it->second == p) m_sparse.erase(it);
}

}  // namespace depman
