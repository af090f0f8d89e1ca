// Splits the text of one cell into tokens.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace calc {

enum class TokenKind {
  kNumber,      // 12, 0.5, 1e-3
  kString,      // "text" (the token's text holds the characters between the quotes)
  kName,        // rate, total_2
  kOperator,    // + - * / ^ % & < <= > >= == != = ( ) , ;
  kInvalid,     // text that no token matches; `text` holds the complaint
  kEndOfInput,  // always the last token
};

struct Token {
  TokenKind kind;
  std::wstring text;
  double number = 0;  // the value of a kNumber token
};

// The tokens of `cell`, ending with kEndOfInput. A `#` outside a string ends
// the cell (the rest is a comment). Never fails: text that forms no token
// becomes a kInvalid token and lexing goes on after it.
std::vector<Token> Tokenize(std::wstring_view cell);

// True when `line` holds no cell: it is blank or only a comment.
bool IsBlankOrComment(std::wstring_view line);

}  // namespace calc
