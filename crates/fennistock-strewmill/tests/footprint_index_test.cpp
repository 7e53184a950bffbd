#include "footprint_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "footprint.h"

namespace fennistock::strewmill::internal {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool linear_overlaps_any(const std::vector<BuildingFootprint>& stored, const BuildingFootprint& box) {
  for (const BuildingFootprint& other : stored) {
    if (overlaps(box, other)) return true;
  }
  return false;
}

// Bounds drawn to hit every shape the index treats apart: NaN, both infinities, values outside the
// landblock, cell edges and their neighbours, and ordinary values; a box may come out inverted.
float draw(std::mt19937& rng) {
  const float special[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 192.0f, -7.5f, 250.0f, 3.0f, 96.0f, 191.99998f};
  switch (rng() % 4) {
    case 0:
      return special[rng() % std::size(special)];
    case 1: {  // a cell edge, or the float next to it
      const float edge = 3.0f * static_cast<float>(rng() % 65);
      const int step = static_cast<int>(rng() % 3) - 1;
      return step == 0 ? edge : std::nextafter(edge, step > 0 ? kInf : -kInf);
    }
    default:
      return std::uniform_real_distribution<float>(-10.0f, 202.0f)(rng);
  }
}

BuildingFootprint random_box(std::mt19937& rng) {
  const float x = draw(rng);
  const float y = draw(rng);
  switch (rng() % 4) {
    case 0:  // a point
      return {x, y, x, y};
    case 1: {  // a small box
      const float w = std::uniform_real_distribution<float>(0.0f, 4.0f)(rng);
      return {x, y, x + w, y + w};
    }
    case 2:  // the footprint of an empty or all-NaN mesh, on one or both axes
      return rng() % 2 ? BuildingFootprint{kInf, kInf, -kInf, -kInf} : BuildingFootprint{x, kInf, x, -kInf};
    default:  // four independent bounds: inverted, infinite, NaN, anything
      return {draw(rng), draw(rng), draw(rng), draw(rng)};
  }
}

TEST(FootprintIndexTest, AgreesWithComparingEveryBox) {
  // As the bake uses it (a box is stored when it overlaps nothing), and with boxes stored whatever
  // they overlap, so that the index also holds overlapping, huge and odd boxes.
  for (const bool store_all : {false, true}) {
    SCOPED_TRACE(store_all ? "every box stored" : "boxes stored when apart");
    std::mt19937 rng(store_all ? 7 : 11);
    FootprintIndex index;
    std::vector<BuildingFootprint> stored;
    size_t overlapping = 0;
    for (int k = 0; k < 20000; ++k) {
      const BuildingFootprint box = random_box(rng);
      const bool want = linear_overlaps_any(stored, box);
      ASSERT_EQ(index.overlaps_any(box), want)
          << "box " << k << ": (" << box.min_x << ", " << box.min_y << ", " << box.max_x << ", " << box.max_y << ")";
      overlapping += want;
      if (store_all || !want) {
        index.insert(box);
        stored.push_back(box);
      }
    }
    // Both answers were exercised.
    EXPECT_GT(overlapping, 1000u);
    EXPECT_GT(stored.size(), 1000u);
  }
}

TEST(FootprintIndexTest, OddShapesOverlapOnlyWhatTheRuleSays) {
  const BuildingFootprint empty{kInf, kInf, -kInf, -kInf};
  const BuildingFootprint everywhere{-kInf, -kInf, kInf, kInf};
  const BuildingFootprint point{10, 10, 10, 10};
  const BuildingFootprint inverted{12, 5, 8, 6};  // x from 12 down to 8
  const BuildingFootprint nan_box{kNaN, 0, 1, 1};
  struct Row {
    BuildingFootprint stored, query;
    bool overlaps;
  };
  const Row rows[] = {
      {empty, point, false},         {empty, empty, false},      {empty, everywhere, true},
      {everywhere, empty, true},     {point, everywhere, true},  {point, point, true},
      {point, {10.5f, 10, 11, 10}, false},
      {inverted, {7, 5, 13, 6}, true},   // contains [8, 12] on x
      {inverted, {9, 5, 10, 6}, false},  // inside the gap only
      {nan_box, {-5, 0, -4, 1}, true},    // left of it, but a NaN min_x is never beyond anything
      {nan_box, {100, 0, 101, 1}, false},  // right of its max_x
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(&r - rows);
    // Stored once (compared one by one) and many times over (the grid and its lists).
    for (const size_t copies : {size_t{1}, FootprintIndex::kGridThreshold + 1}) {
      FootprintIndex index;
      for (size_t k = 0; k < copies; ++k) index.insert(r.stored);
      EXPECT_EQ(index.overlaps_any(r.query), r.overlaps) << copies;
    }
    EXPECT_EQ(overlaps(r.query, r.stored), r.overlaps);
  }
}

}  // namespace
}  // namespace fennistock::strewmill::internal
