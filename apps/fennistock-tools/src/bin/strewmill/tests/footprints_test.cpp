#include "footprints.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace fennistock::tool {
namespace {

TEST(BuildingFootprintTest, YawZeroShiftsTheMeshExtents) {
  Frame frame;
  frame.origin = {100.0f, 50.0f, 7.0f};
  frame.orientation = {1.0f, 0.3f, -0.2f, 0.0f};  // x and y parts are ignored
  const std::vector<Vector3> mesh = {{-2.0f, 1.0f, 9.0f}, {3.0f, -4.0f, -9.0f}, {0.5f, 0.5f, 0.0f}};
  const auto box = building_footprint(frame, mesh);
  EXPECT_EQ(box.min_x, 98.0f);
  EXPECT_EQ(box.max_x, 103.0f);
  EXPECT_EQ(box.min_y, 46.0f);
  EXPECT_EQ(box.max_y, 51.0f);
}

TEST(BuildingFootprintTest, QuarterTurnAboutTheVerticalAxis) {
  Frame frame;
  frame.orientation = {0.70710677f, 0.0f, 0.0f, 0.70710677f};  // (w, z) = (cos 45°, sin 45°)
  const std::vector<Vector3> mesh = {{1.0f, 0.0f, 0.0f}};
  const auto box = building_footprint(frame, mesh);
  EXPECT_EQ(box.min_y, 1.0f);
  EXPECT_EQ(box.max_y, 1.0f);
  EXPECT_LT(std::fabs(box.min_x), 1e-7f);  // cos(pi/2) rounded in single precision
  EXPECT_EQ(box.min_x, box.max_x);
}

TEST(BuildingFootprintTest, NanVerticesNeverReplaceABoundAndEmptyMeshesStayInverted) {
  Frame frame;
  frame.orientation = {1.0f, 0.0f, 0.0f, 0.0f};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // A NaN in either coordinate makes both rotated coordinates NaN (NaN times sin 0 is NaN).
  const std::vector<Vector3> mesh = {{nan, 2.0f, 0.0f}, {3.0f, 4.0f, 0.0f}, {1.0f, nan, 0.0f}};
  const auto box = building_footprint(frame, mesh);
  EXPECT_EQ(box.min_x, 3.0f);
  EXPECT_EQ(box.max_x, 3.0f);
  EXPECT_EQ(box.min_y, 4.0f);
  EXPECT_EQ(box.max_y, 4.0f);
  const auto empty = building_footprint(frame, {});
  EXPECT_EQ(empty.min_x, std::numeric_limits<float>::infinity());
  EXPECT_EQ(empty.max_y, -std::numeric_limits<float>::infinity());
}

}  // namespace
}  // namespace fennistock::tool
