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
  const std::size_t size = BlockSize(entry->m_length);
  entry->~NameEntry();
  ::operator delete(entry, size);
}

std::size_t NameTable::probe(std::wstring_view name, std::size_t hash) const noexcept {
  std::size_t i = hash & mask();
  for (; m_slots[i] != nullptr; i = (i + 1) & mask()) {
    if (m_slots[i]->hash() == hash && SameName(m_slots[i]->name(), name)) break;
  }
  return i;
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
  NameEntry::Owned& slot = m_slots[probe(name, hash)];
  slot = NameEntry::Make(name, hash);
  ++m_size;
  return slot.get();
}

void NameTable::grow() {
  std::vector<NameEntry::Owned> old = std::move(m_slots);
  m_slots = std::vector<NameEntry::Owned>(old.empty() ? kFirstCapacity : old.size() * 2);
  for (NameEntry::Owned& entry : old) {
    if (entry == nullptr) continue;
    std::size_t i = entry->hash() & mask();
    while (m_slots[i] != nullptr) i = (i + 1) & mask();
    m_slots[i] = std::move(entry);
  }
}

void NameTable::erase(const NameEntry* entry) noexcept {
  std::size_t gap = probe(entry->name(), entry->hash());
  m_slots[gap].reset();
  --m_size;
  // Close the gap: an entry after it moves back unless its home slot lies
  // cyclically after the gap and no later than where it sits.
  for (std::size_t i = (gap + 1) & mask(); m_slots[i] != nullptr; i = (i + 1) & mask()) {
    const std::size_t home = m_slots[i]->hash() & mask();
    const bool stays = gap <= i ? (gap < home && home <= i) : (gap < home || home <= i);
    if (!stays) {
      m_slots[gap] = std::move(m_slots[i]);
      gap = i;
    }
  }
  // An emptied table lets go of its slots.
  if (m_size == 0) std::vector<NameEntry::Owned>().swap(m_slots);
}

}  // namespace depman
