#include "testing/lrs_encoder.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace fennistock::testing {
namespace {

constexpr size_t kMaxDistance = 4095;
constexpr size_t kMinLength = 2;
constexpr size_t kMaxLength = 17;
constexpr int kHashBits = 13;

uint32_t hash3(const uint8_t* p) {
  const uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

std::vector<uint8_t> lrs_encode(std::span<const uint8_t> bytes) {
  assert(bytes.size() <= UINT32_MAX);
  const size_t n = bytes.size();
  std::vector<uint8_t> out;
  out.reserve(4 + n + n / 8 + 1);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(n >> (8 * k)));

  // Latest position + 1 of each 3-byte hash (0: none).
  std::array<uint32_t, size_t{1} << kHashBits> head{};
  size_t flag_at = 0;
  unsigned bit = 0;  // 0: a new flag byte is due
  const auto token = [&](bool reference) {
    if (bit == 0) {
      flag_at = out.size();
      out.push_back(0);
      bit = 0x80;
    }
    if (reference) out[flag_at] = static_cast<uint8_t>(out[flag_at] | bit);
    bit >>= 1;
  };

  size_t i = 0;
  while (i < n) {
    size_t best_len = 0;
    size_t best_dist = 0;
    if (i + 3 <= n) {
      const uint32_t h = hash3(&bytes[i]);
      const size_t cand = head[h];
      head[h] = static_cast<uint32_t>(i + 1);
      if (cand != 0 && i - (cand - 1) <= kMaxDistance) {
        const size_t from = cand - 1;
        const size_t limit = std::min(kMaxLength, n - i);
        size_t len = 0;
        while (len < limit && bytes[from + len] == bytes[i + len]) ++len;
        best_len = len;
        best_dist = i - from;
      }
    }
    if (best_len >= kMinLength) {
      token(true);
      out.push_back(static_cast<uint8_t>(best_dist & 0xFF));
      out.push_back(static_cast<uint8_t>((best_dist >> 8) << 4 | (best_len - kMinLength)));
      // Index the covered positions too, so later matches can start inside this one.
      for (size_t k = i + 1; k < i + best_len && k + 3 <= n; ++k) head[hash3(&bytes[k])] = static_cast<uint32_t>(k + 1);
      i += best_len;
    } else {
      token(false);
      out.push_back(bytes[i++]);
    }
  }
  return out;
}

}  // namespace fennistock::testing
