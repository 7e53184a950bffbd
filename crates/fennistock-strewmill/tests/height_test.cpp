#include "fennistock/strewmill/height.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace fennistock::strewmill {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

uint32_t bits(float v) { return std::bit_cast<uint32_t>(v); }

// Height 24 * x at column x: a ramp rising one unit per unit along x.
HeightGrid ramp() {
  HeightGrid g{};
  for (int x = 0; x < 9; ++x) {
    for (int y = 0; y < 9; ++y) g[x * 9 + y] = 24.0f * static_cast<float>(x);
  }
  return g;
}

TEST(HeightTest, VertexHeightsLookUpTheRegionTable) {
  dat::Region region;
  for (int i = 0; i < 256; ++i) region.land_heights[i] = 0.5f * static_cast<float>(i) + 0.25f;
  dat::CellLandblock cell;
  cell.height[0] = 0;
  cell.height[1] = 7;
  cell.height[40] = 200;
  cell.height[80] = 255;  // the table's last entry
  const HeightGrid g = vertex_heights(region, cell);
  EXPECT_EQ(bits(g[0]), bits(0.25f));
  EXPECT_EQ(bits(g[1]), bits(3.75f));
  EXPECT_EQ(bits(g[2]), bits(0.25f));
  EXPECT_EQ(bits(g[40]), bits(100.25f));
  EXPECT_EQ(bits(g[80]), bits(127.75f));
}

TEST(HeightTest, RampSamplesAtLandblock1234) {
  const HeightGrid g = ramp();
  struct Case {
    float x, y;
    uint32_t triangle, bilinear;
  };
  const Case kCases[] = {
      {30, 10, bits(30.0f), 0x41F00001},  // bilinear one unit in the last place above 30
      {100, 77, bits(100.0f), bits(100.0f)},
      {191, 5, bits(191.0f), bits(191.0f)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    EXPECT_EQ(bits(triangle_plane_height_from_grid(g, 0x1234, c.x, c.y)), c.triangle);
    EXPECT_EQ(bits(bilinear_height_from_grid(g, c.x, c.y)), c.bilinear);
  }
}

TEST(HeightTest, OutsideTheLandblockBilinearClampsAndTheTriangleExtrapolates) {
  const HeightGrid g = ramp();
  struct Case {
    float x, y, triangle, bilinear;
  };
  const Case kCases[] = {{216, 5, 216, 192}, {-24, 5, -24, 0}, {192, 192, 192, 192}, {50, -100, 50, 50}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    EXPECT_EQ(bits(triangle_plane_height_from_grid(g, 0x1234, c.x, c.y)), bits(c.triangle));
    EXPECT_EQ(bits(bilinear_height_from_grid(g, c.x, c.y)), bits(c.bilinear));
  }
}

TEST(HeightTest, RampSlopeIsAtanOneExceptOnTheFarEdge) {
  const HeightGrid g = ramp();
  struct Case {
    float x, y;
    uint32_t slope;
  };
  const Case kCases[] = {
      {30, 10, 0x3F490FDB}, {0, 0, 0x3F490FDB},    {191.9f, 191.9f, 0x3F490FDB},
      {-50, 5, 0x3F490FDB}, {kNaN, 5, 0x3F490FDB}, {100, 500, 0x3F490FDB},
      {192, 5, bits(0.0f)}, {1000, 5, bits(0.0f)}, {kInf, 5, bits(0.0f)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    EXPECT_EQ(bits(slope_at(g, c.x, c.y)), c.slope);
  }
}

// Only the corner (cx + 1, cy) of the cell is raised to 24: the split decides which triangle
// carries that corner, so the heights at (12, 4) and (4, 12) inside the cell tell the diagonals
// apart.
TEST(HeightTest, HashedSplitPicksTheDiagonal) {
  struct Case {
    uint32_t landblock;
    int cx, cy;
    float near_x_edge, near_y_edge;  // heights at cell-local (12, 4) and (4, 12)
  };
  const Case kCases[] = {
      // landblock 0x0000, cell (0, 0): S = 0xAE6470DB, top bit set: diagonal (0, 0)-(24, 24),
      // heights x - y below it and a flat (zero) triangle above it.
      {0x0000, 0, 0, 8.0f, -0.0f},
      // cell (1, 0): S = 0xBDE41C43 + 0xAE6470DB = 0x6C488D1E, top bit clear: diagonal
      // (48, 0)-(24, 24), heights x - 24 in the triangle holding the raised corner.
      {0x0000, 1, 0, 12.0f, 4.0f},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.cx << ", " << c.cy);
    HeightGrid g{};
    g[(c.cx + 1) * 9 + c.cy] = 24.0f;
    const float x0 = 24.0f * static_cast<float>(c.cx);
    const float y0 = 24.0f * static_cast<float>(c.cy);
    EXPECT_EQ(bits(triangle_plane_height_from_grid(g, c.landblock, x0 + 12, y0 + 4)), bits(c.near_x_edge));
    EXPECT_EQ(bits(triangle_plane_height_from_grid(g, c.landblock, x0 + 4, y0 + 12)), bits(c.near_y_edge));
  }
}

TEST(HeightTest, FlatZeroGridSignsOfZero) {
  const HeightGrid g{};
  const float kPoints[][2] = {{0, 0}, {30, 10}, {100, 77}, {191, 191}, {192, 192}, {12, 12}};
  for (const auto& p : kPoints) {
    SCOPED_TRACE(testing::Message() << p[0] << ", " << p[1]);
    for (const uint32_t lb : {0x0000u, 0x1234u, 0xFFFFu}) {
      EXPECT_EQ(bits(triangle_plane_height_from_grid(g, lb, p[0], p[1])), 0x80000000u);
    }
    EXPECT_EQ(bits(bilinear_height_from_grid(g, p[0], p[1])), 0u);
    EXPECT_EQ(bits(slope_at(g, p[0], p[1])), 0u);
  }
}

TEST(HeightTest, BilinearIsExactAtEveryVertex) {
  HeightGrid g{};
  for (int i = 0; i < 81; ++i) g[i] = 1.1f * static_cast<float>(i) - 17.3f;
  for (int x = 0; x < 9; ++x) {
    for (int y = 0; y < 9; ++y) {
      SCOPED_TRACE(testing::Message() << x << ", " << y);
      const float h =
          bilinear_height_from_grid(g, 24.0f * static_cast<float>(x), 24.0f * static_cast<float>(y));
      EXPECT_EQ(bits(h), bits(g[x * 9 + y]));
    }
  }
}

TEST(HeightTest, NonFiniteCoordinatesStayInsideTheGrid) {
  const HeightGrid g = ramp();
  // A NaN or infinite position must neither index outside the grid nor fail; NaN samples are NaN.
  EXPECT_TRUE(std::isnan(bilinear_height_from_grid(g, kNaN, 5)));
  EXPECT_TRUE(std::isnan(triangle_plane_height_from_grid(g, 0x1234, kNaN, 5)));
  EXPECT_EQ(bits(bilinear_height_from_grid(g, kInf, 5)), bits(192.0f));
  EXPECT_EQ(bits(bilinear_height_from_grid(g, -kInf, 5)), bits(0.0f));
  EXPECT_EQ(bits(slope_at(g, -kInf, -kInf)), 0x3F490FDBu);
  EXPECT_EQ(bits(triangle_plane_height_from_grid(g, 0x1234, kInf, 5)), bits(kInf));  // cell 7's plane
}

}  // namespace
}  // namespace fennistock::strewmill
