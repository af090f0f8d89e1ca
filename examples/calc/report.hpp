// Writes cells for the user: line number, cell text and value, aligned.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "worksheet.hpp"

namespace calc {

// The value column of the cell at `index`: its value, `name = value` pairs
// for a cell with several, or a note that a lazy cell has not been computed.
std::wstring CellValueText(Worksheet& sheet, std::size_t index);

// Writes one aligned row per listed line (which must be cells), at most
// `limit` of them followed by a count of the rest.
void PrintCells(Worksheet& sheet, const std::vector<std::size_t>& indices, std::ostream& out,
                std::size_t limit = static_cast<std::size_t>(-1));

// Every cell of the sheet, in line order.
std::vector<std::size_t> AllCells(const Worksheet& sheet);

}  // namespace calc
