// The host object model and the UTF-8 conversions.
#include "depman/host.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <typeinfo>

#include "names.hpp"
#include "utf8.hpp"

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

namespace depman {
namespace {

std::string Demangle(const char* name) {
#if defined(__GNUG__)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(
      abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  if (status == 0 && readable) return readable.get();
#endif
  return name;
}

}  // namespace

Object::~Object() = default;

std::wstring Object::ToString() const { return ::depman::ToString(Demangle(typeid(*this).name())); }

Dictionary::Dictionary(std::size_t capacity) : m_data(InlineSlot()) {
  if (capacity > m_capacity) Grow(capacity);
}

Dictionary::~Dictionary() {
  Clear();
  if (m_data != InlineSlot()) std::allocator<value_type>().deallocate(m_data, m_capacity);
}

Dictionary::value_type* Dictionary::InlineSlot() noexcept {
  return std::launder(reinterpret_cast<value_type*>(m_inline));
}

const Dictionary::value_type* Dictionary::FindEntry(std::wstring_view name) const {
  if (m_index != nullptr) {
    auto it = m_index->find(name);
    return it == m_index->end() ? nullptr : m_data + it->second;
  }
  for (const value_type& entry : *this) {
    if (SameName(entry.first, name)) return &entry;
  }
  return nullptr;
}

void Dictionary::Grow(std::size_t capacity) {
  if (capacity > std::numeric_limits<std::uint32_t>::max())
    throw std::length_error("depman::Dictionary: too many entries");
  value_type* entries = std::allocator<value_type>().allocate(capacity);
  try {
    // The keys are const, so the entries are copied: a failure leaves them as they were.
    std::uninitialized_copy(m_data, m_data + m_size, entries);
  } catch (...) {
    std::allocator<value_type>().deallocate(entries, capacity);
    throw;
  }
  std::destroy(m_data, m_data + m_size);
  if (m_data != InlineSlot()) std::allocator<value_type>().deallocate(m_data, m_capacity);
  m_data = entries;
  m_capacity = static_cast<std::uint32_t>(capacity);
}

void Dictionary::Append(std::wstring_view name, ObjectRef value) {
  const value_type* before = m_data;
  if (m_size == m_capacity) Grow(std::max<std::size_t>(4, 2 * std::size_t{m_capacity}));
  ::new (static_cast<void*>(m_data + m_size)) value_type(std::wstring(name), std::move(value));
  ++m_size;
  if (m_index == nullptr && m_size < kIndexFrom) return;
  if (m_index != nullptr && m_data == before) {
    m_index->emplace(m_data[m_size - 1].first, m_size - 1);
  } else {
    Reindex();
  }
}

void Dictionary::Reindex() {
  m_index = std::make_unique<std::unordered_map<std::wstring_view, std::size_t>>(m_size);
  for (std::size_t i = 0; i < m_size; ++i) m_index->emplace(m_data[i].first, i);
}

void Dictionary::Add(std::wstring_view name, ObjectRef value) {
  if (FindEntry(name) != nullptr) {
    throw std::invalid_argument("depman::Dictionary::Add: the key \"" + ::depman::ToStrng(name) +
                                "\" is present already");
  }
  Append(name, std::move(value));
}

ObjectRef Dictionary::Get(std::wstring_view name) const {
  const value_type* entry = FindEntry(name);
  return entry != nullptr ? entry->second : nullptr;
}

const ObjectRef* Dictionary::Find(std::wstring_view name) const {
  const value_type* entry = FindEntry(name);
  return entry != nullptr ? &entry->second : nullptr;
}

void Dictionary::Set(std::wstring_view name, ObjectRef value) {
  if (auto* entry = const_cast<value_type*>(FindEntry(name))) {
    entry->second = std::move(value);
  } else {
    Append(name, std::move(value));
  }
}

void Dictionary::Clear() noexcept {
  m_index.reset();
  std::destroy(m_data, m_data + m_size);
  m_size = 0;
}

ListRef List::Names(std::initializer_list<std::wstring_view> names) {
  auto list = std::make_shared<List>(names.size());
  for (std::wstring_view name : names) list->Append(std::make_shared<String>(std::wstring(name)));
  return list;
}

std::string ToStrng(std::wstring_view text) { return EncodeUtf8(text); }

std::wstring ToString(std::string_view utf8) { return DecodeUtf8<wchar_t>(utf8); }

}  // namespace depman
