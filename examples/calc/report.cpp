#include "report.hpp"

#include <algorithm>

#include "cell_action.hpp"
#include "value.hpp"

namespace calc {
namespace {

// Longer cell texts are cut, so that one long formula does not push every
// value off to the right.
constexpr std::size_t kMaxTextWidth = 44;

std::wstring ErrorText(const Worksheet& sheet, const CalcError& error, int32_t reader) {
  if (error.origin_cell() == reader) return L"#error: " + error.message();
  const std::optional<std::size_t> origin = sheet.IndexOf(error.origin_cell());
  const std::wstring where =
      origin ? L"line " + std::to_wstring(*origin + 1) : std::wstring(L"a removed line");
  return L"#error: '" + error.origin_name() + L"' (" + where + L"): " + error.message();
}

std::wstring ObjectText(const Worksheet& sheet, const depman::ObjectRef& value, int32_t reader) {
  if (auto number = std::dynamic_pointer_cast<depman::Box<double>>(value)) {
    return FormatNumber(number->Value());
  }
  if (auto text = std::dynamic_pointer_cast<depman::String>(value)) {
    return L"\"" + text->Value() + L"\"";
  }
  if (auto error = std::dynamic_pointer_cast<CalcError>(value)) {
    return ErrorText(sheet, *error, reader);
  }
  return value ? value->ToString() : L"(none)";
}

std::wstring Trimmed(const std::string& text) {
  const std::wstring wide = depman::ToString(text);
  const std::size_t first = wide.find_first_not_of(L" \t\r");
  if (first == std::wstring::npos) return L"";
  return wide.substr(first, wide.find_last_not_of(L" \t\r") - first + 1);
}

std::wstring Cut(std::wstring text, std::size_t width) {
  if (text.size() <= width) return text;
  return text.substr(0, width - 1) + L"\u2026";
}

}  // namespace

std::wstring CellValueText(Worksheet& sheet, std::size_t index) {
  const depman::DictionaryRef result = sheet.Result(index);
  if (!result) return L"(lazy, not computed)";
  const Line& line = sheet.line(index);
  const std::vector<std::wstring>& targets = line.program->targets;
  const depman::ObjectRef bare = result->Get(kBareValueKey);
  if (targets.size() + (bare ? 1 : 0) == 1) {
    return ObjectText(sheet, bare ? bare : result->Get(targets.front()), line.handle);
  }
  std::wstring text;
  for (const std::wstring& target : targets) {
    if (!text.empty()) text += L", ";
    text += target + L" = " + ObjectText(sheet, result->Get(target), line.handle);
  }
  if (bare) text += L", " + ObjectText(sheet, bare, line.handle);
  return text;
}

void PrintCells(Worksheet& sheet, const std::vector<std::size_t>& indices, std::ostream& out,
                std::size_t limit) {
  const std::size_t shown = std::min(limit, indices.size());
  std::size_t number_width = 1;
  std::size_t text_width = 0;
  for (std::size_t i = 0; i < shown; ++i) {
    number_width = std::max(number_width, std::to_string(indices[i] + 1).size());
    text_width = std::max(text_width, Trimmed(sheet.line(indices[i]).text).size());
  }
  text_width = std::min(text_width, kMaxTextWidth);
  for (std::size_t i = 0; i < shown; ++i) {
    const std::string number = std::to_string(indices[i] + 1);
    std::wstring text = Cut(Trimmed(sheet.line(indices[i]).text), text_width);
    text.resize(text_width, L' ');
    out << std::string(number_width - number.size() + 2, ' ') << number << "  "
        << depman::ToStrng(text) << "  " << depman::ToStrng(CellValueText(sheet, indices[i]))
        << '\n';
  }
  if (shown < indices.size()) out << "  ... and " << indices.size() - shown << " more\n";
}

std::vector<std::size_t> AllCells(const Worksheet& sheet) {
  std::vector<std::size_t> cells;
  for (std::size_t index = 0; index < sheet.size(); ++index) {
    if (sheet.line(index).is_cell()) cells.push_back(index);
  }
  return cells;
}

}  // namespace calc
