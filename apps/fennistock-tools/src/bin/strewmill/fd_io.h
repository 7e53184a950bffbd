// Small POSIX file helpers for the output files: creation without following a symbolic link at
// the final path component, full writes retried on EINTR, and an 8192-byte buffered writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "fennistock/common/error.h"

namespace fennistock::tool {

// An open file descriptor, closed on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; reports a failed close (a deferred write error on some file systems).
  Status close();

 private:
  int fd_ = -1;
};

// Creates or truncates `path` for writing (mode 0666 before the umask). A symbolic link at the
// path is refused (ELOOP), so an output file never writes through a link to elsewhere.
// Fails with the bare system error.
ResultOr<UniqueFd> create_file(const std::filesystem::path& path);

// Writes all of `bytes`, retrying short writes and EINTR. Fails with the bare system error.
Status write_all(int fd, std::span<const char> bytes);

// Collects writes in an 8192-byte buffer and passes them on in full buffers.
class BufferedWriter {
 public:
  static constexpr size_t kCapacity = 8192;
  explicit BufferedWriter(int fd) : fd_(fd) {}
  Status write(std::string_view bytes);
  Status flush();

 private:
  int fd_;
  size_t used_ = 0;
  char buf_[kCapacity];
};

}  // namespace fennistock::tool
