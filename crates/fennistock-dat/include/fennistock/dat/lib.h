// DatDatabase: one opened DAT archive with its whole B-tree directory loaded into memory.
//
// Opening reads the 80-byte header at file offset 0x140 and walks the directory once; afterwards
// a lookup is one probe of an in-memory hash index and never touches the file. Record bytes are
// read afresh on every request with positional reads, so a DatDatabase is never modified after
// opening and may be read from several threads.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "fennistock/dat/error.h"

namespace fennistock::dat {

// The archive header, 17 little-endian fields at file offset 0x140 (80 bytes). Nothing is validated.
struct DatHeader {
  static constexpr uint64_t kOffset = 0x140;
  static constexpr size_t kSize = 80;

  uint32_t magic = 0;
  uint32_t block_size = 0;  // bytes per block; the data part is block_size - 4
  uint32_t file_size = 0;
  uint32_t dataset = 0;
  uint32_t subset = 0;
  uint32_t free_head = 0;
  uint32_t free_tail = 0;
  uint32_t free_count = 0;
  uint32_t root_offset = 0;  // file offset of the root directory node; 0 = empty directory
  uint32_t new_lru = 0;
  uint32_t old_lru = 0;
  uint32_t use_lru = 0;
  uint32_t master_map_id = 0;
  uint32_t engine_version = 0;
  uint32_t game_version = 0;
  std::array<uint8_t, 16> version_string{};
  uint32_t version_minor = 0;
};

// One directory entry, 24 bytes.
struct DatFileEntry {
  static constexpr size_t kSize = 24;

  uint32_t bit_flags = 0;  // bit 0: the stored bytes are compressed
  uint32_t id = 0;
  uint32_t offset = 0;  // file offset of the record chain's first block
  uint32_t size = 0;    // bytes stored in the chain
  uint32_t timestamp = 0;
  uint32_t version = 0;
};

class DatDatabase {
 public:
  // The directory: every entry of the archive keyed by its id, each id stored once. A dense
  // array of entries and an open-addressing index of (id, position) slots over it, at most three
  // quarters full. Built by assign(), as opening does, it takes under 42 bytes an entry.
  // Iteration yields the entries in no defined order.
  class Directory {
   public:
    using const_iterator = std::vector<DatFileEntry>::const_iterator;

    // The entry stored under `id`, or nullptr.
    const DatFileEntry* find(uint32_t id) const;
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    // Stores `entry` under its id, replacing an entry with the same id.
    void insert(const DatFileEntry& entry);
    // Replaces the contents with `entries` as if each were inserted in order (a later entry
    // replaces an earlier one with the same id), building the index once at its final size.
    void assign(std::vector<DatFileEntry> entries);
    // Bytes of heap memory the directory holds.
    size_t allocated_bytes() const {
      return entries_.capacity() * sizeof(DatFileEntry) + slots_.capacity() * sizeof(Slot);
    }

   private:
    struct Slot {
      uint32_t id;
      uint32_t index;  // into entries_, or kEmpty
    };
    static constexpr uint32_t kEmpty = UINT32_MAX;

    size_t home_slot(uint32_t id) const;
    // Rebuilds the index with `slot_count` slots; duplicate ids in entries_ collapse into the
    // later one. REQUIRES: slot_count > entries_.size().
    void rebuild(size_t slot_count);

    std::vector<DatFileEntry> entries_;
    std::vector<Slot> slots_;
  };

  // Opens the archive at `path` read-only, reads its header and loads its whole directory.
  // Fails with PathError (open), BinRead (header, directory entries), Io (a node's chain) or
  // Corruption (a block size of 4 or less, a directory node reached twice, a looping chain).
  static DatResult<DatDatabase> open(const std::filesystem::path& path);

  DatDatabase(DatDatabase&& other) noexcept;
  DatDatabase& operator=(DatDatabase&& other) noexcept;
  DatDatabase(const DatDatabase&) = delete;
  DatDatabase& operator=(const DatDatabase&) = delete;
  ~DatDatabase();  // closes the file

  const DatHeader& header() const { return header_; }
  // Every stored id once, in no defined order. Callers never modify it.
  const Directory& directory() const { return directory_; }

  // The bytes of the chain of `size` bytes that starts at file offset `offset`. Fails with Io
  // (a read error, or "failed to fill whole buffer" when the chain runs past the end of the file)
  // or Corruption (the chain returns to a block it already passed).
  DatResult<std::vector<uint8_t>> read_file_data(uint32_t offset, uint32_t size) const;
  // The record `id`, decompressed when its entry is flagged compressed. NotFound when absent.
  DatResult<std::vector<uint8_t>> get_file(uint32_t id) const;

 private:
  DatDatabase(int fd, uint64_t file_length, DatHeader header)
      : fd_(fd), file_length_(file_length), header_(header) {}

  // Fills directory_ from the tree at header_.root_offset, depth first.
  Result<void, DatError> read_directory();
  // Reads the node at `offset`, appends its entries to `walked` and its child offsets (those to
  // visit, zeros left out) to `children`.
  Result<void, DatError> read_node(uint32_t offset, std::vector<DatFileEntry>& walked,
                                   std::vector<uint32_t>& children);

  int fd_ = -1;
  uint64_t file_length_ = 0;  // at open; no chain can hold more bytes than this
  DatHeader header_;
  Directory directory_;
};

}  // namespace fennistock::dat
