// Reading and writing .calc files: UTF-8 text, one cell per line.
#pragma once

#include <string>
#include <vector>

#include "worksheet.hpp"

namespace calc {

// The lines of the file at `path`, without line breaks (a trailing '\r' is
// dropped too). Throws std::runtime_error saying why the file cannot be read.
std::vector<std::string> ReadLines(const std::string& path);

// Writes every line of `sheet` to `path`; throws std::runtime_error on failure.
void WriteLines(const Worksheet& sheet, const std::string& path);

}  // namespace calc
