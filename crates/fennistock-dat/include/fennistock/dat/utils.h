// The primitive field readers shared by every record reader, and the record decompressor.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fennistock/common/byte_reader.h"

namespace fennistock::dat {

// A length-prefixed text: the length is a u8, u16 or u32 (length_size 1, 2 or 4), then that many
// bytes decoded by their byte-order mark (UTF-8 EF BB BF, UTF-16LE FF FE, UTF-16BE FE FF; the mark
// dropped) or else as Windows-1252; malformed sequences become U+FFFD. The result is UTF-8.
// Fails with the failed check "Unsupported PString length size" (nothing read) for another
// length_size, or with the end-of-data error. Does not align.
ReadResult<std::string> read_pstring(ByteReader& in, int length_size);

// The compressed count: 1 byte (top bit clear), 2 bytes (bit 6 clear) or 4 bytes
// ((b0 & 0x3F) << 24 | b1 << 16 | the following little-endian u16).
ReadResult<uint32_t> read_compressed_u32(ByteReader& in);

// A compressed count, then that many u32 values. Reserves no more than the bytes can hold.
ReadResult<std::vector<uint32_t>> read_smart_vec(ByteReader& in);

// Decodes a compressed record: a u32 uncompressed length, then the flag-byte token stream.
// Never fails and never produces more than the stated length; malformed input ends decoding early
// with what was produced so far.
[[nodiscard]] std::vector<uint8_t> decompress_lrs(std::span<const uint8_t> input);

}  // namespace fennistock::dat
