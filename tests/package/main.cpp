// Smallest useful host: one constant node, read back through the public header only.
#include <cstdio>
#include <depman/depman.hpp>
#include <memory>

int main() {
  depman::Depman dm;
  auto action = std::make_shared<depman::ConstAction>(std::make_shared<depman::Box<double>>(42.0));
  const auto h = dm.AddAfter(0, action, 0);

  const auto value = dm.GetValue(h, L"%result");
  const auto box = std::dynamic_pointer_cast<depman::Box<double>>(value);
  const bool ok = box != nullptr && box->Value() == 42.0;

  dm.Unload();
  if (!ok) {
    std::fputs("depman consumer: GetValue did not return Box<double>(42)\n", stderr);
    return 1;
  }
  return 0;
}
