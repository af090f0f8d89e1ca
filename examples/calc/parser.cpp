#include "parser.hpp"

#include <algorithm>
#include <utility>

#include "lexer.hpp"

namespace calc {
namespace {

// Bound the parser's recursion and the height of a tree (which is the
// evaluator's recursion), so that a pathological formula cannot exhaust the stack.
constexpr int kMaxNesting = 200;
constexpr int kMaxHeight = 1000;

struct SyntaxError {
  std::wstring message;
};

struct OperatorEntry {
  std::wstring_view text;
  BinaryOp op;
};

constexpr OperatorEntry kComparisons[] = {
    {L"<", BinaryOp::kLess},          {L"<=", BinaryOp::kLessEqual}, {L">", BinaryOp::kGreater},
    {L">=", BinaryOp::kGreaterEqual}, {L"==", BinaryOp::kEqual},     {L"!=", BinaryOp::kNotEqual},
};
constexpr OperatorEntry kConcats[] = {{L"&", BinaryOp::kConcat}};
constexpr OperatorEntry kAdditives[] = {{L"+", BinaryOp::kAdd}, {L"-", BinaryOp::kSubtract}};
constexpr OperatorEntry kTerms[] = {
    {L"*", BinaryOp::kMultiply}, {L"/", BinaryOp::kDivide}, {L"%", BinaryOp::kModulo}};

std::wstring Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::kEndOfInput:
      return L"end of line";
    case TokenKind::kString:
      return L"string \"" + token.text + L"\"";
    default:
      return L"'" + token.text + L"'";
  }
}

// Counts how deep the parser has descended; throws past kMaxNesting.
class NestingGuard {
 public:
  explicit NestingGuard(int& depth) : m_depth(depth) {
    if (++m_depth > kMaxNesting) throw SyntaxError{L"formula nested too deeply"};
  }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
  ~NestingGuard() { --m_depth; }

 private:
  int& m_depth;
};

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

  std::shared_ptr<const CellProgram> Run() {
    auto program = std::make_shared<CellProgram>();
    program->lazy = TakeLazyPrefix();
    do {
      if (!AtStatementEnd()) program->statements.push_back(ParseStatement());
    } while (Accept(L";"));
    if (program->statements.empty()) {
      program->statements.push_back({std::nullopt, nullptr, L"syntax error: empty cell"});
    }
    for (const Statement& statement : program->statements) {
      if (statement.target && std::find(program->targets.begin(), program->targets.end(),
                                        *statement.target) == program->targets.end()) {
        program->targets.push_back(*statement.target);
      }
    }
    return program;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const {
    return m_tokens[std::min(m_pos + ahead, m_tokens.size() - 1)];
  }
  bool IsOperator(std::wstring_view text, std::size_t ahead = 0) const {
    return Peek(ahead).kind == TokenKind::kOperator && Peek(ahead).text == text;
  }
  bool AtStatementEnd() const { return Peek().kind == TokenKind::kEndOfInput || IsOperator(L";"); }
  bool Accept(std::wstring_view text) {
    if (!IsOperator(text)) return false;
    ++m_pos;
    return true;
  }
  void Expect(std::wstring_view text) {
    if (!Accept(text)) Fail(L"expected '" + std::wstring(text) + L"'");
  }
  [[noreturn]] void Fail(const std::wstring& expectation) const {
    if (Peek().kind == TokenKind::kInvalid) throw SyntaxError{Peek().text};
    throw SyntaxError{expectation + L", found " + Describe(Peek())};
  }

  // `lazy` starts a lazy cell when a statement follows it; `lazy = 1` and
  // `lazy + 1` use a cell named lazy instead.
  bool TakeLazyPrefix() {
    const TokenKind next = Peek(1).kind;
    if (Peek().kind != TokenKind::kName || Peek().text != L"lazy") return false;
    if (next != TokenKind::kName && next != TokenKind::kNumber && next != TokenKind::kString) {
      return false;
    }
    ++m_pos;
    return true;
  }

  Statement ParseStatement() {
    Statement statement;
    if (Peek().kind == TokenKind::kName && IsOperator(L"=", 1)) {
      statement.target = Peek().text;
      m_pos += 2;
    }
    try {
      statement.expr = ParseComparison();
      if (!AtStatementEnd()) {
        if (IsOperator(L"=")) throw SyntaxError{L"unexpected '=' (compare with ==)"};
        Fail(L"expected an operator or ';'");
      }
    } catch (const SyntaxError& error) {
      statement.expr = nullptr;
      statement.syntax_error = L"syntax error: " + error.message;
      while (!AtStatementEnd()) ++m_pos;
    }
    return statement;
  }

  // Parses `next (op next)*`, left-associative, for the operators in `table`.
  template <std::size_t N>
  ExprPtr ParseLeftAssociative(const OperatorEntry (&table)[N], ExprPtr (Parser::*next)()) {
    ExprPtr left = (this->*next)();
    while (const OperatorEntry* entry = MatchOperator(table)) {
      ++m_pos;
      ExprPtr right = (this->*next)();
      left = Make(Binary{entry->op, std::move(left), std::move(right)});
    }
    return left;
  }

  template <std::size_t N>
  const OperatorEntry* MatchOperator(const OperatorEntry (&table)[N]) const {
    for (const OperatorEntry& entry : table) {
      if (IsOperator(entry.text)) return &entry;
    }
    return nullptr;
  }

  ExprPtr ParseComparison() {
    NestingGuard guard(m_depth);
    return ParseLeftAssociative(kComparisons, &Parser::ParseConcat);
  }
  ExprPtr ParseConcat() { return ParseLeftAssociative(kConcats, &Parser::ParseAdditive); }
  ExprPtr ParseAdditive() { return ParseLeftAssociative(kAdditives, &Parser::ParseTerm); }
  ExprPtr ParseTerm() { return ParseLeftAssociative(kTerms, &Parser::ParseUnary); }

  ExprPtr ParseUnary() {
    NestingGuard guard(m_depth);
    if (Accept(L"-")) return Make(Negate{ParseUnary()});
    return ParsePower();
  }

  ExprPtr ParsePower() {
    ExprPtr base = ParsePrimary();
    if (!Accept(L"^")) return base;
    return Make(Binary{BinaryOp::kPower, std::move(base), ParseUnary()});
  }

  ExprPtr ParsePrimary() {
    const Token& token = Peek();
    switch (token.kind) {
      case TokenKind::kNumber:
        ++m_pos;
        return Make(NumberLiteral{token.number});
      case TokenKind::kString:
        ++m_pos;
        return Make(StringLiteral{token.text});
      case TokenKind::kName:
        ++m_pos;
        if (IsOperator(L"(")) return ParseCall(token.text);
        return Make(NameRef{token.text});
      default:
        if (!Accept(L"(")) Fail(L"expected a value");
        ExprPtr inner = ParseComparison();
        Expect(L")");
        return inner;
    }
  }

  ExprPtr ParseCall(const std::wstring& name) {
    Expect(L"(");
    std::vector<ExprPtr> args;
    if (!Accept(L")")) {
      do {
        args.push_back(ParseComparison());
      } while (Accept(L","));
      Expect(L")");
    }
    if (name == L"if") return MakeConditional(std::move(args));
    const Builtin* builtin = FindBuiltin(name);
    if (builtin == nullptr) throw SyntaxError{L"unknown function '" + name + L"'"};
    if (args.size() < builtin->min_args || args.size() > builtin->max_args) {
      throw SyntaxError{name + L" " + ArityText(*builtin)};
    }
    return Make(Call{builtin, std::move(args)});
  }

  ExprPtr MakeConditional(std::vector<ExprPtr> args) {
    if (args.size() != 3) throw SyntaxError{L"if takes 3 arguments: if(condition, then, else)"};
    return Make(Conditional{std::move(args[0]), std::move(args[1]), std::move(args[2])});
  }

  template <class Node>
  static ExprPtr Make(Node node) {
    const int height = Height(node);
    if (height > kMaxHeight) throw SyntaxError{L"formula too long or nested too deeply"};
    return std::make_unique<const Expr>(Expr{std::move(node), height});
  }

  static int Height(const NumberLiteral&) { return 1; }
  static int Height(const StringLiteral&) { return 1; }
  static int Height(const NameRef&) { return 1; }
  static int Height(const Negate& node) { return 1 + node.operand->height; }
  static int Height(const Binary& node) {
    return 1 + std::max(node.left->height, node.right->height);
  }
  static int Height(const Call& node) {
    int height = 0;
    for (const ExprPtr& arg : node.args) height = std::max(height, arg->height);
    return 1 + height;
  }
  static int Height(const Conditional& node) {
    return 1 +
           std::max({node.condition->height, node.then_branch->height, node.else_branch->height});
  }

  std::vector<Token> m_tokens;
  std::size_t m_pos = 0;
  int m_depth = 0;
};

}  // namespace

std::shared_ptr<const CellProgram> ParseCell(std::wstring_view text) {
  return Parser(Tokenize(text)).Run();
}

}  // namespace calc
