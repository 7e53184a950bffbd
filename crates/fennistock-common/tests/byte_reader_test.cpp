#include "fennistock/common/byte_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "fennistock/common/math.h"

namespace fennistock {
namespace {

TEST(ByteReaderTest, ReadsLittleEndianAndFailsAtTheEnd) {
  const std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  ByteReader in(bytes);
  EXPECT_EQ(*in.u16(), 0x0201);
  EXPECT_EQ(*in.u32(), 0x06050403u);
  const auto r = in.u16();
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.error().is_unexpected_eof());
  EXPECT_EQ(r.error().to_string(), "failed to fill whole buffer");
  EXPECT_EQ(in.position(), 7u);
}

TEST(ByteReaderTest, AlignmentStep) {
  const std::vector<uint8_t> bytes(16);
  struct Case { uint64_t from, to; };
  for (const Case c : {Case{8, 8}, Case{9, 12}, Case{10, 12}, Case{11, 12}, Case{0, 0}, Case{15, 16}}) {
    ByteReader in(bytes);
    ASSERT_TRUE(in.skip(c.from).ok());
    ASSERT_TRUE(in.align4().ok());
    EXPECT_EQ(in.position(), c.to) << c.from;
  }
}

TEST(ByteReaderTest, SkipPastEndIsNotAnErrorButOverflowIs) {
  const std::vector<uint8_t> bytes(4);
  ByteReader in(bytes);
  ASSERT_TRUE(in.skip(10).ok());
  EXPECT_EQ(in.remaining(), 0u);
  EXPECT_FALSE(in.u8().ok());
  const auto r = in.skip(UINT64_MAX);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().to_string(), "invalid seek to a negative or overflowing position");
}

TEST(MathRecordsTest, NestedFailureCarriesBothContextsInnermostFirst) {
  // A Plane whose normal ends inside y.
  const std::vector<uint8_t> bytes = {0, 0, 0x80, 0x3F, 0, 0};
  ByteReader in(bytes);
  const auto r = read_plane(in);
  ASSERT_FALSE(r.ok());
  ASSERT_EQ(r.error().frames().size(), 2u);
  EXPECT_EQ(r.error().frames()[0].message, "While parsing field 'y' in Vector3");
  EXPECT_EQ(r.error().frames()[1].message, "While parsing field 'normal' in Plane");
  EXPECT_EQ(r.error().frames()[0].module, "crates/fennistock-common/src/math");
  EXPECT_EQ(r.error().kind(), ReadError::Kind::kWithContext);
}

TEST(MathRecordsTest, QuaternionIsStoredWFirstAndKeepsBits) {
  const uint32_t nan_bits = 0x7FC01234;
  std::vector<uint8_t> bytes;
  for (uint32_t w : {0x3F800000u, 0u, nan_bits, 0x80000000u})
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(w >> (8 * k)));
  ByteReader in(bytes);
  const auto q = read_quaternion(in);
  ASSERT_TRUE(q.ok());
  EXPECT_EQ(q->w, 1.0f);
  EXPECT_EQ(std::bit_cast<uint32_t>(q->y), nan_bits);
  EXPECT_EQ(std::bit_cast<uint32_t>(q->z), 0x80000000u);
  EXPECT_EQ(in.position(), 16u);
}

}  // namespace
}  // namespace fennistock
