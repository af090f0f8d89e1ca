// The action of one cell: evaluates the cell's statements into its result
// dictionary, reading other cells' names through the depman environment.
#pragma once

#include <cstdint>
#include <depman/depman.hpp>
#include <memory>
#include <string>

#include "ast.hpp"

namespace calc {

// The result key of a bare expression (a statement that assigns no name).
inline constexpr std::wstring_view kBareValueKey = L"%value";

class CellAction final : public depman::Action {
 public:
  // The action of the cell with handle `handle` running `program`; `text` is
  // the cell as written, its text in node dumps.
  CellAction(int32_t handle, std::shared_ptr<const CellProgram> program, std::wstring text);

  // Evaluates every statement in order. Never throws for a failing formula:
  // the failure becomes a CalcError value under the statement's name.
  depman::DictionaryRef Invoke(const depman::EnvironmentRef& env) override;
  // The names the cell assigns, built once.
  depman::ListRef GetDefs() override { return m_defs; }
  // Holds nothing that needs letting go.
  void Release() override {}
  std::wstring ToString() const override { return m_text; }

 private:
  depman::ObjectRef Run(const Statement& statement, const depman::DictionaryRef& result,
                        const depman::EnvironmentRef& env) const;

  int32_t m_handle;
  std::shared_ptr<const CellProgram> m_program;
  std::wstring m_text;
  depman::ListRef m_defs;
};

}  // namespace calc
