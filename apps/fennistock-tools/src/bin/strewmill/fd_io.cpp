#include "fd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fennistock::tool {

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = o.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

Status UniqueFd::close() {
  const int fd = release();
  if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return Error::from_io(IoError::os(errno));
  return {};
}

ResultOr<UniqueFd> create_file(const std::filesystem::path& path) {
  while (true) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return UniqueFd(fd);
    if (errno != EINTR) return Error::from_io(IoError::os(errno));
  }
}

Status write_all(int fd, std::span<const char> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Error::from_io(IoError::os(errno));
    }
    if (n == 0) return Error::from_io(IoError::os(EIO));
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return {};
}

Status BufferedWriter::write(std::string_view bytes) {
  if (used_ + bytes.size() > kCapacity) {
    FS_RETURN_IF_ERROR(flush());
    if (bytes.size() >= kCapacity) return write_all(fd_, bytes);
  }
  std::memcpy(buf_ + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return {};
}

Status BufferedWriter::flush() {
  if (used_ == 0) return {};
  const size_t n = used_;
  used_ = 0;
  return write_all(fd_, std::span<const char>(buf_, n));
}

}  // namespace fennistock::tool
