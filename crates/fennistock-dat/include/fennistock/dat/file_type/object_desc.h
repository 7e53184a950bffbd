// ObjectDesc: one object of a Scene, the model and the rules by which the bake may place it.
#pragma once

#include <cstdint>

#include "fennistock/common/byte_reader.h"
#include "fennistock/common/math.h"

namespace fennistock::dat {

// 76 bytes: u32 obj_id | Frame base_frame (graphics contexts) | 8 x f32 | 3 x u32.
struct ObjectDesc {
  static constexpr size_t kSize = 76;

  uint32_t obj_id = 0;   // model id (setup or GfxObj)
  Frame base_frame;      // offset from the vertex; only origin x and y are used
  float frequency = 0;   // placed where the vertex's noise in [0, 1) is below this
  float displace_x = 0;  // maximum extra offset along x; 0 or less means none
  float displace_y = 0;
  float min_scale = 0;
  float max_scale = 0;
  float max_rotation = 0;  // degrees; 0 or less means no rotation
  float min_slope = 0;     // radians (strict mode only)
  float max_slope = 0;     // radians (strict mode only)
  uint32_t aux_a = 0;
  uint32_t aux_b = 0;
  uint32_t excluded = 0;  // non-zero: never placed

  // Adds no context of its own; a failure inside base_frame carries the Frame contexts.
  static ReadResult<ObjectDesc> unpack(ByteReader& in);
};

}  // namespace fennistock::dat
