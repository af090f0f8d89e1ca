#include "names.hpp"

#include <cstring>
#include <functional>
#include <new>
#include <utility>

namespace depman {
namespace {

std::size_t HashOf(std::wstring_view name) noexcept { return std::hash<std::wstring_view>{}(name); }

}  // namespace

NameEntry::Owned NameEntry::Make(std::wstring_view name, std::size_t hash) {
  void* block = ::operator new(BlockSize(name.size()));
  auto* entry = new (block) NameEntry(hash, name.size());
  std::memcpy(static_cast<char*>(block) + sizeof(NameEntry), name.data(),
              name.size() * sizeof(wchar_t));
  return Owned(entry);
}

void NameEntry::Deleter::operator()(NameEntry* entry) const noexcept {
  entry->~NameEntry();
  ::operator delete(static_cast<void*>(entry));
}

std::size_t NameTable::probe(std::wstring_view name, std::size_t hash) const noexcept {
  const std::uint16_t tag = TagOf(hash);
  std::size_t i = hash & mask();
  for (; m_tags[i] != 0; i = (i + 1) & mask()) {
    if (m_tags[i] == tag && m_slots[i]->hash() == hash && SameName(m_slots[i]->name(), name)) {
      break;
    }
  }
  return i;
}

void NameTable::place(std::size_t i, NameEntry::Owned entry) noexcept {
  m_tags[i] = TagOf(entry->hash());
  m_slots[i] = std::move(entry);
}

NameEntry* NameTable::find(std::wstring_view name) const noexcept {
  if (m_size == 0) return nullptr;
  return m_slots[probe(name, HashOf(name))].get();
}

NameEntry* NameTable::intern(std::wstring_view name) {
  const std::size_t hash = HashOf(name);
  if (m_size != 0) {
    if (NameEntry* found = m_slots[probe(name, hash)].get()) return found;
  }
  if ((m_size + 1) * 4 > m_slots.size() * 3) grow();
  NameEntry::Owned entry = NameEntry::Make(name, hash);
  NameEntry* raw = entry.get();
  place(probe(name, hash), std::move(entry));
  ++m_size;
  return raw;
}

void NameTable::grow() {
  const std::size_t capacity = m_slots.empty() ? kFirstCapacity : m_slots.size() * 2;
  std::vector<NameEntry::Owned> old = std::move(m_slots);
  m_slots = std::vector<NameEntry::Owned>(capacity);
  m_tags.assign(capacity, 0);
  for (NameEntry::Owned& entry : old) {
    if (entry == nullptr) continue;
    std::size_t i = entry->hash() & mask();
    while (m_tags[i] != 0) i = (i + 1) & mask();
    place(i, std::move(entry));
  }
}

void NameTable::erase(const NameEntry* entry) noexcept {
  std::size_t gap = probe(entry->name(), entry->hash());
  m_slots[gap].reset();
  m_tags[gap] = 0;
  --m_size;
  // Close the gap: an entry after it moves back unless its home slot lies
  // cyclically after the gap and no later than where it sits.
  for (std::size_t i = (gap + 1) & mask(); m_tags[i] != 0; i = (i + 1) & mask()) {
    const std::size_t home = m_slots[i]->hash() & mask();
    const bool stays = gap <= i ? (gap < home && home <= i) : (gap < home || home <= i);
    if (!stays) {
      place(gap, std::move(m_slots[i]));
      m_tags[i] = 0;
      gap = i;
    }
  }
  // An emptied table lets go of its slots.
  if (m_size == 0) {
    std::vector<NameEntry::Owned>().swap(m_slots);
    std::vector<std::uint16_t>().swap(m_tags);
  }
}

}  // namespace depman
