#include <depman/depman.hpp>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

// A cell "name = f(input)": defines `name` and reads `input` (if any) from the
// nearest earlier node that defines it.
class Cell final : public depman::Action {
 public:
  Cell(std::wstring name, std::wstring input, std::function<double(double)> f)
      : m_name(std::move(name)), m_input(std::move(input)), m_f(std::move(f)) {}

  depman::DictionaryRef Invoke(const depman::EnvironmentRef& env) override {
    double x = 0;
    if (auto values = m_input.empty() ? nullptr : env->Lookup(m_input)) {
      if (auto box = std::dynamic_pointer_cast<depman::Box<double>>(values->Get(m_input))) {
        x = box->Value();
      }
    }
    auto result = std::make_shared<depman::Dictionary>();
    result->Set(m_name, std::make_shared<depman::Box<double>>(m_f(x)));
    return result;
  }
  depman::ListRef GetDefs() override { return m_defs; }
  void Release() override {}

 private:
  std::wstring m_name, m_input;
  std::function<double(double)> m_f;
  depman::ListRef m_defs = depman::List::Names({m_name});
};

int main() {
  depman::Depman doc;
  auto side = doc.AddAfter(0, std::make_shared<Cell>(L"side", L"", [](double) { return 3.0; }), 0);
  auto area = doc.AddAfter(
      side, std::make_shared<Cell>(L"area", L"side", [](double s) { return s * s; }), 0);
  std::wcout << L"area = " << doc.GetValue(area, L"area")->ToString() << L"\n";  // 9

  doc.Update(side, std::make_shared<Cell>(L"side", L"", [](double) { return 4.0; }), 0);
  std::wcout << L"area = " << doc.GetValue(area, L"area")->ToString() << L"\n";  // 16
  doc.Unload();
}
