#include "fennistock/dat/file_type/object_desc.h"

#include "fennistock/dat/graphics.h"

namespace fennistock::dat {

ReadResult<ObjectDesc> ObjectDesc::unpack(ByteReader& in) {
  ObjectDesc desc;
  FS_TRY(desc.obj_id, in.u32());
  FS_TRY(desc.base_frame, read_graphics_frame(in));
  FS_TRY(desc.frequency, in.f32());
  FS_TRY(desc.displace_x, in.f32());
  FS_TRY(desc.displace_y, in.f32());
  FS_TRY(desc.min_scale, in.f32());
  FS_TRY(desc.max_scale, in.f32());
  FS_TRY(desc.max_rotation, in.f32());
  FS_TRY(desc.min_slope, in.f32());
  FS_TRY(desc.max_slope, in.f32());
  FS_TRY(desc.aux_a, in.u32());
  FS_TRY(desc.aux_b, in.u32());
  FS_TRY(desc.excluded, in.u32());
  return desc;
}

}  // namespace fennistock::dat
