#include <gtest/gtest.h>

#include "fennistock/dat/lib.h"
#include "testing/archive_writer.h"
#include "testing/temp_file.h"

namespace fennistock::dat {
namespace {

std::vector<uint8_t> filled(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

// Chains whose blocks are out of order, or far apart, read the same bytes as consecutive ones.
TEST(ChainLayoutTest, BlocksInAnyOrderAndPlace) {
  constexpr uint32_t kBlock = 64;
  constexpr uint32_t kData = kBlock - 4;
  testing::ArchiveWriter w({.block_size = kBlock});
  const uint32_t x = w.write_chain(filled(kData, 0xAA)).front();
  const uint32_t y = w.write_chain(filled(kData, 0xBB)).front();
  const uint32_t z = w.write_chain(filled(kData, 0xCC)).front();
  for (int k = 0; k < 40; ++k) (void)w.write_chain(filled(kData, 0x00));  // distance
  const uint32_t far = w.write_chain(filled(kData, 0xDD)).front();
  // x -> z -> y, then y -> far (past any read-ahead of the first block's neighbours).
  w.patch_u32(x, z);
  w.patch_u32(z, y);
  w.patch_u32(y, far);
  w.add_entry({.bit_flags = 0, .id = 1, .offset = x, .size = 3 * kData, .timestamp = 0, .version = 0});
  w.add_entry({.bit_flags = 0, .id = 2, .offset = x, .size = 4 * kData, .timestamp = 0, .version = 0});
  // The last block (next word 0) reads the rest in one piece, past its own end.
  w.add_entry({.bit_flags = 0, .id = 3, .offset = far, .size = kData + 8, .timestamp = 0, .version = 0});
  const testing::TempFile file(w.build());
  auto db = DatDatabase::open(file.path());
  ASSERT_TRUE(db.ok()) << db.error().to_string();

  std::vector<uint8_t> want = filled(kData, 0xAA);
  for (uint8_t v : {0xCC, 0xBB}) {
    const auto part = filled(kData, v);
    want.insert(want.end(), part.begin(), part.end());
  }
  EXPECT_EQ(*db->get_file(1), want);
  const auto dd = filled(kData, 0xDD);
  want.insert(want.end(), dd.begin(), dd.end());
  EXPECT_EQ(*db->get_file(2), want);

  const auto rest = db->get_file(3);
  ASSERT_TRUE(rest.ok()) << rest.error().to_string();
  EXPECT_EQ(rest->size(), kData + 8);
  EXPECT_EQ((*rest)[kData - 1], 0xDD);
}

}  // namespace
}  // namespace fennistock::dat
