// TempFile: a uniquely named file under the temporary directory, removed on destruction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace fennistock::testing {

class TempFile {
 public:
  // An empty file.
  TempFile();
  // A file holding `bytes`.
  explicit TempFile(std::span<const uint8_t> bytes);
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace fennistock::testing
