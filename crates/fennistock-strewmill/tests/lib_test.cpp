#include "fennistock/strewmill/lib.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace fennistock::strewmill {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

uint32_t bits(float v) { return std::bit_cast<uint32_t>(v); }

constexpr uint32_t kSceneId = 0x120000A0;
constexpr uint32_t kSquare = 0x01000001;  // mesh spanning [-1, 1] on both axes
constexpr uint32_t kPoint = 0x01000002;   // empty mesh: placed, never blocks
constexpr uint32_t kNoMesh = 0x01000003;  // the mesh lookup has nothing

// The log both fakes write to, so tests can check the calling order across them.
using CallLog = std::vector<std::string>;

class FakeScenes : public SceneLookup {
 public:
  explicit FakeScenes(CallLog& log) : log_(log) {}
  std::map<uint32_t, std::vector<dat::ObjectDesc>> scenes;
  std::optional<std::span<const dat::ObjectDesc>> scene(uint32_t scene_id) override {
    log_.push_back(fmt::format("scene 0x{:08X}", scene_id));
    const auto it = scenes.find(scene_id);
    if (it == scenes.end()) return std::nullopt;
    return std::span<const dat::ObjectDesc>(it->second);
  }

 private:
  CallLog& log_;
};

class FakeMeshes : public MeshLookup {
 public:
  explicit FakeMeshes(CallLog& log) : log_(log) {
    meshes[kSquare] = {{-1, -1, 0}, {1, 1, 0}, {kNaN, kNaN, 0}, {0.5f, -0.5f, 3}};
    meshes[kPoint] = {};
  }
  std::map<uint32_t, std::vector<Vector3>> meshes;
  std::optional<std::span<const Vector3>> mesh(uint32_t obj_id) override {
    log_.push_back(fmt::format("mesh 0x{:08X}", obj_id));
    const auto it = meshes.find(obj_id);
    if (it == meshes.end()) return std::nullopt;
    return std::span<const Vector3>(it->second);
  }

 private:
  CallLog& log_;
};

// An object that always passes the frequency test, unscaled, unturned, not displaced, at
// offset (bx, by) from its vertex.
dat::ObjectDesc object(uint32_t obj_id, float bx = 0, float by = 0) {
  dat::ObjectDesc d;
  d.obj_id = obj_id;
  d.base_frame.origin = {bx, by, 99};  // z is never used
  d.base_frame.orientation = {0, 0, 0, 1};
  d.frequency = 1;
  d.min_scale = 1;
  d.max_scale = 1;
  d.max_slope = 10;
  return d;
}

// A tiny world: terrain type 0 has no scene types; type 1 has scene type 0, which lists the one
// scene kSceneId. Every vertex is type 0 until `put` gives it the scene. Noise values quoted in
// the tests are those of landblock 0x0000 (global vertex coordinates = local ones).
struct World {
  CallLog log;
  dat::Region region;
  dat::CellLandblock cell;
  FakeScenes scenes{log};
  FakeMeshes meshes{log};
  std::vector<BuildingFootprint> buildings;

  World() {
    region.terrain_desc.terrain_types.resize(2);
    region.terrain_desc.terrain_types[1].scene_types = {0};
    region.scene_desc.emplace();
    region.scene_desc->scene_types.resize(1);
    region.scene_desc->scene_types[0].scenes = {kSceneId};
  }
  static constexpr uint16_t kSceneWord = 1 << 2;  // terrain type 1, slot 0
  void put(int x, int y, uint16_t extra_bits = 0) { cell.terrain[x * 9 + y] = kSceneWord | extra_bits; }
  void scene(std::vector<dat::ObjectDesc> objects) { scenes.scenes[kSceneId] = std::move(objects); }

  std::vector<Placement> bake(BakeMode mode = BakeMode::kAceCompat, uint32_t landblock = 0x0000) {
    return bake_landblock_impl(region, cell, landblock << 16, scenes, meshes, buildings, mode);
  }
};

std::vector<uint32_t> indices(const std::vector<Placement>& placed) {
  std::vector<uint32_t> out;
  for (const Placement& p : placed) out.push_back(p.source_obj_idx);
  return out;
}

TEST(BakeModeTest, ParsesTheAcceptedTextsOnly) {
  struct Case {
    std::string_view text;
    std::optional<BakeMode> mode;
  };
  const Case kCases[] = {
      {"ace-compat", BakeMode::kAceCompat},
      {"ace_compat", BakeMode::kAceCompat},
      {"acecompat", BakeMode::kAceCompat},
      {"strict", BakeMode::kStrict},
      {"Strict", std::nullopt},
      {" strict", std::nullopt},
      {"ace-compat ", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto r = parse_bake_mode(c.text);
    if (c.mode.has_value()) {
      ASSERT_TRUE(r.ok());
      EXPECT_EQ(*r, *c.mode);
    } else {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.error(), fmt::format("unknown BakeMode `{}` (expected `ace-compat` or `strict`)", c.text));
    }
  }
  EXPECT_EQ(canonical_name(BakeMode::kAceCompat), "ace-compat");
  EXPECT_EQ(canonical_name(BakeMode::kStrict), "strict");
}

TEST(BakeTest, RegionWithoutSceneDescPlacesNothingAndLooksNothingUp) {
  World w;
  w.put(2, 3);
  w.scene({object(kSquare)});
  w.region.scene_desc.reset();
  EXPECT_THAT(w.bake(), IsEmpty());
  EXPECT_THAT(w.log, IsEmpty());
}

TEST(BakeTest, VerticesWithoutUsableScenesAreSkipped) {
  struct Case {
    const char* name;
    uint16_t word;
    std::vector<uint32_t> type1_slots;  // scene types of terrain type 1
    std::vector<uint32_t> scene_list;   // scenes of scene type 0
    bool looked_up;
  };
  const Case kCases[] = {
      {"usable", 1 << 2, {0}, {kSceneId}, true},
      {"terrain type beyond the list", 2 << 2, {0}, {kSceneId}, false},
      {"terrain type without scene types", 0, {0}, {kSceneId}, false},
      {"slot beyond the list", (1 << 2) | (1 << 11), {0}, {kSceneId}, false},
      {"scene type beyond the list", 1 << 2, {1}, {kSceneId}, false},
      {"empty scene list", 1 << 2, {0}, {}, false},
      {"unused bits 7-10 ignored", (1 << 2) | 0x780, {0}, {kSceneId}, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    World w;
    w.region.terrain_desc.terrain_types[1].scene_types = c.type1_slots;
    w.region.scene_desc->scene_types[0].scenes = c.scene_list;
    w.cell.terrain[2 * 9 + 3] = c.word;
    w.scene({object(kSquare)});
    const std::vector<Placement> placed = w.bake();
    EXPECT_EQ(placed.size(), c.looked_up ? 1u : 0u);
    EXPECT_EQ(w.log.size(), c.looked_up ? 2u : 0u);  // one scene and one mesh lookup
  }
}

TEST(BakeTest, SceneChoiceTruncatesListLengthTimesNoise) {
  // Vertex (0, 3): scene hash 3 * 0x6C1AC587 + 0x7F8CDA01 = 0xC3DD2A96, noise 0.76509346..., so
  // entry floor(L * 0.765).
  struct Case {
    uint32_t length, index;
  };
  const Case kCases[] = {{1, 0}, {2, 1}, {4, 3}, {10, 7}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.length);
    World w;
    w.put(0, 3);
    auto& list = w.region.scene_desc->scene_types[0].scenes;
    list.clear();
    for (uint32_t k = 0; k < c.length; ++k) list.push_back(0x12000100 + k);
    EXPECT_THAT(w.bake(), IsEmpty());  // no scene records at all
    EXPECT_THAT(w.log, ElementsAre(fmt::format("scene 0x{:08X}", 0x12000100 + c.index)));
  }
}

TEST(BakeTest, MissingOrEmptySceneRecordPlacesNothing) {
  for (const bool present : {false, true}) {
    World w;
    w.put(2, 3);
    if (present) w.scene({});
    EXPECT_THAT(w.bake(), IsEmpty());
    EXPECT_THAT(w.log, ElementsAre("scene 0x120000A0"));
  }
}

TEST(BakeTest, FrequencyMustExceedTheVertexNoise) {
  // Vertex (2, 3): frequency hash 0x24BB3484, noise 0.14348152147816928; the nearest floats
  // are 0x3E12ECD1 (below) and 0x3E12ECD2 (above).
  struct Case {
    float frequency;
    bool placed;
  };
  const Case kCases[] = {
      {std::bit_cast<float>(0x3E12ECD2u), true},
      {std::bit_cast<float>(0x3E12ECD1u), false},
      {1.0f, true},
      {0.0f, false},
      {-1.0f, false},
      {kNaN, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.frequency);
    World w;
    w.put(2, 3);
    dat::ObjectDesc d = object(kSquare);
    d.frequency = c.frequency;
    w.scene({d});
    EXPECT_EQ(w.bake().size(), c.placed ? 1u : 0u);
  }
}

TEST(BakeTest, ExcludedObjectsAreNeverPlaced) {
  World w;
  w.put(2, 3);
  dat::ObjectDesc excluded = object(kSquare);
  excluded.excluded = 1;
  w.scene({excluded, object(kPoint)});
  EXPECT_THAT(indices(w.bake()), ElementsAre(1u));
  EXPECT_THAT(w.log, ElementsAre("scene 0x120000A0", "mesh 0x01000002"));
}

TEST(BakeTest, DisplacementAddsScaledObjectNoise) {
  // Vertex (2, 3), quadrant noise 0.0438 (no turn), origin (48, 72). Object noises:
  //   n = 0: x 0.68381995..., y 0.31767888...;  n = 1: x 0.34416412..., y 0.97802303...
  struct Case {
    float bx, dx, dy;
    uint32_t n;
    uint32_t x, y;
  };
  const Case kCases[] = {
      {0.0f, 10.0f, 10.0f, 0, 0x425B5A51, 0x42965A84},   // 48 + 6.8381996, 72 + 3.1767888
      {0.0f, 10.0f, 10.0f, 1, 0x424DC43E, 0x42A38F7A},   // 48 + 3.4416413, 72 + 9.7802305
      {1.5f, 10.0f, 0.0f, 0, 0x42615A51, bits(72.0f)},   // f32(1.5 + 10 * noise), rounded once
      {0.0f, -3.0f, 0.0f, 0, bits(48.0f), bits(72.0f)},  // zero or less: no displacement
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.bx << " " << c.dx << " " << c.n);
    World w;
    w.put(2, 3);
    std::vector<dat::ObjectDesc> objects(c.n, object(kNoMesh));
    dat::ObjectDesc d = object(kPoint, c.bx, 0);
    d.displace_x = c.dx;
    d.displace_y = c.dy;
    objects.push_back(d);
    w.scene(objects);
    const std::vector<Placement> placed = w.bake();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].source_obj_idx, c.n);
    EXPECT_EQ(bits(placed[0].x), c.x);
    EXPECT_EQ(bits(placed[0].y), c.y);
  }
  World w;  // a NaN displacement displaces, to NaN
  w.put(2, 3);
  dat::ObjectDesc d = object(kPoint);
  d.displace_x = kNaN;
  w.scene({d});
  const std::vector<Placement> placed = w.bake();
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_TRUE(std::isnan(placed[0].x));
}

TEST(BakeTest, QuadrantNoiseTurnsTheOffsetByQuarterTurns) {
  // Offset (3, 5) at vertices whose quadrant noise falls in each quarter.
  struct Case {
    int vx, vy;
    float x, y;
  };
  const Case kCases[] = {
      {2, 3, 48 + 3, 72 + 5},   // 0.0438: ( x,  y)
      {3, 2, 72 - 5, 48 + 3},   // 0.3632: (-y,  x)
      {4, 4, 96 - 3, 96 - 5},   // 0.5947: (-x, -y)
      {3, 6, 72 + 5, 144 - 3},  // 0.8266: ( y, -x)
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.vx << ", " << c.vy);
    World w;
    w.put(c.vx, c.vy);
    w.scene({object(kPoint, 3, 5)});
    const std::vector<Placement> placed = w.bake();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(bits(placed[0].x), bits(c.x));
    EXPECT_EQ(bits(placed[0].y), bits(c.y));
    EXPECT_EQ(placed[0].source_cell_x, static_cast<uint32_t>(c.vx));
    EXPECT_EQ(placed[0].source_cell_y, static_cast<uint32_t>(c.vy));
  }
}

TEST(BakeTest, BoundsAreInclusiveAndLetNaNPass) {
  struct Case {
    int vx, vy;
    float bx, by;
    bool placed;
  };
  const Case kCases[] = {
      {0, 5, 0, 0, true},    {0, 5, -0.25f, 0, false},  // no turn: x = 0, then -0.25
      {8, 4, 0, 0, true},    {8, 4, -0.25f, 0, false},  // half turn: x = 192, then 192.25
      {3, 0, 0, 0, true},    {3, 0, 0, -0.25f, false},  // no turn: y = 0, then -0.25
      {0, 8, 0, 0, true},    {0, 8, 0.25f, 0, false},   // quarter turn: y = 192, then 192.25
      {4, 4, kNaN, 0, true}, {4, 4, 0, kNaN, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.vx << ", " << c.vy << " + " << c.bx << ", " << c.by);
    World w;
    w.put(c.vx, c.vy);
    w.scene({object(kPoint, c.bx, c.by)});
    EXPECT_EQ(w.bake().size(), c.placed ? 1u : 0u);
  }
}

TEST(BakeTest, RoadTestReadsTheWordAtStrideEight) {
  // Vertex (1, 0), half turn: offset (-6, -10) lands at (30, 10), cell (1, 0), which tests
  // terrain word 1 * 8 + 0 = 8 (vertex (0, 8)), not word 9 (vertex (1, 0), the cell's corner).
  struct Case {
    int word;
    uint16_t road;
    bool placed;
  };
  const Case kCases[] = {{-1, 0, true}, {8, 1, false}, {8, 2, false},
                         {8, 3, false}, {9, 3, true},  {10, 3, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.word << " " << c.road);
    World w;
    w.put(1, 0);
    if (c.word >= 0) w.cell.terrain[c.word] |= c.road;
    w.scene({object(kPoint, -6, -10)});
    const std::vector<Placement> placed = w.bake();
    ASSERT_EQ(placed.size(), c.placed ? 1u : 0u);
    if (c.placed) {
      EXPECT_EQ(bits(placed[0].x), bits(30.0f));
      EXPECT_EQ(bits(placed[0].y), bits(10.0f));
    }
  }
}

TEST(BakeTest, ModesPickTheSamplerAndTheSlopeTest) {
  // The ramp (height 24 * column) has slope atan(1) = 0x3F490FDB everywhere inside. The object
  // lands at (30, 10): triangle height exactly 30, bilinear 0x41F00001.
  const float kRampSlope = std::bit_cast<float>(0x3F490FDBu);
  struct Case {
    BakeMode mode;
    float min_slope, max_slope;
    bool nan_heights;
    std::optional<uint32_t> z;
  };
  const Case kCases[] = {
      {BakeMode::kAceCompat, 0.0f, 0.1f, false, bits(30.0f)},  // steep, but no slope test
      {BakeMode::kStrict, 0.0f, 1.0f, false, 0x41F00001u},
      {BakeMode::kStrict, kRampSlope, kRampSlope, false, 0x41F00001u},  // both bounds inclusive
      {BakeMode::kStrict, 0.0f, 0.1f, false, std::nullopt},
      {BakeMode::kStrict, 0.8f, 1.0f, false, std::nullopt},
      {BakeMode::kStrict, 0.0f, 0.1f, true, bits(kNaN)},  // a NaN slope passes
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << canonical_name(c.mode) << " " << c.min_slope << ".." << c.max_slope);
    World w;
    for (int x = 0; x < 9; ++x) {
      w.region.land_heights[x] = 24.0f * static_cast<float>(x);
      for (int y = 0; y < 9; ++y) w.cell.height[x * 9 + y] = static_cast<uint8_t>(x);
    }
    w.region.land_heights[200] = kNaN;
    if (c.nan_heights) w.cell.height[2 * 9 + 0] = 200;  // a corner of cell (1, 0)
    w.put(1, 0);
    dat::ObjectDesc d = object(kPoint, -6, -10);
    d.min_slope = c.min_slope;
    d.max_slope = c.max_slope;
    w.scene({d});
    const std::vector<Placement> placed = w.bake(c.mode);
    if (!c.z.has_value()) {
      EXPECT_THAT(placed, IsEmpty());
      EXPECT_THAT(w.log, ElementsAre("scene 0x120000A0"));  // dropped before the mesh lookup
      continue;
    }
    ASSERT_EQ(placed.size(), 1u);
    if (std::isnan(std::bit_cast<float>(*c.z))) {
      EXPECT_TRUE(std::isnan(placed[0].z));
    } else {
      EXPECT_EQ(bits(placed[0].z), *c.z);
    }
  }
}

TEST(BakeTest, HeadingAndScale) {
  // Vertex (2, 3), object 0: heading noise 0.29645217955543900, scale noise 0.34773071914963760.
  // Expected quaternions from glibc sincosf of the half heading.
  struct Case {
    float max_rotation, min_scale, max_scale;
    uint32_t qw, qz, scale;
  };
  const uint32_t kOne = bits(1.0f);
  const uint32_t kQNaN = bits(kNaN);
  const Case kCases[] = {
      {0.0f, 1.0f, 1.0f, kOne, 0, kOne},  // identity quaternion (1, 0, 0, 0)
      {-30.0f, 1.0f, 1.0f, kOne, 0, kOne},
      {360.0f, 1.0f, 1.0f, 0x3F18C59D, 0x3F4D6B1F, kOne},  // h = 0x3FEE6BCD
      {45.0f, 1.0f, 1.0f, 0x3F7E4467, 0x3DEDE207, kOne},   // h = 0x3E6E6BCD
      {kNaN, 1.0f, 1.0f, kQNaN, kQNaN, kOne},
      {0.0f, 1.7f, 1.7f, kOne, 0, bits(1.7f)},
      {0.0f, 0.0f, 0.0f, kOne, 0, bits(0.0f)},  // equal bounds: no power (0 / 0 would be NaN)
      {0.0f, 1.0f, 2.0f, kOne, 0, 0x3FA2E329},  // 2^0.3477 = 1.2725574
      {0.0f, 2.0f, 1.0f, kOne, 0, 0x3FC92B72},  // 0.5^0.3477 * 2
      {0.0f, 0.5f, 4.0f, kOne, 0, 0x3F83E3DC},  // 8^0.3477 * 0.5
      {0.0f, kNaN, 1.0f, kOne, 0, kQNaN},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.max_rotation << " " << c.min_scale << ".." << c.max_scale);
    World w;
    w.put(2, 3);
    dat::ObjectDesc d = object(kPoint);
    d.max_rotation = c.max_rotation;
    d.min_scale = c.min_scale;
    d.max_scale = c.max_scale;
    w.scene({d});
    const std::vector<Placement> placed = w.bake();
    ASSERT_EQ(placed.size(), 1u);
    const Placement& p = placed[0];
    const auto same = [](float got, uint32_t want) {
      return std::isnan(std::bit_cast<float>(want)) ? std::isnan(got) : bits(got) == want;
    };
    EXPECT_TRUE(same(p.qw, c.qw)) << p.qw;
    EXPECT_TRUE(same(p.qz, c.qz)) << p.qz;
    EXPECT_TRUE(same(p.scale, c.scale)) << p.scale;
    EXPECT_EQ(bits(p.qx), 0u);
    EXPECT_EQ(bits(p.qy), 0u);
  }
}

TEST(BakeTest, FootprintsAgainstBuildings) {
  // The square lands at (48, 72): footprint [47, 49] x [71, 73] (the NaN mesh point counts for
  // nothing); twice as large at scale 2.
  struct Case {
    const char* name;
    float scale;
    std::vector<BuildingFootprint> buildings;
    bool placed;
  };
  const Case kCases[] = {
      {"no buildings", 1, {}, true},
      {"far away", 1, {{0, 0, 10, 10}}, true},
      {"touching an edge", 1, {{49, 60, 55, 80}}, false},
      {"touching a corner", 1, {{30, 73, 47, 90}}, false},
      {"just apart", 1, {{49.001f, 60, 55, 80}}, true},
      {"apart along y only", 1, {{40, 73.5f, 60, 80}}, true},
      {"covering it", 1, {{0, 0, 192, 192}}, false},
      {"inside it", 1, {{47.5f, 71.5f, 48.5f, 72.5f}}, false},
      {"the last of several", 1, {{0, 0, 1, 1}, {100, 100, 101, 101}, {48, 72, 48, 72}}, false},
      {"all bounds NaN", 1, {{kNaN, kNaN, kNaN, kNaN}}, false},
      {"reached only when scaled", 1, {{49.5f, 71, 60, 73}}, true},
      {"reached only when scaled", 2, {{49.5f, 71, 60, 73}}, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.name << " at scale " << c.scale);
    World w;
    w.put(2, 3);
    dat::ObjectDesc d = object(kSquare);
    d.min_scale = d.max_scale = c.scale;
    w.scene({d});
    w.buildings = c.buildings;
    EXPECT_EQ(w.bake().size(), c.placed ? 1u : 0u);
  }
}

TEST(BakeTest, FootprintsAgainstEarlierObjects) {
  struct Case {
    const char* name;
    std::vector<dat::ObjectDesc> objects;
    std::vector<uint32_t> placed;
  };
  const Case kCases[] = {
      {"same spot", {object(kSquare), object(kSquare)}, {0}},
      {"sharing an edge", {object(kSquare), object(kSquare, 2, 0)}, {0}},
      {"sharing a corner", {object(kSquare), object(kSquare, 2, 2)}, {0}},
      {"apart", {object(kSquare), object(kSquare, 2.5f, 0)}, {0, 1}},
      {"empty mesh first", {object(kPoint), object(kSquare), object(kPoint)}, {0, 1, 2}},
      {"missing mesh does not block", {object(kNoMesh), object(kSquare)}, {1}},
      {"third against the first", {object(kSquare), object(kSquare, 5, 0), object(kSquare, 1, 1)}, {0, 1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    World w;
    w.put(2, 3);
    w.scene(c.objects);
    EXPECT_THAT(indices(w.bake()), ElementsAreArray(c.placed));
  }
}

TEST(BakeTest, ObjectsFromDifferentVerticesBlockEachOther) {
  // Offset (0, 12): vertex (2, 3) (no turn) puts the square at (48, 72 + 12); vertex (2, 4)
  // (quadrant 0.5951, half turn) puts it at (48 - 0, 96 - 12), the same spot.
  World w;
  w.put(2, 3);
  w.put(2, 4);
  w.scene({object(kSquare, 0, 12)});
  const std::vector<Placement> placed = w.bake();
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].source_cell_y, 3u);
}

TEST(BakeTest, CallingOrderAndDeterminism) {
  World w;
  w.put(0, 3);  // vertex 3
  w.put(2, 3);  // vertex 21
  dat::ObjectDesc rare = object(kNoMesh);
  rare.frequency = 0;
  w.scene({object(kSquare, 10, 10), rare, object(kPoint, -100, 0), object(kNoMesh, 1, 1), object(kPoint)});
  const std::vector<Placement> first = w.bake();
  const CallLog first_log = w.log;
  // Per vertex: the scene once, then the mesh only of objects that passed every earlier test
  // (not the one failing frequency, nor the one out of bounds).
  EXPECT_THAT(first_log,
              ElementsAre("scene 0x120000A0", "mesh 0x01000001", "mesh 0x01000003", "mesh 0x01000002",
                          "scene 0x120000A0", "mesh 0x01000001", "mesh 0x01000003", "mesh 0x01000002"));
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> sources;
  for (const Placement& p : first) sources.emplace_back(p.source_cell_x, p.source_cell_y, p.source_obj_idx);
  EXPECT_THAT(sources, ElementsAre(std::tuple(0u, 3u, 0u), std::tuple(0u, 3u, 4u), std::tuple(2u, 3u, 0u),
                                   std::tuple(2u, 3u, 4u)));

  w.log.clear();
  const std::vector<Placement> second = w.bake();
  EXPECT_EQ(w.log, first_log);
  ASSERT_EQ(second.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    const Placement& a = first[i];
    const Placement& b = second[i];
    EXPECT_EQ(std::tuple(a.obj_id, bits(a.x), bits(a.y), bits(a.z), bits(a.qw), bits(a.qz), bits(a.scale)),
              std::tuple(b.obj_id, bits(b.x), bits(b.y), bits(b.z), bits(b.qw), bits(b.qz), bits(b.scale)));
  }
}

}  // namespace
}  // namespace fennistock::strewmill
