#include "document_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace calc {
namespace {

std::runtime_error FileError(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

}  // namespace

std::vector<std::string> ReadLines(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw std::runtime_error("cannot read '" + path + "': it is a directory");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot open", path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  if (in.bad()) throw FileError("cannot read", path);
  return lines;
}

void WriteLines(const Worksheet& sheet, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw FileError("cannot write", path);
  for (std::size_t index = 0; index < sheet.size(); ++index) out << sheet.line(index).text << '\n';
  out.flush();
  if (!out) throw FileError("cannot write", path);
}

}  // namespace calc
