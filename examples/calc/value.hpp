// The values a formula computes, how they are stored in a result dictionary,
// and how they are written for the user.
#pragma once

#include <cstdint>
#include <depman/depman.hpp>
#include <memory>
#include <string>
#include <variant>

namespace calc {

// A value while a formula is evaluated: a number or a string.
using Value = std::variant<double, std::wstring>;

// The value of a cell whose formula failed. It remembers where the failure
// arose, so that the cells that read it can say so.
class CalcError final : public depman::Object {
 public:
  CalcError(std::wstring message, int32_t origin_cell, std::wstring origin_name)
      : m_message(std::move(message)),
        m_origin_cell(origin_cell),
        m_origin_name(std::move(origin_name)) {}

  // What went wrong, e.g. "division by zero".
  const std::wstring& message() const { return m_message; }
  // The handle of the cell whose formula failed.
  int32_t origin_cell() const { return m_origin_cell; }
  // The name that cell assigned the failure to; empty for a bare expression.
  const std::wstring& origin_name() const { return m_origin_name; }

  std::wstring ToString() const override { return L"#error: " + m_message; }

 private:
  std::wstring m_message;
  int32_t m_origin_cell;
  std::wstring m_origin_name;
};

using CalcErrorRef = std::shared_ptr<CalcError>;

// The value as a host object: a depman::Box<double> or a depman::String.
depman::ObjectRef ToObject(const Value& value);

// A number as a user reads it: integers without a fraction ("360"), others
// with at most ten significant digits ("1266.71", "0.004166666667", "1.5e+20").
std::wstring FormatNumber(double number);

// A number as above; a string as its characters.
std::wstring ConcatText(const Value& value);

}  // namespace calc
