#include "fennistock/dat/file_type/gfx_obj.h"

#include <gtest/gtest.h>

#include <bit>

#include "testing/record_builders.h"
#include "testing/records_expect.h"

namespace fennistock::dat {
namespace {

using testing::BspNodeBuilder;
using testing::GfxObjBuilder;
using testing::make_polygon;
using testing::RecordWriter;

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(GfxObjTest, ReadsAMeshWithBothTrees) {
  const std::vector<uint8_t> bytes = GfxObjBuilder::mesh(0x01000ABC, 6).trailing_id(0x0A000001).bytes();
  ByteReader in(bytes);
  const auto obj = GfxObj::unpack(in);
  ASSERT_TRUE(obj.ok()) << obj.error().to_string();
  EXPECT_EQ(in.position(), bytes.size());
  EXPECT_EQ(obj->id, 0x01000ABCu);
  EXPECT_EQ(obj->flags, 0x0Bu);
  EXPECT_EQ(obj->surfaces, std::vector<uint32_t>{0x08000001});
  EXPECT_EQ(obj->vertex_array.vertex_type, 1u);
  ASSERT_EQ(obj->vertex_array.vertices.size(), 6u);
  EXPECT_EQ(bits(obj->vertex_array.vertices.at(5).origin.x), bits(5.0f));
  EXPECT_EQ(bits(obj->vertex_array.vertices.at(5).origin.y), bits(2.5f));
  EXPECT_EQ(obj->physics_polygons.size(), 4u);
  EXPECT_EQ(obj->polygons.size(), 4u);
  EXPECT_EQ(obj->polygons.at(3).vertex_ids, (std::vector<uint16_t>{0, 4, 5}));
  ASSERT_TRUE(obj->physics_bsp.has_value());
  EXPECT_EQ(std::get<InternalNode>(obj->physics_bsp->node).node_type, "BPIN");
  ASSERT_TRUE(obj->drawing_bsp.has_value());
  EXPECT_TRUE(std::holds_alternative<BspPortal>(std::get<InternalNode>(obj->drawing_bsp->node).neg_node->node));
  EXPECT_EQ(bits(obj->sort_center.x), bits(0.5f));
  EXPECT_EQ(obj->trailing_id, 0x0A000001u);
}

TEST(GfxObjTest, FlagsChooseTheSections) {
  // Head: id 4 | flags 4 | surfaces 1 | vertex array 8 + 28 | sort_center 12 = 57 bytes.
  // Each polygon section is a 1-byte count, a 12-byte polygon entry (u16 id + 10-byte head) and
  // a drawing leaf (8) or physics leaf (32); the trailing id is 4.
  struct Case {
    uint32_t flags;
    size_t size;
    bool physics;
    bool drawing;
    bool trailing;
  };
  const Case kCases[] = {
      {0x00, 57, false, false, false},          {0x04, 57, false, false, false},
      {0x01, 57 + 13 + 32, true, false, false}, {0x02, 57 + 13 + 8, false, true, false},
      {0x08, 61, false, false, true},           {0xFFFFFFFF, 57 + 13 + 32 + 13 + 8 + 4, true, true, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.flags);
    std::vector<uint8_t> bytes = GfxObjBuilder()
                                     .flags(c.flags)
                                     .vertex(1, {1, 2, 3})
                                     .physics_polygon(1, make_polygon({}))
                                     .polygon(2, make_polygon({}))
                                     .trailing_id(77)
                                     .bytes();
    ASSERT_EQ(bytes.size(), c.size);
    bytes.insert(bytes.end(), {0xEE, 0xEE, 0xEE, 0xEE});
    ByteReader in(bytes);
    const auto obj = GfxObj::unpack(in);
    ASSERT_TRUE(obj.ok()) << obj.error().to_string();
    EXPECT_EQ(in.position(), c.size);
    EXPECT_EQ(obj->physics_polygons.size(), c.physics ? 1u : 0u);
    EXPECT_EQ(obj->physics_bsp.has_value(), c.physics);
    EXPECT_EQ(obj->polygons.size(), c.drawing ? 1u : 0u);
    EXPECT_EQ(obj->drawing_bsp.has_value(), c.drawing);
    EXPECT_EQ(obj->trailing_id.has_value(), c.trailing);
    EXPECT_EQ(obj->vertex_array.vertices.size(), 1u);
  }
}

TEST(GfxObjTest, OtherVertexTypesReadNoVertices) {
  // vertex_type 2 with a count of 5: the sort_center follows the 8-byte head at once.
  const std::vector<uint8_t> bytes = RecordWriter().u32(1).u32(0).u8(0).u32(2).u32(5).f32(1).f32(2).f32(3).take();
  const auto obj = GfxObj::unpack(bytes);
  ASSERT_TRUE(obj.ok());
  EXPECT_TRUE(obj->vertex_array.vertices.empty());
  EXPECT_EQ(bits(obj->sort_center.z), bits(3.0f));
}

TEST(GfxObjTest, TwoBytePolygonCountAndRepeatedIds) {
  // Drawing section: count 80 05 (5 polygons), ids 1, 2, 1, 3, 1; the last polygon 1 wins.
  RecordWriter w;
  w.u32(1).u32(0x02).u8(0).u32(1).u32(0).zeros(12).u8(0x80).u8(0x05);
  for (const auto& [id, side_mode] : {std::pair<uint16_t, uint32_t>{1, 10}, {2, 20}, {1, 11}, {3, 30}, {1, 12}}) {
    testing::write_polygon(w.u16(id), make_polygon({0}, 0x04, side_mode));
  }
  BspNodeBuilder::leaf().write(w, TreeKind::kDrawing);
  const auto obj = GfxObj::unpack(w.view());
  ASSERT_TRUE(obj.ok()) << obj.error().to_string();
  ASSERT_EQ(obj->polygons.size(), 3u);
  EXPECT_EQ(obj->polygons.at(1).side_mode, 12u);
  EXPECT_EQ(obj->polygons.at(3).side_mode, 30u);
}

TEST(GfxObjTest, EveryShorterPrefixFails) {
  // Covers a record cut inside the drawing tree after all vertices were read.
  const std::vector<uint8_t> bytes = GfxObjBuilder::mesh(0x01000001, 5).trailing_id(9).bytes();
  testing::expect_prefixes_fail(bytes, [](auto b) { return GfxObj::unpack(b); }, bytes.size());
}

TEST(GfxObjTest, HugeCountsFailAtTheEndOfTheBytes) {
  const std::vector<uint8_t> kCases[] = {
      RecordWriter().u32(1).u32(0).u8(0xFF).u8(0xFF).u16(0xFFFF).u32(0).take(),               // surfaces
      RecordWriter().u32(1).u32(0).u8(0).u32(1).u32(0xFFFFFFFF).u16(0).zeros(26).take(),      // vertices
      RecordWriter().u32(1).u32(1).u8(0).u32(1).u32(0).u8(0xFF).u8(0xFF).u16(0xFFFF).take(),  // polygons
      RecordWriter().u32(1).u32(0).u8(0).u32(1).u32(1).u16(0).u16(0xFFFF).zeros(24).u32(0).take(),  // uvs
  };
  for (const auto& bytes : kCases) {
    const auto r = GfxObj::unpack(bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
  }
}

}  // namespace
}  // namespace fennistock::dat
