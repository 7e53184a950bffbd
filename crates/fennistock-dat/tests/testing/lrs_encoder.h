// lrs_encode: the compressor twin of decompress_lrs, for tests, the sample world and benchmarks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace fennistock::testing {

// The stored form of a compressed record: the u32 length of `bytes`, then a token stream of
// literals and back-references (distance 1 to 4095, length 2 to 17) under flag bytes, most
// significant bit first. A greedy matcher with one candidate per 3-byte hash: fast, not tight.
// decompress_lrs of the result gives `bytes` back. REQUIRES: bytes.size() < 4 GiB.
std::vector<uint8_t> lrs_encode(std::span<const uint8_t> bytes);

}  // namespace fennistock::testing
