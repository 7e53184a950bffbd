// ArchiveSink: one archive being written, with the world's rules for what gets compressed and
// its running tally.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "rng.h"
#include "testing/archive_writer.h"

namespace fennistock::sample_world {

struct ArchiveTally {
  uint64_t records = 0;
  uint64_t compressed = 0;
  uint64_t filler = 0;
  uint64_t bytes = 0;  // file size once finished
};

class ArchiveSink {
 public:
  ArchiveSink(testing::ArchiveWriter writer, Rng rng, uint32_t block_size)
      : writer_(std::move(writer)), rng_(rng), block_size_(block_size) {}

  // A record the tool reads (or could read): compressed for about a fifth of them.
  void record(uint32_t id, std::span<const uint8_t> bytes) { add(id, bytes, rng_.chance(0.2), false); }
  // A record of a kind the tool never reads.
  void filler(uint32_t id, std::span<const uint8_t> bytes, bool compress) { add(id, bytes, compress, true); }

  // Bytes written so far plus what the directory will take, roughly: the size of the file if
  // it were finished now.
  [[nodiscard]] uint64_t projected_size() const {
    const uint64_t nodes = tally_.records / 56 + 1;
    const uint64_t blocks_per_node = (1716 + block_size_ - 5) / (block_size_ - 4);
    return writer_.size() + nodes * blocks_per_node * block_size_;
  }
  [[nodiscard]] const ArchiveTally& tally() const { return tally_; }

  Status finish() {
    FS_RETURN_IF_ERROR(writer_.finish());
    tally_.bytes = writer_.size();
    return {};
  }

 private:
  void add(uint32_t id, std::span<const uint8_t> bytes, bool compress, bool filler) {
    writer_.add(id, bytes, {.compress = compress, .timestamp = 0x4F9A2C00u + (id & 0xFFFF), .version = 2});
    ++tally_.records;
    tally_.compressed += compress ? 1 : 0;
    tally_.filler += filler ? 1 : 0;
  }

  testing::ArchiveWriter writer_;
  Rng rng_;
  uint32_t block_size_;
  ArchiveTally tally_;
};

}  // namespace fennistock::sample_world
