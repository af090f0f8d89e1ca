// A recursive-descent parser from the text of a cell to its syntax tree.
//
//   cell       := ["lazy"] statement (";" statement)*
//   statement  := [name "="] comparison
//   comparison := concat (("<" | "<=" | ">" | ">=" | "==" | "!=") concat)*
//   concat     := additive ("&" additive)*
//   additive   := term (("+" | "-") term)*
//   term       := unary (("*" | "/" | "%") unary)*
//   unary      := "-" unary | power
//   power      := primary ["^" unary]          (right-associative: 2^3^2 = 2^9)
//   primary    := number | string | name | name "(" args ")" | "(" comparison ")"
#pragma once

#include <memory>
#include <string_view>

#include "ast.hpp"

namespace calc {

// The program of the cell `text` (one line, without its line break). Never
// fails: a statement with a syntax error carries the complaint instead.
std::shared_ptr<const CellProgram> ParseCell(std::wstring_view text);

}  // namespace calc
