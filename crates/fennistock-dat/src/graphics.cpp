#include "fennistock/dat/graphics.h"

namespace fennistock::dat {
namespace {
constexpr std::string_view kModule = "crates/fennistock-dat/src/graphics";
}  // namespace

ReadResult<Frame> read_graphics_frame(ByteReader& in) {
  Frame frame;
  FS_TRY_CTX(frame.origin, read_vector3(in), FS_FIELD("origin", "Frame"));
  FS_TRY_CTX(frame.orientation, read_quaternion(in), FS_FIELD("orientation", "Frame"));
  return frame;
}

ReadResult<Vec2Duv> Vec2Duv::read(ByteReader& in) {
  Vec2Duv uv;
  FS_TRY_CTX(uv.u, in.f32(), FS_FIELD("u", "Vec2Duv"));
  FS_TRY_CTX(uv.v, in.f32(), FS_FIELD("v", "Vec2Duv"));
  return uv;
}

ReadResult<SWVertex> SWVertex::read(ByteReader& in) {
  SWVertex vertex;
  FS_TRY_CTX(vertex.num_uvs, in.u16(), FS_FIELD("num_uvs", "SWVertex"));
  FS_TRY_CTX(vertex.origin, read_vector3(in), FS_FIELD("origin", "SWVertex"));
  FS_TRY_CTX(vertex.normal, read_vector3(in), FS_FIELD("normal", "SWVertex"));
  for (uint16_t i = 0; i < vertex.num_uvs; ++i) {
    FS_TRY_CTX(const Vec2Duv uv, Vec2Duv::read(in), FS_FIELD("uvs", "SWVertex"));
    vertex.uvs.push_back(uv);
  }
  return vertex;
}

ReadResult<CVertexArray> CVertexArray::read(ByteReader& in) {
  CVertexArray array;
  FS_TRY(array.vertex_type, in.u32());
  FS_TRY(const uint32_t count, in.u32());
  if (array.vertex_type != kSwVertexType) return array;
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const uint16_t id, in.u16());
    FS_TRY(SWVertex vertex, SWVertex::read(in));
    array.vertices.insert_or_assign(id, std::move(vertex));
  }
  return array;
}

ReadResult<Polygon> Polygon::read(ByteReader& in) {
  Polygon poly;
  FS_TRY(poly.num_vertices, in.u8());
  FS_TRY(poly.uv_flags, in.u8());
  FS_TRY(poly.side_mode, in.u32());
  FS_TRY(poly.pos_surface, in.u16());
  FS_TRY(poly.neg_surface, in.u16());
  poly.vertex_ids.reserve(poly.num_vertices);  // at most 255
  for (uint8_t i = 0; i < poly.num_vertices; ++i) {
    FS_TRY(const uint16_t id, in.u16());
    poly.vertex_ids.push_back(id);
  }
  if (poly.num_vertices == 0) return poly;
  if ((poly.uv_flags & kNoPosUvs) == 0) {
    FS_TRY(const auto bytes, in.take(poly.num_vertices));
    poly.pos_uv_indices.assign(bytes.begin(), bytes.end());
  }
  if (poly.side_mode == kBothSides && (poly.uv_flags & kNoNegUvs) == 0) {
    FS_TRY(const auto bytes, in.take(poly.num_vertices));
    poly.neg_uv_indices.assign(bytes.begin(), bytes.end());
  }
  return poly;
}

}  // namespace fennistock::dat
