#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "caches.h"
#include "e2e_support.h"
#include "fennistock/dat/file_type/region.h"
#include "fennistock/dat/landblock.h"
#include "fennistock/strewmill/lib.h"
#include "footprints.h"
#include "preflight.h"
#include "world.h"

namespace fennistock::sample_world {
namespace {

using tool::e2e::read_text;
using tool::e2e::TempDir;

constexpr const char* kArchives[] = {"client_portal.dat", "client_cell_1.dat", "client_local_English.dat"};

WorldOptions small_world(const std::filesystem::path& out, uint64_t seed) {
  WorldOptions o;
  o.out = out;
  o.seed = seed;
  o.landblocks = *parse_landblock_rect("0xA9B0..0xAAB4");
  o.portal_mb = 4;
  o.cell_mb = 3;
  o.local_mb = 1;
  return o;
}

TEST(ParseLandblockRect, AcceptsRectanglesAndSingleIds) {
  struct Case {
    const char* text;
    LandblockRect want;
  };
  const Case cases[] = {
      {"0xA9B0..0xAAB4", {0xA9, 0xB0, 0xAA, 0xB4}},
      {" 0x0000 .. 0xFFFF ", {0x00, 0x00, 0xFF, 0xFF}},
      {"a9b4", {0xA9, 0xB4, 0xA9, 0xB4}},
      {"0X7", {0x00, 0x07, 0x00, 0x07}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto r = parse_landblock_rect(c.text);
    ASSERT_TRUE(r.ok()) << r.error().message();
    EXPECT_EQ(r->lo_x, c.want.lo_x);
    EXPECT_EQ(r->lo_y, c.want.lo_y);
    EXPECT_EQ(r->hi_x, c.want.hi_x);
    EXPECT_EQ(r->hi_y, c.want.hi_y);
  }
}

TEST(ParseLandblockRect, RefusesBadText) {
  for (const char* text : {"", "0x", "0x1A9B4", "A9G4", "0xAAB0..0xA9B4", "0xA9B4..0xAAB0", "0xA9B0..", "-1"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(parse_landblock_rect(text).ok());
  }
}

TEST(GenerateWorld, SameSeedGivesIdenticalArchivesOfTheWantedSizes) {
  TempDir dir;
  const auto a = generate_world(small_world(dir / "a", 7));
  const auto b = generate_world(small_world(dir / "b", 7));
  const auto c = generate_world(small_world(dir / "c", 8));
  ASSERT_TRUE(a.ok() && b.ok() && c.ok());
  for (const char* name : kArchives) {
    SCOPED_TRACE(name);
    const std::string bytes = read_text(dir / "a" / name);
    EXPECT_EQ(bytes, read_text(dir / "b" / name));
    EXPECT_NE(bytes, read_text(dir / "c" / name));
  }
  // Filler brings cell and local to their targets; the directory estimate may miss by a little.
  EXPECT_NEAR(static_cast<double>(a->cell.bytes), 3.0 * (1 << 20), 0.05 * (1 << 20));
  EXPECT_NEAR(static_cast<double>(a->local.bytes), 1.0 * (1 << 20), 0.05 * (1 << 20));
  EXPECT_EQ(a->landblocks, 10u);
  EXPECT_GT(a->portal.compressed, 0u);
  EXPECT_GT(a->cell.compressed, 0u);
}

// Row 0xFF of columns 0x01..0x78 would hold ids the pre-flight refuses; those landblocks are
// left out and the archives pass. The Region has every section and the full tables.
TEST(GenerateWorld, PassesThePreflightAndLeavesOutReservedLandblocks) {
  TempDir dir;
  WorldOptions o = small_world(dir / "w", 3);
  o.landblocks = *parse_landblock_rect("0x77FE..0x79FF");
  ASSERT_TRUE(generate_world(o).ok());
  auto check = tool::preflight(dir / "w");
  ASSERT_TRUE(check.ok()) << check.error().message();
  const auto& cell = check->cell.directory();
  for (const uint32_t id : {0x77FFFFFFu, 0x78FFFFFEu}) EXPECT_EQ(cell.find(id), nullptr) << std::hex << id;
  for (const uint32_t id : {0x77FEFFFFu, 0x78FEFFFEu, 0x79FFFFFFu, 0x79FFFFFEu}) EXPECT_NE(cell.find(id), nullptr) << std::hex << id;

  const auto bytes = check->portal.get_file(0x13000000);
  ASSERT_TRUE(bytes.ok());
  const auto region = dat::Region::unpack(*bytes);
  ASSERT_TRUE(region.ok());
  EXPECT_EQ(region->parts_mask, 0x213u);
  EXPECT_EQ(region->terrain_desc.terrain_types.size(), 32u);
  ASSERT_TRUE(region->scene_desc.has_value());
  EXPECT_EQ(region->scene_desc->scene_types.size(), 90u);
  EXPECT_GE(region->sky_desc->day_groups.size(), 5u);
}

// Every landblock of the small world reads back and the bake places a fair amount of scenery,
// with buildings that have footprints somewhere in the rectangle.
TEST(GenerateWorld, SmallWorldBakesWithManyPlacements) {
  TempDir dir;
  WorldOptions o = small_world(dir / "w", 1);
  o.landblocks = *parse_landblock_rect("0xA8B0..0xABB5");
  const auto summary = generate_world(o);
  ASSERT_TRUE(summary.ok());
  auto check = tool::preflight(dir / "w");
  ASSERT_TRUE(check.ok()) << check.error().message();
  const auto region_bytes = check->portal.get_file(0x13000000);
  ASSERT_TRUE(region_bytes.ok());
  const auto region = dat::Region::unpack(*region_bytes);
  ASSERT_TRUE(region.ok());

  tool::SceneCache scenes;
  tool::MeshCache meshes;
  tool::CachedLookups lookups(check->portal, scenes, meshes);
  size_t placements = 0;
  size_t footprints = 0;
  size_t baked = 0;
  for (uint32_t x = 0xA8; x <= 0xAB; ++x) {
    for (uint32_t y = 0xB0; y <= 0xB5; ++y) {
      const uint32_t lb = x << 8 | y;
      const auto cell_bytes = check->cell.get_file(lb << 16 | 0xFFFF);
      const auto info_bytes = check->cell.get_file(lb << 16 | 0xFFFE);
      ASSERT_TRUE(cell_bytes.ok() && info_bytes.ok()) << std::hex << lb;
      const auto cell = dat::CellLandblock::unpack(*cell_bytes);
      const auto info = dat::LandblockInfo::unpack(*info_bytes);
      ASSERT_TRUE(cell.ok() && info.ok()) << std::hex << lb;
      const auto boxes = tool::building_footprints(*info, check->portal, meshes);
      footprints += boxes.size();
      placements += strewmill::bake_landblock_impl(*region, *cell, lb << 16, lookups, lookups, boxes,
                                                   strewmill::BakeMode::kAceCompat).size();
      ++baked;
    }
  }
  EXPECT_EQ(baked, 24u);
  EXPECT_EQ(footprints, summary->buildings);
  EXPECT_GT(summary->buildings, 0u);
  EXPECT_GE(placements, 24u * 20u);
}

// The tool itself bakes the small world end to end.
TEST(GenerateWorld, StrewmillBakesTheSmallWorld) {
  TempDir dir;
  ASSERT_TRUE(generate_world(small_world(dir / "w", 1)).ok());
  const auto r = tool::e2e::run_strewmill({"--dat-dir", (dir / "w").string(), "--landblocks", "0xA9B0..0xAAB4",
                                           "--out", (dir / "out").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, ::testing::HasSubstr("strewmill done: 10 LBs baked, 0 skipped"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "0xA9B0.scenery.jsonl"));
}

}  // namespace
}  // namespace fennistock::sample_world
