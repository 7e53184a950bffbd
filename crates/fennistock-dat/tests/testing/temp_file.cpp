#include "testing/temp_file.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fennistock::testing {

TempFile::TempFile() {
  std::string name = (std::filesystem::temp_directory_path() / "fennistock-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "mkstemp");
  ::close(fd);
  path_ = name;
}

TempFile::TempFile(std::span<const uint8_t> bytes) : TempFile() {
  FILE* f = std::fopen(path_.c_str(), "wb");
  if (f == nullptr) throw std::system_error(errno, std::generic_category(), "fopen");
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path_.string());
}

TempFile::~TempFile() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

}  // namespace fennistock::testing
