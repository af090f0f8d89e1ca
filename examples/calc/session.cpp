#include "session.hpp"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "document_file.hpp"
#include "report.hpp"

namespace calc {
namespace {

// Rows listed after an edit; a long list is summed up after this many.
constexpr std::size_t kMaxRowsShown = 20;

// A command that cannot run as typed; the message says why. Without a
// message, the command's usage line is shown instead.
struct UsageError {
  std::string message;
};

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Splits off the first word of `text`; `rest` gets the trimmed remainder.
std::string_view FirstWord(std::string_view text, std::string_view& rest) {
  text = Trim(text);
  const std::size_t end = text.find_first_of(" \t");
  rest = end == std::string_view::npos ? std::string_view{} : Trim(text.substr(end));
  return text.substr(0, end);
}

int ParseInt(std::string_view word, std::string_view what) {
  int value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc{} || end != word.data() + word.size()) {
    throw UsageError{"expected " + std::string(what) + ", got '" + std::string(word) + "'"};
  }
  return value;
}

std::string Milliseconds(std::chrono::steady_clock::duration elapsed) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f ms",
                std::chrono::duration<double, std::milli>(elapsed).count());
  return buffer;
}

std::string Plural(std::size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

constexpr const char* kHelp =
    "Commands (N is a line number as shown by :list):\n"
    "  :list               show every cell and its value\n"
    "  :set N CELL         replace line N\n"
    "  :insert N CELL      insert a line before line N\n"
    "  :append CELL        add a line at the end (so does a line that is no command)\n"
    "  :rm N               remove line N\n"
    "  :lazy N on|off      make the cell on line N lazy or eager\n"
    "  :clear N DEPTH      drop the computed result of line N from chain link DEPTH\n"
    "  :dump FILE          append depman's node listing to FILE\n"
    "  :save FILE          write the document to FILE\n"
    "  :help               this text\n"
    "  :quit               leave\n"
    "A cell: name = expression, several separated by ';', or a bare expression;\n"
    "'lazy ' in front makes it lazy, '#' starts a comment.\n";

}  // namespace

struct Session::Command {
  std::string_view name;
  std::string_view usage;
  void (Session::*run)(std::string_view args);
  bool needs_args;
};

const Session::Command* Session::FindCommand(std::string_view name) {
  static constexpr Command kCommands[] = {
      {":list", ":list", &Session::List, false},
      {":set", ":set N CELL", &Session::Set, true},
      {":insert", ":insert N CELL", &Session::Insert, true},
      {":append", ":append CELL", &Session::Append, true},
      {":rm", ":rm N", &Session::Remove, true},
      {":lazy", ":lazy N on|off", &Session::Lazy, true},
      {":clear", ":clear N DEPTH", &Session::Clear, true},
      {":dump", ":dump FILE", &Session::Dump, true},
      {":save", ":save FILE", &Session::Save, true},
      {":help", ":help", &Session::Help, false},
  };
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

void Session::Run(std::istream& in, bool prompt) {
  if (prompt) m_out << "depman-calc: type :help for commands\n";
  for (std::string input;;) {
    if (prompt) m_out << "> " << std::flush;
    if (!std::getline(in, input) || !Execute(input)) break;
    m_out << std::flush;
  }
}

bool Session::Execute(const std::string& input) {
  const std::string_view line = Trim(input);
  if (line.empty()) return true;
  std::string_view args = line;
  std::string_view name = ":append";  // a line that is no command is a cell to append
  if (line.front() == ':') name = FirstWord(line, args);
  if (name == ":quit") return false;
  const Command* command = FindCommand(name);
  if (command == nullptr) {
    m_out << "error: unknown command '" << name << "' (:help lists them)\n";
    return true;
  }
  try {
    if (command->needs_args && args.empty()) throw UsageError{};
    (this->*command->run)(args);
  } catch (const UsageError& error) {
    if (error.message.empty()) {
      m_out << "usage: " << command->usage << '\n';
    } else {
      m_out << "error: " << error.message << '\n';
    }
  } catch (const std::exception& error) {
    m_out << "error: " << error.what() << '\n';
  }
  return true;
}

template <class Edit>
void Session::Apply(Edit edit) {
  const auto start = std::chrono::steady_clock::now();
  edit();
  m_sheet.Refresh();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const std::vector<std::size_t> computed = m_sheet.TakeComputed();
  if (computed.empty()) {
    m_out << "recomputed nothing in " << Milliseconds(elapsed) << '\n';
    return;
  }
  m_out << "recomputed " << computed.size() << " of " << Plural(AllCells(m_sheet).size(), "cell")
        << " in " << Milliseconds(elapsed) << ":\n";
  PrintCells(m_sheet, computed, m_out, kMaxRowsShown);
}

std::size_t Session::LineIndex(std::string_view word, std::size_t past_end) const {
  const int number = ParseInt(word, "a line number");
  if (number < 1 || static_cast<std::size_t>(number) > m_sheet.size() + past_end) {
    throw UsageError{"no line " + std::string(word) + " (the document has " +
                     Plural(m_sheet.size(), "line") + ")"};
  }
  return static_cast<std::size_t>(number) - 1;
}

std::size_t Session::CellIndex(std::string_view word) const {
  const std::size_t index = LineIndex(word);
  if (!m_sheet.line(index).is_cell()) {
    throw UsageError{"line " + std::string(word) + " is not a cell"};
  }
  return index;
}

void Session::List(std::string_view) { PrintCells(m_sheet, AllCells(m_sheet), m_out); }

void Session::Set(std::string_view args) {
  std::string_view cell;
  const std::size_t index = LineIndex(FirstWord(args, cell));
  if (cell.empty()) throw UsageError{};
  Apply([&] { m_sheet.Replace(index, std::string(cell)); });
}

void Session::Insert(std::string_view args) {
  std::string_view cell;
  const std::size_t index = LineIndex(FirstWord(args, cell), 1);
  if (cell.empty()) throw UsageError{};
  Apply([&] { m_sheet.Insert(index, std::string(cell)); });
}

void Session::Append(std::string_view args) {
  Apply([&] { m_sheet.Append(std::string(args)); });
}

void Session::Remove(std::string_view args) {
  std::string_view rest;
  const std::size_t index = LineIndex(FirstWord(args, rest));
  if (!rest.empty()) throw UsageError{};
  Apply([&] { m_sheet.Erase(index); });
}

void Session::Lazy(std::string_view args) {
  std::string_view mode;
  const std::size_t index = CellIndex(FirstWord(args, mode));
  if (mode != "on" && mode != "off") throw UsageError{};
  Apply([&] { m_sheet.SetLazy(index, mode == "on"); });
}

void Session::Clear(std::string_view args) {
  std::string_view depth;
  const std::size_t index = CellIndex(FirstWord(args, depth));
  const int32_t link = ParseInt(depth, "a chain depth");
  Apply([&] { m_sheet.ClearChain(index, link); });
}

void Session::Dump(std::string_view args) {
  m_sheet.Dump(std::string(args));
  m_out << "dumped " << Plural(AllCells(m_sheet).size(), "node") << " to " << args << '\n';
}

void Session::Save(std::string_view args) {
  WriteLines(m_sheet, std::string(args));
  m_out << "saved " << Plural(m_sheet.size(), "line") << " to " << args << '\n';
}

void Session::Help(std::string_view) { m_out << kHelp; }

}  // namespace calc
