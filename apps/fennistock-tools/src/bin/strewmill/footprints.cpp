#include "footprints.h"

#include <math.h>

#include <limits>

namespace fennistock::tool {

strewmill::BuildingFootprint building_footprint(const Frame& frame, std::span<const Vector3> mesh) {
  const float yaw = 2.0f * ::atan2f(frame.orientation.z, frame.orientation.w);
  float s = 0;
  float c = 0;
  ::sincosf(yaw, &s, &c);
  constexpr float kInf = std::numeric_limits<float>::infinity();
  strewmill::BuildingFootprint box{kInf, kInf, -kInf, -kInf};
  for (const Vector3& v : mesh) {
    const float wx = ((v.x * c) - (v.y * s)) + frame.origin.x;
    const float wy = ((v.y * c) + (v.x * s)) + frame.origin.y;
    // Strict comparisons: a NaN never replaces a bound.
    if (wx < box.min_x) box.min_x = wx;
    if (wy < box.min_y) box.min_y = wy;
    if (wx > box.max_x) box.max_x = wx;
    if (wy > box.max_y) box.max_y = wy;
  }
  return box;
}

std::vector<strewmill::BuildingFootprint> building_footprints(const dat::LandblockInfo& info,
                                                              const dat::DatDatabase& portal, MeshCache& meshes) {
  std::vector<strewmill::BuildingFootprint> boxes;
  for (const dat::BuildInfo& building : info.buildings) {
    const LocalMesh* mesh = meshes.lookup(portal, building.model_id);
    if (mesh == nullptr) continue;
    boxes.push_back(building_footprint(building.frame, *mesh));
  }
  return boxes;
}

}  // namespace fennistock::tool
