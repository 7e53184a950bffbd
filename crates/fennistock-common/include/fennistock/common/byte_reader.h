// ByteReader: a cursor over a record's borrowed little-endian bytes.
//
// The position starts at 0 on the record's first byte. Every read checks the remaining bytes
// first and fails with the end-of-data error; a skip or alignment may move the position past the
// end (the next read then fails). REQUIRES: the bytes outlive the reader.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "fennistock/common/read_error.h"

namespace fennistock {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint64_t position() const { return pos_; }
  size_t size() const { return bytes_.size(); }
  size_t remaining() const { return pos_ >= bytes_.size() ? 0 : bytes_.size() - static_cast<size_t>(pos_); }

  // The next n bytes; on shortage the position moves to the end and the read fails.
  ReadResult<std::span<const uint8_t>> take(size_t n) {
    if (n > remaining()) {
      if (pos_ < bytes_.size()) pos_ = bytes_.size();
      return ReadError::unexpected_eof();
    }
    const auto out = bytes_.subspan(static_cast<size_t>(pos_), n);
    pos_ += n;
    return out;
  }

  ReadResult<uint8_t> u8() {
    if (remaining() < 1) return short_read();
    return bytes_[pos_++];
  }
  ReadResult<uint16_t> u16() {
    if (remaining() < 2) return short_read();
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += 2;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  ReadResult<uint32_t> u32() {
    if (remaining() < 4) return short_read();
    const uint32_t v = load_u32(bytes_.data() + pos_);
    pos_ += 4;
    return v;
  }
  ReadResult<int32_t> i32() {
    FS_TRY(const uint32_t v, u32());
    return static_cast<int32_t>(v);
  }
  ReadResult<uint64_t> u64() {
    if (remaining() < 8) return short_read();
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += 8;
    return uint64_t{load_u32(p)} | uint64_t{load_u32(p + 4)} << 32;
  }
  ReadResult<float> f32() {
    FS_TRY(const uint32_t v, u32());
    return std::bit_cast<float>(v);
  }
  ReadResult<double> f64() {
    FS_TRY(const uint64_t v, u64());
    return std::bit_cast<double>(v);
  }

  // Moves the position n bytes on without reading them.
  Result<void, ReadError> skip(uint64_t n) {
    if (n > UINT64_MAX - pos_) return ReadError::io(IoError::invalid_seek());
    pos_ += n;
    return {};
  }
  // The alignment step: to the next multiple of 4 unless already on one.
  Result<void, ReadError> align4() { return skip((4 - pos_ % 4) % 4); }

  static uint32_t load_u32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }

 private:
  ReadError short_read() {
    pos_ = bytes_.size() > pos_ ? bytes_.size() : pos_;
    return ReadError::unexpected_eof();
  }

  std::span<const uint8_t> bytes_;
  uint64_t pos_ = 0;
};

}  // namespace fennistock
