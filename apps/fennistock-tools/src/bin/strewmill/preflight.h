// The DAT directory pre-flight: refuses directories that show signs of modding, opens the three
// archives, checks their record ids and fingerprints them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "fennistock/common/error.h"
#include "fennistock/dat/lib.h"

namespace fennistock::tool {

// What the bake needs from the DAT directory: the two archives it reads (kept open for the run)
// and the SHA-256 of all three archive files.
struct DatDirCheck {
  dat::DatDatabase portal;
  dat::DatDatabase cell;
  std::string portal_hash;
  std::string cell_hash;
  std::string local_hash;
};

// True for ids 0xTTFFxxxx with TT in 0x01..0x78, the range that modding tools allocate.
[[nodiscard]] constexpr bool is_modder_allocated(uint32_t id) {
  const uint32_t high = id >> 24;
  return ((id >> 16) & 0xFF) == 0xFF && high >= 0x01 && high <= 0x78;
}

// Runs every check in order; the first failure ends it. Logs "pre-flight ok: ..." at INFO.
// Creates and changes nothing on disk.
ResultOr<DatDirCheck> preflight(const std::filesystem::path& dat_dir);

}  // namespace fennistock::tool
