#include "lexer.hpp"

#include <charconv>
#include <cwctype>

namespace calc {
namespace {

bool IsNameStart(wchar_t c) { return c == L'_' || std::iswalpha(c) || c > 0x7f; }
bool IsNamePart(wchar_t c) { return IsNameStart(c) || std::iswdigit(c); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Operators of two characters, tried before the one-character ones.
constexpr std::wstring_view kTwoCharOperators[] = {L"<=", L">=", L"==", L"!="};
constexpr std::wstring_view kOneCharOperators = L"+-*/^%&<>=(),;";

class Lexer {
 public:
  explicit Lexer(std::wstring_view text) : m_text(text) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    for (SkipSpace(); !AtEnd(); SkipSpace()) tokens.push_back(Next());
    tokens.push_back({TokenKind::kEndOfInput, L""});
    return tokens;
  }

 private:
  // A '#' outside a string comments out the rest of the cell.
  bool AtEnd() const { return m_pos >= m_text.size() || m_text[m_pos] == L'#'; }

  void SkipSpace() {
    while (m_pos < m_text.size() && std::iswspace(m_text[m_pos])) ++m_pos;
  }

  Token Next() {
    const wchar_t c = m_text[m_pos];
    if (IsDigit(c) || (c == L'.' && m_pos + 1 < m_text.size() && IsDigit(m_text[m_pos + 1]))) {
      return Number();
    }
    if (IsNameStart(c)) return Name();
    if (c == L'"') return String();
    return Operator();
  }

  Token Number() {
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && (IsDigit(m_text[m_pos]) || m_text[m_pos] == L'.')) ++m_pos;
    if (m_pos < m_text.size() && (m_text[m_pos] == L'e' || m_text[m_pos] == L'E')) {
      std::size_t exponent = m_pos + 1;
      if (exponent < m_text.size() && (m_text[exponent] == L'+' || m_text[exponent] == L'-')) {
        ++exponent;
      }
      if (exponent < m_text.size() && IsDigit(m_text[exponent])) {
        m_pos = exponent;
        while (m_pos < m_text.size() && IsDigit(m_text[m_pos])) ++m_pos;
      }
    }
    const std::wstring text(m_text.substr(start, m_pos - start));
    // The characters are ASCII digits, '.', 'e', '+' and '-': narrowing is exact.
    const std::string narrow(text.begin(), text.end());
    Token token{TokenKind::kNumber, text};
    const auto [end, ec] =
        std::from_chars(narrow.data(), narrow.data() + narrow.size(), token.number);
    if (ec != std::errc{} || end != narrow.data() + narrow.size()) {
      return {TokenKind::kInvalid, L"malformed number '" + text + L"'"};
    }
    return token;
  }

  Token Name() {
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && IsNamePart(m_text[m_pos])) ++m_pos;
    return {TokenKind::kName, std::wstring(m_text.substr(start, m_pos - start))};
  }

  // A string runs to the next double quote; there are no escapes.
  Token String() {
    const std::size_t close = m_text.find(L'"', m_pos + 1);
    if (close == std::wstring_view::npos) {
      m_pos = m_text.size();
      return {TokenKind::kInvalid, L"unterminated string"};
    }
    Token token{TokenKind::kString, std::wstring(m_text.substr(m_pos + 1, close - m_pos - 1))};
    m_pos = close + 1;
    return token;
  }

  Token Operator() {
    for (std::wstring_view op : kTwoCharOperators) {
      if (m_text.substr(m_pos, 2) == op) {
        m_pos += 2;
        return {TokenKind::kOperator, std::wstring(op)};
      }
    }
    const wchar_t c = m_text[m_pos++];
    if (kOneCharOperators.find(c) != std::wstring_view::npos) {
      return {TokenKind::kOperator, std::wstring(1, c)};
    }
    return {TokenKind::kInvalid, L"unexpected character '" + std::wstring(1, c) + L"'"};
  }

  std::wstring_view m_text;
  std::size_t m_pos = 0;
};

}  // namespace

std::vector<Token> Tokenize(std::wstring_view cell) { return Lexer(cell).Run(); }

bool IsBlankOrComment(std::wstring_view line) {
  for (wchar_t c : line) {
    if (c == L'#') return true;
    if (!std::iswspace(c)) return false;
  }
  return true;
}

}  // namespace calc
