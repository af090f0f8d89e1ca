// depman-calc: a worksheet calculator on depman. Each line of a .calc file is
// a cell, each cell a depman node; see `depman-calc --help`.
#include <unistd.h>

#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "document_file.hpp"
#include "report.hpp"
#include "session.hpp"
#include "worksheet.hpp"

namespace {

constexpr const char* kUsage =
    "usage: depman-calc [FILE] [-i] [--trace]\n"
    "  FILE      a .calc document: evaluate it and print every cell\n"
    "  -i        then edit it interactively (the default without FILE)\n"
    "  --trace   print every status notification depman sends\n";

// A command line that cannot be run; the message says what is wrong with it.
class BadCommandLine : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::optional<std::string> file;
  bool interactive = false;
  bool trace = false;
  bool help = false;
};

// The options in `argv`; throws BadCommandLine naming a bad one.
Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-i" || arg == "--interactive") {
      options.interactive = true;
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg.size() > 1 && arg.front() == '-') {
      throw BadCommandLine("unknown option '" + std::string(arg) + "'");
    } else if (options.file) {
      throw BadCommandLine("more than one FILE: '" + *options.file + "' and '" + std::string(arg) +
                           "'");
    } else {
      options.file = std::string(arg);
    }
  }
  return options;
}

int Run(const Options& options) {
  calc::Worksheet sheet;
  if (options.trace) sheet.TraceTo(&std::cout);
  if (options.file) {
    for (std::string& line : calc::ReadLines(*options.file)) sheet.Append(std::move(line));
    sheet.Refresh();
    sheet.TakeComputed();
    calc::PrintCells(sheet, calc::AllCells(sheet), std::cout);
  }
  if (options.interactive || !options.file) {
    calc::Session(sheet, std::cout).Run(std::cin, isatty(STDIN_FILENO) != 0);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = ParseOptions(argc, argv);
    if (options.help) {
      std::cout << kUsage;
      return 0;
    }
    return Run(options);
  } catch (const BadCommandLine& error) {
    std::cerr << "depman-calc: " << error.what() << " (--help shows usage)\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "depman-calc: " << error.what() << '\n';
    return 1;
  }
}
