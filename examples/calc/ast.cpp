#include "ast.hpp"

namespace calc {

std::wstring_view OperatorText(BinaryOp op) {
  switch (op) {
    case BinaryOp::kAdd:
      return L"+";
    case BinaryOp::kSubtract:
      return L"-";
    case BinaryOp::kMultiply:
      return L"*";
    case BinaryOp::kDivide:
      return L"/";
    case BinaryOp::kPower:
      return L"^";
    case BinaryOp::kModulo:
      return L"%";
    case BinaryOp::kConcat:
      return L"&";
    case BinaryOp::kLess:
      return L"<";
    case BinaryOp::kLessEqual:
      return L"<=";
    case BinaryOp::kGreater:
      return L">";
    case BinaryOp::kGreaterEqual:
      return L">=";
    case BinaryOp::kEqual:
      return L"==";
    case BinaryOp::kNotEqual:
      return L"!=";
  }
  return L"?";
}

}  // namespace calc
