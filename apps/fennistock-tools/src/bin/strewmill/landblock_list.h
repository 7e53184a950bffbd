// The user's hexadecimal ids and the landblock list of --landblocks.
//
// A landblock id is 16 bits, 0xXXYY: the column X in the high byte, the row Y in the low byte.
// The list keeps the order and the duplicates of what was asked for; it is the visiting order
// of the run.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "fennistock/common/error.h"

namespace fennistock::tool {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view text);

// `text` without its leading and trailing Unicode White_Space characters (U+0009-U+000D,
// U+0020, U+0085, U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000),
// each matched by its UTF-8 encoding.
[[nodiscard]] std::string_view trim_white_space(std::string_view text);

// Reads a hexadecimal id: trimmed, then every leading "0x" and after those every leading "0X"
// removed, then one optional "+", then hex digits (any number of leading zeros). Fails with
// "parse hex u32 `{trimmed text}`" caused by "cannot parse integer from empty string",
// "invalid digit found in string" or "number too large to fit in target type", whichever
// problem comes first from the left.
[[nodiscard]] Result<uint32_t, Error> parse_hex_u32(std::string_view text);

// Expands a --landblocks value: "@<path>" reads a list file (one id a line, blank lines and
// lines starting with "#" skipped), "<lo>..<hi>" is the inclusive rectangle between two ids
// (column-major: X outer, Y inner, both ascending), anything else is a single id.
[[nodiscard]] Result<std::vector<uint16_t>, Error> expand_landblocks(std::string_view spec);

// The largest list file read; beyond it the read fails rather than filling memory (a device
// such as /dev/zero never ends).
inline constexpr size_t kMaxLandblockListBytes = size_t{64} << 20;

}  // namespace fennistock::tool
