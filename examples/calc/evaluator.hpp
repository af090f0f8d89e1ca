// Evaluates the syntax tree of a formula.
#pragma once

#include <string>

#include "ast.hpp"
#include "value.hpp"

namespace calc {

// Why a formula has no value. Either a failure of the formula itself (a
// message), or an error value it read from another cell, passed on as it is.
class EvalError {
 public:
  explicit EvalError(std::wstring message) : m_message(std::move(message)) {}
  explicit EvalError(CalcErrorRef read) : m_read(std::move(read)) {}

  const std::wstring& message() const { return m_message; }
  // The error read from a cell, or none when the failure arose here.
  const CalcErrorRef& read() const { return m_read; }

 private:
  std::wstring m_message;
  CalcErrorRef m_read;
};

// Where a formula's names get their values.
class NameReader {
 public:
  // The value of `name`; throws EvalError when it has none.
  virtual Value Read(const std::wstring& name) = 0;

 protected:
  ~NameReader() = default;
};

// The value of `expr`. Reads names through `names` only where evaluation
// reaches them (not in the branch an if() does not take). Throws EvalError.
Value Evaluate(const Expr& expr, NameReader& names);

}  // namespace calc
