// The syntax tree of a cell: its statements and their expressions.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "functions.hpp"

namespace calc {

struct Expr;
using ExprPtr = std::unique_ptr<const Expr>;

struct NumberLiteral {
  double value;
};

struct StringLiteral {
  std::wstring value;
};

// A name read from the cell itself or, failing that, from an earlier cell.
struct NameRef {
  std::wstring name;
};

struct Negate {
  ExprPtr operand;
};

enum class BinaryOp {
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kPower,
  kModulo,
  kConcat,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kEqual,
  kNotEqual
};

struct Binary {
  BinaryOp op;
  ExprPtr left;
  ExprPtr right;
};

struct Call {
  const Builtin* function;
  std::vector<ExprPtr> args;
};

// if(condition, then, otherwise): only the branch taken is evaluated.
struct Conditional {
  ExprPtr condition;
  ExprPtr then_branch;
  ExprPtr else_branch;
};

struct Expr {
  std::variant<NumberLiteral, StringLiteral, NameRef, Negate, Binary, Call, Conditional> node;
  int height;  // of the tree under this node: 1 for a leaf
};

// One `name = expression` or bare expression of a cell. A statement that did
// not parse keeps its target (when it has one) and the complaint instead of
// an expression, so that the cell still defines the name, as an error.
struct Statement {
  std::optional<std::wstring> target;  // none for a bare expression
  ExprPtr expr;                        // none when the statement did not parse
  std::wstring syntax_error;           // set exactly when `expr` is none
};

// A parsed cell. Immutable once built; shared by the actions made from it.
struct CellProgram {
  bool lazy = false;
  std::vector<Statement> statements;
  std::vector<std::wstring> targets;  // the names assigned, each once, in first-assignment order
};

// The text of an operator, for messages: L"+", L"<=", ...
std::wstring_view OperatorText(BinaryOp op);

}  // namespace calc
