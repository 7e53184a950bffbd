// IoError: an operating-system or end-of-data failure, as the lowest cause of an error chain.
#pragma once

#include <string>

namespace fennistock {

struct IoError {
  enum class Kind {
    kOs,            // an errno value from the system
    kUnexpectedEof, // a read ran past the end of the bytes or the file
    kInvalidSeek,   // a skip or seek whose target cannot be represented
  };
  Kind kind = Kind::kOs;
  int code = 0;  // errno, for kOs

  static IoError os(int errnum) { return IoError{Kind::kOs, errnum}; }
  static IoError unexpected_eof() { return IoError{Kind::kUnexpectedEof, 0}; }
  static IoError invalid_seek() { return IoError{Kind::kInvalidSeek, 0}; }

  // "No such file or directory (os error 2)", "failed to fill whole buffer", or
  // "invalid seek to a negative or overflowing position".
  [[nodiscard]] std::string message() const;
};

}  // namespace fennistock
