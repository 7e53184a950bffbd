// ArchiveWriter: writes DAT archives for tests, the sample world and the benchmarks.
//
// An archive is built front to back: the first block follows the header area, each record's
// chain is appended as whole blocks when the record is added, and finish() appends the B-tree
// directory (children before parents, the root last) and then writes the header. The writer
// holds the directory entries but never the record bytes, so a file-backed writer streams
// archives of any size (up to the 4 GiB that 32-bit offsets reach).
//
//   ArchiveWriter w({.block_size = 64, .max_entries_per_node = 2});
//   w.add(0x01000001, bytes);
//   w.add(0x01000002, other, {.compress = true});
//   const std::vector<uint8_t> archive = w.build();     // or ArchiveWriter::create(path) + finish()
//
// Well-formed by default; the low-level calls write what the writer would never produce on its
// own: entries that point anywhere (add_entry), hand-made directory nodes with any branch words
// and entry_count (write_node, set_root), chains whose next-block words are patched to loop or to
// point past the end (write_chain, patch_u32), and any header fields (header()). Truncate the
// result with std::vector::resize or std::filesystem::resize_file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fennistock/common/error.h"
#include "fennistock/dat/lib.h"

namespace fennistock::testing {

struct ArchiveOptions {
  uint32_t block_size = 1024;        // REQUIRES: >= 8 (at least one 4-byte word of data)
  uint32_t max_entries_per_node = 61;  // 1 to 61; small values give deep trees from few records
};

struct RecordOptions {
  bool compress = false;     // store lrs_encode(bytes) and set bit 0 of bit_flags
  uint32_t extra_flags = 0;  // further bit_flags bits, stored as given
  uint32_t timestamp = 0;
  uint32_t version = 0;
};

// One directory node as stored: 62 branch words, entry_count, 61 entry slots. entry_count is
// written as given and may disagree with entries (above 61, say); at most 61 entries are written.
struct DirectoryNode {
  std::array<uint32_t, 62> branches{};
  uint32_t entry_count = 0;
  std::vector<dat::DatFileEntry> entries;
};

// The directory node `node` as its 1716 stored bytes.
std::vector<uint8_t> encode_node(const DirectoryNode& node);

class ArchiveWriter {
 public:
  // Offset of the header in the file and the end of the header area.
  static constexpr uint64_t kHeaderEnd = dat::DatHeader::kOffset + dat::DatHeader::kSize;

  // Builds the archive in memory; take it with build() or finish() + bytes().
  explicit ArchiveWriter(ArchiveOptions options = {});
  // Streams the archive into the file at `path` (created or truncated); finish() completes it.
  static ResultOr<ArchiveWriter> create(const std::filesystem::path& path, ArchiveOptions options = {});
  ArchiveWriter(ArchiveWriter&&) noexcept;
  ArchiveWriter& operator=(ArchiveWriter&&) noexcept;
  ~ArchiveWriter();

  // The header that finish() writes. block_size comes from the options; finish() fills
  // root_offset (from the directory it writes, or set_root) and, while it is 0, file_size.
  // Any other field may be set freely.
  dat::DatHeader& header() { return header_; }

  // Writes `bytes` (compressed when asked) as a chain of fresh blocks and queues its directory
  // entry. Returns the entry.
  dat::DatFileEntry add(uint32_t id, std::span<const uint8_t> bytes, const RecordOptions& options = {});
  // Queues a directory entry as given, writing nothing else: for entries that point anywhere,
  // share chains or repeat an id. Duplicate ids stay in the directory in the order added.
  void add_entry(const dat::DatFileEntry& entry);
  const std::vector<dat::DatFileEntry>& entries() const { return entries_; }

  // Writes `bytes` as a chain of fresh whole blocks (the last one zero-padded; an empty `bytes`
  // still takes one block). Returns the file offsets of its blocks, first to last.
  std::vector<uint32_t> write_chain(std::span<const uint8_t> bytes);
  // Writes `node` as a chain; returns the node's offset.
  uint32_t write_node(const DirectoryNode& node) { return write_chain(encode_node(node)).front(); }
  // The offset where the next chain's first block will go.
  uint32_t next_block_offset() const;
  // Overwrites 4 bytes already written (a next-block word, a branch word) with `value`.
  void patch_u32(uint64_t offset, uint32_t value);
  // Appends raw bytes (not block-aligned afterwards); for files that end inside a block.
  void append_raw(std::span<const uint8_t> bytes);
  // Bytes written so far.
  uint64_t size() const;

  // Uses `offset` as root_offset and makes finish() write no directory of its own (queued
  // entries are then ignored). 0 gives an empty directory.
  void set_root(uint32_t offset);

  // Writes the directory of the queued entries, sorted by id (stable), as a B-tree of at most
  // max_entries_per_node entries a node, then the header; a file-backed writer is flushed and
  // closed. Fails on a write error or when the archive outgrows 32-bit offsets.
  Status finish();
  // The archive's bytes. REQUIRES: an in-memory writer.
  const std::vector<uint8_t>& bytes() const;
  // finish() and the bytes of an in-memory writer. REQUIRES: finish() succeeds.
  std::vector<uint8_t> build();

  class Sink;

 private:
  ArchiveWriter(std::unique_ptr<Sink> sink, ArchiveOptions options);
  void start();
  void pad_to_block();
  uint32_t write_tree(std::span<const dat::DatFileEntry> sorted);

  std::unique_ptr<Sink> sink_;
  ArchiveOptions options_;
  dat::DatHeader header_;
  std::vector<dat::DatFileEntry> entries_;
  bool custom_root_ = false;
  bool finished_ = false;
};

}  // namespace fennistock::testing
