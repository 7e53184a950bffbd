#include "fennistock/dat/landblock.h"

#include <gtest/gtest.h>

#include <bit>

#include "testing/record_builders.h"
#include "testing/records_expect.h"

namespace fennistock::dat {
namespace {

using testing::CellLandblockBuilder;
using testing::field;
using testing::frame_texts;
using testing::FrameText;
using testing::kLandblockModule;
using testing::kMathModule;
using testing::LandblockInfoBuilder;
using testing::RecordWriter;

TEST(CellLandblockTest, ReadsVerticesColumnByColumn) {
  const std::vector<uint8_t> bytes = CellLandblockBuilder(0xDEADBEEF)  // not the requested id
                                         .has_objects(0x12345678)
                                         .terrain(8, 0, 0x2803)
                                         .height(8, 0, 200)
                                         .terrain(0, 8, 0x007C)
                                         .height(0, 8, 17)
                                         .bytes();
  ASSERT_EQ(bytes.size(), 252u);
  const auto cell = CellLandblock::unpack(bytes);
  ASSERT_TRUE(cell.ok()) << cell.error().to_string();
  EXPECT_EQ(cell->id, 0xDEADBEEFu);
  EXPECT_EQ(cell->has_objects, 0x12345678u);
  EXPECT_EQ(cell->terrain[72], 0x2803);
  EXPECT_EQ(cell->height[72], 200);
  EXPECT_EQ(cell->terrain[8], 0x007C);
  EXPECT_EQ(cell->height[8], 17);
  EXPECT_EQ(cell->terrain[1], 0);
}

TEST(CellLandblockTest, SkippedByteAndTrailingBytesDoNotMatter) {
  std::vector<uint8_t> bytes = CellLandblockBuilder().all_terrain(0x0101).all_heights(9).bytes();
  bytes.insert(bytes.end(), {0xAA, 0xBB, 0xCC});
  for (const size_t n : {size_t{251}, size_t{252}, bytes.size()}) {
    SCOPED_TRACE(n);
    ByteReader in{std::span(bytes).first(n)};
    const auto cell = CellLandblock::unpack(in);
    ASSERT_TRUE(cell.ok());
    EXPECT_EQ(cell->terrain[80], 0x0101);
    EXPECT_EQ(cell->height[80], 9);
    EXPECT_EQ(in.position(), 252u);
  }
}

TEST(CellLandblockTest, TruncationNamesTheFieldThatRanOut) {
  const std::vector<uint8_t> bytes = CellLandblockBuilder().bytes();
  struct Case {
    size_t keep;
    std::string_view field;
  };
  const Case kCases[] = {{0, "id"},         {3, "id"},         {7, "has_objects"}, {8, "terrain"},
                         {169, "terrain"},  {170, "height"},   {250, "height"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.keep);
    const auto r = CellLandblock::unpack(std::span(bytes).first(c.keep));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
    EXPECT_EQ(frame_texts(r.error()), std::vector<FrameText>{field(c.field, "CellLandblock", kLandblockModule)});
  }
  testing::expect_prefixes_fail(bytes, [](auto b) { return CellLandblock::unpack(b); }, 251);
}

// One object, two buildings (portals with 0, 1 and 2 stabs), a restriction table.
LandblockInfoBuilder full_info() {
  BuildInfo house;
  house.model_id = 0x01001234;
  house.frame = testing::frame_at(10, 20, 30);
  house.num_leaves = 3;
  house.portals = {PortalInternal{1, 0x0100, 2, 0, {}}, PortalInternal{3, 0x0101, 4, 1, {7}},
                   PortalInternal{5, 0x0102, 6, 2, {8, 9}}};
  return LandblockInfoBuilder(0xA9B4FFFE)
      .num_cells(4)
      .object(0x02000010, testing::frame_at(1, 2, 3))
      .building(house)
      .building(0x02000020, testing::frame_at(40, 50, 60))
      .restrictions({{0x10, 1}, {0x20, 2}});
}

TEST(LandblockInfoTest, ReadsObjectsBuildingsAndRestrictions) {
  const auto info = LandblockInfo::unpack(full_info().bytes());
  ASSERT_TRUE(info.ok()) << info.error().to_string();
  EXPECT_EQ(info->id, 0xA9B4FFFEu);
  EXPECT_EQ(info->num_cells, 4u);
  ASSERT_EQ(info->objects.size(), 1u);
  EXPECT_EQ(info->objects[0].id, 0x02000010u);
  EXPECT_EQ(std::bit_cast<uint32_t>(info->objects[0].frame.origin.z), std::bit_cast<uint32_t>(3.0f));
  ASSERT_EQ(info->buildings.size(), 2u);
  const BuildInfo& house = info->buildings[0];
  EXPECT_EQ(house.model_id, 0x01001234u);
  EXPECT_EQ(std::bit_cast<uint32_t>(house.frame.origin.y), std::bit_cast<uint32_t>(20.0f));
  EXPECT_EQ(std::bit_cast<uint32_t>(house.frame.orientation.w), std::bit_cast<uint32_t>(1.0f));
  EXPECT_EQ(house.num_leaves, 3u);
  ASSERT_EQ(house.portals.size(), 3u);
  EXPECT_EQ(house.portals[1].stab_list, std::vector<uint16_t>{7});
  // The skip after the odd list keeps the next portal aligned.
  EXPECT_EQ(house.portals[2].other_cell_id, 0x0102);
  EXPECT_EQ(house.portals[2].stab_list, (std::vector<uint16_t>{8, 9}));
  EXPECT_EQ(info->buildings[1].model_id, 0x02000020u);
  ASSERT_TRUE(info->restriction_tables.has_value());
  EXPECT_EQ(info->restriction_tables->bucket_size, 8);
  EXPECT_EQ(info->restriction_tables->tables, (std::unordered_map<uint32_t, uint32_t>{{0x10, 1}, {0x20, 2}}));
}

TEST(LandblockInfoTest, RecordSizes) {
  struct Case {
    std::string_view name;
    std::vector<uint8_t> bytes;
    size_t consumed;
    bool has_table;
  };
  const Case kCases[] = {
      {"smallest", RecordWriter().u32(1).u32(0).u32(0).u16(0).u16(0).take(), 16, false},
      {"bit 0 clear ignores bytes after", RecordWriter().u32(1).u32(0).u32(0).u16(0).u16(0xFFFE).u32(0x10001).take(),
       16, false},
      {"empty table", RecordWriter().u32(1).u32(0).u32(0).u16(0).u16(1).u16(0).u16(0).take(), 20, true},
      {"one object", RecordWriter().u32(1).u32(0).u32(1).u32(9).zeros(28).u16(0).u16(0).take(), 48, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ByteReader in(c.bytes);
    const auto info = LandblockInfo::unpack(in);
    ASSERT_TRUE(info.ok()) << info.error().to_string();
    EXPECT_EQ(in.position(), c.consumed);
    EXPECT_EQ(info->restriction_tables.has_value(), c.has_table);
    if (c.has_table) {
      EXPECT_TRUE(info->restriction_tables->tables.empty());
    }
  }
}

TEST(LandblockInfoTest, PortalAndBuildingSizes) {
  for (const auto& [num_stabs, size] : {std::pair<uint16_t, size_t>{0, 8}, {1, 12}, {2, 12}, {3, 16}}) {
    SCOPED_TRACE(num_stabs);
    RecordWriter w;
    w.u16(1).u16(2).u16(3).u16(num_stabs);
    for (uint16_t i = 0; i < num_stabs; ++i) w.u16(i);
    w.zeros(8);  // bytes of whatever follows
    ByteReader in(w.view());
    const auto portal = PortalInternal::read(in);
    ASSERT_TRUE(portal.ok());
    EXPECT_EQ(in.position(), size);
    EXPECT_EQ(portal->stab_list.size(), num_stabs);
  }
  RecordWriter w;
  testing::write_building(w, BuildInfo{0x01000001, testing::frame_at(1, 2, 3), 5, 0, {}});
  ASSERT_EQ(w.size(), 40u);
  ByteReader in(w.view());
  ASSERT_TRUE(BuildInfo::read(in).ok());
  EXPECT_EQ(in.position(), 40u);
}

TEST(LandblockInfoTest, OddStabListMayEndTheRecordWithoutItsSkip) {
  BuildInfo b;
  b.portals = {PortalInternal{0, 0, 0, 1, {42}}};
  const std::vector<uint8_t> bytes = LandblockInfoBuilder().building(b).bytes();
  const auto info = LandblockInfo::unpack(std::span(bytes).first(bytes.size() - 2));  // without the skip
  ASSERT_TRUE(info.ok()) << info.error().to_string();
  EXPECT_EQ(info->buildings[0].portals[0].stab_list, std::vector<uint16_t>{42});
}

TEST(LandblockInfoTest, ContextChainsNameEveryLevel) {
  // Three objects; the third object's origin y starts at 12 + 2 * 32 + 4 + 4 = 84.
  const std::vector<uint8_t> objects = LandblockInfoBuilder()
                                           .object(1, testing::frame_at(0, 0, 0))
                                           .object(2, testing::frame_at(0, 0, 0))
                                           .object(3, testing::frame_at(0, 0, 0))
                                           .bytes();
  // A building's orientation w starts at 16 + 4 + 12 = 32; its first portal's stab list at
  // 16 + 40 + 8 = 64; the restriction pairs at 16 + 40 + 12 + 4 = 72.
  BuildInfo b;
  b.portals = {PortalInternal{0, 0, 0, 2, {1, 2}}};
  const std::vector<uint8_t> building = LandblockInfoBuilder().building(b).restrictions({{5, 6}}).bytes();
  ASSERT_EQ(building.size(), 80u);

  struct Case {
    std::string_view name;
    const std::vector<uint8_t>& bytes;
    size_t keep;
    std::vector<FrameText> chain;
  };
  const Case kCases[] = {
      {"third object's origin y", objects, 86,
       {field("y", "Vector3", kMathModule), field("origin", "Frame", kLandblockModule),
        field("frame", "Stab", kLandblockModule), field("objects", "LandblockInfo", kLandblockModule)}},
      {"object id", objects, 13, {field("id", "Stab", kLandblockModule), field("objects", "LandblockInfo", kLandblockModule)}},
      {"building orientation", building, 33,
       {field("w", "Quaternion", kMathModule), field("orientation", "Frame", kLandblockModule),
        field("frame", "BuildInfo", kLandblockModule), field("buildings", "LandblockInfo", kLandblockModule)}},
      {"stab list", building, 66,
       {field("stab_list", "PortalInternal", kLandblockModule), field("portals", "BuildInfo", kLandblockModule),
        field("buildings", "LandblockInfo", kLandblockModule)}},
      {"restriction pair", building, 76,
       {field("tables", "RestrictionTable", kLandblockModule),
        field("restriction_tables", "LandblockInfo", kLandblockModule)}},
      {"pack mask", building, 15, {field("pack_mask", "LandblockInfo", kLandblockModule)}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto r = LandblockInfo::unpack(std::span(c.bytes).first(c.keep));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
    EXPECT_EQ(frame_texts(r.error()), c.chain);
  }
}

TEST(LandblockInfoTest, EveryShorterPrefixFails) {
  testing::expect_prefixes_fail(full_info().bytes(), [](auto b) { return LandblockInfo::unpack(b); },
                                full_info().bytes().size());
}

TEST(LandblockInfoTest, RepeatedRestrictionKeyKeepsTheLastValue) {
  const auto info = LandblockInfo::unpack(LandblockInfoBuilder().restrictions({{7, 1}, {8, 2}, {7, 3}}).bytes());
  ASSERT_TRUE(info.ok());
  EXPECT_EQ(info->restriction_tables->count, 3);
  EXPECT_EQ(info->restriction_tables->tables, (std::unordered_map<uint32_t, uint32_t>{{7, 3}, {8, 2}}));
}

TEST(LandblockInfoTest, HugeCountsFailAtTheEndOfTheBytes) {
  const std::vector<uint8_t> kCases[] = {
      RecordWriter().u32(1).u32(0).u32(0xFFFFFFFF).u32(1).take(),                       // num_objects
      RecordWriter().u32(1).u32(0).u32(0).u16(0xFFFF).u16(0).u32(1).take(),             // num_buildings
      RecordWriter().u32(1).u32(0).u32(0).u16(1).u16(0).u32(1).zeros(32).u32(0xFFFFFFFF).take(),  // num_portals
  };
  for (const auto& bytes : kCases) {
    const auto r = LandblockInfo::unpack(bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
  }
}

}  // namespace
}  // namespace fennistock::dat
