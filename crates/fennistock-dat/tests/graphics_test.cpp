#include "fennistock/dat/graphics.h"

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

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(GraphicsFrameTest, ContextsNameTheGraphicsModule) {
  const std::vector<uint8_t> bytes = RecordWriter().f32(1).f32(2).f32(3).f32(1).f32(0).f32(0).f32(0).take();
  ByteReader in(bytes);
  const auto frame = read_graphics_frame(in);
  ASSERT_TRUE(frame.ok());
  EXPECT_EQ(in.position(), 28u);
  EXPECT_EQ(bits(frame->origin.y), bits(2.0f));
  EXPECT_EQ(bits(frame->orientation.w), bits(1.0f));

  ByteReader cut_origin{std::span(bytes).first(9)};
  EXPECT_EQ(frame_texts(read_graphics_frame(cut_origin).error()),
            (std::vector<FrameText>{field("z", "Vector3", kMathModule), field("origin", "Frame", kGraphicsModule)}));
  ByteReader cut_orientation{std::span(bytes).first(27)};
  EXPECT_EQ(frame_texts(read_graphics_frame(cut_orientation).error()),
            (std::vector<FrameText>{field("z", "Quaternion", kMathModule),
                                    field("orientation", "Frame", kGraphicsModule)}));
}

TEST(SWVertexTest, SizeGrowsWithTheUvCount) {
  for (const auto& [num_uvs, size] : {std::pair<uint16_t, size_t>{0, 26}, {3, 50}}) {
    SCOPED_TRACE(num_uvs);
    RecordWriter w;
    w.u16(num_uvs).f32(1).f32(2).f32(3).f32(0).f32(0).f32(1);
    for (uint16_t i = 0; i < num_uvs; ++i) w.f32(0.5f * i).f32(1);
    w.u32(0xFFFFFFFF);  // whatever follows
    ByteReader in(w.view());
    const auto v = SWVertex::read(in);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(in.position(), size);
    EXPECT_EQ(v->num_uvs, num_uvs);
    ASSERT_EQ(v->uvs.size(), num_uvs);
    EXPECT_EQ(bits(v->origin.z), bits(3.0f));
    EXPECT_EQ(bits(v->normal.z), bits(1.0f));
    if (num_uvs == 3) {
      EXPECT_EQ(bits(v->uvs[2].u), bits(1.0f));
    }
  }
}

TEST(SWVertexTest, TruncationCarriesTheVertexContexts) {
  // num_uvs 2 | origin 2..14 | normal 14..26 | uvs 26..42
  const std::vector<uint8_t> bytes = RecordWriter().u16(2).zeros(24).f32(0).f32(0).f32(0).f32(0).take();
  struct Case {
    size_t keep;
    std::vector<FrameText> chain;
  };
  const Case kCases[] = {
      {1, {field("num_uvs", "SWVertex", kGraphicsModule)}},
      {7, {field("y", "Vector3", kMathModule), field("origin", "SWVertex", kGraphicsModule)}},
      {25, {field("z", "Vector3", kMathModule), field("normal", "SWVertex", kGraphicsModule)}},
      {29, {field("u", "Vec2Duv", kGraphicsModule), field("uvs", "SWVertex", kGraphicsModule)}},
      {40, {field("v", "Vec2Duv", kGraphicsModule), field("uvs", "SWVertex", kGraphicsModule)}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.keep);
    ByteReader in{std::span(bytes).first(c.keep)};
    const auto r = SWVertex::read(in);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
    EXPECT_EQ(frame_texts(r.error()), c.chain);
  }
}

TEST(CVertexArrayTest, OnlyTypeOneCarriesVertices) {
  struct Case {
    uint32_t vertex_type;
    uint32_t count;
  };
  for (const Case& c : {Case{2, 5}, Case{0, 0xFFFFFFFF}, Case{1, 0}}) {
    SCOPED_TRACE(c.vertex_type);
    const std::vector<uint8_t> bytes = RecordWriter().u32(c.vertex_type).u32(c.count).u32(0xABCD).take();
    ByteReader in(bytes);
    const auto array = CVertexArray::read(in);
    ASSERT_TRUE(array.ok());
    EXPECT_EQ(array->vertex_type, c.vertex_type);
    EXPECT_TRUE(array->vertices.empty());
    EXPECT_EQ(in.position(), 8u);
    EXPECT_EQ(*in.u32(), 0xABCDu);  // the next field starts right after the head
  }
}

TEST(CVertexArrayTest, RepeatedIdKeepsTheLastVertex) {
  RecordWriter w;
  w.u32(1).u32(3);
  testing::write_sw_vertex(w.u16(4), SWVertex{0, {1, 0, 0}, {}, {}});
  testing::write_sw_vertex(w.u16(5), SWVertex{0, {2, 0, 0}, {}, {}});
  testing::write_sw_vertex(w.u16(4), SWVertex{0, {3, 0, 0}, {}, {}});
  ByteReader in(w.view());
  const auto array = CVertexArray::read(in);
  ASSERT_TRUE(array.ok());
  ASSERT_EQ(array->vertices.size(), 2u);
  EXPECT_EQ(bits(array->vertices.at(4).origin.x), bits(3.0f));
  EXPECT_EQ(bits(array->vertices.at(5).origin.x), bits(2.0f));
  EXPECT_EQ(in.position(), 8u + 3 * 28);
}

TEST(CVertexArrayTest, HugeCountFailsAtTheEndOfTheBytes) {
  RecordWriter w;
  w.u32(1).u32(0xFFFFFFFF);
  testing::write_sw_vertex(w.u16(0), SWVertex{});
  ByteReader in(w.view());
  const auto r = CVertexArray::read(in);
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.error().is_unexpected_eof());
}

TEST(PolygonTest, UvListsFollowTheFlagsAndSideMode) {
  struct Case {
    uint8_t num_vertices;
    uint8_t uv_flags;
    uint32_t side_mode;
    size_t size;
    bool pos_uvs;
    bool neg_uvs;
  };
  const Case kCases[] = {
      {3, 0x00, 2, 22, true, true},   {3, 0x04, 2, 19, false, true}, {3, 0x00, 1, 19, true, false},
      {3, 0x0C, 2, 16, false, false}, {3, 0x08, 2, 19, true, false}, {3, 0x08, 1, 19, true, false},
      {0, 0x00, 2, 10, false, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << int{c.num_vertices} << " vertices, flags " << int{c.uv_flags}
                                      << ", side mode " << c.side_mode);
    RecordWriter w;
    w.u8(c.num_vertices).u8(c.uv_flags).u32(c.side_mode).u16(0x11).u16(0x22);
    for (uint8_t i = 0; i < c.num_vertices; ++i) w.u16(static_cast<uint16_t>(100 + i));
    for (int i = 0; i < 12; ++i) w.u8(static_cast<uint8_t>(i));  // uv bytes, then what follows
    ByteReader in(w.view());
    const auto p = Polygon::read(in);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(in.position(), c.size);
    EXPECT_EQ(p->pos_surface, 0x11);
    EXPECT_EQ(p->neg_surface, 0x22);
    EXPECT_EQ(p->vertex_ids.size(), c.num_vertices);
    EXPECT_EQ(p->pos_uv_indices, (c.pos_uvs ? std::vector<uint8_t>{0, 1, 2} : std::vector<uint8_t>{}));
    const std::vector<uint8_t> neg = c.pos_uvs ? std::vector<uint8_t>{3, 4, 5} : std::vector<uint8_t>{0, 1, 2};
    EXPECT_EQ(p->neg_uv_indices, (c.neg_uvs ? neg : std::vector<uint8_t>{}));
  }
}

}  // namespace
}  // namespace fennistock::dat
