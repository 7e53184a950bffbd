// ReadError: the failure of a record reader or primitive reader.
//
// It says what went wrong (an I/O failure such as the end of the bytes, or a failed check at a
// position) and carries the context frames that the readers added on the way out, innermost
// first: one frame per record field that was being read when the failure happened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fennistock/common/io_error.h"
#include "fennistock/common/result.h"

namespace fennistock {

// One context frame: "While parsing field '{field}' in {record}", the source module of the
// reader that added it (such as "crates/fennistock-dat/src/landblock") and a line within it.
struct ContextFrame {
  std::string message;
  std::string_view module;
  uint32_t line = 0;
};

class [[nodiscard]] ReadError {
 public:
  enum class Kind { kIo, kFailedCheck, kWithContext };

  static ReadError io(IoError io);
  static ReadError unexpected_eof() { return io(IoError::unexpected_eof()); }
  // A failed check: a message about the record and the reader position where it was found.
  static ReadError failed_check(uint64_t position, std::string message);

  // Adds an outer frame.
  ReadError&& context(ContextFrame frame) && {
    frames_.push_back(std::move(frame));
    return std::move(*this);
  }

  // kWithContext as soon as any frame was added; otherwise the kind of the underlying failure.
  Kind kind() const;
  // The underlying failure's kind, ignoring frames.
  bool is_io() const { return !check_; }
  bool is_unexpected_eof() const { return !check_ && io_.kind == IoError::Kind::kUnexpectedEof; }
  const IoError& io_error() const { return io_; }
  uint64_t position() const { return position_; }
  const std::string& check_message() const { return check_message_; }
  const std::vector<ContextFrame>& frames() const { return frames_; }  // innermost first

  // The underlying failure alone: "failed to fill whole buffer", or for a failed check
  // "{message} at 0x{position:X}".
  [[nodiscard]] std::string underlying_message() const;
  // The whole error: the underlying message, then one line per frame, innermost first:
  //  " {k}: {message}\n     at {module}:{line}".
  [[nodiscard]] std::string to_string() const;

 private:
  ReadError() = default;
  bool check_ = false;
  IoError io_;
  uint64_t position_ = 0;
  std::string check_message_;
  std::vector<ContextFrame> frames_;
};

template <typename T>
using ReadResult = Result<T, ReadError>;

}  // namespace fennistock

namespace fennistock {
// The frame "While parsing field '{field}' in {record}" of a reader in `module` at `line`.
inline ContextFrame field_frame(std::string_view field, std::string_view record, std::string_view module,
                                uint32_t line) {
  std::string message = "While parsing field '";
  message.append(field).append("' in ").append(record);
  return ContextFrame{std::move(message), module, line};
}
}  // namespace fennistock

// FS_FIELD("y", "Vector3"): the context frame for a field of a record, naming the reader's
// module (a `kModule` string_view in scope) and the current line. Used as the ctx of FS_TRY_CTX.
#define FS_FIELD(field, record) ::fennistock::field_frame((field), (record), kModule, __LINE__)
