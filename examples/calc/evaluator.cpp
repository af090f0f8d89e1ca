#include "evaluator.hpp"

#include <cmath>
#include <vector>

namespace calc {
namespace {

const char* TypeName(const Value& value) {
  return std::holds_alternative<double>(value) ? "a number" : "a string";
}

double AsNumber(const Value& value, std::wstring_view what) {
  if (const double* number = std::get_if<double>(&value)) return *number;
  throw EvalError(L"type error: " + std::wstring(what) + L" needs a number, got a string");
}

// Every number a formula produces is finite: overflow and NaN are errors here
// rather than "inf" turning up three cells later.
double Finite(double number, std::wstring_view what) {
  if (!std::isfinite(number)) throw EvalError(std::wstring(what) + L": result out of range");
  return number;
}

double Arithmetic(BinaryOp op, double left, double right) {
  switch (op) {
    case BinaryOp::kAdd:
      return left + right;
    case BinaryOp::kSubtract:
      return left - right;
    case BinaryOp::kMultiply:
      return left * right;
    case BinaryOp::kDivide:
      if (right == 0) throw EvalError(L"division by zero");
      return left / right;
    case BinaryOp::kModulo:
      if (right == 0) throw EvalError(L"division by zero");
      return std::fmod(left, right);
    case BinaryOp::kPower:
      return std::pow(left, right);
    default:
      return 0;  // not arithmetic; Binary() routes those elsewhere
  }
}

template <class T>
bool Compare(BinaryOp op, const T& left, const T& right) {
  switch (op) {
    case BinaryOp::kLess:
      return left < right;
    case BinaryOp::kLessEqual:
      return left <= right;
    case BinaryOp::kGreater:
      return left > right;
    case BinaryOp::kGreaterEqual:
      return left >= right;
    case BinaryOp::kEqual:
      return left == right;
    default:
      return left != right;
  }
}

bool IsComparison(BinaryOp op) {
  return op == BinaryOp::kLess || op == BinaryOp::kLessEqual || op == BinaryOp::kGreater ||
         op == BinaryOp::kGreaterEqual || op == BinaryOp::kEqual || op == BinaryOp::kNotEqual;
}

// Numbers compare with numbers and strings with strings; 1 is true, 0 false.
Value Comparison(BinaryOp op, const Value& left, const Value& right) {
  if (left.index() != right.index()) {
    throw EvalError(L"type error: cannot compare " + depman::ToString(TypeName(left)) + L" with " +
                    depman::ToString(TypeName(right)));
  }
  if (const double* number = std::get_if<double>(&left)) {
    return Compare(op, *number, std::get<double>(right)) ? 1.0 : 0.0;
  }
  return Compare(op, std::get<std::wstring>(left), std::get<std::wstring>(right)) ? 1.0 : 0.0;
}

class Evaluator {
 public:
  explicit Evaluator(NameReader& names) : m_names(names) {}

  Value Eval(const Expr& expr) {
    return std::visit([this](const auto& node) { return (*this)(node); }, expr.node);
  }

  Value operator()(const NumberLiteral& node) { return node.value; }
  Value operator()(const StringLiteral& node) { return node.value; }
  Value operator()(const NameRef& node) { return m_names.Read(node.name); }

  Value operator()(const Negate& node) { return -AsNumber(Eval(*node.operand), L"'-'"); }

  Value operator()(const Binary& node) {
    const Value left = Eval(*node.left);
    const Value right = Eval(*node.right);
    if (node.op == BinaryOp::kConcat) return ConcatText(left) + ConcatText(right);
    if (IsComparison(node.op)) return Comparison(node.op, left, right);
    const std::wstring what = L"'" + std::wstring(OperatorText(node.op)) + L"'";
    return Finite(Arithmetic(node.op, AsNumber(left, what), AsNumber(right, what)), what);
  }

  Value operator()(const Call& node) {
    const std::wstring name(node.function->name);
    std::vector<double> args;
    args.reserve(node.args.size());
    for (const ExprPtr& arg : node.args) args.push_back(AsNumber(Eval(*arg), name));
    return Finite(node.function->apply(args), name);
  }

  Value operator()(const Conditional& node) {
    const bool condition = AsNumber(Eval(*node.condition), L"if") != 0;
    return Eval(condition ? *node.then_branch : *node.else_branch);
  }

 private:
  NameReader& m_names;
};

}  // namespace

Value Evaluate(const Expr& expr, NameReader& names) { return Evaluator(names).Eval(expr); }

}  // namespace calc
