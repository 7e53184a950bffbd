#include "fennistock/strewmill/height.h"

#include <math.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "float_convert.h"

namespace fennistock::strewmill {
namespace {

constexpr float kCellSize = 24.0f;

// The four corner heights of the cell spanning columns x0..x1 and rows y0..y1.
struct Corners {
  float h00, h10, h01, h11;
};

Corners corners_of(const HeightGrid& grid, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
  return Corners{grid[x0 * 9 + y0], grid[x1 * 9 + y0], grid[x0 * 9 + y1], grid[x1 * 9 + y1]};
}

// floor(v) as a non-negative index capped at 8; NaN and anything below 0 give 0.
uint32_t corner_index(float v) {
  const float f = floorf(v);
  if (!(f > 0.0f)) return 0;  // also NaN
  if (f >= 8.0f) return 8;
  return static_cast<uint32_t>(f);
}

// The far corner: on the last column or row both corners coincide.
uint32_t far_corner(uint32_t near) { return std::min<uint32_t>(near, 7) + 1; }

struct Point3 {
  float x, y, z;
};

// The plane of (p, q, r) evaluated at (x, y).
float plane_height(Point3 p, Point3 q, Point3 r, float x, float y) {
  const Point3 e1{q.x - p.x, q.y - p.y, q.z - p.z};
  const Point3 e2{r.x - p.x, r.y - p.y, r.z - p.z};
  const float nx = e1.y * e2.z - e1.z * e2.y;
  const float ny = e1.z * e2.x - e1.x * e2.z;
  const float nz = e1.x * e2.y - e1.y * e2.x;
  const float d = (nx * p.x + ny * p.y) + nz * p.z;
  return ((d - nx * x) - ny * y) / nz;
}

}  // namespace

HeightGrid vertex_heights(const dat::Region& region, const dat::CellLandblock& cell) {
  HeightGrid grid{};
  const auto& table = region.land_heights;
  for (size_t i = 0; i < grid.size() && i < cell.height.size(); ++i) {
    // An index past the table's end reads its last entry.
    const size_t h = std::min<size_t>(cell.height[i], table.size() - 1);
    grid[i] = table[h];
  }
  return grid;
}

float bilinear_height_from_grid(const HeightGrid& grid, float x, float y) {
  // Clamped to [0, 8]; NaN fails both tests and stays NaN.
  float fx = x / kCellSize;
  float fy = y / kCellSize;
  if (fx < 0.0f) fx = 0.0f;
  if (fx > 8.0f) fx = 8.0f;
  if (fy < 0.0f) fy = 0.0f;
  if (fy > 8.0f) fy = 8.0f;
  const uint32_t x0 = corner_index(fx);
  const uint32_t y0 = corner_index(fy);
  const Corners c = corners_of(grid, x0, far_corner(x0), y0, far_corner(y0));
  const float tx = fx - static_cast<float>(x0);
  const float ty = fy - static_cast<float>(y0);
  const float ux = 1.0f - tx;
  const float uy = 1.0f - ty;
  const float a = (c.h00 * ux) * uy;
  const float b = (c.h10 * tx) * uy;
  const float cc = (ux * c.h01) * ty;
  const float d = (tx * c.h11) * ty;
  return ((a + b) + cc) + d;
}

float slope_at(const HeightGrid& grid, float x, float y) {
  // corner_index raises to 0 (NaN too) and takes anything above 8 as column 8.
  const uint32_t x0 = corner_index(x / kCellSize);
  const uint32_t y0 = corner_index(y / kCellSize);
  const Corners c = corners_of(grid, x0, far_corner(x0), y0, far_corner(y0));
  const float gy = (((c.h11 - c.h10) + (c.h01 - c.h00)) * 0.5f) / kCellSize;
  const float gx = (((c.h11 - c.h01) + (c.h10 - c.h00)) * 0.5f) / kCellSize;
  return ::atanf(sqrtf(gx * gx + gy * gy));
}

float triangle_plane_height_from_grid(const HeightGrid& grid, uint32_t landblock_id, float x, float y) {
  const int32_t cx = std::clamp(internal::saturating_i32(floorf(x / kCellSize)), 0, 7);
  const int32_t cy = std::clamp(internal::saturating_i32(floorf(y / kCellSize)), 0, 7);
  const float x0 = kCellSize * static_cast<float>(cx);
  const float x1 = x0 + kCellSize;
  const float y0 = kCellSize * static_cast<float>(cy);
  const float y1 = y0 + kCellSize;
  const Corners c = corners_of(grid, static_cast<uint32_t>(cx), static_cast<uint32_t>(cx) + 1,
                               static_cast<uint32_t>(cy), static_cast<uint32_t>(cy) + 1);

  const uint32_t gx = ((landblock_id >> 8) & 0xFFu) * 8u + static_cast<uint32_t>(cx);
  const uint32_t gy = (landblock_id & 0xFFu) * 8u + static_cast<uint32_t>(cy);
  const uint32_t split = gy * (gx * 0x0CCAC033u + 0x6C1AC587u) + gx * 0xBDE41C43u + 0xAE6470DBu;
  const bool rising = (split & 0x80000000u) != 0;  // diagonal from (x0, y0) to (x1, y1)

  const Point3 p00{x0, y0, c.h00};
  const Point3 p10{x1, y0, c.h10};
  const Point3 p01{x0, y1, c.h01};
  const Point3 p11{x1, y1, c.h11};
  const float ax = rising ? x1 : x0;  // the first triangle's apex is (ax, y1)

  // Barycentric weights of (x, y) against (x1, y0) and (x0, y0) in the first triangle; a NaN
  // weight counts as inside.
  const float inv = 1.0f / -576.0f;
  const float w = kCellSize * x;
  const float s = (y * (ax - x0) + ((x0 * y1 - ax * y0) - w)) * inv;
  const float t = inv * ((x1 - ax) * y + (w + (ax * y0 - x1 * y1)));
  const bool in_first = !(s < 0.0f || t < 0.0f || t > 1.0f - s);

  if (rising) {
    return in_first ? plane_height(p00, p11, p10, x, y) : plane_height(p01, p11, p00, x, y);
  }
  return in_first ? plane_height(p00, p01, p10, x, y) : plane_height(p10, p01, p11, x, y);
}

}  // namespace fennistock::strewmill
