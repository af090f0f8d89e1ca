#include "cell_action.hpp"

#include "evaluator.hpp"
#include "value.hpp"

namespace calc {
namespace {

depman::ListRef NamesOf(const CellProgram& program) {
  auto names = std::make_shared<depman::List>(program.targets.size());
  for (const std::wstring& target : program.targets) {
    names->Append(std::make_shared<depman::String>(target));
  }
  return names;
}

// A name is read from the cell's own earlier statements first, then from the
// document: the environment resolves it to the nearest earlier cell that
// defines it and records the dependency.
class CellNames final : public NameReader {
 public:
  CellNames(const depman::Dictionary& own, depman::Environment& document)
      : m_own(own), m_document(document) {}

  Value Read(const std::wstring& name) override {
    if (depman::ObjectRef value = m_own.Get(name)) return Unwrap(name, value);
    const depman::DictionaryRef definer = m_document.Lookup(name);
    depman::ObjectRef value = definer ? definer->Get(name) : nullptr;
    if (!value) throw EvalError(L"unknown name '" + name + L"'");
    return Unwrap(name, value);
  }

 private:
  static Value Unwrap(const std::wstring& name, const depman::ObjectRef& value) {
    if (auto number = std::dynamic_pointer_cast<depman::Box<double>>(value)) {
      return number->Value();
    }
    if (auto text = std::dynamic_pointer_cast<depman::String>(value)) return text->Value();
    if (auto error = std::dynamic_pointer_cast<CalcError>(value)) throw EvalError(error);
    throw EvalError(L"'" + name + L"' holds " + value->ToString() + L", not a number or string");
  }

  const depman::Dictionary& m_own;
  depman::Environment& m_document;
};

}  // namespace

CellAction::CellAction(int32_t handle, std::shared_ptr<const CellProgram> program,
                       std::wstring text)
    : m_handle(handle),
      m_program(std::move(program)),
      m_text(std::move(text)),
      m_defs(NamesOf(*m_program)) {}

depman::DictionaryRef CellAction::Invoke(const depman::EnvironmentRef& env) {
  auto result = std::make_shared<depman::Dictionary>(m_program->statements.size());
  for (const Statement& statement : m_program->statements) {
    const std::wstring_view key = statement.target ? *statement.target : kBareValueKey;
    result->Set(key, Run(statement, result, env));
  }
  return result;
}

depman::ObjectRef CellAction::Run(const Statement& statement, const depman::DictionaryRef& result,
                                  const depman::EnvironmentRef& env) const {
  const std::wstring origin_name = statement.target.value_or(L"");
  if (!statement.expr) {
    return std::make_shared<CalcError>(statement.syntax_error, m_handle, origin_name);
  }
  try {
    CellNames names(*result, *env);
    return ToObject(Evaluate(*statement.expr, names));
  } catch (const EvalError& error) {
    if (error.read()) return error.read();
    return std::make_shared<CalcError>(error.message(), m_handle, origin_name);
  }
}

}  // namespace calc
