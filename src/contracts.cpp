#include "contracts.hpp"

#include <stdexcept>

namespace depman {

std::wstring BoxText(Status status) {
  switch (status) {
    case Status::NODE_INVALID:
      return L"NODE_INVALID";
    case Status::NODE_COMPUTING:
      return L"NODE_COMPUTING";
    case Status::NODE_NOT_COMPUTING:
      return L"NODE_NOT_COMPUTING";
    case Status::NODE_READY:
      return L"NODE_READY";
    case Status::NODE_SYNC:
      return L"NODE_SYNC";
  }
  return DecimalText(static_cast<int32_t>(status));
}

ConstAction::ConstAction(ObjectRef value) : m_env(std::make_shared<Dictionary>(1)) {
  m_env->Set(L"%result", std::move(value));
}

DictionaryRef ConstAction::Invoke(const EnvironmentRef& /*env*/) { return m_env; }

void FNotify::Invoke(int32_t h, Status s) const {
  f->Invoke2(std::make_shared<Box<int32_t>>(h), std::make_shared<Box<Status>>(s));
}

}  // namespace depman
