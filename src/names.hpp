// The registry's names: one entry per name in use, with the nodes that
// define it and the nodes that read it, found through an open-addressing
// table keyed by the name's characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "inline_vector.hpp"

namespace depman {

class ActionChain;
class Position;

// A node that reads a name, with its lowest-numbered link that did.
struct Dependent {
  Position* node;
  ActionChain* link;
};

// Whether two names have the same characters. Names are short, so comparing
// them in place, eight bytes at a time, beats a call to the library's wide
// memcmp.
inline bool SameName(std::wstring_view a, std::wstring_view b) noexcept {
  if (a.size() != b.size()) return false;
  const auto* x = reinterpret_cast<const unsigned char*>(a.data());
  const auto* y = reinterpret_cast<const unsigned char*>(b.data());
  const std::size_t bytes = a.size() * sizeof(wchar_t);
  std::size_t i = 0;
  for (; i + sizeof(std::uint64_t) <= bytes; i += sizeof(std::uint64_t)) {
    std::uint64_t u;
    std::uint64_t v;
    std::memcpy(&u, x + i, sizeof u);
    std::memcpy(&v, y + i, sizeof v);
    if (u != v) return false;
  }
  for (std::size_t k = i / sizeof(wchar_t); k < a.size(); ++k) {
    if (a[k] != b[k]) return false;
  }
  return true;
}

inline Position* NodeOf(Position* p) noexcept { return p; }
inline Position* NodeOf(const Dependent& d) noexcept { return d.node; }

// Everything the registry records for one name, kept in one heap block with
// the name's characters, so that a name is hashed once per lookup and stored
// once however many nodes use it.
class NameEntry {
 public:
  NameEntry(const NameEntry&) = delete;
  NameEntry& operator=(const NameEntry&) = delete;

  std::wstring_view name() const noexcept { return {characters(), m_length}; }
  std::size_t hash() const noexcept { return m_hash; }
  bool unused() const noexcept { return definers.empty() && dependents.empty() && readers == 0; }

  // The nodes that define the name, in document order.
  InlineVector<Position*, 1> definers;
  // Each node that reads the name with its lowest-numbered link that did, in
  // document order.
  InlineVector<Dependent, 1> dependents;
  // Chain links holding this entry among the names they read.
  std::uint32_t readers = 0;

 private:
  friend class NameTable;
  struct Deleter {
    void operator()(NameEntry* entry) const noexcept;
  };
  using Owned = std::unique_ptr<NameEntry, Deleter>;

  NameEntry(std::size_t hash, std::size_t length) noexcept
      : m_length(static_cast<std::uint32_t>(length)), m_hash(hash) {}
  static Owned Make(std::wstring_view name, std::size_t hash);
  static std::size_t BlockSize(std::size_t length) noexcept {
    return sizeof(NameEntry) + length * sizeof(wchar_t);
  }
  // The characters follow the entry in its block.
  const wchar_t* characters() const noexcept { return reinterpret_cast<const wchar_t*>(this + 1); }

  std::uint32_t m_length;  // beside `readers`, so that the two share eight bytes
  std::size_t m_hash;
};

// Owns the entries and finds them by name. Linear probing over a power-of-two
// array of slots, at most three quarters full; erasing shifts the entries
// after the gap back, so no tombstones accumulate. Beside each slot, 16 bits
// of its entry's hash let a probe pass other entries without reading them.
class NameTable {
 public:
  NameTable() = default;
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;

  // The entry of `name`, or none.
  NameEntry* find(std::wstring_view name) const noexcept;
  // The entry of `name`, made if there is none.
  NameEntry* intern(std::wstring_view name);
  // Frees `entry`, which must be in the table.
  void erase(const NameEntry* entry) noexcept;
  std::size_t size() const noexcept { return m_size; }

  // Calls `f` with every entry, in no particular order.
  template <class F>
  void for_each(F&& f) const {
    for (const NameEntry::Owned& slot : m_slots) {
      if (slot != nullptr) f(*slot);
    }
  }

 private:
  static constexpr std::size_t kFirstCapacity = 16;

  std::size_t mask() const noexcept { return m_slots.size() - 1; }
  // The tag of a hash: never 0, which marks an empty slot.
  static std::uint16_t TagOf(std::size_t hash) noexcept {
    return static_cast<std::uint16_t>((hash >> 48) | 1);
  }
  void place(std::size_t i, NameEntry::Owned entry) noexcept;
  // The slot holding `name`, or the empty slot where it would go.
  std::size_t probe(std::wstring_view name, std::size_t hash) const noexcept;
  void grow();

  std::vector<NameEntry::Owned> m_slots;
  std::vector<std::uint16_t> m_tags;  // TagOf each slot's entry; 0 for an empty slot
  std::size_t m_size = 0;
};

}  // namespace depman
