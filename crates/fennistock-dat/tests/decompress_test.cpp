#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fennistock/dat/utils.h"

namespace fennistock::dat {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(DecompressLrsTest, HandBuiltStreams) {
  struct Case {
    const char* name;
    Bytes input;
    Bytes output;
  };
  const Case kCases[] = {
      // Two literals, then distance 2 length 3, stopping once 5 bytes exist.
      {"worked example", {0x05, 0, 0, 0, 0x20, 0x61, 0x62, 0x02, 0x01}, {0x61, 0x62, 0x61, 0x62, 0x61}},
      {"empty input", {}, {}},
      {"shorter than the length word", {0x01, 0x02, 0x03}, {0x01, 0x02, 0x03}},
      {"length word 0", {0, 0, 0, 0, 0x00, 'a', 'b'}, {}},
      {"no token stream", {0x05, 0, 0, 0}, {}},
      {"eight literals then the next flag byte",
       {0x0A, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 'i', 'j'},
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}},
      {"distance 0 ends the stream", {0x0A, 0, 0, 0, 0x40, 'a', 0x00, 0x05, 'b', 'c'}, {'a'}},
      {"reference longer than the output still missing",
       {0x04, 0, 0, 0, 0x40, 'a', 0x01, 0x0F, 'z'}, {'a', 'a', 'a', 'a'}},
      {"distance 1 repeats the last byte", {0x06, 0, 0, 0, 0x20, 'a', 'b', 0x01, 0x02}, {'a', 'b', 'b', 'b', 'b', 'b'}},
      // Distance 5 with 2 bytes out: the index L - min(L, 5) stays at the first byte.
      {"distance beyond the output copies the first byte",
       {0x10, 0, 0, 0, 0x20, 'a', 'b', 0x05, 0x02}, {'a', 'b', 'a', 'a', 'a', 'a'}},
      {"ends right after a flag byte", {0x10, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00},
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
      {"ends after the first byte of a reference", {0x10, 0, 0, 0, 0x40, 'a', 0x01}, {'a'}},
      {"ends inside a group of literals", {0x10, 0, 0, 0, 0x00, 'a', 'b'}, {'a', 'b'}},
      // No byte to copy yet: decoding stops rather than reading outside the output.
      {"reference into empty output", {0x05, 0, 0, 0, 0x80, 0x01, 0x00, 'x'}, {}},
      {"reference into empty output, long", {0x05, 0, 0, 0, 0x80, 0xFF, 0xFF, 'x'}, {}},
      // A lying length word near 4 GiB does not make the output longer than the stream gives.
      {"huge length word", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 'a', 'b', 'c'}, {'a', 'b', 'c'}},
      {"huge length word, references", {0xFF, 0xFF, 0xFF, 0xFF, 0x40, 'a', 0x01, 0x0F},
       Bytes(18, 'a')},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decompress_lrs(c.input), c.output);
  }
}

// The top nibble of the second byte supplies bits 8 to 11 of the distance.
TEST(DecompressLrsTest, TwelveBitDistance) {
  Bytes literals;
  Bytes input = {0x02, 0x10, 0, 0};  // 0x1002 = 4098 bytes
  for (int g = 0; g < 512; ++g) {
    input.push_back(0x00);
    for (int k = 0; k < 8; ++k) {
      const auto b = static_cast<uint8_t>((g * 8 + k) * 7 + (g * 8 + k) / 256);
      input.push_back(b);
      literals.push_back(b);
    }
  }
  input.insert(input.end(), {0x80, 0xFF, 0xF0});  // distance 0xFFF, length 2
  const Bytes out = decompress_lrs(input);
  ASSERT_EQ(out.size(), 4098u);
  EXPECT_TRUE(std::equal(literals.begin(), literals.end(), out.begin()));
  EXPECT_EQ(out[4096], literals[4096 - 4095]);
  EXPECT_EQ(out[4097], literals[4097 - 4095]);

  const Bytes near = concat({Bytes{0x03, 0x01, 0, 0}, Bytes(input.begin() + 4, input.begin() + 4 + 9 * 32),
                             Bytes{0x80, 0x00, 0x11}});  // distance 0x100, length 3
  const Bytes out2 = decompress_lrs(near);
  ASSERT_EQ(out2.size(), 0x103u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(out2[0x100 + k], literals[k]);
}

}  // namespace
}  // namespace fennistock::dat
