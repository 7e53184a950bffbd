#include "fennistock/dat/file_type/region.h"

#include <gtest/gtest.h>

#include <bit>

#include "testing/record_builders.h"
#include "testing/records_expect.h"

namespace fennistock::dat {
namespace {

using testing::RecordWriter;
using testing::RegionBuilder;

// Two terrain types and two scene types, as the bake consumes them.
RegionBuilder world() {
  return RegionBuilder()
      .linear_land_heights(2.0f)
      .terrain_type("BarrenRock", {0, 1})
      .terrain_type("Grassland", {}, 7)
      .scene_type({0x120000A0, 0x120000A1}, 3)
      .scene_type({});
}

void expect_world_tables(const Region& region) {
  EXPECT_EQ(std::bit_cast<uint32_t>(region.land_heights[0]), std::bit_cast<uint32_t>(0.0f));
  EXPECT_EQ(std::bit_cast<uint32_t>(region.land_heights[255]), std::bit_cast<uint32_t>(510.0f));
  ASSERT_EQ(region.terrain_desc.terrain_types.size(), 2u);
  EXPECT_EQ(region.terrain_desc.terrain_types[0].name, "BarrenRock");
  EXPECT_EQ(region.terrain_desc.terrain_types[0].scene_types, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(region.terrain_desc.terrain_types[1].value, 7u);
  EXPECT_TRUE(region.terrain_desc.terrain_types[1].scene_types.empty());
}

TEST(RegionTest, ReadsTheBakeTablesBehindEveryOptionalSection) {
  const std::vector<uint8_t> bytes = world().full_sections().bytes();
  const auto region = Region::unpack(bytes);
  ASSERT_TRUE(region.ok()) << region.error().to_string();
  EXPECT_EQ(region->id, 0x13000000u);
  EXPECT_EQ(region->name, "Dereth");
  EXPECT_EQ(region->parts_mask, 0x213u);
  expect_world_tables(*region);
  ASSERT_TRUE(region->scene_desc.has_value());
  ASSERT_EQ(region->scene_desc->scene_types.size(), 2u);
  EXPECT_EQ(region->scene_desc->scene_types[0].value, 3u);
  EXPECT_EQ(region->scene_desc->scene_types[0].scenes, (std::vector<uint32_t>{0x120000A0, 0x120000A1}));
  EXPECT_TRUE(region->scene_desc->scene_types[1].scenes.empty());
  EXPECT_EQ(region->terrain_desc.surface_b, 0x33u);
  EXPECT_EQ(region->terrain_desc.surface_pairs_b.size(), 2u);
  ASSERT_EQ(region->terrain_desc.surface_entries.size(), 1u);
  EXPECT_EQ(region->terrain_desc.surface_entries[0][10], 11u);
  ASSERT_TRUE(region->misc.has_value());
  EXPECT_EQ(region->misc->values, (std::array<uint32_t, 6>{1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(region->sky_desc.has_value());
  EXPECT_EQ(region->sky_desc->day_groups.at(0).sky_times.at(0).inner_entries.size(), 1u);
  ASSERT_TRUE(region->sound_desc.has_value());
  EXPECT_EQ(region->sound_desc->ambient.at(0).sounds.at(1)[4], 10u);
  EXPECT_EQ(region->game_time.seasons.at(1).name, "Spring");
}

TEST(RegionTest, PartsMaskChoosesTheOptionalSections) {
  struct Case {
    uint32_t mask;
    bool sky, sound, scene, misc;
  };
  const Case kCases[] = {
      {0x000, false, false, false, false}, {0x013, true, true, true, false}, {0x213, true, true, true, true},
      {0x010, true, false, false, false},  {0x001, false, true, false, false}, {0x002, false, false, true, false},
      {0x200, false, false, false, true},  {0xFFFFFDEC, false, false, false, false},  // other bits ignored
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.mask);
    std::vector<uint8_t> bytes = world().full_sections().parts_mask(c.mask).bytes();
    bytes.insert(bytes.end(), {0xDE, 0xAD});  // bytes after the last section are ignored
    const auto region = Region::unpack(bytes);
    ASSERT_TRUE(region.ok()) << region.error().to_string();
    EXPECT_EQ(region->sky_desc.has_value(), c.sky);
    EXPECT_EQ(region->sound_desc.has_value(), c.sound);
    EXPECT_EQ(region->scene_desc.has_value(), c.scene);
    EXPECT_EQ(region->misc.has_value(), c.misc);
    expect_world_tables(*region);  // the terrain table is found whatever precedes it
  }
}

TEST(RegionTest, NameIsFollowedByTheAlignmentStep) {
  // Name length at 12-13; 5 bytes end at 19 and align to 20; 6 bytes end at 20; 7 at 21 -> 24.
  for (const std::string name : {"abcde", "abcdef", "abcdefg", ""}) {
    SCOPED_TRACE(name);
    const auto region = Region::unpack(world().name(name).bytes());
    ASSERT_TRUE(region.ok());
    EXPECT_EQ(region->name, name);
    EXPECT_EQ(region->layout, (std::array<uint32_t, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
    expect_world_tables(*region);
  }
}

TEST(RegionTest, FailuresCarryNoContext) {
  const std::vector<uint8_t> bytes = world().full_sections().bytes();
  // Ends inside land_heights, which starts at 12 + 8 + 32 = 52.
  const auto r = Region::unpack(std::span(bytes).first(52 + 4 * 100 + 2));
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.error().is_unexpected_eof());
  EXPECT_TRUE(r.error().frames().empty());
  testing::expect_prefixes_fail(bytes, [](auto b) { return Region::unpack(b); }, bytes.size(), {}, true);
}

TEST(RegionTest, HugeCountsFailAtTheEndOfTheBytes) {
  // A region with an empty calendar whose scene section claims 2^32 - 1 scene types, or one scene
  // type with 2^32 - 1 scenes, or whose terrain table claims 2^32 - 1 types.
  const auto head = [](uint32_t mask) {
    RecordWriter w;
    w.u32(0x13000000).u32(0).u32(0).text("").zeros(32).zeros(4 * 256);
    testing::write_game_time(w, GameTime{});
    w.u32(mask);
    return w;
  };
  const std::vector<uint8_t> kCases[] = {
      head(0x02).u32(0xFFFFFFFF).u32(0).take(),
      head(0x02).u32(1).u32(0).u32(0xFFFFFFFF).u32(1).take(),
      head(0x00).u32(0xFFFFFFFF).u32(0).take(),
      head(0x00).u32(1).text("x").u32(0).u32(0xFFFFFFFF).take(),
  };
  for (const auto& bytes : kCases) {
    const auto r = Region::unpack(bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof());
  }
}

}  // namespace
}  // namespace fennistock::dat
