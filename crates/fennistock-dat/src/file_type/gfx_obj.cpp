#include "fennistock/dat/file_type/gfx_obj.h"

#include "fennistock/dat/utils.h"

namespace fennistock::dat {
namespace {

// compressed count, count x (u16 id, Polygon); the table grows as entries are read.
Result<void, ReadError> read_polygon_table(ByteReader& in, std::unordered_map<uint16_t, Polygon>& table) {
  FS_TRY(const uint32_t count, read_compressed_u32(in));
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const uint16_t id, in.u16());
    FS_TRY(Polygon poly, Polygon::read(in));
    table.insert_or_assign(id, std::move(poly));
  }
  return {};
}

}  // namespace

ReadResult<GfxObj> GfxObj::unpack(ByteReader& in) {
  GfxObj obj;
  FS_TRY(obj.id, in.u32());
  FS_TRY(obj.flags, in.u32());
  FS_TRY(obj.surfaces, read_smart_vec(in));
  FS_TRY(obj.vertex_array, CVertexArray::read(in));
  if ((obj.flags & kPhysicsBit) != 0) {
    FS_RETURN_IF_ERROR(read_polygon_table(in, obj.physics_polygons));
    FS_TRY(obj.physics_bsp, BspNode::read(in, TreeKind::kPhysics));
  }
  FS_TRY(obj.sort_center, read_vector3(in));
  if ((obj.flags & kDrawingBit) != 0) {
    FS_RETURN_IF_ERROR(read_polygon_table(in, obj.polygons));
    FS_TRY(obj.drawing_bsp, BspNode::read(in, TreeKind::kDrawing));
  }
  if ((obj.flags & kTrailingIdBit) != 0) {
    FS_TRY(obj.trailing_id, in.u32());
  }
  return obj;
}

ReadResult<GfxObj> GfxObj::unpack(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return unpack(in);
}

}  // namespace fennistock::dat
