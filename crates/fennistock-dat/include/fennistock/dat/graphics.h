// The building blocks of graphics objects: the graphics-family Frame reader, vertices and
// polygons. Error contexts name the module "crates/fennistock-dat/src/graphics"; the vertex-array
// and polygon readers add none of their own.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "fennistock/common/byte_reader.h"
#include "fennistock/common/math.h"

namespace fennistock::dat {

// The Frame of graphics objects, setup models and object descriptions: origin then orientation,
// with the contexts "While parsing field 'origin' in Frame" / "'orientation' in Frame".
ReadResult<Frame> read_graphics_frame(ByteReader& in);

// f32 u | f32 v (8 bytes)
struct Vec2Duv {
  float u = 0;
  float v = 0;
  static ReadResult<Vec2Duv> read(ByteReader& in);
};

// u16 num_uvs | Vector3 origin | Vector3 normal | num_uvs x Vec2Duv (26 + 8 * num_uvs bytes)
struct SWVertex {
  uint16_t num_uvs = 0;
  Vector3 origin;  // position in the object's own coordinates
  Vector3 normal;
  std::vector<Vec2Duv> uvs;
  static ReadResult<SWVertex> read(ByteReader& in);
};

// u32 vertex_type | u32 count | when vertex_type is 1: count x (u16 id, SWVertex).
// Any other vertex_type reads no vertices at all: the count is ignored.
struct CVertexArray {
  static constexpr uint32_t kSwVertexType = 1;

  uint32_t vertex_type = 0;
  std::unordered_map<uint16_t, SWVertex> vertices;  // by vertex id; a repeated id keeps the last
  static ReadResult<CVertexArray> read(ByteReader& in);
};

// u8 num_vertices | u8 uv_flags | u32 side_mode | u16 pos_surface | u16 neg_surface |
// num_vertices x u16 vertex_ids | num_vertices x u8 pos_uv_indices unless uv_flags & 0x04 |
// num_vertices x u8 neg_uv_indices when side_mode is 2 and not uv_flags & 0x08.
struct Polygon {
  static constexpr uint8_t kNoPosUvs = 0x04;
  static constexpr uint8_t kNoNegUvs = 0x08;
  static constexpr uint32_t kBothSides = 2;

  uint8_t num_vertices = 0;
  uint8_t uv_flags = 0;
  uint32_t side_mode = 0;
  uint16_t pos_surface = 0;
  uint16_t neg_surface = 0;
  std::vector<uint16_t> vertex_ids;
  std::vector<uint8_t> pos_uv_indices;  // empty unless present
  std::vector<uint8_t> neg_uv_indices;  // empty unless present
  static ReadResult<Polygon> read(ByteReader& in);
};

}  // namespace fennistock::dat
