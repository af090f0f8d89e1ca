// The map from host handle to node. Handles that depman issues count up from
// 1, so most of them index a plain array; a handle the host picked far from
// the others goes to a hash map instead.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace depman {

class Position;

class HandleIndex {
 public:
  // The node named by `h`, or none.
  Position* find(int32_t h) const;
  // Names `p` by `h`, replacing any node `h` named before.
  void set(int32_t h, Position* p);
  // Forgets `h` if it still names `p`.
  void unset(int32_t h, const Position* p);

 private:
  // Whether `h` belongs in the array: it may grow to twice its size (and to
  // a first few thousand slots) for a handle past its end.
  bool dense(int32_t h) const noexcept;
  // Whether `h` has a slot in the array now.
  bool in_array(int32_t h) const noexcept;

  static constexpr std::size_t kFirstSlots = 4096;

  std::vector<Position*> m_dense;
  std::unordered_map<int32_t, Position*> m_sparse;
};

}  // namespace depman
