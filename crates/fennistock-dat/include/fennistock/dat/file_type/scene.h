// Scene: one recipe of scenery, a list of object descriptions.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fennistock/dat/file_type/object_desc.h"

namespace fennistock::dat {

// u32 id | u32 count | count x ObjectDesc
struct Scene {
  uint32_t id = 0;
  std::vector<ObjectDesc> objects;  // in the order the bake visits them

  // Adds no context of its own.
  static ReadResult<Scene> unpack(ByteReader& in);
  static ReadResult<Scene> unpack(std::span<const uint8_t> bytes);
};

}  // namespace fennistock::dat
