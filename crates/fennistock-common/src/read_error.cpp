#include "fennistock/common/read_error.h"

#include <fmt/format.h>

namespace fennistock {

ReadError ReadError::io(IoError io) {
  ReadError e;
  e.io_ = io;
  return e;
}

ReadError ReadError::failed_check(uint64_t position, std::string message) {
  ReadError e;
  e.check_ = true;
  e.position_ = position;
  e.check_message_ = std::move(message);
  return e;
}

ReadError::Kind ReadError::kind() const {
  if (!frames_.empty()) return Kind::kWithContext;
  return check_ ? Kind::kFailedCheck : Kind::kIo;
}

std::string ReadError::underlying_message() const {
  if (check_) return fmt::format("{} at 0x{:X}", check_message_, position_);
  return io_.message();
}

std::string ReadError::to_string() const {
  std::string out = underlying_message();
  for (size_t k = 0; k < frames_.size(); ++k) {
    const ContextFrame& f = frames_[k];
    out += fmt::format("\n {}: {}\n     at {}:{}", k, f.message, f.module, f.line);
  }
  return out;
}

}  // namespace fennistock
