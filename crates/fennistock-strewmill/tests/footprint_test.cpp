#include "footprint.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace fennistock::strewmill::internal {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();

uint32_t bits(float v) { return std::bit_cast<uint32_t>(v); }

void expect_same_bits(const BuildingFootprint& got, const BuildingFootprint& want) {
  EXPECT_EQ(bits(got.min_x), bits(want.min_x));
  EXPECT_EQ(bits(got.min_y), bits(want.min_y));
  EXPECT_EQ(bits(got.max_x), bits(want.max_x));
  EXPECT_EQ(bits(got.max_y), bits(want.max_y));
}

TEST(FootprintTest, HandComputedBoxes) {
  struct Case {
    const char* name;
    std::vector<Vector3> mesh;
    float x, y, scale, sn, cs;
    BuildingFootprint want;
  };
  const Case kCases[] = {
      {"empty mesh", {}, 5, 5, 1, 0, 1, {kInf, kInf, -kInf, -kInf}},
      // 0 * NaN is NaN, so a NaN in either coordinate spoils both.
      {"only NaN points", {{kNaN, 0, 0}, {0, kNaN, 0}}, 5, 5, 1, 0, 1, {kInf, kInf, -kInf, -kInf}},
      {"unturned", {{-1, -2, 7}, {3, 4, -7}}, 10, 20, 2, 0, 1, {8, 16, 16, 28}},
      // sn = 1, cs = 0: (2, 0) * 3 turns to (0, 6) and (0, -1) * 3 to (3, 0).
      {"quarter turn", {{2, 0, 0}, {0, -1, 0}}, 10, 20, 3, 1, 0, {10, 20, 13, 26}},
      // (inf, 0) moves to (inf, 0 * inf + 0) = (inf, NaN).
      {"infinite point", {{kInf, 0, 0}, {1, 1, 0}}, 0, 0, 1, 0, 1, {1, 1, kInf, 1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    expect_same_bits(footprint_scalar(c.mesh, c.x, c.y, c.scale, c.sn, c.cs), c.want);
    expect_same_bits(footprint(c.mesh, c.x, c.y, c.scale, c.sn, c.cs), c.want);
  }
}

// The vectorised loop against the one-point-at-a-time rule, on meshes of every small length
// (odd and even tails) full of NaN, infinities, signed zeros and denormals.
TEST(FootprintTest, VectorisedLoopMatchesScalarBitForBit) {
  std::mt19937 rng(20240611);
  const float kSpecial[] = {kNaN, -kNaN, kInf, -kInf, 0.0f, -0.0f, kDenormal, -kDenormal, 1.0f, -1.0f};
  const auto draw = [&]() {
    const uint32_t pick = rng() % 4;
    if (pick == 0) return kSpecial[rng() % std::size(kSpecial)];
    return std::uniform_real_distribution<float>(-50.0f, 50.0f)(rng);
  };
  struct Transform {
    float x, y, scale, sn, cs;
  };
  const Transform kTransforms[] = {
      {48, 72, 1, 0, 1},
      {0, 0, 1, 0, 1},
      {-0.0f, -0.0f, 1, 0, 1},
      {-0.0f, 0, 0, 0, 1},
      {10, 20, 3, 1, 0},
      {5, 5, -0.0f, 0, 1},
      {0, 0, 1.2725574f, 0.8024158f, 0.5967653f},
      {192, 192, kNaN, 0, 1},
      {100, 0, 2, -0.0f, -1},
  };
  for (int round = 0; round < 40; ++round) {
    for (size_t n = 0; n <= 11; ++n) {
      std::vector<Vector3> mesh(n);
      for (Vector3& v : mesh) v = {draw(), draw(), draw()};
      for (const Transform& t : kTransforms) {
        SCOPED_TRACE(testing::Message()
                     << "round " << round << ", " << n << " points, at " << t.x << ", " << t.y);
        expect_same_bits(footprint(mesh, t.x, t.y, t.scale, t.sn, t.cs),
                         footprint_scalar(mesh, t.x, t.y, t.scale, t.sn, t.cs));
      }
    }
  }
}

// At (-0, -0), unturned (sn = 0, cs = 1): (-0, 1) lands on x = -0 + (1 * -0 - 0 * 1) = -0,
// (-1, -0) on y = -0 + (0 * -1 + 1 * -0) = -0, and (0, 0) on (+0, +0). The zeros tie, so the
// first point visited keeps its sign.
TEST(FootprintTest, SignedZeroTiesKeepTheFirstPointsZero) {
  const float z = -0.0f;
  struct Case {
    std::vector<Vector3> mesh;
    BuildingFootprint want;
  };
  const Case kCases[] = {
      {{{z, 1, 0}, {0, 0, 0}}, {z, 0, z, 1}},
      {{{0, 0, 0}, {z, 1, 0}}, {0, 0, 0, 1}},
      {{{-1, z, 0}, {0, 0, 0}}, {-1, z, 0, z}},
      {{{0, 0, 0}, {-1, z, 0}}, {-1, 0, 0, 0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << bits(c.mesh[0].x) << " first");
    expect_same_bits(footprint(c.mesh, z, z, 1, 0, 1), c.want);
    expect_same_bits(footprint_scalar(c.mesh, z, z, 1, 0, 1), c.want);
  }
}

TEST(FootprintTest, OverlapRule) {
  const BuildingFootprint a{0, 0, 10, 10};
  struct Case {
    BuildingFootprint b;
    bool overlap;
  };
  const Case kCases[] = {
      {{10, 10, 20, 20}, true},         {{10.001f, 0, 20, 10}, false},       {{-5, -5, -0.001f, 5}, false},
      {{2, 10.5f, 3, 12}, false},       {{2, -3, 3, -0.5f}, false},          {{2, 2, 3, 3}, true},
      {{kNaN, kNaN, kNaN, kNaN}, true}, {{kInf, kInf, -kInf, -kInf}, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.b.min_x << " " << c.b.min_y << " " << c.b.max_x << " " << c.b.max_y);
    EXPECT_EQ(overlaps(a, c.b), c.overlap);
    EXPECT_EQ(overlaps(c.b, a), c.overlap);
  }
}

}  // namespace
}  // namespace fennistock::strewmill::internal
