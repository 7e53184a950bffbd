#include "landblock_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <fmt/format.h>

#include "fennistock/common/io_error.h"

namespace fennistock::tool {
namespace {

constexpr std::string_view kOutOfRange = "out of range integral type conversion attempted";

// The UTF-8 encodings of the White_Space characters above U+007F.
constexpr std::string_view kWideWhiteSpace[] = {
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004",
    "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029",
    "\u202F", "\u205F", "\u3000",
};

bool is_ascii_white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The length of the white space character `text` starts with, or 0.
size_t leading_white_space(std::string_view text) {
  if (text.empty()) return 0;
  if (is_ascii_white_space(text.front())) return 1;
  for (const std::string_view ws : kWideWhiteSpace) {
    if (text.starts_with(ws)) return ws.size();
  }
  return 0;
}

// The length of the white space character `text` ends with, or 0.
size_t trailing_white_space(std::string_view text) {
  if (text.empty()) return 0;
  if (is_ascii_white_space(text.back())) return 1;
  for (const std::string_view ws : kWideWhiteSpace) {
    if (text.ends_with(ws)) return ws.size();
  }
  return 0;
}

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The base-16 reading of `digits`, or the cause text of the first problem from the left.
Result<uint32_t, std::string_view> read_hex_digits(std::string_view digits) {
  if (digits.empty()) return std::string_view("cannot parse integer from empty string");
  // A lone "+" is a bad digit, not an empty number.
  if (digits.front() == '+' && digits.size() > 1) digits.remove_prefix(1);
  uint32_t value = 0;
  for (const char c : digits) {
    const int digit = hex_digit_value(c);
    if (digit < 0) return std::string_view("invalid digit found in string");
    if (value > (UINT32_MAX >> 4)) return std::string_view("number too large to fit in target type");
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

// "0x" + upper-case digits without leading zeros.
std::string hex(uint32_t value) { return fmt::format("0x{:X}", value); }

Result<std::vector<uint16_t>, Error> expand_single(std::string_view spec) {
  FS_TRY(const uint32_t id, parse_hex_u32(spec));
  if (id > 0xFFFF) {
    return Error(std::string(kOutOfRange))
        .context(fmt::format("landblock id `{}` is wider than 16 bits", spec));
  }
  return std::vector<uint16_t>{static_cast<uint16_t>(id)};
}

Result<std::vector<uint16_t>, Error> expand_rectangle(std::string_view spec, size_t dots) {
  FS_TRY(const uint32_t lo, parse_hex_u32(spec.substr(0, dots)));
  FS_TRY(const uint32_t hi, parse_hex_u32(spec.substr(dots + 2)));
  if (hi < lo) {
    return Error(fmt::format("--landblocks range high `{}` is below low `{}`", hex(hi), hex(lo)));
  }
  for (const uint32_t bound : {lo, hi}) {
    if (bound > 0xFFFF) {
      return Error(std::string(kOutOfRange))
          .context(fmt::format("range bound `{}` is wider than 16 bits", hex(bound)));
    }
  }
  const uint32_t lo_x = lo >> 8, lo_y = lo & 0xFF, hi_x = hi >> 8, hi_y = hi & 0xFF;
  if (hi_x < lo_x || hi_y < lo_y) {
    return Error(fmt::format("--landblocks rectangle: hi=({},{}) must dominate lo=({},{})", hex(hi_x),
                             hex(hi_y), hex(lo_x), hex(lo_y)));
  }
  std::vector<uint16_t> ids;
  ids.reserve((hi_x - lo_x + 1) * (hi_y - lo_y + 1));  // at most 65536
  for (uint32_t x = lo_x; x <= hi_x; ++x) {
    for (uint32_t y = lo_y; y <= hi_y; ++y) ids.push_back(static_cast<uint16_t>(x << 8 | y));
  }
  return ids;
}

// The whole file as text, or the cause of the failure.
Result<std::string, Error> read_text_file(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Error::from_io(IoError::os(errno));
  std::string text;
  char buf[64 * 1024];
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return Error::from_io(IoError::os(err));
    }
    if (n == 0) break;
    if (static_cast<size_t>(n) > kMaxLandblockListBytes - text.size()) {
      ::close(fd);
      return Error(fmt::format("file is larger than the limit of {} bytes", kMaxLandblockListBytes));
    }
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!is_valid_utf8(text)) return Error("stream did not contain valid UTF-8");
  return text;
}

Result<std::vector<uint16_t>, Error> expand_list_file(std::string_view path) {
  const std::string path_text(path);
  FS_TRY_CTX(const std::string text, read_text_file(path_text),
             fmt::format("read landblock list `{}`", path_text));
  std::vector<uint16_t> ids;
  std::string_view rest = text;
  for (size_t line_no = 1; !rest.empty(); ++line_no) {
    const size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    if (nl == std::string_view::npos) {
      rest = {};
    } else {
      rest.remove_prefix(nl + 1);
      if (line.ends_with('\r')) line.remove_suffix(1);
    }
    line = trim_white_space(line);
    if (line.empty() || line.front() == '#') continue;
    FS_TRY_CTX(const uint32_t id, parse_hex_u32(line),
               fmt::format("landblock list `{}` line {}", path_text, line_no));
    if (id > 0xFFFF) {
      return Error(std::string(kOutOfRange))
          .context(fmt::format("landblock id `{}` is wider than 16 bits — expected packed key", line));
    }
    ids.push_back(static_cast<uint16_t>(id));
  }
  return ids;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<uint8_t>(text[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp, min;
    if ((b0 & 0xE0) == 0xC0) {
      len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
      return false;  // a continuation byte or 0xF8-0xFF where a character must start
    }
    if (text.size() - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto b = static_cast<uint8_t>(text[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = cp << 6 | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

std::string_view trim_white_space(std::string_view text) {
  while (const size_t n = leading_white_space(text)) text.remove_prefix(n);
  while (const size_t n = trailing_white_space(text)) text.remove_suffix(n);
  return text;
}

Result<uint32_t, Error> parse_hex_u32(std::string_view text) {
  const std::string_view trimmed = trim_white_space(text);
  std::string_view rest = trimmed;
  while (rest.starts_with("0x")) rest.remove_prefix(2);
  while (rest.starts_with("0X")) rest.remove_prefix(2);
  auto value = read_hex_digits(rest);
  if (!value.ok()) {
    return Error(std::string(value.error())).context(fmt::format("parse hex u32 `{}`", trimmed));
  }
  return *value;
}

Result<std::vector<uint16_t>, Error> expand_landblocks(std::string_view spec) {
  const std::string_view p = trim_white_space(spec);
  // The list file comes first, so its path may contain "..".
  if (p.starts_with('@')) return expand_list_file(p.substr(1));
  if (const size_t dots = p.find(".."); dots != std::string_view::npos) return expand_rectangle(p, dots);
  return expand_single(p);
}

}  // namespace fennistock::tool
