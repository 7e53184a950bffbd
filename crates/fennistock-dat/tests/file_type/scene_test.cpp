#include "fennistock/dat/file_type/scene.h"

#include <gtest/gtest.h>

#include <bit>

#include "testing/record_builders.h"
#include "testing/records_expect.h"

namespace fennistock::dat {
namespace {

using testing::field;
using testing::frame_texts;
using testing::FrameText;
using testing::kGraphicsModule;
using testing::kMathModule;
using testing::RecordWriter;
using testing::SceneBuilder;

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

SceneBuilder three_objects() {
  ObjectDesc tree = testing::object_desc(0x02000100);
  tree.base_frame = testing::frame_at(1.5f, -2.5f, 0.25f);
  tree.frequency = 0.125f;
  tree.displace_x = 3;
  tree.displace_y = 4;
  tree.min_scale = 0.75f;
  tree.max_scale = 1.25f;
  tree.max_rotation = 360;
  tree.min_slope = 0.1f;
  tree.max_slope = 0.9f;
  tree.aux_a = 11;
  tree.aux_b = 12;
  tree.excluded = 1;
  return SceneBuilder(0x120000A0).object(testing::object_desc(0x01000001)).object(tree).object(testing::object_desc(3));
}

TEST(SceneTest, ReadsEveryDescriptionField) {
  const std::vector<uint8_t> bytes = three_objects().bytes();
  ASSERT_EQ(bytes.size(), 8u + 3 * 76);
  ByteReader in(bytes);
  const auto scene = Scene::unpack(in);
  ASSERT_TRUE(scene.ok()) << scene.error().to_string();
  EXPECT_EQ(in.position(), bytes.size());
  EXPECT_EQ(scene->id, 0x120000A0u);
  ASSERT_EQ(scene->objects.size(), 3u);
  EXPECT_EQ(scene->objects[0].obj_id, 0x01000001u);
  const ObjectDesc& d = scene->objects[1];
  EXPECT_EQ(d.obj_id, 0x02000100u);
  EXPECT_EQ(bits(d.base_frame.origin.x), bits(1.5f));
  EXPECT_EQ(bits(d.base_frame.origin.y), bits(-2.5f));
  EXPECT_EQ(bits(d.base_frame.origin.z), bits(0.25f));
  EXPECT_EQ(bits(d.base_frame.orientation.w), bits(1.0f));
  EXPECT_EQ(bits(d.frequency), bits(0.125f));
  EXPECT_EQ(bits(d.displace_x), bits(3.0f));
  EXPECT_EQ(bits(d.displace_y), bits(4.0f));
  EXPECT_EQ(bits(d.min_scale), bits(0.75f));
  EXPECT_EQ(bits(d.max_scale), bits(1.25f));
  EXPECT_EQ(bits(d.max_rotation), bits(360.0f));
  EXPECT_EQ(bits(d.min_slope), bits(0.1f));
  EXPECT_EQ(bits(d.max_slope), bits(0.9f));
  EXPECT_EQ(d.aux_a, 11u);
  EXPECT_EQ(d.aux_b, 12u);
  EXPECT_EQ(d.excluded, 1u);
  EXPECT_EQ(scene->objects[2].obj_id, 3u);
}

TEST(SceneTest, EmptySceneIsEightBytes) {
  const std::vector<uint8_t> bytes = RecordWriter().u32(0x120000A1).u32(0).u32(0xFFFFFFFF).take();
  ByteReader in(bytes);
  const auto scene = Scene::unpack(in);
  ASSERT_TRUE(scene.ok());
  EXPECT_TRUE(scene->objects.empty());
  EXPECT_EQ(in.position(), 8u);
}

TEST(SceneTest, FailuresCarryOnlyTheFrameContexts) {
  const std::vector<uint8_t> bytes = three_objects().bytes();
  struct Case {
    std::string_view name;
    size_t keep;
    std::vector<FrameText> chain;
  };
  const Case kCases[] = {
      {"first origin y", 8 + 4 + 6, {field("y", "Vector3", kMathModule), field("origin", "Frame", kGraphicsModule)}},
      {"second orientation w", 8 + 76 + 4 + 12 + 1,
       {field("w", "Quaternion", kMathModule), field("orientation", "Frame", kGraphicsModule)}},
      {"third max_slope", 8 + 2 * 76 + 60, {}},
      {"count", 6, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = Scene::unpack(std::span(bytes).first(c.keep));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
    EXPECT_EQ(frame_texts(r.error()), c.chain);
  }
  testing::expect_prefixes_fail(bytes, [](auto b) { return Scene::unpack(b); }, bytes.size());
}

TEST(SceneTest, HugeCountFailsAtTheEndOfTheBytes) {
  RecordWriter w;
  w.u32(1).u32(0xFFFFFFFF);
  testing::write_object_desc(w, testing::object_desc(5));
  const auto r = Scene::unpack(w.view());
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.error().is_unexpected_eof());
}

}  // namespace
}  // namespace fennistock::dat
