// The host object model and the UTF-8 conversions.
#include "depman/host.hpp"

#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

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

Dictionary::Dictionary(std::size_t capacity) {
  if (capacity > 0) m_map.reserve(capacity);
}

bool Dictionary::Contains(std::wstring_view name) const { return m_map.find(name) != m_map.end(); }

void Dictionary::Add(std::wstring_view name, ObjectRef value) {
  if (!m_map.emplace(std::wstring(name), std::move(value)).second) {
    throw std::invalid_argument("depman::Dictionary::Add: the key \"" + ::depman::ToStrng(name) +
                                "\" is present already");
  }
}

ObjectRef Dictionary::Get(std::wstring_view name) const {
  // Result dictionaries are mostly tiny: comparing a few keys is cheaper
  // than hashing the name.
  if (m_map.size() <= kScanLimit) {
    for (const auto& [key, value] : m_map) {
      if (key == name) return value;
    }
    return nullptr;
  }
  auto it = m_map.find(name);
  return it == m_map.end() ? nullptr : it->second;
}

void Dictionary::Set(std::wstring_view name, ObjectRef value) {
  auto it = m_map.find(name);
  if (it == m_map.end()) {
    m_map.emplace(std::wstring(name), std::move(value));
  } else {
    it->second = std::move(value);
  }
}

ListRef List::Names(std::initializer_list<std::wstring_view> names) {
  auto list = std::make_shared<List>(names.size());
  for (std::wstring_view name : names) list->Append(std::make_shared<String>(std::wstring(name)));
  return list;
}

std::string ToStrng(std::wstring_view text) { return EncodeUtf8(text); }

std::wstring ToString(std::string_view utf8) { return DecodeUtf8<wchar_t>(utf8); }

}  // namespace depman
