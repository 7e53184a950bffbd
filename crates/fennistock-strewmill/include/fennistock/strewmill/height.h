// Terrain height and slope sampling over a landblock's 9 x 9 vertex heights. All arithmetic is
// single precision, rounded after every operation, in the stated order, with no fused multiply-add.
#pragma once

#include <array>
#include <cstdint>

#include "fennistock/dat/file_type/region.h"
#include "fennistock/dat/landblock.h"

namespace fennistock::strewmill {

// The 81 vertex heights; vertex (x, y) is entry 9 * x + y, at local position (24x, 24y).
using HeightGrid = std::array<float, 81>;

// Each vertex's height index looked up in the region's land-height table.
[[nodiscard]] HeightGrid vertex_heights(const dat::Region& region, const dat::CellLandblock& cell);
// The bilinear blend of the four corners of the cell under (x, y), clamped to the landblock.
[[nodiscard]] float bilinear_height_from_grid(const HeightGrid& grid, float x, float y);
// The height of the plane of the triangle under (x, y), the cell split along the diagonal chosen
// by a hash of its global position; `landblock_id` is the 16-bit id 0xXXYY.
[[nodiscard]] float triangle_plane_height_from_grid(const HeightGrid& grid, uint32_t landblock_id, float x,
                                                    float y);
// The slope angle in radians of the cell under (x, y).
[[nodiscard]] float slope_at(const HeightGrid& grid, float x, float y);

}  // namespace fennistock::strewmill
