#include "dump.hpp"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "depman/host.hpp"

namespace depman {

std::wstring ToString(Substring text) {
  return ToString(std::string_view(text.begin, static_cast<std::size_t>(text.end - text.begin)));
}

void AppendToFile(std::wstring_view filename, std::string_view text) {
  std::ofstream out(ToStrng(filename), std::ios::binary | std::ios::app);
  if (!out) {
    throw std::system_error(errno ? errno : EIO, std::generic_category(),
                            "depman: cannot open \"" + ToStrng(filename) + "\" for appending");
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (!out) {
    throw std::system_error(errno ? errno : EIO, std::generic_category(),
                            "depman: cannot write to \"" + ToStrng(filename) + "\"");
  }
}

}  // namespace depman
