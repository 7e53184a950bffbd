// GfxObj: one rigid mesh of the portal archive (ids 0x01......): its vertices, polygons and up to
// two BSP trees. The tool uses only the vertex origins, but a record that fails anywhere gives
// no footprint, so every section is read exactly. Adds no context frames of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "fennistock/dat/graphics.h"
#include "fennistock/dat/physics.h"

namespace fennistock::dat {

// u32 id | u32 flags | smart list surfaces | CVertexArray |
// flags & 0x01: compressed count, count x (u16 id, Polygon), physics BSP tree |
// Vector3 sort_center |
// flags & 0x02: compressed count, count x (u16 id, Polygon), drawing BSP tree |
// flags & 0x08: u32 trailing_id.
// Other flag bits are ignored; bytes after the last section are ignored.
struct GfxObj {
  static constexpr uint32_t kPhysicsBit = 0x01;
  static constexpr uint32_t kDrawingBit = 0x02;
  static constexpr uint32_t kTrailingIdBit = 0x08;

  uint32_t id = 0;
  uint32_t flags = 0;
  std::vector<uint32_t> surfaces;
  CVertexArray vertex_array;
  std::unordered_map<uint16_t, Polygon> physics_polygons;  // by polygon id; a repeated id keeps the last
  std::optional<BspNode> physics_bsp;
  Vector3 sort_center;
  std::unordered_map<uint16_t, Polygon> polygons;  // by polygon id; a repeated id keeps the last
  std::optional<BspNode> drawing_bsp;
  std::optional<uint32_t> trailing_id;

  static ReadResult<GfxObj> unpack(ByteReader& in);
  static ReadResult<GfxObj> unpack(std::span<const uint8_t> bytes);
};

}  // namespace fennistock::dat
