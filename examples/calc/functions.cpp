#include "functions.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "evaluator.hpp"

namespace calc {
namespace {

constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

double Sqrt(std::span<const double> args) {
  if (args[0] < 0) throw EvalError(L"sqrt of a negative number");
  return std::sqrt(args[0]);
}

double Ln(std::span<const double> args) {
  if (args[0] <= 0) throw EvalError(L"ln of a number that is not positive");
  return std::log(args[0]);
}

// round(x) rounds to an integer, round(x, n) to n decimal places (halves away from zero).
double Round(std::span<const double> args) {
  if (args.size() == 1) return std::round(args[0]);
  const double scale = std::pow(10.0, std::round(args[1]));
  return std::round(args[0] * scale) / scale;
}

double Abs(std::span<const double> args) { return std::fabs(args[0]); }
double Exp(std::span<const double> args) { return std::exp(args[0]); }
double Sin(std::span<const double> args) { return std::sin(args[0]); }
double Cos(std::span<const double> args) { return std::cos(args[0]); }
double Min(std::span<const double> args) { return *std::min_element(args.begin(), args.end()); }
double Max(std::span<const double> args) { return *std::max_element(args.begin(), args.end()); }

constexpr Builtin kBuiltins[] = {
    {L"sqrt", 1, 1, Sqrt},  {L"abs", 1, 1, Abs},     {L"min", 1, kAny, Min},
    {L"max", 1, kAny, Max}, {L"round", 1, 2, Round}, {L"exp", 1, 1, Exp},
    {L"ln", 1, 1, Ln},      {L"sin", 1, 1, Sin},     {L"cos", 1, 1, Cos},
};

std::wstring Arguments(std::size_t n) {
  return std::to_wstring(n) + (n == 1 ? L" argument" : L" arguments");
}

}  // namespace

const Builtin* FindBuiltin(std::wstring_view name) {
  for (const Builtin& builtin : kBuiltins) {
    if (builtin.name == name) return &builtin;
  }
  return nullptr;
}

std::wstring ArityText(const Builtin& builtin) {
  if (builtin.max_args == kAny) return L"takes at least " + Arguments(builtin.min_args);
  if (builtin.min_args == builtin.max_args) return L"takes " + Arguments(builtin.min_args);
  return L"takes " + std::to_wstring(builtin.min_args) + L" or " + Arguments(builtin.max_args);
}

}  // namespace calc
