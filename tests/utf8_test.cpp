// UTF-8 conversions: the public ToStrng/ToString over wchar_t, and the code
// unit templates behind them over both 16-bit (surrogate pairs) and 32-bit
// units, whichever width wchar_t has on this platform.
#include "utf8.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "depman/host.hpp"

namespace depman {
namespace {

using namespace std::literals;

// A copy of some text in a heap block of exactly its size, so that
// AddressSanitizer reports a read past the end (a std::string would hide it
// behind its terminator).
template <class Char>
class ExactCopy {
 public:
  explicit ExactCopy(std::basic_string_view<Char> text)
      : m_size(text.size()), m_data(std::make_unique<Char[]>(text.size())) {
    std::copy(text.begin(), text.end(), m_data.get());
  }
  std::basic_string_view<Char> view() const { return {m_data.get(), m_size}; }

 private:
  std::size_t m_size;
  std::unique_ptr<Char[]> m_data;
};

// The same text in UTF-8 and in each kind of wide code unit.
struct SameText {
  std::string_view utf8;
  std::wstring_view wide;
  std::u16string_view u16;
  std::u32string_view u32;
};

const SameText kValid[] = {
    {""sv, L""sv, u""sv, U""sv},
    {"plain ASCII"sv, L"plain ASCII"sv, u"plain ASCII"sv, U"plain ASCII"sv},
    {"a\0b"sv, L"a\0b"sv, u"a\0b"sv, U"a\0b"sv},
    {"\x7F"sv, L"\u007F"sv, u"\u007F"sv, U"\u007F"sv},
    {"\xC2\x80"sv, L"\u0080"sv, u"\u0080"sv, U"\u0080"sv},
    {"\xC3\xA9t\xC3\xA9"sv, L"\u00E9t\u00E9"sv, u"\u00E9t\u00E9"sv, U"\u00E9t\u00E9"sv},
    {"\xDF\xBF"sv, L"\u07FF"sv, u"\u07FF"sv, U"\u07FF"sv},
    {"\xE0\xA0\x80"sv, L"\u0800"sv, u"\u0800"sv, U"\u0800"sv},
    {"\xE2\x82\xAC"sv, L"\u20AC"sv, u"\u20AC"sv, U"\u20AC"sv},
    {"\xED\x9F\xBF"sv, L"\uD7FF"sv, u"\uD7FF"sv, U"\uD7FF"sv},
    {"\xEE\x80\x80"sv, L"\uE000"sv, u"\uE000"sv, U"\uE000"sv},
    {"\xEF\xBF\xBF"sv, L"\uFFFF"sv, u"\uFFFF"sv, U"\uFFFF"sv},
    {"\xF0\x90\x80\x80"sv, L"\U00010000"sv, u"\U00010000"sv, U"\U00010000"sv},
    {"\xF0\x9F\x98\x80"sv, L"\U0001F600"sv, u"\U0001F600"sv, U"\U0001F600"sv},
    {"\xF4\x8F\xBF\xBF"sv, L"\U0010FFFF"sv, u"\U0010FFFF"sv, U"\U0010FFFF"sv},
    {"x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80y"sv, L"x\u00E9\u20AC\U0001F600y"sv,
     u"x\u00E9\u20AC\U0001F600y"sv, U"x\u00E9\u20AC\U0001F600y"sv},
};

TEST(Utf8Test, ValidTextConvertsBothWaysForEveryUnitWidth) {
  for (const SameText& c : kValid) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.utf8)));
    const ExactCopy<char> utf8(c.utf8);
    EXPECT_EQ(ToStrng(ExactCopy<wchar_t>(c.wide).view()), c.utf8);
    EXPECT_EQ(ToString(utf8.view()), c.wide);
    EXPECT_EQ(EncodeUtf8(ExactCopy<char16_t>(c.u16).view()), c.utf8);
    EXPECT_EQ(DecodeUtf8<char16_t>(utf8.view()), c.u16);
    EXPECT_EQ(EncodeUtf8(ExactCopy<char32_t>(c.u32).view()), c.utf8);
    EXPECT_EQ(DecodeUtf8<char32_t>(utf8.view()), c.u32);
  }
}

TEST(Utf8Test, SixteenBitUnitsCarryCharactersBeyondTheBmpAsPairs) {
  EXPECT_EQ(DecodeUtf8<char16_t>("\xF0\x9F\x98\x80"sv), u"\xD83D\xDE00"sv);
  EXPECT_EQ(EncodeUtf8(u"\xD83D\xDE00"sv), "\xF0\x9F\x98\x80"sv);
  // With 32-bit units the same two values are two lone surrogates.
  EXPECT_EQ(EncodeUtf8(U"\xD83D\xDE00"sv), "\xEF\xBF\xBD\xEF\xBF\xBD"sv);
}

// Wide input that is not a sequence of scalar values: every unit that cannot
// be part of one becomes U+FFFD (EF BF BD) and the units around it survive.
TEST(Utf8Test, MalformedSixteenBitUnitsBecomeReplacementCharacters) {
  struct Case {
    std::u16string_view units;
    std::string_view utf8;
  };
  const Case cases[] = {
      {u"\xD83D"sv, "\xEF\xBF\xBD"sv},                              // lone high at the end
      {u"\xD83Dz"sv, "\xEF\xBF\xBDz"sv},                            // high, then no low
      {u"a\xDE00z"sv, "a\xEF\xBF\xBDz"sv},                          // lone low
      {u"\xDE00\xD83D"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},            // reversed pair
      {u"\xD83D\xD83D\xDE00"sv, "\xEF\xBF\xBD\xF0\x9F\x98\x80"sv},  // the second high pairs
      {u"\xDE00\xDE00"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeUtf8(ExactCopy<char16_t>(c.units).view()), c.utf8)
        << testing::PrintToString(std::u16string(c.units));
  }
}

TEST(Utf8Test, MalformedThirtyTwoBitUnitsBecomeReplacementCharacters) {
  struct Case {
    std::u32string_view units;
    std::string_view utf8;
  };
  const Case cases[] = {
      {U"\xD800"sv, "\xEF\xBF\xBD"sv},
      {U"a\xDFFFz"sv, "a\xEF\xBF\xBDz"sv},
      {U"\x110000"sv, "\xEF\xBF\xBD"sv},
      {U"\xFFFFFFFF"sv, "\xEF\xBF\xBD"sv},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeUtf8(ExactCopy<char32_t>(c.units).view()), c.utf8)
        << testing::PrintToString(std::u32string(c.units));
  }
}

TEST(Utf8Test, PublicEncodingReplacesWhatWcharTCannotHold) {
  if constexpr (sizeof(wchar_t) == 4) {
    // wchar_t is signed here: a negative unit must not pass for a character.
    const wchar_t units[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(-1), L'z'};
    EXPECT_EQ(ToStrng(std::wstring_view(units, 4)), "a\xEF\xBF\xBD\xEF\xBF\xBDz"sv);
  } else {
    const wchar_t units[] = {L'a', static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D)};
    EXPECT_EQ(ToStrng(std::wstring_view(units, 3)), "a\xEF\xBF\xBD\xEF\xBF\xBD"sv);
  }
}

// How many U+FFFD one malformed sequence becomes is the decoder's choice;
// the tests collapse each run to one, so every case reads as "one
// replacement per malformed spot, everything valid around it kept".
std::u32string CollapseReplacements(std::u32string_view text) {
  std::u32string out;
  for (char32_t c : text) {
    if (c == 0xFFFD && !out.empty() && out.back() == 0xFFFD) continue;
    out += c;
  }
  return out;
}

template <class Unit>
std::u32string Widen(const std::basic_string<Unit>& units) {
  return std::u32string(units.begin(), units.end());  // BMP text only
}

TEST(Utf8Test, MalformedUtf8BecomesReplacementCharacters) {
  struct Case {
    const char* what;
    std::string_view bytes;
    std::u32string_view text;
  };
  const Case cases[] = {
      {"lone continuation byte", "a\x80z"sv, U"a\uFFFDz"sv},
      {"invalid lead bytes", "\xFE\xFF\xF5\x80\x80\x80"sv, U"\uFFFD"sv},
      {"truncated at the end (2 bytes)", "a\xC3"sv, U"a\uFFFD"sv},
      {"truncated at the end (3 bytes)", "a\xE2\x82"sv, U"a\uFFFD"sv},
      {"truncated at the end (4 bytes)", "a\xF0\x9F\x98"sv, U"a\uFFFD"sv},
      {"truncated before ASCII", "\xE2\x82z"sv, U"\uFFFDz"sv},
      {"truncated before a valid character", "\xE2\x82\xE2\x82\xAC"sv, U"\uFFFD\u20AC"sv},
      {"overlong NUL", "\xC0\x80z"sv, U"\uFFFDz"sv},
      {"overlong slash (2 bytes)", "\xC0\xAF"sv, U"\uFFFD"sv},
      {"overlong slash (3 bytes)", "\xE0\x80\xAFz"sv, U"\uFFFDz"sv},
      {"overlong euro (4 bytes)", "\xF0\x82\x82\xACz"sv, U"\uFFFDz"sv},
      {"encoded high surrogate", "\xED\xA0\x80z"sv, U"\uFFFDz"sv},
      {"encoded low surrogate", "a\xED\xBF\xBF"sv, U"a\uFFFD"sv},
      {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80"sv, U"\uFFFD"sv},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80z"sv, U"\uFFFDz"sv},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ExactCopy<char> bytes(c.bytes);
    EXPECT_EQ(CollapseReplacements(DecodeUtf8<char32_t>(bytes.view())), c.text);
    EXPECT_EQ(CollapseReplacements(Widen(DecodeUtf8<char16_t>(bytes.view()))), c.text);
    EXPECT_EQ(CollapseReplacements(Widen(ToString(bytes.view()))), c.text);
  }
}

}  // namespace
}  // namespace depman
