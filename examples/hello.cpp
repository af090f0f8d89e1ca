// A three-node document: a = 2, b = a * 10, then an update of a.
#include <depman/depman.hpp>
#include <iostream>

namespace {

// Defines one name from a function of the environment.
class Cell final : public depman::Action {
 public:
  Cell(std::wstring name, std::function<double(depman::Environment&)> f)
      : m_name(std::move(name)), m_defs(depman::List::Names({m_name})), m_f(std::move(f)) {}

  depman::DictionaryRef Invoke(const depman::EnvironmentRef& env) override {
    auto result = std::make_shared<depman::Dictionary>(1);
    result->Set(m_name, std::make_shared<depman::Box<double>>(m_f(*env)));
    return result;
  }
  depman::ListRef GetDefs() override { return m_defs; }
  void Release() override {}
  std::wstring ToString() const override { return m_name; }

 private:
  std::wstring m_name;
  depman::ListRef m_defs;
  std::function<double(depman::Environment&)> m_f;
};

double Read(depman::Environment& env, const wchar_t* name) {
  auto values = env.Lookup(name);
  auto value = values ? std::dynamic_pointer_cast<depman::Box<double>>(values->Get(name)) : nullptr;
  return value ? value->Value() : 0.0;
}

}  // namespace

int main() {
  depman::Depman doc;
  doc.RegisterNotify(std::make_shared<depman::Notify>([](int32_t h, depman::Status s) {
    std::wcout << L"  node " << h << L": " << depman::BoxText(s) << L"\n";
  }));
  const auto a = doc.AddAfter(0, std::make_shared<Cell>(L"a", [](auto&) { return 2.0; }), 0);
  const auto b = doc.AddAfter(
      a, std::make_shared<Cell>(L"b", [](auto& env) { return Read(env, L"a") * 10; }), 0);
  doc.AddAfter(b, std::make_shared<depman::ConstAction>(std::make_shared<depman::String>(L"end")),
               0);

  std::wcout << L"b = " << doc.GetValue(b, L"b")->ToString() << L"\n";
  doc.Update(a, std::make_shared<Cell>(L"a", [](auto&) { return 5.0; }), 0);
  std::wcout << L"after a = 5: b = " << doc.GetValue(b, L"b")->ToString() << L"\n";
  doc.Unload();
}
