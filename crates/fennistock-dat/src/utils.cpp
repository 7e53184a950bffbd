#include "fennistock/dat/utils.h"

#include <algorithm>
#include <array>

namespace fennistock::dat {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Windows-1252 as the WHATWG Encoding Standard defines it: 0x80..0x9F per its index (the five
// holes 0x81, 0x8D, 0x8F, 0x90, 0x9D map to the C1 controls of the same value), every other byte
// to the code point of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

std::string decode_windows_1252(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const uint8_t b : bytes) {
    append_utf8(out, b >= 0x80 && b < 0xA0 ? char32_t{kCp1252High[b - 0x80]} : char32_t{b});
  }
  return out;
}

// UTF-8 with one U+FFFD per maximal ill-formed subpart: a sequence is cut where its next byte
// leaves the well-formed ranges, and that byte is then read afresh as a possible lead byte.
std::string decode_utf8(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  char32_t cp = 0;
  int needed = 0;
  int seen = 0;
  uint8_t lower = 0x80;
  uint8_t upper = 0xBF;
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t b = bytes[i];
    if (needed == 0) {
      ++i;
      if (b < 0x80) {
        out.push_back(static_cast<char>(b));
      } else if (b >= 0xC2 && b <= 0xDF) {
        needed = 1;
        cp = b & 0x1F;
      } else if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0) lower = 0xA0;  // no overlong forms
        if (b == 0xED) upper = 0x9F;  // no surrogates
        needed = 2;
        cp = b & 0x0F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0) lower = 0x90;
        if (b == 0xF4) upper = 0x8F;  // nothing above U+10FFFF
        needed = 3;
        cp = b & 0x07;
      } else {
        append_utf8(out, kReplacement);
      }
      continue;
    }
    if (b < lower || b > upper) {
      // The sequence so far is one ill-formed subpart; b is not consumed.
      needed = seen = 0;
      lower = 0x80;
      upper = 0xBF;
      append_utf8(out, kReplacement);
      continue;
    }
    ++i;
    lower = 0x80;
    upper = 0xBF;
    cp = cp << 6 | (b & 0x3F);
    if (++seen == needed) {
      append_utf8(out, cp);
      needed = seen = 0;
    }
  }
  if (needed != 0) append_utf8(out, kReplacement);
  return out;
}

// UTF-16 of either byte order. An unpaired surrogate becomes U+FFFD (a lead surrogate followed by
// a non-trail unit yields U+FFFD and that unit is decoded normally); an odd trailing byte or a
// lead surrogate at the end yields a single U+FFFD.
std::string decode_utf16(std::span<const uint8_t> bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size());
  char16_t lead = 0;
  const size_t pairs = bytes.size() / 2;
  for (size_t k = 0; k < pairs; ++k) {
    const uint8_t b0 = bytes[2 * k];
    const uint8_t b1 = bytes[2 * k + 1];
    const char16_t unit = static_cast<char16_t>(big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    const bool is_lead = unit >= 0xD800 && unit <= 0xDBFF;
    const bool is_trail = unit >= 0xDC00 && unit <= 0xDFFF;
    if (lead != 0) {
      if (is_trail) {
        append_utf8(out, 0x10000 + ((char32_t{lead} - 0xD800) << 10) + (unit - 0xDC00));
        lead = 0;
        continue;
      }
      append_utf8(out, kReplacement);
      lead = 0;
    }
    if (is_lead) {
      lead = unit;
    } else if (is_trail) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  if (lead != 0 || bytes.size() % 2 != 0) append_utf8(out, kReplacement);
  return out;
}

std::string decode_text(std::span<const uint8_t> b) {
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return decode_utf8(b.subspan(3));
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return decode_utf16(b.subspan(2), false);
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return decode_utf16(b.subspan(2), true);
  return decode_windows_1252(b);
}

}  // namespace

ReadResult<std::string> read_pstring(ByteReader& in, int length_size) {
  uint32_t length = 0;
  switch (length_size) {
    case 1: {
      FS_TRY(length, in.u8());
      break;
    }
    case 2: {
      FS_TRY(length, in.u16());
      break;
    }
    case 4: {
      FS_TRY(length, in.u32());
      break;
    }
    default:
      return ReadError::failed_check(in.position(), "Unsupported PString length size");
  }
  if (length == 0) return std::string();
  FS_TRY(const std::span<const uint8_t> bytes, in.take(length));
  return decode_text(bytes);
}

ReadResult<uint32_t> read_compressed_u32(ByteReader& in) {
  FS_TRY(const uint8_t b0, in.u8());
  if ((b0 & 0x80) == 0) return uint32_t{b0};
  FS_TRY(const uint8_t b1, in.u8());
  if ((b0 & 0x40) == 0) return uint32_t{b0 & 0x3Fu} << 8 | b1;
  FS_TRY(const uint16_t w, in.u16());
  return uint32_t{b0 & 0x3Fu} << 24 | uint32_t{b1} << 16 | w;
}

ReadResult<std::vector<uint32_t>> read_smart_vec(ByteReader& in) {
  FS_TRY(const uint32_t count, read_compressed_u32(in));
  std::vector<uint32_t> out;
  // A corrupt count must end at the real end of the bytes, not in a huge reservation.
  out.reserve(std::min<size_t>(count, in.remaining() / 4));
  for (uint32_t k = 0; k < count; ++k) {
    FS_TRY(const uint32_t v, in.u32());
    out.push_back(v);
  }
  return out;
}

std::vector<uint8_t> decompress_lrs(std::span<const uint8_t> input) {
  if (input.size() < 4) return std::vector<uint8_t>(input.begin(), input.end());
  const uint32_t expected = ByteReader::load_u32(input.data());
  if (expected == 0) return {};
  const std::span<const uint8_t> src = input.subspan(4);
  const size_t n = src.size();
  // Every input byte yields at most 8 output bytes (a flag byte and eight 2-byte references give
  // 8 x 17 bytes from 17), so a lying length word cannot make us allocate beyond that.
  const size_t cap = static_cast<size_t>(std::min<uint64_t>(expected, uint64_t{n} * 8));
  std::vector<uint8_t> out(cap);
  uint8_t* const o = out.data();
  size_t len = 0;
  size_t i = 0;
  unsigned mask = 0;
  unsigned flags = 0;
  while (i < n) {
    if (mask == 0) {
      flags = src[i++];
      mask = 0x80;
    }
    if ((flags & mask) != 0) {
      if (i + 1 >= n) break;
      const unsigned lo = src[i];
      const unsigned hi = src[i + 1];
      const size_t distance = lo | (hi & 0xF0) << 4;
      const size_t length = (hi & 0x0F) + 2;
      if (distance == 0) break;  // end marker
      // A reference before any output has no byte to copy: the stream is damaged and decoding
      // stops here with the (empty) output, rather than reading outside it.
      if (len == 0) break;
      i += 2;
      const size_t end = std::min(cap, len + length);
      if (distance <= len) {
        // Byte by byte: a distance shorter than the length repeats the last `distance` bytes.
        for (; len < end; ++len) o[len] = o[len - distance];
      } else {
        // Reaching back past the first byte copies the first byte, until the output has grown
        // far enough for the distance to fit.
        for (; len < end; ++len) o[len] = o[len - std::min(len, distance)];
      }
    } else {
      if (i >= n) break;  // the flag byte was the last input byte
      o[len++] = src[i++];
    }
    if (len == cap) break;
    mask >>= 1;
  }
  out.resize(len);
  return out;
}

}  // namespace fennistock::dat
