// Error: the tool's general failure value, a message with the chain of causes below it.
//
// The chain is kept innermost first: the lowest cause (often an operating-system message) at the
// front, each context a caller added on the way out appended behind it. The error report prints
// the outermost message first.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fennistock/common/io_error.h"
#include "fennistock/common/result.h"

namespace fennistock {

class [[nodiscard]] Error {
 public:
  explicit Error(std::string message) : chain_{std::move(message)} {}
  // From causes listed innermost first. REQUIRES: !chain.empty().
  static Error from_chain(std::vector<std::string> chain);
  static Error from_io(const IoError& io) { return Error(io.message()); }

  // Adds an outer context message.
  Error&& context(std::string message) && {
    chain_.push_back(std::move(message));
    return std::move(*this);
  }
  Error& context(std::string message) & {
    chain_.push_back(std::move(message));
    return *this;
  }

  // Innermost first.
  const std::vector<std::string>& chain() const { return chain_; }
  // The outermost message.
  const std::string& message() const { return chain_.back(); }

 private:
  Error() = default;
  std::vector<std::string> chain_;
};

template <typename T>
using ResultOr = Result<T, Error>;
using Status = Result<void, Error>;

// The entry point's report of a failed run: "Error: " and the outermost message; when there are
// causes, a blank line, "Caused by:", and the causes outermost first. A single cause is indented
// four spaces; two or more are numbered from 0, right-aligned in five columns ("    0: "), and the
// continuation lines of a multi-line cause are indented to the same column. Ends with a line feed.
[[nodiscard]] std::string format_error_report(const Error& error);

}  // namespace fennistock
