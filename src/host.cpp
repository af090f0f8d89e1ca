// The host object model and the UTF-8 conversions.
#include "depman/host.hpp"

#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

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

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendWide(std::wstring& out, char32_t c) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(c);
}

// Reads one code point of a wide string at `i`, advancing `i`. With 16-bit
// wchar_t a surrogate pair is one code point; anything that is not a valid
// scalar value reads as U+FFFD.
char32_t NextWide(std::wstring_view s, std::size_t& i) {
  char32_t c = static_cast<char32_t>(s[i++]);
  if constexpr (sizeof(wchar_t) == 2) {
    c &= 0xFFFF;
    if (c >= 0xD800 && c <= 0xDBFF && i < s.size()) {
      char32_t low = static_cast<char32_t>(s[i]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ++i;
        return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      }
    }
  }
  if (IsSurrogate(c) || c > 0x10FFFF) return kReplacement;
  return c;
}

// Reads one code point of UTF-8 at `i`, advancing `i`. A malformed sequence
// (bad lead byte, missing continuation, overlong form, surrogate, beyond
// U+10FFFF) reads as U+FFFD and consumes the bytes examined so far, at least one.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int extra;
  char32_t c;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (byte(i++) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || IsSurrogate(c)) return kReplacement;
  return c;
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

std::string ToStrng(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) AppendUtf8(out, NextWide(text, i));
  return out;
}

std::wstring ToString(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) AppendWide(out, NextUtf8(utf8, i));
  return out;
}

}  // namespace depman
