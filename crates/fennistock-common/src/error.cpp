#include "fennistock/common/error.h"

#include <fmt/format.h>

#include <cassert>
#include <cstring>
#include <string_view>

namespace fennistock {

std::string IoError::message() const {
  switch (kind) {
    case Kind::kUnexpectedEof:
      return "failed to fill whole buffer";
    case Kind::kInvalidSeek:
      return "invalid seek to a negative or overflowing position";
    case Kind::kOs:
      break;
  }
  char buf[256];
  // GNU strerror_r returns a pointer to the text, which may or may not be buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return fmt::format("{} (os error {})", text, code);
}

Error Error::from_chain(std::vector<std::string> chain) {
  assert(!chain.empty());
  Error e;
  e.chain_ = std::move(chain);
  return e;
}

namespace {

// Appends text, indenting every line after the first by `indent` spaces.
void append_indented(std::string& out, std::string_view text, size_t indent) {
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t nl = text.find('\n', start);
    const std::string_view line = text.substr(start, nl == std::string_view::npos ? nl : nl - start);
    if (!first) {
      out.push_back('\n');
      out.append(indent, ' ');
    }
    out.append(line);
    first = false;
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
}

}  // namespace

std::string format_error_report(const Error& error) {
  const std::vector<std::string>& chain = error.chain();
  std::string out = "Error: ";
  append_indented(out, chain.back(), 0);
  out.push_back('\n');
  if (chain.size() == 1) return out;
  out += "\nCaused by:\n";
  const size_t causes = chain.size() - 1;
  for (size_t k = 0; k < causes; ++k) {
    const std::string& cause = chain[causes - 1 - k];  // outermost cause first
    if (causes == 1) {
      out += "    ";
      append_indented(out, cause, 4);
    } else {
      out += fmt::format("{:>5}: ", k);
      append_indented(out, cause, 7);
    }
    out.push_back('\n');
  }
  return out;
}

}  // namespace fennistock
