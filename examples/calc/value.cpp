#include "value.hpp"

#include <cmath>
#include <cstdio>

namespace calc {
namespace {

// Integers below this magnitude are written out in full; beyond it the
// digits past the 15th are noise and the exponent form is clearer.
constexpr double kLargestPlainInteger = 1e15;

}  // namespace

depman::ObjectRef ToObject(const Value& value) {
  if (const double* number = std::get_if<double>(&value)) {
    return std::make_shared<depman::Box<double>>(*number);
  }
  return std::make_shared<depman::String>(std::get<std::wstring>(value));
}

std::wstring FormatNumber(double number) {
  if (number == 0) return L"0";  // also for -0
  char buffer[32];
  const bool plain_integer =
      std::trunc(number) == number && std::fabs(number) < kLargestPlainInteger;
  std::snprintf(buffer, sizeof buffer, plain_integer ? "%.0f" : "%.10g", number);
  return depman::ToString(buffer);
}

std::wstring ConcatText(const Value& value) {
  if (const double* number = std::get_if<double>(&value)) return FormatNumber(*number);
  return std::get<std::wstring>(value);
}

}  // namespace calc
