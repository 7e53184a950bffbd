// The sample world: a synthetic but realistic set of the three DAT archives, generated from a
// seed, for trying the tool without the retail archives and for benchmarking it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "archive_sink.h"
#include "fennistock/common/error.h"

namespace fennistock::sample_world {

// An inclusive rectangle of landblocks, X the column (high byte), Y the row.
struct LandblockRect {
  uint8_t lo_x = 0;
  uint8_t lo_y = 0;
  uint8_t hi_x = 0xFF;
  uint8_t hi_y = 0xFF;
};

// "0xA9B0..0xAAB4" (inclusive, hi dominating lo) or a single id "0xA9B4"; the 0x is optional.
ResultOr<LandblockRect> parse_landblock_rect(std::string_view text);

struct WorldOptions {
  std::filesystem::path out;
  uint64_t seed = 1;
  LandblockRect landblocks;
  // Target size of each archive in MiB; filler records make up what the real records leave.
  double portal_mb = 800;
  double cell_mb = 900;
  double local_mb = 150;
};

struct WorldSummary {
  ArchiveTally portal;
  ArchiveTally cell;
  ArchiveTally local;
  uint64_t landblocks = 0;
  uint64_t buildings = 0;
  uint64_t road_landblocks = 0;
};

// Writes client_portal.dat, client_cell_1.dat and client_local_English.dat into options.out
// (created when missing). The same options always give byte-identical files.
ResultOr<WorldSummary> generate_world(const WorldOptions& options);

// True for the landblocks whose record ids the tool's pre-flight refuses (row 0xFF of columns
// 0x01..0x78 gives ids 0xXXFFFFFF, which modding tools allocate); the world leaves them out.
[[nodiscard]] constexpr bool is_reserved_landblock(uint16_t lb) {
  return (lb & 0xFF) == 0xFF && (lb >> 8) >= 0x01 && (lb >> 8) <= 0x78;
}

}  // namespace fennistock::sample_world
