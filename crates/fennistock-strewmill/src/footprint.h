// The ground box an object covers: its footprint mesh scaled, turned by the heading and moved to
// the object's position, and the overlap rule between two such boxes.
#pragma once

#include <span>

#include "fennistock/common/math.h"
#include "fennistock/strewmill/lib.h"

namespace fennistock::strewmill::internal {

// The bounds of (x + rx, y + ry) over the mesh points, where (rx, ry) is the point's x and y times
// `scale`, turned by the angle whose sine and cosine are `sn` and `cs`. A bound moves only for a
// coordinate strictly beyond it, so NaN coordinates change nothing and an empty mesh gives
// (+inf, +inf, -inf, -inf). Vectorised where the target allows; bit-identical to footprint_scalar.
[[nodiscard]] BuildingFootprint footprint(std::span<const Vector3> mesh, float x, float y, float scale,
                                          float sn, float cs);
// The same, one point at a time: the reference the vectorised loop must reproduce.
[[nodiscard]] BuildingFootprint footprint_scalar(std::span<const Vector3> mesh, float x, float y, float scale,
                                                 float sn, float cs);

// Whether `a` and `b` overlap: boxes that only touch overlap, and a NaN bound makes any pair overlap.
[[nodiscard]] inline bool overlaps(const BuildingFootprint& a, const BuildingFootprint& b) {
  const bool apart = b.min_x > a.max_x || a.min_x > b.max_x || b.min_y > a.max_y || a.min_y > b.max_y;
  return !apart;
}

}  // namespace fennistock::strewmill::internal
