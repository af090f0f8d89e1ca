// The built-in numeric functions a formula can call.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace calc {

struct Builtin {
  std::wstring_view name;
  std::size_t min_args;
  std::size_t max_args;
  // Computes the result; throws EvalError for arguments outside the domain.
  double (*apply)(std::span<const double> args);
};

// The built-in function called `name`, or nullptr when there is none.
const Builtin* FindBuiltin(std::wstring_view name);

// "takes 1 argument", "takes 1 or 2 arguments", "takes at least 1 argument".
std::wstring ArityText(const Builtin& builtin);

}  // namespace calc
