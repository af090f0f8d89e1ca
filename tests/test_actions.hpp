// Host-side helpers for tests that drive depman through its public header
// only: a configurable Action that counts what depman asks of it, and a
// notification target that records what it receives.
#pragma once

#include <cmath>
#include <cstdint>
#include <depman/depman.hpp>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace depman_test {

using depman::DictionaryRef;
using depman::Environment;
using depman::ListRef;
using depman::ObjectRef;
using depman::Status;

// An action whose names, computation and text are given by the test. It
// counts its invocations and releases so that a test can tell exactly which
// actions depman ran again and which links it let go of.
class TestAction final : public depman::Action {
 public:
  using Compute = std::function<DictionaryRef(Environment&)>;

  // Defines `defs` (none for none); Invoke returns `compute(env)`; ToString
  // returns `text`.
  TestAction(ListRef defs, Compute compute, std::wstring text)
      : m_defs(std::move(defs)), m_compute(std::move(compute)), m_text(std::move(text)) {}

  DictionaryRef Invoke(const depman::EnvironmentRef& env) override {
    ++m_invocations;
    return m_compute(*env);
  }
  ListRef GetDefs() override { return m_defs; }
  void Release() override { ++m_releases; }
  std::wstring ToString() const override { return m_text; }

  int invocations() const noexcept { return m_invocations; }
  int releases() const noexcept { return m_releases; }

 private:
  ListRef m_defs;
  Compute m_compute;
  std::wstring m_text;
  int m_invocations = 0;
  int m_releases = 0;
};

using TestActionRef = std::shared_ptr<TestAction>;

inline ObjectRef Number(double value) { return std::make_shared<depman::Box<double>>(value); }
inline ObjectRef Text(std::wstring value) {
  return std::make_shared<depman::String>(std::move(value));
}

// A result dictionary holding `entries`.
inline DictionaryRef Values(
    std::initializer_list<std::pair<std::wstring_view, ObjectRef>> entries) {
  auto values = std::make_shared<depman::Dictionary>(entries.size());
  for (const auto& [name, value] : entries) values->Set(name, value);
  return values;
}

// The number a value holds, or nothing when it is none or not a number.
inline std::optional<double> AsNumber(const ObjectRef& value) {
  const auto* box = dynamic_cast<const depman::Box<double>*>(value.get());
  return box != nullptr ? std::optional<double>(box->Value()) : std::nullopt;
}

// The characters a value holds, or nothing when it is none or not a String.
inline std::optional<std::wstring> AsText(const ObjectRef& value) {
  const auto* text = dynamic_cast<const depman::String*>(value.get());
  return text != nullptr ? std::optional<std::wstring>(text->Value()) : std::nullopt;
}

// The value of `name` as the running action sees it, or none.
inline ObjectRef Read(Environment& env, std::wstring_view name) {
  DictionaryRef values = env.Lookup(name);
  return values != nullptr ? values->Get(name) : nullptr;
}

// The number `name` holds for the running action. NaN when it holds none, so
// that a missing input spoils every value computed from it.
inline double ReadNumber(Environment& env, std::wstring_view name) {
  return AsNumber(Read(env, name)).value_or(std::nan(""));
}

// An action defining `name` as the number `formula` computes; its text is `name`.
inline TestActionRef NumberCell(std::wstring name, std::function<double(Environment&)> formula) {
  ListRef defs = depman::List::Names({name});
  return std::make_shared<TestAction>(
      defs,
      [name, formula = std::move(formula)](Environment& env) {
        return Values({{name, Number(formula(env))}});
      },
      name);
}

// An action defining `name` as the String `formula` computes; its text is `name`.
inline TestActionRef TextCell(std::wstring name,
                              std::function<std::wstring(Environment&)> formula) {
  ListRef defs = depman::List::Names({name});
  return std::make_shared<TestAction>(
      defs,
      [name, formula = std::move(formula)](Environment& env) {
        return Values({{name, Text(formula(env))}});
      },
      name);
}

// An action defining `name` as the constant `value`.
inline TestActionRef Constant(std::wstring name, double value) {
  return NumberCell(std::move(name), [value](Environment&) { return value; });
}

// The integers of a handle list such as GetHandles returns, in order; none
// gives an empty vector.
inline std::vector<int32_t> HandleValues(const ListRef& handles) {
  std::vector<int32_t> values;
  if (handles == nullptr) return values;
  for (const ObjectRef& item : *handles) {
    const auto* box = dynamic_cast<const depman::Box<int32_t>*>(item.get());
    values.push_back(box != nullptr ? box->Value() : 0);
  }
  return values;
}

// One notification as the host received it.
struct Notice {
  int32_t handle;
  Status status;
  bool operator==(const Notice&) const = default;
};

inline void PrintTo(const Notice& notice, std::ostream* os) {
  *os << "{" << notice.handle << ", " << depman::ToStrng(depman::BoxText(notice.status)) << "}";
}

// Records every notification it receives, in order.
class NotifyLog {
 public:
  // A notification target that appends to this log; safe to outlive the log.
  depman::NotifyRef Target() const {
    return std::make_shared<depman::Notify>([notices = m_notices](int32_t h, Status s) {
      notices->push_back({h, s});
    });
  }

  // Everything received since the last Take, oldest first; the log is emptied.
  std::vector<Notice> Take() { return std::exchange(*m_notices, {}); }

 private:
  std::shared_ptr<std::vector<Notice>> m_notices = std::make_shared<std::vector<Notice>>();
};

// The handles of `notices` that carry `status`, in the order received.
inline std::vector<int32_t> HandlesWith(const std::vector<Notice>& notices, Status status) {
  std::vector<int32_t> handles;
  for (const Notice& notice : notices) {
    if (notice.status == status) handles.push_back(notice.handle);
  }
  return handles;
}

}  // namespace depman_test
