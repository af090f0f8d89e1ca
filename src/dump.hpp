// The node dump: a UTF-8 listing of every node's handle and chain text.
#pragma once

#include <string>
#include <string_view>

namespace depman {

// A view of narrow (UTF-8) characters from `begin` up to, not including, `end`.
struct Substring {
  const char* begin;
  const char* end;
};

// The wide string that the viewed UTF-8 bytes encode.
std::wstring ToString(Substring text);

// Appends `text` (already UTF-8) to the file `filename`, creating it if
// needed. Throws std::system_error when the file cannot be opened; then
// nothing is written.
void AppendToFile(std::wstring_view filename, std::string_view text);

}  // namespace depman
