// The two landblock records of the cell archive: CellLandblock (terrain, id 0xXXYYFFFF) and
// LandblockInfo (static objects and buildings, id 0xXXYYFFFE). Error contexts name the module
// "crates/fennistock-dat/src/landblock".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "fennistock/common/byte_reader.h"
#include "fennistock/common/math.h"

namespace fennistock::dat {

// Terrain of one landblock. Vertex index i = 9 * x + y for local column x and row y (0 to 8).
//   u32 id | u32 has_objects | 81 x u16 terrain | 81 x u8 height | 1 byte skipped (need not exist)
struct CellLandblock {
  static constexpr size_t kVertices = 81;

  uint32_t id = 0;           // 0xXXYYFFFF; not compared with the requested id
  uint32_t has_objects = 0;  // stored, not tested
  std::array<uint16_t, kVertices> terrain{};  // bits 0-1 road, 2-6 terrain type, 11-15 scene-type slot
  std::array<uint8_t, kVertices> height{};    // index into the Region's land-height table

  // Fails with the end-of-data error in the context of the field that ran out; bytes after the
  // skipped byte are ignored.
  static ReadResult<CellLandblock> unpack(ByteReader& in);
  static ReadResult<CellLandblock> unpack(std::span<const uint8_t> bytes);
};

// The landblock-family Frame reader (contexts of module crates/fennistock-dat/src/landblock).
ReadResult<Frame> read_landblock_frame(ByteReader& in);

// A static object: u32 id | Frame frame (32 bytes).
struct Stab {
  uint32_t id = 0;
  Frame frame;
  static ReadResult<Stab> read(ByteReader& in);
};

// u16 flags | u16 other_cell_id | u16 other_portal_id | u16 num_stabs | num_stabs x u16 |
// 2 bytes skipped when num_stabs is odd.
struct PortalInternal {
  uint16_t flags = 0;
  uint16_t other_cell_id = 0;
  uint16_t other_portal_id = 0;
  uint16_t num_stabs = 0;
  std::vector<uint16_t> stab_list;
  static ReadResult<PortalInternal> read(ByteReader& in);
};

// u32 model_id | Frame frame | u32 num_leaves | u32 num_portals | num_portals x PortalInternal
struct BuildInfo {
  uint32_t model_id = 0;  // a setup (0x02...) or GfxObj (0x01...) id in the portal archive
  Frame frame;            // placement relative to the landblock
  uint32_t num_leaves = 0;
  uint32_t num_portals = 0;
  std::vector<PortalInternal> portals;
  static ReadResult<BuildInfo> read(ByteReader& in);
};

// u16 count | u16 _bucket_size | count x (u32 key, u32 value); a repeated key keeps the last value.
struct RestrictionTable {
  uint16_t count = 0;
  uint16_t bucket_size = 0;  // stored as _bucket_size, not used
  std::unordered_map<uint32_t, uint32_t> tables;
  static ReadResult<RestrictionTable> read(ByteReader& in);
};

// u32 id | u32 num_cells | u32 num_objects | num_objects x Stab | u16 num_buildings |
// u16 pack_mask | num_buildings x BuildInfo | RestrictionTable when pack_mask & 1.
struct LandblockInfo {
  uint32_t id = 0;
  uint32_t num_cells = 0;
  uint32_t num_objects = 0;
  std::vector<Stab> objects;
  uint16_t num_buildings = 0;
  uint16_t pack_mask = 0;
  std::vector<BuildInfo> buildings;
  std::optional<RestrictionTable> restriction_tables;

  // Lists grow as their items are read (no count reserves memory); bytes after the last field
  // are ignored.
  static ReadResult<LandblockInfo> unpack(ByteReader& in);
  static ReadResult<LandblockInfo> unpack(std::span<const uint8_t> bytes);
};

}  // namespace fennistock::dat
