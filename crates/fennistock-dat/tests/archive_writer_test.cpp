#include "testing/archive_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fennistock/common/byte_reader.h"
#include "fennistock/dat/lib.h"
#include "fennistock/dat/utils.h"
#include "testing/lrs_encoder.h"
#include "testing/temp_file.h"

namespace fennistock::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using dat::DatDatabase;

Bytes noise(size_t n, uint32_t seed) {
  Bytes b(n);
  for (uint8_t& v : b) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<uint8_t>(seed >> 24);
  }
  return b;
}

TEST(LrsEncoderTest, RoundTripsThroughTheDecoder) {
  std::string text;
  for (int k = 0; k < 3000; ++k) text += "the quick brown fox " + std::to_string(k % 17) + "; ";
  struct Case {
    const char* name;
    Bytes input;
    bool shrinks;
  };
  const Case kCases[] = {
      {"empty", {}, false},
      {"one byte", {0x42}, false},
      {"two equal bytes", {7, 7}, false},
      {"a run", Bytes(1000, 'a'), true},
      {"noise", noise(5000, 1), false},
      {"text", Bytes(text.begin(), text.end()), true},
      {"noise repeated beyond the window", [] {
         Bytes b = noise(5000, 2);
         b.insert(b.end(), b.begin(), b.begin() + 5000);
         return b;
       }(), false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes encoded = lrs_encode(c.input);
    ASSERT_GE(encoded.size(), 4u);
    EXPECT_EQ(ByteReader::load_u32(encoded.data()), c.input.size());
    if (c.shrinks) {
      EXPECT_LT(encoded.size(), c.input.size() / 3);
    }
    EXPECT_EQ(dat::decompress_lrs(encoded), c.input);
  }
}

// Reads the directory back by hand: every node within the entry limit, ids ascending in order,
// and the depth of the tree.
void walk(const DatDatabase& db, uint32_t offset, size_t level, std::vector<uint32_t>& ids, size_t& depth) {
  const auto node = db.read_file_data(offset, 1716);
  ASSERT_TRUE(node.ok());
  ByteReader in(*node);
  uint32_t branches[62];
  for (uint32_t& b : branches) b = *in.u32();
  const uint32_t count = *in.u32();
  ASSERT_LE(count, 2u);
  depth = std::max(depth, level);
  for (uint32_t k = 0; k <= count; ++k) {
    if (branches[0] != 0 && branches[k] != 0) walk(db, branches[k], level + 1, ids, depth);
    if (k == count) break;
    ASSERT_TRUE(in.skip(4).ok());
    ids.push_back(*in.u32());
    ASSERT_TRUE(in.skip(16).ok());
  }
}

TEST(ArchiveWriterTest, WritesAnOrderedMultiLevelTree) {
  // Two entries a node: one level holds 2, two hold 2 + 3 x 2 = 8, three 26, four 80.
  struct Case {
    uint32_t records;
    size_t depth;
  };
  for (const auto [records, expected_depth] : {Case{1, 1}, Case{2, 1}, Case{3, 2}, Case{8, 2}, Case{9, 3},
                                               Case{26, 3}, Case{27, 4}, Case{80, 4}, Case{81, 5}}) {
    SCOPED_TRACE(records);
    ArchiveWriter w(ArchiveOptions{.block_size = 64, .max_entries_per_node = 2});
    for (uint32_t k = records; k > 0; --k) w.add(k * 0x101u, Bytes{static_cast<uint8_t>(k)});
    const TempFile file(w.build());
    const auto db = DatDatabase::open(file.path());
    ASSERT_TRUE(db.ok()) << db.error().to_string();
    std::vector<uint32_t> ids;
    size_t depth = 0;
    walk(*db, db->header().root_offset, 1, ids, depth);
    ASSERT_EQ(ids.size(), records);
    for (uint32_t k = 0; k < records; ++k) EXPECT_EQ(ids[k], (k + 1) * 0x101u);
    EXPECT_EQ(depth, expected_depth);
    EXPECT_EQ(db->header().file_size, std::filesystem::file_size(file.path()));
  }
}

TEST(ArchiveWriterTest, FileAndMemoryGiveTheSameBytes) {
  const Bytes big = noise(3 << 20, 3);  // larger than the file writer's buffer
  const auto fill = [&](ArchiveWriter& w) {
    w.header().magic = 0x5442;
    w.add(0x01000001, Bytes{1, 2, 3});
    w.add(0x01000002, big);
    w.add(0x01000003, big, RecordOptions{.compress = true});
    const std::vector<uint32_t> chain = w.write_chain(Bytes(100, 9));
    w.patch_u32(chain[0], chain[0]);  // a patch behind the buffered bytes
    w.add(0x01000004, Bytes(10, 4));
  };
  ArchiveWriter memory(ArchiveOptions{.block_size = 256});
  fill(memory);
  const Bytes expected = memory.build();

  const TempFile file;
  auto w = ArchiveWriter::create(file.path(), ArchiveOptions{.block_size = 256});
  ASSERT_TRUE(w.ok());
  fill(*w);
  ASSERT_TRUE(w->finish().ok());
  std::ifstream in(file.path(), std::ios::binary);
  const Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(written, expected);

  const auto db = DatDatabase::open(file.path());
  ASSERT_TRUE(db.ok());
  EXPECT_EQ(*db->get_file(0x01000003), big);
}

TEST(ArchiveWriterTest, CreateFailsForAnUnwritablePath) {
  const auto w = ArchiveWriter::create("/nonexistent-dir/a.dat");
  ASSERT_FALSE(w.ok());
  EXPECT_EQ(w.error().message(), "create /nonexistent-dir/a.dat");
  EXPECT_EQ(w.error().chain().front(), "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace fennistock::testing
