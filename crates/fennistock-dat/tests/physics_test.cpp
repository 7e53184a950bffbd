#include "fennistock/dat/physics.h"

#include <gtest/gtest.h>

#include "testing/record_builders.h"
#include "testing/records_expect.h"

namespace fennistock::dat {
namespace {

using testing::BspNodeBuilder;
using testing::field;
using testing::frame_texts;
using testing::FrameText;
using testing::kPhysicsModule;
using testing::RecordWriter;

ReadResult<BspNode> read_all(std::span<const uint8_t> bytes, TreeKind kind, uint64_t* consumed = nullptr) {
  ByteReader in(bytes);
  auto node = BspNode::read(in, kind);
  if (consumed != nullptr) *consumed = in.position();
  return node;
}

TEST(BspNodeTest, NodeSizesByTreeKind) {
  struct Case {
    std::string_view name;
    TreeKind kind;
    BspNodeBuilder node;
    size_t size;
  };
  const Case kCases[] = {
      {"drawing leaf", TreeKind::kDrawing, BspNodeBuilder::leaf(7).polys({1, 2}), 8},
      {"cell leaf", TreeKind::kCell, BspNodeBuilder::leaf(7).solid(1), 8},
      {"physics leaf, 3 polygons", TreeKind::kPhysics, BspNodeBuilder::leaf(7).polys({1, 2, 3}), 38},
      {"physics BPnn over an empty leaf", TreeKind::kPhysics, BspNodeBuilder::internal("BPnn").pos(BspNodeBuilder::leaf()), 68},
      {"drawing portal, 2 polygons, 1 portal", TreeKind::kDrawing,
       BspNodeBuilder::portal(BspNodeBuilder::leaf(), BspNodeBuilder::leaf()).polys({4, 5}).portal_polys({{1, 4}}), 68},
      {"physics portal", TreeKind::kPhysics,
       BspNodeBuilder::portal(BspNodeBuilder::leaf(), BspNodeBuilder::leaf()).polys({4, 5}).portal_polys({{1, 4}}),
       4 + 16 + 32 + 32},
      {"cell portal", TreeKind::kCell, BspNodeBuilder::portal(BspNodeBuilder::leaf(), BspNodeBuilder::leaf()), 36},
      {"cell BPIN", TreeKind::kCell,
       BspNodeBuilder::internal("BPIN").pos(BspNodeBuilder::leaf()).neg(BspNodeBuilder::leaf()), 36},
      {"drawing internal, 2 polygons", TreeKind::kDrawing, BspNodeBuilder::internal("XXXX").polys({1, 2}), 44},
      {"physics internal without children", TreeKind::kPhysics, BspNodeBuilder::internal("BpIn").polys({1, 2}), 36},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = c.node.bytes(c.kind);
    ASSERT_EQ(bytes.size(), c.size);
    bytes.insert(bytes.end(), {0xEE, 0xEE, 0xEE, 0xEE});  // whatever follows
    uint64_t consumed = 0;
    const auto node = read_all(bytes, c.kind, &consumed);
    ASSERT_TRUE(node.ok()) << node.error().to_string();
    EXPECT_EQ(consumed, c.size);
  }
}

TEST(BspNodeTest, ReadsTheFieldsOfEachKind) {
  const Sphere sphere{{1, 2, 3}, 4};
  const auto physics_leaf =
      read_all(BspNodeBuilder::leaf(9).solid(1).sphere(sphere).polys({5, 6}).bytes(TreeKind::kPhysics), TreeKind::kPhysics);
  ASSERT_TRUE(physics_leaf.ok());
  const auto& leaf = std::get<BspLeaf>(physics_leaf->node);
  EXPECT_EQ(leaf.leaf_index, 9u);
  EXPECT_EQ(leaf.solid, 1u);
  ASSERT_TRUE(leaf.sphere.has_value());
  EXPECT_EQ(std::bit_cast<uint32_t>(leaf.sphere->radius), std::bit_cast<uint32_t>(4.0f));
  EXPECT_EQ(leaf.in_polys, (std::vector<uint16_t>{5, 6}));

  const auto drawing_portal = read_all(BspNodeBuilder::portal(BspNodeBuilder::leaf(1), BspNodeBuilder::leaf(2))
                                           .polys({4, 5})
                                           .portal_polys({{1, 4}, {2, 5}})
                                           .bytes(TreeKind::kDrawing),
                                       TreeKind::kDrawing);
  ASSERT_TRUE(drawing_portal.ok());
  const auto& portal = std::get<BspPortal>(drawing_portal->node);
  EXPECT_EQ(std::get<BspLeaf>(portal.pos_node->node).leaf_index, 1u);
  EXPECT_EQ(std::get<BspLeaf>(portal.neg_node->node).leaf_index, 2u);
  EXPECT_FALSE(std::get<BspLeaf>(portal.pos_node->node).sphere.has_value());
  EXPECT_TRUE(portal.sphere.has_value());
  EXPECT_EQ(portal.in_polys, (std::vector<uint16_t>{4, 5}));
  ASSERT_EQ(portal.portals.size(), 2u);
  EXPECT_EQ(portal.portals[1].portal_index, 2);
  EXPECT_EQ(portal.portals[1].poly_id, 5);

  const auto cell_internal =
      read_all(BspNodeBuilder::internal("BPIn").pos(BspNodeBuilder::leaf(3)).bytes(TreeKind::kCell), TreeKind::kCell);
  ASSERT_TRUE(cell_internal.ok());
  const auto& internal = std::get<InternalNode>(cell_internal->node);
  EXPECT_EQ(internal.node_type, "BPIn");
  EXPECT_FALSE(internal.sphere.has_value());
  EXPECT_EQ(internal.neg_node, nullptr);
  ASSERT_NE(internal.pos_node, nullptr);
  EXPECT_EQ(std::get<BspLeaf>(internal.pos_node->node).leaf_index, 3u);
}

TEST(BspNodeTest, TagsSpellTheirCharactersFromTheHighByte) {
  // 46 41 45 4C is LEAF: a leaf. 4C 45 41 46 reads as FAEL: an internal node without children.
  const std::vector<uint8_t> leaf = RecordWriter().u8(0x46).u8(0x41).u8(0x45).u8(0x4C).u32(5).take();
  const auto as_leaf = read_all(leaf, TreeKind::kDrawing);
  ASSERT_TRUE(as_leaf.ok());
  EXPECT_EQ(std::get<BspLeaf>(as_leaf->node).leaf_index, 5u);

  RecordWriter w;
  w.u8(0x4C).u8(0x45).u8(0x41).u8(0x46).zeros(16);
  const auto as_internal = read_all(w.view(), TreeKind::kCell);
  ASSERT_TRUE(as_internal.ok());
  EXPECT_EQ(std::get<InternalNode>(as_internal->node).node_type, "FAEL");
  EXPECT_EQ(bsp_tag_text(0x4C454146), "LEAF");
}

TEST(BspNodeTest, ChildrenFollowTheTag) {
  struct Case {
    std::string tag;
    bool pos;
    bool neg;
  };
  const Case kCases[] = {
      {"BPIN", true, true},   {"BPnN", true, true},   {"BPIn", true, false},  {"BPnn", true, false},
      {"BpIN", false, true},  {"BpnN", false, true},  {"BpIn", false, false}, {"Bpnn", false, false},
      {"XXXX", false, false}, {"BPXN", false, false}, {"bPIN", false, false}, {"BPIX", false, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.tag);
    BspNodeBuilder node = BspNodeBuilder::internal(c.tag);
    if (c.pos) node.pos(BspNodeBuilder::leaf(1));
    if (c.neg) node.neg(BspNodeBuilder::leaf(2));
    for (const TreeKind kind : {TreeKind::kDrawing, TreeKind::kPhysics, TreeKind::kCell}) {
      const std::vector<uint8_t> bytes = node.bytes(kind);
      uint64_t consumed = 0;
      const auto r = read_all(bytes, kind, &consumed);
      ASSERT_TRUE(r.ok()) << r.error().to_string();
      EXPECT_EQ(consumed, bytes.size());
      const auto& internal = std::get<InternalNode>(r->node);
      EXPECT_EQ(internal.node_type, c.tag);
      EXPECT_EQ(internal.pos_node != nullptr, c.pos);
      EXPECT_EQ(internal.neg_node != nullptr, c.neg);
      EXPECT_EQ(internal.sphere.has_value(), kind != TreeKind::kCell);
    }
  }
}

TEST(BspNodeTest, PortalPolyFailureCarriesItsContext) {
  const std::vector<uint8_t> bytes =
      BspNodeBuilder::portal(BspNodeBuilder::leaf(), BspNodeBuilder::leaf()).portal_polys({{1, 2}}).bytes(TreeKind::kDrawing);
  struct Case {
    size_t cut;
    std::vector<FrameText> chain;
  };
  const Case kCases[] = {{1, {field("poly_id", "PortalPoly", kPhysicsModule)}},
                         {3, {field("portal_index", "PortalPoly", kPhysicsModule)}},
                         {5, {}}};  // inside the portal count: no context
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.cut);
    const auto r = read_all(std::span(bytes).first(bytes.size() - c.cut), TreeKind::kDrawing);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
    EXPECT_EQ(frame_texts(r.error()), c.chain);
  }
}

TEST(BspNodeTest, EveryShorterPrefixFails) {
  const BspNodeBuilder tree =
      BspNodeBuilder::internal("BPIN")
          .pos(BspNodeBuilder::portal(BspNodeBuilder::leaf(1).polys({1}), BspNodeBuilder::internal("BpIN").neg(BspNodeBuilder::leaf(2)))
                   .polys({3})
                   .portal_polys({{0, 3}}))
          .neg(BspNodeBuilder::leaf(3).polys({2, 3}))
          .polys({1, 2});
  for (const TreeKind kind : {TreeKind::kDrawing, TreeKind::kPhysics, TreeKind::kCell}) {
    SCOPED_TRACE(static_cast<int>(kind));
    const std::vector<uint8_t> bytes = tree.bytes(kind);
    testing::expect_prefixes_fail(bytes, [kind](auto b) { return read_all(b, kind); }, bytes.size());
  }
}

TEST(BspNodeTest, NestingBeyondTheDepthLimitFailsTheRead) {
  for (const TreeKind kind : {TreeKind::kDrawing, TreeKind::kPhysics, TreeKind::kCell}) {
    SCOPED_TRACE(static_cast<int>(kind));
    const std::vector<uint8_t> deepest = testing::nested_bsp_bytes(kind, BspNode::kMaxDepth);
    uint64_t consumed = 0;
    ASSERT_TRUE(read_all(deepest, kind, &consumed).ok());
    EXPECT_EQ(consumed, deepest.size());

    const std::vector<uint8_t> too_deep = testing::nested_bsp_bytes(kind, BspNode::kMaxDepth + 1);
    const auto r = read_all(too_deep, kind);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind(), ReadError::Kind::kFailedCheck);
    EXPECT_EQ(r.error().check_message(), "bsp tree nested deeper than 1024 levels");
    EXPECT_EQ(r.error().position(), (BspNode::kMaxDepth + 1) * 20u);  // at the tag of the node too deep
  }
  // A hostile record of a million nested nodes fails the same way instead of exhausting the stack.
  const auto r = read_all(testing::nested_bsp_bytes(TreeKind::kCell, 1'000'000), TreeKind::kCell);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind(), ReadError::Kind::kFailedCheck);
}

TEST(BspNodeTest, HugeListCountsFailAtTheEndOfTheBytes) {
  RecordWriter leaf;
  testing::write_bsp_tag(leaf, "LEAF");
  leaf.u32(0).u32(0).zeros(16).u32(0xFFFFFFFF).u16(1);
  RecordWriter portal;
  testing::write_bsp_tag(portal, "PORT");
  portal.zeros(16);
  BspNodeBuilder::leaf().write(portal, TreeKind::kDrawing);
  BspNodeBuilder::leaf().write(portal, TreeKind::kDrawing);
  portal.zeros(16).u32(0).u32(0xFFFFFFFF).u32(0);
  for (const auto& [bytes, kind] : {std::pair{leaf.view(), TreeKind::kPhysics}, std::pair{portal.view(), TreeKind::kDrawing}}) {
    const auto r = read_all(bytes, kind);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
  }
}

}  // namespace
}  // namespace fennistock::dat
