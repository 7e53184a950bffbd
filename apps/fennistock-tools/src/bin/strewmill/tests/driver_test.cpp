// End-to-end runs of the strewmill binary over DAT directories built by the test writers.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"
#include "output.h"
#include "testing/record_builders.h"

namespace fennistock::tool {
namespace {

using e2e::DatSet;
using e2e::read_text;
using e2e::run_strewmill;
using e2e::TempDir;

constexpr uint32_t kRegion = 0x13000000;
constexpr uint32_t kScene = 0x120000A0;
constexpr uint32_t kBush = 0x01000001;      // a 1 x 1 GfxObj
constexpr uint32_t kShed = 0x02000001;      // a setup of the bush and a missing part
constexpr uint32_t kHall = 0x01000010;      // a GfxObj as large as a landblock

uint32_t cell_id(uint16_t lb) { return uint32_t{lb} << 16 | 0xFFFF; }
uint32_t info_id(uint16_t lb) { return uint32_t{lb} << 16 | 0xFFFE; }

std::vector<uint8_t> square_gfx(uint32_t id, float half) {
  return testing::GfxObjBuilder(id)
      .vertex(0, {-half, -half, 0})
      .vertex(1, {half, -half, 0})
      .vertex(2, {half, half, 1})
      .vertex(3, {-half, half, 1})
      .bytes();
}

// A world where every vertex of every landblock carries one scene of two objects at the vertex:
// the first (a bush) is placed at all 81 vertices, the second (the shed, whose mesh is the bush)
// always overlaps the first and is dropped.
DatSet small_world(std::vector<uint16_t> landblocks) {
  DatSet set;
  set.portal[kRegion] = testing::RegionBuilder(kRegion)
                            .full_sections()
                            .linear_land_heights(0.5f)
                            .terrain_type("grass", {0})
                            .scene_type({kScene})
                            .bytes();
  set.portal[kScene] = testing::SceneBuilder(kScene)
                           .object(testing::object_desc(kBush))
                           .object(testing::object_desc(kShed))
                           .bytes();
  set.portal[kBush] = square_gfx(kBush, 0.5f);
  set.portal[kShed] = testing::SetupModelBuilder(kShed).parts({kBush, 0x01000BAD}).default_placement(0).bytes();
  set.portal[kHall] = square_gfx(kHall, 200.0f);
  for (const uint16_t lb : landblocks) {
    set.cell[cell_id(lb)] = testing::CellLandblockBuilder(cell_id(lb)).all_heights(10).bytes();
  }
  return set;
}

struct World {
  TempDir dir;
  std::filesystem::path dats() const { return dir / "dats"; }
  std::filesystem::path out() const { return dir / "out"; }
  e2e::RunResult run(const std::string& landblocks, std::vector<std::string> extra = {}) const {
    std::vector<std::string> args = {"--dat-dir", dats().string(), "--landblocks", landblocks, "--out",
                                     out().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_strewmill(args);
  }
};

size_t lines(const std::string& s) { return static_cast<size_t>(std::count(s.begin(), s.end(), '\n')); }

TEST(DriverTest, BakesLandblocksWritesSidecarsAndManifestDeterministically) {
  World w;
  DatSet set = small_world({0x0100, 0x0101});
  set.cell[info_id(0x0101)] = testing::LandblockInfoBuilder(info_id(0x0101))
                                  .building(kHall, testing::frame_at(96, 96, 0))
                                  .building(0x01000BAD, testing::frame_at(0, 0, 0))  // no mesh
                                  .bytes();
  set.write(w.dats());

  const auto r = w.run("0x0100..0x0101", {"--verbose"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("strewmill: --dat-dir=" + w.dats().string() + " --landblocks=0x0100..0x0101 (2 LBs) "
                       "--region-did=0x13000000 --mode=ace-compat --out=" + w.out().string()),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("pre-flight ok: portal_hash="), std::string::npos);
  EXPECT_NE(r.err.find("strewmill done: 2 LBs baked, 0 skipped, placements min/p50/max=0/81/81 total=81 "
                       "nonzero_lbs=1\n"),
            std::string::npos)
      << r.err;

  const std::string open = read_text(jsonl_path(w.out(), 0x0100));
  EXPECT_EQ(lines(open), 81u);
  EXPECT_EQ(open.rfind("{\"obj_id\":\"0x01000001\",\"x\":0.000000,\"y\":0.000000,", 0), 0u) << open;
  EXPECT_EQ(open.find("0x02000001"), std::string::npos);  // the overlapping second object
  EXPECT_EQ(read_text(jsonl_path(w.out(), 0x0101)), "");  // the hall covers the landblock

  for (const uint16_t lb : {0x0100, 0x0101}) {
    EXPECT_EQ(read_text(sidecar_path(w.out(), lb)), *sha256_file(jsonl_path(w.out(), lb)) + "\n");
  }
  const std::string manifest = read_text(w.out() / "bake-source.sha256");
  EXPECT_EQ(manifest, format_manifest(*sha256_file(w.dats() / "client_portal.dat"),
                                      *sha256_file(w.dats() / "client_cell_1.dat"),
                                      *sha256_file(w.dats() / "client_local_English.dat"), kRegion, 2, 0,
                                      strewmill::BakeMode::kAceCompat));

  // A second run into the same directory leaves every byte as it was.
  std::map<std::string, std::string> before;
  for (const auto& e : std::filesystem::directory_iterator(w.out())) before[e.path().string()] = read_text(e.path());
  ASSERT_EQ(before.size(), 5u);
  ASSERT_EQ(w.run("0x0100..0x0101").status, 0);
  for (const auto& [path, bytes] : before) EXPECT_EQ(read_text(path), bytes) << path;
}

TEST(DriverTest, SkipsMissingTerrainAndCountsDuplicates) {
  World w;
  small_world({0x0100}).write(w.dats());
  e2e::write_text(w.dir / "lbs.txt", "0x0100\n0x0200\n0x0100\n");
  const auto r = w.run("@" + (w.dir / "lbs.txt").string(), {"--throttle-ms", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("LB 0x0200: CellLandblock 0x0200FFFF not in cell.dat — skipping"), std::string::npos);
  EXPECT_NE(r.err.find("strewmill done: 2 LBs baked, 1 skipped, placements min/p50/max=81/81/81 total=162"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(jsonl_path(w.out(), 0x0200)));
  EXPECT_NE(read_text(w.out() / "bake-source.sha256").find("landblocks\t2 baked, 1 skipped\n"), std::string::npos);
}

TEST(DriverTest, EmptyListsAndAllSkippedStillCompleteTheRun) {
  World w;
  small_world({}).write(w.dats());
  e2e::write_text(w.dir / "empty.txt", "# nothing here\n\n");
  const auto empty = w.run("@" + (w.dir / "empty.txt").string());
  ASSERT_EQ(empty.status, 0) << empty.err;
  EXPECT_NE(empty.err.find("strewmill done: 0 LBs baked, 0 skipped\n"), std::string::npos);
  EXPECT_NE(read_text(w.out() / "bake-source.sha256").find("landblocks\t0 baked, 0 skipped\n"), std::string::npos);

  const auto skipped = w.run("0x0000..0x0001");
  ASSERT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_NE(skipped.err.find("strewmill done: 0 LBs baked, 2 skipped\n"), std::string::npos);
}

TEST(DriverTest, LandblockInfoProblemsBakeWithoutFootprints) {
  World w;
  DatSet set = small_world({0x0100});
  std::vector<uint8_t> info = testing::LandblockInfoBuilder(info_id(0x0100)).building(kHall, testing::frame_at(96, 96, 0)).bytes();
  info.resize(info.size() - 3);  // cut inside the building
  set.cell[info_id(0x0100)] = info;
  set.write(w.dats());
  const auto r = w.run("0x0100");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("LB 0x0100: LandblockInfo 0x0100FFFE parse failed: failed to fill whole buffer"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(lines(read_text(jsonl_path(w.out(), 0x0100))), 81u);
}

TEST(DriverTest, DebugLineWhenTheEnvironmentAsksForIt) {
  World w;
  small_world({0x0100}).write(w.dats());
  const auto r = run_strewmill({"--dat-dir", w.dats().string(), "--landblocks", "0x0100", "--out", w.out().string()},
                               {"STREWMILL_LOG=strewmill=debug"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("LB 0x0100: 81 placements (0 buildings collide-blocking) → " +
                       jsonl_path(w.out(), 0x0100).string()),
            std::string::npos)
      << r.err;
}

TEST(DriverTest, ProgressEveryTwentyFiveLandblocksWithVerbose) {
  World w;
  small_world({}).write(w.dats());
  const auto r = w.run("0x0000..0x003B", {"--verbose"});  // 60 landblocks, all skipped
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("progress: 25/60 LBs baked (25 skipped so far)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("progress: 50/60 LBs baked (50 skipped so far)"), std::string::npos);
  EXPECT_EQ(r.err.find("progress: 60/60"), std::string::npos);
  EXPECT_EQ(w.run("0x0000..0x003B").err.find("progress:"), std::string::npos);
}

TEST(DriverTest, FailuresEndTheRunWithTheirChains) {
  struct Case {
    std::string name;
    std::function<void(DatSet&)> damage;
    std::string report;  // expected at the start of stderr's "Error: " report
  };
  const std::vector<Case> kCases = {
      {"region missing", [](DatSet& s) { s.portal.erase(kRegion); },
       "Error: fetch Region 0x13000000 from portal.dat\n\nCaused by:\n    File ID 13000000 not found in provider\n"},
      {"region cut", [](DatSet& s) { s.portal[kRegion].resize(100); },
       "Error: parse Region 0x13000000\n\nCaused by:\n    failed to fill whole buffer\n"},
      {"terrain cut", [](DatSet& s) { s.cell[cell_id(0x0101)].resize(100); },
       "Error: parse CellLandblock 0x0101FFFF\n\nCaused by:\n    failed to fill whole buffer\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    World w;
    DatSet set = small_world({0x0100, 0x0101});
    c.damage(set);
    set.write(w.dats());
    const auto r = w.run("0x0100..0x0101");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, c.report.size()), c.report) << r.err;
    EXPECT_FALSE(std::filesystem::exists(w.out() / "bake-source.sha256"));
    EXPECT_EQ(r.err.find("strewmill done"), std::string::npos);
  }
  // The landblock baked before the corrupt terrain keeps its files.
  World w;
  DatSet set = small_world({0x0100, 0x0101});
  set.cell[cell_id(0x0101)].resize(100);
  set.write(w.dats());
  ASSERT_EQ(w.run("0x0100..0x0101").status, 1);
  EXPECT_EQ(lines(read_text(jsonl_path(w.out(), 0x0100))), 81u);
  EXPECT_TRUE(std::filesystem::exists(sidecar_path(w.out(), 0x0100)));
}

TEST(DriverTest, OutputDirectoryThatCannotBeCreated) {
  World w;
  small_world({0x0100}).write(w.dats());
  e2e::write_text(w.dir / "file", "x");
  const auto r = run_strewmill({"--dat-dir", w.dats().string(), "--landblocks", "0x0100", "--out",
                                (w.dir / "file" / "out").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: create --out `" + (w.dir / "file" / "out").string() +
                       "`\n\nCaused by:\n    Not a directory (os error 20)\n");
}

}  // namespace
}  // namespace fennistock::tool
