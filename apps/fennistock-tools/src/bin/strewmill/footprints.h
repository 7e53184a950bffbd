// Building footprints: the ground box that each building of a landblock covers, so that scenery
// is kept off it.
#pragma once

#include <span>
#include <vector>

#include "caches.h"
#include "fennistock/common/math.h"
#include "fennistock/dat/landblock.h"
#include "fennistock/dat/lib.h"
#include "fennistock/strewmill/lib.h"

namespace fennistock::tool {

// The bounding rectangle of the mesh turned by the frame's yaw (only the rotation about the
// vertical axis; the quaternion's x and y are ignored) and moved by its origin, in f32.
[[nodiscard]] strewmill::BuildingFootprint building_footprint(const Frame& frame, std::span<const Vector3> mesh);

// One box per building whose model has a mesh, in the order of the record's building list.
[[nodiscard]] std::vector<strewmill::BuildingFootprint> building_footprints(const dat::LandblockInfo& info,
                                                                            const dat::DatDatabase& portal,
                                                                            MeshCache& meshes);

}  // namespace fennistock::tool
