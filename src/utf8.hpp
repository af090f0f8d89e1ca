// UTF-8 encoding and decoding over any wide code unit. With 16-bit units a
// character outside the Basic Multilingual Plane is a surrogate pair; with
// 32-bit units it is one unit. Malformed input never fails: it becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace depman {
namespace utf8_detail {

inline constexpr char32_t kReplacement = 0xFFFD;

constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The value of one code unit, without sign extension (wchar_t may be signed).
template <class Unit>
constexpr char32_t UnitValue(Unit unit) {
  return static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(unit));
}

inline void AppendUtf8(std::string& out, char32_t c) {
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

template <class Unit>
void AppendUnits(std::basic_string<Unit>& out, char32_t c) {
  if constexpr (sizeof(Unit) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<Unit>(0xD800 + (c >> 10));
      out += static_cast<Unit>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  out += static_cast<Unit>(c);
}

// Reads one code point of a wide string at `i`, advancing `i`. With 16-bit
// units a surrogate pair is one code point; anything that is not a valid
// scalar value (a lone surrogate, a value beyond U+10FFFF) reads as U+FFFD.
template <class Unit>
char32_t NextCodePoint(std::basic_string_view<Unit> s, std::size_t& i) {
  const char32_t c = UnitValue(s[i++]);
  if constexpr (sizeof(Unit) == 2) {
    if (IsHighSurrogate(c) && i < s.size() && IsLowSurrogate(UnitValue(s[i]))) {
      const char32_t low = UnitValue(s[i++]);
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  if (IsSurrogate(c) || c > 0x10FFFF) return kReplacement;
  return c;
}

// Reads one code point of UTF-8 at `i`, advancing `i`. A malformed sequence
// (bad lead byte, missing continuation, overlong form, surrogate, beyond
// U+10FFFF) reads as U+FFFD and consumes the bytes examined so far, at least one.
inline char32_t NextUtf8(std::string_view s, std::size_t& i) {
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

}  // namespace utf8_detail

// UTF-8 bytes of a wide string; a lone surrogate or a value beyond U+10FFFF
// becomes U+FFFD.
template <class Unit>
std::string EncodeUtf8(std::basic_string_view<Unit> text) {
  static_assert(sizeof(Unit) == 2 || sizeof(Unit) == 4, "wide code units are 16 or 32 bits");
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    utf8_detail::AppendUtf8(out, utf8_detail::NextCodePoint(text, i));
  }
  return out;
}

// Wide string decoded from UTF-8 bytes; malformed sequences become U+FFFD.
template <class Unit>
std::basic_string<Unit> DecodeUtf8(std::string_view utf8) {
  static_assert(sizeof(Unit) == 2 || sizeof(Unit) == 4, "wide code units are 16 or 32 bits");
  std::basic_string<Unit> out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    utf8_detail::AppendUnits(out, utf8_detail::NextUtf8(utf8, i));
  }
  return out;
}

}  // namespace depman
