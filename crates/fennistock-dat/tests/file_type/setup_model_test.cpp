#include "fennistock/dat/file_type/setup_model.h"

#include <gtest/gtest.h>

#include <bit>

#include "testing/record_builders.h"
#include "testing/records_expect.h"

namespace fennistock::dat {
namespace {

using testing::animation_hook;
using testing::field;
using testing::frame_texts;
using testing::FrameText;
using testing::kGraphicsModule;
using testing::kMathModule;
using testing::kSetupModule;
using testing::RecordWriter;
using testing::SetupModelBuilder;

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

LightInfo light(uint32_t color) { return LightInfo{testing::frame_at(0, 0, 1), color, 1, 2, 3}; }

// Two parts and every section in use.
SetupModelBuilder full_setup() {
  return SetupModelBuilder(0x02000ABC)
      .parts({0x01000001, 0x01000002})
      .part_links({0xFFFFFFFF, 0})
      .part_vectors({{1, 1, 1}, {2, 2, 2}})
      .location_a(1, LocationType{0, testing::frame_at(1, 0, 0)})
      .location_b(2, LocationType{1, testing::frame_at(0, 1, 0)})
      .default_placement(0x65, {animation_hook(5, {1, 0x34, 0x12}), animation_hook(3, std::vector<uint8_t>(28, 7))})
      .default_placement(0x66)
      .cyl_sphere(CylSphere{{0, 0, 0}, 0.5f, 2})
      .sphere(Sphere{{0, 0, 1}, 1.5f})
      .sizes(1, 2, 3, 4)
      .bounding_spheres(Sphere{{0, 0, 0}, 5}, Sphere{{0, 0, 0}, 6})
      .light(9, light(0xFF00FF))
      .ref_ids({0x03000001, 0, 0x04000002, 0, 0x05000003});
}

TEST(SetupModelTest, ReadsEverySection) {
  const auto setup = SetupModel::unpack(full_setup().bytes());
  ASSERT_TRUE(setup.ok()) << setup.error().to_string();
  EXPECT_EQ(setup->id, 0x02000ABCu);
  EXPECT_EQ(setup->flags, 3u);
  EXPECT_EQ(setup->parts, (std::vector<uint32_t>{0x01000001, 0x01000002}));
  EXPECT_EQ(setup->part_links, (std::vector<uint32_t>{0xFFFFFFFF, 0}));
  ASSERT_EQ(setup->part_vectors.size(), 2u);
  EXPECT_EQ(bits(setup->part_vectors[1].z), bits(2.0f));
  EXPECT_EQ(bits(setup->locations_a.at(1).frame.origin.x), bits(1.0f));
  EXPECT_EQ(setup->locations_b.at(2).part_id, 1u);
  ASSERT_EQ(setup->placement_frames.size(), 2u);
  const PlacementType& p = setup->placement_frames.at(0x65);
  EXPECT_EQ(p.frames.size(), 2u);
  ASSERT_EQ(p.hooks.size(), 2u);
  EXPECT_EQ(p.hooks[0].hook_type, 5u);
  EXPECT_EQ(p.hooks[0].data, (std::vector<uint8_t>{1, 0x34, 0x12, 0}));
  EXPECT_EQ(p.hooks[1].data.size(), 28u);
  EXPECT_TRUE(setup->placement_frames.at(0x66).hooks.empty());
  ASSERT_EQ(setup->cyl_spheres.size(), 1u);
  EXPECT_EQ(bits(setup->cyl_spheres[0].height), bits(2.0f));
  ASSERT_EQ(setup->spheres.size(), 1u);
  EXPECT_EQ(bits(setup->spheres[0].radius), bits(1.5f));
  EXPECT_EQ(bits(setup->size_d), bits(4.0f));
  EXPECT_EQ(bits(setup->sphere_b.radius), bits(6.0f));
  EXPECT_EQ(setup->lights.at(9).color, 0xFF00FFu);
  EXPECT_EQ(bits(setup->lights.at(9).cone_angle), bits(3.0f));
  EXPECT_EQ(setup->ref_id_a, 0x03000001u);
  EXPECT_EQ(setup->ref_id_b, std::nullopt);
  EXPECT_EQ(setup->ref_id_c, 0x04000002u);
  EXPECT_EQ(setup->ref_id_d, std::nullopt);
  EXPECT_EQ(setup->ref_id_e, 0x05000003u);
}

TEST(SetupModelTest, FlagsChooseThePerPartLists) {
  struct Case {
    uint32_t flags;
    size_t links;
    size_t vectors;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{1, 2, 0}, Case{2, 0, 2}, Case{3, 2, 2}, Case{0xFFFFFFFC, 0, 0}}) {
    SCOPED_TRACE(c.flags);
    const auto setup = SetupModel::unpack(full_setup().flags(c.flags).bytes());
    ASSERT_TRUE(setup.ok()) << setup.error().to_string();
    EXPECT_EQ(setup->part_links.size(), c.links);
    EXPECT_EQ(setup->part_vectors.size(), c.vectors);
    EXPECT_EQ(setup->lights.size(), 1u);  // the rest of the record is still found
  }
}

TEST(SetupModelTest, NoPartsMeansNoPerPartData) {
  // Flags 3 with no parts: no links or vectors; the placement's hook count follows its key.
  const std::vector<uint8_t> bytes = SetupModelBuilder(7)
                                         .flags(3)
                                         .default_placement(1, {animation_hook(0, {})})
                                         .ref_ids({1, 2, 3, 4, 5})
                                         .bytes();
  ASSERT_EQ(bytes.size(), 12u + 8 + 4 + 4 + 4 + 8 + 8 + 16 + 32 + 4 + 20);
  const auto setup = SetupModel::unpack(bytes);
  ASSERT_TRUE(setup.ok()) << setup.error().to_string();
  EXPECT_TRUE(setup->parts.empty());
  EXPECT_TRUE(setup->part_links.empty());
  EXPECT_TRUE(setup->part_vectors.empty());
  EXPECT_TRUE(setup->placement_frames.at(1).frames.empty());
  EXPECT_EQ(setup->placement_frames.at(1).hooks.size(), 1u);
  EXPECT_EQ(setup->ref_id_e, 5u);
}

TEST(AnimationHookTest, PayloadAndPaddingByType) {
  struct Case {
    uint32_t type;
    std::vector<uint8_t> payload;  // as stored, with the padding
    size_t size;
  };
  const Case kCases[] = {
      {0, {}, 8},
      {4, {}, 8},
      {17, {}, 8},
      {5, {9, 0x34, 0x12, 0xEE}, 12},                    // u16 0x1234: 3 payload bytes and 1 padding
      {5, {9, 0x01, 0x80, 0x22, 0x11, 0xEE, 0xEE, 0xEE}, 16},  // u16 0x8001: a second u16, 3 padding
      {1, std::vector<uint8_t>(4, 1), 12},
      {12, std::vector<uint8_t>(8, 1), 16},
      {8, std::vector<uint8_t>(12, 1), 20},
      {21, std::vector<uint8_t>(16, 1), 24},
      {3, std::vector<uint8_t>(28, 1), 36},
      {26, std::vector<uint8_t>(40, 1), 48},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.type);
    RecordWriter w;
    w.u32(c.type).u32(0xFFFFFFFF).bytes(c.payload).u32(0xCAFEF00D);
    ByteReader in(w.view());
    const auto hook = AnimationHook::read(in);
    ASSERT_TRUE(hook.ok()) << hook.error().to_string();
    EXPECT_EQ(in.position(), c.size);
    EXPECT_EQ(hook->direction, 0xFFFFFFFFu);
    EXPECT_EQ(hook->data, c.payload);
  }
}

TEST(SetupModelTest, FailedChecks) {
  // A negative placement count; its position is just after the count (12 + 4 + 4 + 4 = 24 with
  // no parts and empty location tables).
  RecordWriter negative;
  negative.u32(0x02000ABC).u32(0).u32(0).u32(0).u32(0).u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF);
  const auto r1 = SetupModel::unpack(negative.view());
  ASSERT_FALSE(r1.ok());
  EXPECT_EQ(r1.error().kind(), ReadError::Kind::kFailedCheck);
  EXPECT_EQ(r1.error().check_message(), "SetupModel 0x02000ABC declared negative placement count -1");
  EXPECT_EQ(r1.error().position(), 24u);

  // A hook of type 27 inside the first placement; the position is just after its direction:
  // 24 (placement count) + 4 (key) + 4 (hook count) + 8.
  RecordWriter bad_hook;
  bad_hook.u32(0x02000001).u32(0).u32(0).u32(0).u32(0).u32(1).u32(0x10).u32(1).u32(27).u32(0).zeros(64);
  const auto r2 = SetupModel::unpack(bad_hook.view());
  ASSERT_FALSE(r2.ok());
  EXPECT_EQ(r2.error().kind(), ReadError::Kind::kFailedCheck);
  EXPECT_EQ(r2.error().check_message(), "Unsupported AnimationHook type: 0x0000001B");
  EXPECT_EQ(r2.error().position(), 40u);
}

TEST(SetupModelTest, RepeatedKeysKeepTheLastEntry) {
  const auto setup = SetupModel::unpack(SetupModelBuilder()
                                            .light(4, light(1))
                                            .light(5, light(2))
                                            .light(4, light(3))
                                            .location_a(1, LocationType{7, {}})
                                            .location_a(1, LocationType{8, {}})
                                            .bytes());
  ASSERT_TRUE(setup.ok());
  ASSERT_EQ(setup->lights.size(), 2u);
  EXPECT_EQ(setup->lights.at(4).color, 3u);
  EXPECT_EQ(setup->locations_a.at(1).part_id, 8u);
}

TEST(SetupModelTest, FailuresCarryTheSectionContexts) {
  // Part ids, links and vectors with 2 parts: 12 + 8 + 8 + 24 = 52. locations_a count at 52, its
  // entry key 56, part_id 60, frame 64..92.
  const std::vector<uint8_t> bytes = full_setup().bytes();
  const size_t size = bytes.size();
  // Tail: ... lights count | key | LightInfo (44) | 5 ref ids (20).
  const size_t light_end = size - 20;
  struct Case {
    std::string_view name;
    size_t keep;
    std::vector<FrameText> chain;
  };
  const Case kCases[] = {
      {"location part_id", 62, {field("part_id", "LocationType", kSetupModule)}},
      {"location orientation x", 64 + 12 + 4 + 1,
       {field("x", "Quaternion", kMathModule), field("orientation", "Frame", kGraphicsModule),
        field("frame", "LocationType", kSetupModule)}},
      {"light cone_angle", light_end - 1, {field("cone_angle", "LightInfo", kSetupModule)}},
      {"light color", light_end - 16 + 1, {field("color", "LightInfo", kSetupModule)}},
      {"light frame", light_end - 30,
       {field("w", "Quaternion", kMathModule), field("orientation", "Frame", kGraphicsModule),
        field("viewer_space_location", "LightInfo", kSetupModule)}},
      {"ref ids", size - 1, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = SetupModel::unpack(std::span(bytes).first(c.keep));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
    EXPECT_EQ(frame_texts(r.error()), c.chain);
  }
  // A cylinder cut inside its height.
  RecordWriter cyl;
  cyl.u32(1).u32(0).u32(0).u32(0).u32(0).u32(0).u32(1).zeros(18);
  const auto r = SetupModel::unpack(cyl.view());
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(frame_texts(r.error()), std::vector<FrameText>{field("height", "CylSphere", kSetupModule)});

  testing::expect_prefixes_fail(bytes, [](auto b) { return SetupModel::unpack(b); }, size);
}

TEST(SetupModelTest, HugeCountsFailAtTheEndOfTheBytes) {
  const std::vector<uint8_t> kCases[] = {
      RecordWriter().u32(1).u32(3).u32(0xFFFFFFFF).u32(0).take(),                          // num_parts
      RecordWriter().u32(1).u32(0).u32(0).u32(0xFFFFFFFF).u32(0).take(),                   // locations
      RecordWriter().u32(1).u32(0).u32(0).u32(0).u32(0).u32(0x7FFFFFFF).u32(0).take(),     // placements
      RecordWriter().u32(1).u32(0).u32(0).u32(0).u32(0).u32(1).u32(0).u32(0xFFFFFFFF).take(),  // hooks
  };
  for (const auto& bytes : kCases) {
    const auto r = SetupModel::unpack(bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
  }
}

}  // namespace
}  // namespace fennistock::dat
