#include "fennistock/dat/lib.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "testing/archive_writer.h"
#include "testing/record_writer.h"
#include "testing/temp_file.h"

namespace fennistock::dat {
namespace {

using Bytes = std::vector<uint8_t>;
using ::fennistock::testing::ArchiveOptions;
using ::fennistock::testing::ArchiveWriter;
using ::fennistock::testing::DirectoryNode;
using ::fennistock::testing::RecordOptions;
using ::fennistock::testing::TempFile;

constexpr std::string_view kModule = "crates/fennistock-dat/src/lib";

DatResult<DatDatabase> open_bytes(const Bytes& bytes) {
  const TempFile file(bytes);  // removed on return; the open descriptor keeps the data
  return DatDatabase::open(file.path());
}

DatFileEntry entry(uint32_t id, uint32_t version = 0) {
  DatFileEntry e;
  e.id = id;
  e.version = version;
  return e;
}

Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t k = 0; k < n; ++k) {
    x = x * 1103515245u + 12345u;
    // Runs and repeats as well as noise, so the compressed form has back-references.
    b[k] = (k / 40) % 3 == 0 ? static_cast<uint8_t>(x >> 24) : static_cast<uint8_t>("fennistock"[k % 10]);
  }
  return b;
}

size_t open_descriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST(DatDatabaseTest, RoundTripsRecordsThroughDeepDirectories) {
  for (const uint32_t block_size : {8u, 64u, 1024u}) {
    for (const bool compress : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "block_size " << block_size << " compress " << compress);
      const size_t data_len = block_size - 4;
      const size_t sizes[] = {0, 1, data_len - 1, data_len, data_len + 1, 2 * data_len, 3 * data_len + 1,
                              1716, 5000, 70000};
      // Two entries a node: 20 records need a tree of three levels or more.
      ArchiveWriter w(ArchiveOptions{.block_size = block_size, .max_entries_per_node = 2});
      std::map<uint32_t, Bytes> records;
      for (uint32_t k = 0; k < 20; ++k) {
        const uint32_t id = 0x01000000u + k * 0x10001u;  // added out of id order below
        const uint32_t shuffled = id ^ (k % 2 == 0 ? 0 : 0x00800000u);
        records[shuffled] = pattern(sizes[k % std::size(sizes)], k);
        w.add(shuffled, records[shuffled], RecordOptions{.compress = compress, .timestamp = k, .version = 7 * k});
      }
      const auto db = open_bytes(w.build());
      ASSERT_TRUE(db.ok()) << db.error().to_string();
      EXPECT_EQ(db->directory().size(), records.size());
      std::map<uint32_t, int> seen;
      for (const DatFileEntry& e : db->directory()) ++seen[e.id];
      EXPECT_EQ(seen.size(), records.size());
      for (const auto& [id, bytes] : records) {
        SCOPED_TRACE(::testing::Message() << std::hex << id);
        EXPECT_EQ(seen[id], 1);
        const DatFileEntry* e = db->directory().find(id);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->bit_flags, compress ? 1u : 0u);
        const auto got = db->get_file(id);
        ASSERT_TRUE(got.ok()) << got.error().to_string();
        EXPECT_EQ(*got, bytes);
      }
    }
  }
}

TEST(DatDatabaseTest, ReadsEveryHeaderFieldWithoutValidating) {
  ArchiveWriter w(ArchiveOptions{.block_size = 256});
  DatHeader& h = w.header();
  h.magic = 0xDEADBEEF;
  h.file_size = 12;  // not the real size
  h.dataset = 3;
  h.subset = 4;
  h.free_head = 5;
  h.free_tail = 6;
  h.free_count = 7;
  h.new_lru = 8;
  h.old_lru = 9;
  h.use_lru = 0x01020304;
  h.master_map_id = 10;
  h.engine_version = 0xFFFFFFFF;
  h.game_version = 11;
  for (uint8_t k = 0; k < 16; ++k) h.version_string[k] = static_cast<uint8_t>(0xF0 + k);
  h.version_minor = 0x80000000;
  const DatHeader expected = h;
  w.add(0x0E000001, pattern(10, 1));
  const auto db = open_bytes(w.build());
  ASSERT_TRUE(db.ok()) << db.error().to_string();
  const DatHeader& got = db->header();
  EXPECT_EQ(got.magic, expected.magic);
  EXPECT_EQ(got.block_size, 256u);
  EXPECT_EQ(got.file_size, 12u);
  EXPECT_EQ(got.dataset, 3u);
  EXPECT_EQ(got.subset, 4u);
  EXPECT_EQ(got.free_head, 5u);
  EXPECT_EQ(got.free_tail, 6u);
  EXPECT_EQ(got.free_count, 7u);
  EXPECT_NE(got.root_offset, 0u);
  EXPECT_EQ(got.new_lru, 8u);
  EXPECT_EQ(got.old_lru, 9u);
  EXPECT_EQ(got.use_lru, 0x01020304u);
  EXPECT_EQ(got.master_map_id, 10u);
  EXPECT_EQ(got.engine_version, 0xFFFFFFFFu);
  EXPECT_EQ(got.game_version, 11u);
  EXPECT_EQ(got.version_string, expected.version_string);
  EXPECT_EQ(got.version_minor, 0x80000000u);
}

TEST(DatDatabaseTest, TruncatedHeaderNamesTheFirstFieldNotRead) {
  ArchiveWriter w;
  const Bytes full = w.build();
  struct Case {
    size_t length;
    std::string_view field;
  };
  const Case kCases[] = {{0, "magic"},          {0x140, "magic"},           {0x143, "magic"},
                         {0x144, "block_size"}, {0x163, "root_offset"},     {0x17C, "version_string"},
                         {0x18B, "version_string"}, {0x18F, "version_minor"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.length);
    const auto db = open_bytes(Bytes(full.begin(), full.begin() + static_cast<ptrdiff_t>(c.length)));
    ASSERT_FALSE(db.ok());
    const auto* e = db.error().get<DatError::BinRead>();
    ASSERT_NE(e, nullptr) << db.error().to_string();
    EXPECT_TRUE(e->error.is_unexpected_eof());
    ASSERT_EQ(e->error.frames().size(), 1u);
    EXPECT_EQ(e->error.frames()[0].message, fmt::format("While parsing field '{}' in DatHeader", c.field));
    EXPECT_EQ(e->error.frames()[0].module, kModule);
    EXPECT_TRUE(db.error().to_string().starts_with("Binary read error: failed to fill whole buffer"));
  }
  EXPECT_TRUE(open_bytes(Bytes(full.begin(), full.begin() + 0x190)).ok());  // header alone, empty directory
}

TEST(DatDatabaseTest, OpenFailures) {
  const size_t fds_before = open_descriptors();
  {
    const auto db = DatDatabase::open("/nonexistent-dir/client_portal.dat");
    ASSERT_FALSE(db.ok());
    ASSERT_TRUE(db.error().is<DatError::PathError>());
    EXPECT_EQ(db.error().to_string(),
              "Failed to open file at /nonexistent-dir/client_portal.dat: No such file or directory (os error 2)");
    EXPECT_EQ(db.error().cause(), "No such file or directory (os error 2)");
  }
  {
    // Opening a directory succeeds; reading its header is the operating system's error.
    const auto db = DatDatabase::open(std::filesystem::temp_directory_path());
    ASSERT_FALSE(db.ok());
    const auto* e = db.error().get<DatError::BinRead>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->error.underlying_message(), "Is a directory (os error 21)");
    EXPECT_EQ(e->error.frames().at(0).message, "While parsing field 'magic' in DatHeader");
  }
  for (const uint32_t block_size : {0u, 1u, 4u}) {
    SCOPED_TRACE(block_size);
    ArchiveWriter w(ArchiveOptions{.block_size = 8});
    w.header().block_size = block_size;
    const auto db = open_bytes(w.build());
    ASSERT_FALSE(db.ok());
    ASSERT_TRUE(db.error().is<DatError::Corruption>());
    EXPECT_EQ(db.error().to_string(), fmt::format("Corruption detected: block size {} leaves no room for data "
                                                  "after the next-block word", block_size));
  }
  {
    ArchiveWriter w(ArchiveOptions{.block_size = 8});
    w.header().root_offset = 0x7FFFFFF0;  // the root node's chain is past the end of the file
    w.set_root(0x7FFFFFF0);
    const auto db = open_bytes(w.build());
    ASSERT_FALSE(db.ok());
    EXPECT_EQ(db.error().to_string(), "IO error: failed to fill whole buffer");
  }
  EXPECT_EQ(open_descriptors(), fds_before);
}

TEST(DatDatabaseTest, EmptyDirectory) {
  ArchiveWriter w(ArchiveOptions{.block_size = 8});
  w.header().block_size = 5;  // one data byte a block is little but valid
  const auto db = open_bytes(w.build());
  ASSERT_TRUE(db.ok()) << db.error().to_string();
  EXPECT_EQ(db->directory().size(), 0u);
  EXPECT_EQ(db->directory().begin(), db->directory().end());
  const auto r = db->get_file(0x0001FFFF);
  ASSERT_FALSE(r.ok());
  ASSERT_TRUE(r.error().is<DatError::NotFound>());
  EXPECT_EQ(r.error().to_string(), "File ID 0001FFFF not found in provider");
  EXPECT_EQ(r.error().cause(), std::nullopt);
}

TEST(DatDatabaseTest, GetFileMatchesTheWholeId) {
  ArchiveWriter w;
  w.add(0x0001FFFF, Bytes{1, 2, 3});
  const auto db = open_bytes(w.build());
  ASSERT_TRUE(db.ok());
  EXPECT_EQ(*db->get_file(0x0001FFFF), (Bytes{1, 2, 3}));
  for (const uint32_t other : {0x1001FFFFu, 0x0001FFFEu, 0x0000FFFFu, 0xFFFFu}) {
    const auto r = db->get_file(other);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().get<DatError::NotFound>()->id, other);
  }
}

// Compressed entries whose stored bytes are not a usable stream decode as far as they go.
TEST(DatDatabaseTest, CompressedEntryQuirks) {
  ArchiveWriter w;
  const uint32_t short_chain = w.write_chain(Bytes{0xAA, 0xBB, 0xCC}).front();
  const uint32_t zero_length = w.write_chain(Bytes{0, 0, 0, 0, 0x00, 'a'}).front();
  const uint32_t early_end = w.write_chain(Bytes{9, 0, 0, 0, 0x40, 'a', 0x00, 0x00}).front();
  w.add_entry({.bit_flags = 1, .id = 1, .offset = short_chain, .size = 3});
  w.add_entry({.bit_flags = 1, .id = 2, .offset = zero_length, .size = 6});
  w.add_entry({.bit_flags = 1, .id = 3, .offset = early_end, .size = 8});
  w.add_entry({.bit_flags = 0xFFFFFFFE, .id = 4, .offset = early_end, .size = 8});  // bit 0 clear
  const auto db = open_bytes(w.build());
  ASSERT_TRUE(db.ok());
  EXPECT_EQ(*db->get_file(1), (Bytes{0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(*db->get_file(2), Bytes{});
  EXPECT_EQ(*db->get_file(3), Bytes{'a'});
  EXPECT_EQ(*db->get_file(4), (Bytes{9, 0, 0, 0, 0x40, 'a', 0x00, 0x00}));
}

class ChainTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kBlock = 16;  // 12 data bytes a block
  static constexpr uint32_t kDataLen = kBlock - 4;

  ChainTest() : writer_(ArchiveOptions{.block_size = kBlock}) {
    for (size_t k = 0; k < 5 * kDataLen; ++k) data_.push_back(static_cast<uint8_t>(k + 1));
    blocks_ = writer_.write_chain(data_);  // five contiguous blocks
  }
  // The archive as written so far, and opened.
  void open() {
    bytes_ = writer_.build();
    auto db = open_bytes(bytes_);
    ASSERT_TRUE(db.ok()) << db.error().to_string();
    db_.emplace(std::move(db).value());
  }
  Bytes file_bytes(uint64_t from, size_t n) const {
    return Bytes(bytes_.begin() + static_cast<ptrdiff_t>(from), bytes_.begin() + static_cast<ptrdiff_t>(from + n));
  }
  void expect_error(uint32_t offset, uint32_t size, const std::string& text) {
    const auto r = db_->read_file_data(offset, size);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().to_string(), text);
  }

  ArchiveWriter writer_;
  Bytes data_;
  std::vector<uint32_t> blocks_;
  Bytes bytes_;
  std::optional<DatDatabase> db_;
};

TEST_F(ChainTest, ReadsAcrossBlocksAndStopsWhenComplete) {
  writer_.patch_u32(blocks_[1], 0x7FFFFF00);  // past the end: read only if the chain goes on
  open();
  for (const uint32_t size : {1u, kDataLen - 1, kDataLen, kDataLen + 1, 2 * kDataLen}) {
    SCOPED_TRACE(size);
    const auto r = db_->read_file_data(blocks_[0], size);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    EXPECT_EQ(*r, Bytes(data_.begin(), data_.begin() + size));
  }
  expect_error(blocks_[0], 2 * kDataLen + 1, "IO error: failed to fill whole buffer");
  // Size 0 never touches the file, wherever it points.
  for (const uint32_t offset : {0u, blocks_[0], 0xFFFFFFF0u}) EXPECT_EQ(*db_->read_file_data(offset, 0), Bytes{});
}

TEST_F(ChainTest, LastBlockTakesTheRestInOnePiece) {
  writer_.patch_u32(blocks_[0], 0);  // a chain of one block, followed in the file by the others
  open();
  const auto r = db_->read_file_data(blocks_[0], 3 * kDataLen);
  ASSERT_TRUE(r.ok()) << r.error().to_string();
  EXPECT_EQ(*r, file_bytes(blocks_[0] + 4, 3 * kDataLen));
  // From the last block of the chain on: the rest of the file, up to its last byte, and no more.
  const size_t to_end = bytes_.size() - (blocks_[0] + 4);
  EXPECT_EQ(*db_->read_file_data(blocks_[0], static_cast<uint32_t>(to_end)), file_bytes(blocks_[0] + 4, to_end));
  expect_error(blocks_[0], static_cast<uint32_t>(to_end + 1), "IO error: failed to fill whole buffer");
}

TEST_F(ChainTest, RunsPastTheEndOfTheFile) {
  writer_.patch_u32(blocks_[2], 0x00100000);  // beyond the file
  writer_.append_raw(Bytes{0xAA, 0xBB});  // a last "block" whose next-block word is cut short
  open();
  const uint32_t eof = static_cast<uint32_t>(bytes_.size());
  expect_error(blocks_[2], kDataLen + 1, "IO error: failed to fill whole buffer");
  expect_error(eof, 1, "IO error: failed to fill whole buffer");
  expect_error(eof - 2, 1, "IO error: failed to fill whole buffer");
  expect_error(0x7FFFFFFF, 5, "IO error: failed to fill whole buffer");
  // A size beyond the file's length fails as the read would, without allocating it.
  expect_error(blocks_[0], 0xFFFFFFFF, "IO error: failed to fill whole buffer");
}

TEST_F(ChainTest, LoopingChainIsCorruption) {
  const std::vector<uint32_t> long_chain = writer_.write_chain(Bytes(30 * kDataLen, 0x5A));
  writer_.patch_u32(blocks_[1], blocks_[0]);
  writer_.patch_u32(blocks_[4], blocks_[4]);
  writer_.patch_u32(long_chain.back(), long_chain[5]);  // a loop met only after many blocks
  open();
  struct Case {
    uint32_t start, returns_to;
  };
  for (const Case c : {Case{blocks_[0], blocks_[0]}, Case{blocks_[4], blocks_[4]},
                       Case{long_chain[0], long_chain[5]}}) {
    SCOPED_TRACE(c.start);
    expect_error(c.start, 50 * kDataLen,  // within the file's length
                 fmt::format("Corruption detected: block chain starting at offset 0x{:08X} returns to block 0x{:08X}",
                             c.start, c.returns_to));
  }
  // Complete before the loop closes: the chain is fine.
  EXPECT_TRUE(db_->read_file_data(blocks_[0], 2 * kDataLen).ok());
}

// ---- Directory walk over hand-made nodes

class DirectoryWalkTest : public ::testing::Test {
 protected:
  DirectoryWalkTest() : writer_(ArchiveOptions{.block_size = 512}) {}

  uint32_t leaf(std::vector<DatFileEntry> entries) {
    DirectoryNode node;
    node.entry_count = static_cast<uint32_t>(entries.size());
    node.entries = std::move(entries);
    return writer_.write_node(node);
  }
  // A node that fails the open if it is ever read.
  uint32_t poison() {
    DirectoryNode node;
    node.entry_count = 62;
    return writer_.write_node(node);
  }
  DatResult<DatDatabase> open_with_root(uint32_t root) {
    writer_.set_root(root);
    return open_bytes(writer_.build());
  }
  static std::map<uint32_t, uint32_t> versions(const DatDatabase& db) {
    std::map<uint32_t, uint32_t> out;
    for (const DatFileEntry& e : db.directory()) EXPECT_TRUE(out.emplace(e.id, e.version).second) << e.id;
    return out;
  }

  ArchiveWriter writer_;
};

TEST_F(DirectoryWalkTest, LeafIgnoresStrayBranchWords) {
  DirectoryNode root;
  root.branches = {0, poison(), poison()};
  root.entry_count = 2;
  root.entries = {entry(1), entry(2)};
  const auto db = open_with_root(writer_.write_node(root));
  ASSERT_TRUE(db.ok()) << db.error().to_string();
  EXPECT_EQ(versions(*db), (std::map<uint32_t, uint32_t>{{1, 0}, {2, 0}}));
}

TEST_F(DirectoryWalkTest, InnerNodeVisitsEntryCountPlusOneChildren) {
  {
    DirectoryNode root;  // entry_count 0: only branches[0]
    root.branches = {leaf({entry(5)}), poison()};
    const auto db = open_with_root(writer_.write_node(root));
    ASSERT_TRUE(db.ok()) << db.error().to_string();
    EXPECT_EQ(versions(*db), (std::map<uint32_t, uint32_t>{{5, 0}}));
  }
  {
    writer_ = ArchiveWriter(ArchiveOptions{.block_size = 512});
    DirectoryNode root;  // entry_count 61: all 62 children, zero words skipped
    root.entry_count = 61;
    std::map<uint32_t, uint32_t> expected;
    for (uint32_t k = 0; k < 61; ++k) {
      root.entries.push_back(entry(1000 + k));
      expected[1000 + k] = 0;
    }
    for (uint32_t j = 0; j < 62; ++j) {
      if (j % 5 == 3) continue;
      root.branches[j] = leaf({entry(j)});
      expected[j] = 0;
    }
    const auto db = open_with_root(writer_.write_node(root));
    ASSERT_TRUE(db.ok()) << db.error().to_string();
    EXPECT_EQ(versions(*db), expected);
  }
}

TEST_F(DirectoryWalkTest, EntryCountAboveSixtyOneFails) {
  for (const uint32_t count : {62u, 100u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    writer_ = ArchiveWriter(ArchiveOptions{.block_size = 512});
    DirectoryNode root;
    root.entry_count = count;
    for (uint32_t k = 0; k < 61; ++k) root.entries.push_back(entry(k));
    const auto db = open_with_root(writer_.write_node(root));
    ASSERT_FALSE(db.ok());
    const auto* e = db.error().get<DatError::BinRead>();
    ASSERT_NE(e, nullptr) << db.error().to_string();
    EXPECT_TRUE(e->error.is_unexpected_eof());
    ASSERT_EQ(e->error.frames().size(), 1u);
    EXPECT_EQ(e->error.frames()[0].message, "While parsing field 'bit_flags' in DatFileEntry");
    EXPECT_EQ(e->error.frames()[0].module, kModule);
  }
}

TEST_F(DirectoryWalkTest, LaterEntryInTheWalkWins) {
  DirectoryNode child0;
  child0.entry_count = 3;
  child0.entries = {entry(10, 2), entry(20, 1), entry(20, 2)};  // within a node: the later slot
  DirectoryNode child1;
  child1.entry_count = 1;
  child1.entries = {entry(20, 3)};  // a later sibling over an earlier one
  DirectoryNode root;
  root.branches = {writer_.write_node(child0), writer_.write_node(child1)};
  root.entry_count = 1;
  root.entries = {entry(10, 1)};  // a child over its parent
  const auto db = open_with_root(writer_.write_node(root));
  ASSERT_TRUE(db.ok()) << db.error().to_string();
  EXPECT_EQ(versions(*db), (std::map<uint32_t, uint32_t>{{10, 2}, {20, 3}}));
}

TEST_F(DirectoryWalkTest, NodeReachedTwiceIsCorruption) {
  struct Case {
    const char* name;
    int shape;
  };
  for (const Case c : {Case{"self loop", 0}, Case{"child back to root", 1}, Case{"shared subtree", 2}}) {
    SCOPED_TRACE(c.name);
    writer_ = ArchiveWriter(ArchiveOptions{.block_size = 512});
    const uint32_t root_at = writer_.next_block_offset();
    uint32_t repeated = root_at;
    DirectoryNode root;
    root.entry_count = 1;
    root.entries = {entry(1)};
    if (c.shape == 0) {
      root.branches = {root_at};
    } else if (c.shape == 1) {
      root.branches = {1};  // patched below, once the child's offset is known
      ASSERT_EQ(writer_.write_node(root), root_at);
      DirectoryNode child;
      child.branches = {root_at};
      writer_.patch_u32(root_at + 4, writer_.write_node(child));  // branches[0], just after the next-block word
    } else {
      repeated = leaf({entry(2)});
      root.branches = {repeated, repeated};
    }
    const uint32_t written = c.shape == 1 ? root_at : writer_.write_node(root);
    const auto db = open_with_root(written);
    ASSERT_FALSE(db.ok());
    EXPECT_EQ(db.error().to_string(),
              fmt::format("Corruption detected: directory node at offset 0x{:08X} is reached more than once", repeated));
  }
}

TEST_F(DirectoryWalkTest, FailingChildStopsTheOpen) {
  DirectoryNode root;
  root.branches = {leaf({entry(1)}), 0x00FFFFF0};  // the second child is past the end
  root.entry_count = 1;
  root.entries = {entry(2)};
  const size_t fds_before = open_descriptors();
  const auto db = open_with_root(writer_.write_node(root));
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error().to_string(), "IO error: failed to fill whole buffer");
  EXPECT_EQ(open_descriptors(), fds_before);
}

// Nodes of a sound archive hold distinct bytes; overlapping ones could otherwise multiply the
// walk far beyond the file. Here 12-byte slots [0, offset of the next slot, 0] make every slot a
// node (next-block word 0, branches[0] the next slot, entry_count 0) reading on into the next.
TEST_F(DirectoryWalkTest, NodesBeyondWhatTheFileHoldsAreCorruption) {
  writer_ = ArchiveWriter(ArchiveOptions{.block_size = 4096});
  const uint32_t first = writer_.next_block_offset();
  ASSERT_EQ(first, 4096u);
  ::fennistock::testing::RecordWriter slots;
  for (uint32_t k = 0; k < 2000; ++k) slots.u32(0).u32(first + 12 * (k + 1)).u32(0);
  writer_.append_raw(slots.view());
  // 28096 bytes hold at most 16 nodes of 1716 bytes; the 17th is slot 16.
  const auto db = open_with_root(first);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error().to_string(),
            "Corruption detected: directory node at offset 0x000010C0 is one more than a file of 28096 bytes can hold");
}

TEST(DirectoryTest, LaterEntryReplacesEarlierOneAndEachIdIsListedOnce) {
  std::vector<uint32_t> ids = {0, 0xFFFFFFFF, 1, 0x80000000};
  for (uint32_t x = 0; x < 256; ++x) {
    for (uint32_t y = 0; y < 40; ++y) ids.push_back(x << 24 | y << 16 | 0xFFFF);  // cell-like ids
  }
  // Every id at version 1; every third again at 2, then every ninth at 3.
  std::vector<DatFileEntry> walk;
  for (const uint32_t id : ids) walk.push_back(entry(id, 1));
  for (size_t k = 0; k < ids.size(); k += 3) walk.push_back(entry(ids[k], 2));
  for (size_t k = 0; k < ids.size(); k += 9) walk.push_back(entry(ids[k], 3));
  for (const bool bulk : {false, true}) {
    SCOPED_TRACE(bulk ? "assign" : "insert");
    DatDatabase::Directory dir;
    EXPECT_EQ(dir.find(0), nullptr);
    if (bulk) {
      dir.assign(walk);
    } else {
      for (const DatFileEntry& e : walk) dir.insert(e);
    }
    EXPECT_EQ(dir.size(), ids.size());
    std::map<uint32_t, uint32_t> seen;
    for (const DatFileEntry& e : dir) EXPECT_TRUE(seen.emplace(e.id, e.version).second);
    ASSERT_EQ(seen.size(), ids.size());
    for (size_t k = 0; k < ids.size(); ++k) {
      const DatFileEntry* e = dir.find(ids[k]);
      ASSERT_NE(e, nullptr) << ids[k];
      EXPECT_EQ(e->id, ids[k]);
      EXPECT_EQ(e->version, k % 9 == 0 ? 3u : k % 3 == 0 ? 2u : 1u);
    }
    for (const uint32_t absent : {2u, 0x0000FFFEu, 0xFF28FFFFu, 0xFFFFFFFEu}) EXPECT_EQ(dir.find(absent), nullptr);
    if (bulk) {
      EXPECT_LE(dir.allocated_bytes(), ids.size() * 48);
    }
  }
}

TEST(DatDatabaseTest, MovedFromAndDestroyedCloseTheFileOnce) {
  ArchiveWriter w;
  w.add(7, Bytes{1});
  const Bytes bytes = w.build();
  const TempFile file(bytes);
  const size_t fds_before = open_descriptors();
  {
    auto a = DatDatabase::open(file.path());
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(open_descriptors(), fds_before + 1);
    DatDatabase b = std::move(a).value();
    auto c = DatDatabase::open(file.path());
    ASSERT_TRUE(c.ok());
    b = std::move(*c);  // closes b's own file
    EXPECT_EQ(open_descriptors(), fds_before + 1);
    EXPECT_EQ(*b.get_file(7), Bytes{1});
  }
  EXPECT_EQ(open_descriptors(), fds_before);
}

}  // namespace
}  // namespace fennistock::dat
