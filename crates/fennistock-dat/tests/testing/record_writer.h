// RecordWriter: the writing twin of ByteReader, for building record bytes in tests, the sample
// world and the benchmarks. Little-endian; every method appends and returns *this.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace fennistock::testing {

class RecordWriter {
 public:
  RecordWriter& u8(uint8_t v) { bytes_.push_back(v); return *this; }
  RecordWriter& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  RecordWriter& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
  RecordWriter& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  RecordWriter& u64(uint64_t v) { return u32(static_cast<uint32_t>(v)).u32(static_cast<uint32_t>(v >> 32)); }
  RecordWriter& f32(float v) { return u32(std::bit_cast<uint32_t>(v)); }
  RecordWriter& f64(double v) { return u64(std::bit_cast<uint64_t>(v)); }
  RecordWriter& bytes(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); return *this; }
  RecordWriter& zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); return *this; }
  // A text with a 16-bit length (bytes as given, no encoding applied), without alignment.
  RecordWriter& pstring16(std::string_view s) {
    u16(static_cast<uint16_t>(s.size()));
    for (char c : s) u8(static_cast<uint8_t>(c));
    return *this;
  }
  // Zero bytes up to the next multiple of 4 of the record's length.
  RecordWriter& align4() { while (bytes_.size() % 4 != 0) u8(0); return *this; }
  // A 16-bit-length text followed by the alignment step, as the Region record stores its texts.
  RecordWriter& text(std::string_view s) { return pstring16(s).align4(); }
  // The compressed count encoding (1, 2 or 4 bytes). REQUIRES: v <= 0x3FFFFFFF.
  RecordWriter& compressed_u32(uint32_t v) {
    if (v <= 0x7F) return u8(static_cast<uint8_t>(v));
    if (v <= 0x3FFF) return u8(static_cast<uint8_t>(0x80 | v >> 8)).u8(static_cast<uint8_t>(v));
    return u8(static_cast<uint8_t>(0xC0 | v >> 24)).u8(static_cast<uint8_t>(v >> 16)).u16(static_cast<uint16_t>(v));
  }

  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& view() const { return bytes_; }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace fennistock::testing
