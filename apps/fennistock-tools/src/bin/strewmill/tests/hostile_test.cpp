// Damaged and hostile inputs through the real binary. Every case must end as documented (a
// skipped landblock, an object without a footprint) or with a clear error and exit status 1:
// never a signal, never past the time bound, nothing written outside --out and no manifest after
// a failure. Time and peak memory of each case are printed beside those of a normal run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../../../../../../fuzz/tool_entry_points.h"
#include "e2e_support.h"
#include "fennistock/dat/lib.h"
#include "testing/record_builders.h"

namespace fennistock::tool {
namespace {

namespace fs = std::filesystem;
using e2e::DatSet;
using e2e::read_text;
using e2e::TempDir;
using testing::RecordWriter;

constexpr uint16_t kLb = 0x0100;
constexpr uint32_t kRegion = 0x13000000;
constexpr uint32_t kScene = 0x120000A0;
constexpr uint32_t kBush = 0x01000001;  // a 1 x 1 square GfxObj
constexpr uint32_t kShed = 0x02000001;  // a setup whose one part is the bush
constexpr uint32_t kCellId = uint32_t{kLb} << 16 | 0xFFFF;
constexpr uint32_t kInfoId = uint32_t{kLb} << 16 | 0xFFFE;
constexpr uint32_t kHuge = 0xFFFFFFF0;

// Each writer below writes one item in every list; `lie` names the list whose count is replaced
// by a count near 2^32, after which the record goes on as if the count were true.
struct Counts {
  std::string lie;
  RecordWriter& w;
  bool lies(const char* list) const { return !lie.empty() && lie == list; }
  void u32(const char* list, uint32_t real) { w.u32(lies(list) ? kHuge : real); }
  void u16(const char* list, uint16_t real) { w.u16(lies(list) ? 0xFFFF : real); }
  void compressed(const char* list, uint32_t real) { w.compressed_u32(lies(list) ? 0x3FFFFFFF : real); }
};

void words(RecordWriter& w, int n) {
  for (int k = 0; k < n; ++k) w.u32(static_cast<uint32_t>(k));
}

std::vector<uint8_t> region_bytes(const std::string& lie = "") {
  RecordWriter w;
  Counts c{lie, w};
  w.u32(kRegion).u32(0).u32(0).text("Dereth");
  words(w, 8);
  for (int k = 0; k < 256; ++k) w.f32(0.5f * static_cast<float>(k));
  w.f64(0).u32(0).u32(0).u32(0).text("");  // calendar
  c.u32("times_of_day", 1);
  w.u32(0).u32(1).text("dawn");
  c.u32("names", 1);
  w.text("Morningthaw");
  c.u32("seasons", 1);
  w.u32(0).text("spring");
  w.u32(0x213);  // sky, sound, scene, misc
  w.f64(0).f64(0).align4();
  c.u32("day_groups", 1);
  w.u32(0).text("day");
  c.u32("sky_entries", 1);
  words(w, 9);
  w.align4();
  c.u32("sky_times", 1);
  words(w, 11);
  w.align4();
  c.u32("inner_entries", 1);
  words(w, 6);
  w.align4();
  c.u32("ambient", 1);
  w.u32(0);
  c.u32("sounds", 1);
  words(w, 5);
  c.u32("scene_types", 1);
  w.u32(0);
  c.u32("scenes", 1);
  w.u32(kScene);
  c.u32("terrain_types", 1);
  w.text("grass").u32(0);
  c.u32("terrain_scene_types", 1);
  w.u32(0);
  w.u32(0).u32(0);
  for (const char* list : {"surface_pairs_a", "surface_pairs_b", "surface_pairs_c"}) {
    c.u32(list, 1);
    w.u32(1).u32(2);
  }
  c.u32("surface_entries", 1);
  words(w, 11);
  words(w, 6);  // misc
  return w.take();
}

std::vector<uint8_t> info_bytes(const std::string& lie = "") {
  RecordWriter w;
  Counts c{lie, w};
  w.u32(kInfoId).u32(0);
  c.u32("objects", 1);
  w.u32(0x01000099);
  testing::write_frame(w, testing::frame_at(1, 1, 0));
  c.u16("buildings", 1);
  w.u16(1);  // pack_mask: a restriction table follows
  w.u32(kBush);
  testing::write_frame(w, testing::frame_at(96, 96, 0));
  w.u32(0);
  c.u32("portals", 1);
  w.u16(0).u16(0).u16(0);
  c.u16("stabs", 1);
  w.u16(7).u16(0);
  c.u16("restrictions", 1);
  w.u16(8).u32(1).u32(2);
  return w.take();
}

std::vector<uint8_t> setup_bytes(const std::string& lie = "") {
  RecordWriter w;
  Counts c{lie, w};
  w.u32(kShed).u32(0);
  c.u32("parts", 1);
  w.u32(kBush);
  for (const char* list : {"locations_a", "locations_b"}) {
    c.u32(list, 1);
    w.u32(1).u32(0);
    testing::write_frame(w, testing::frame_at(0, 0, 0));
  }
  w.u32(lie == "placements" ? 0x7FFFFFFF : 1);  // a signed count
  w.u32(0);
  testing::write_frame(w, testing::frame_at(0, 0, 0));
  c.u32("hooks", 1);
  w.u32(1).u32(0).u32(0);
  c.u32("cyl_spheres", 1);
  words(w, 5);
  c.u32("spheres", 1);
  words(w, 4);
  words(w, 4 + 8);  // sizes, two spheres
  c.u32("lights", 1);
  w.u32(1);
  testing::write_frame(w, testing::frame_at(0, 0, 0));
  words(w, 4);
  words(w, 5);  // trailing ids
  return w.take();
}

void write_polygon(RecordWriter& w) {
  w.u8(3).u8(0x04).u32(1).u16(0).u16(0).u16(0).u16(1).u16(2);
}

std::vector<uint8_t> gfx_bytes(const std::string& lie = "") {
  RecordWriter w;
  Counts c{lie, w};
  w.u32(kBush).u32(0x03);
  c.compressed("surfaces", 1);
  w.u32(0x08000001);
  w.u32(1);
  c.u32("vertices", 4);
  const float corners[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
  for (uint16_t k = 0; k < 4; ++k) {
    w.u16(k);
    c.u16(k == 0 ? "uvs" : "", 0);
    w.f32(corners[k][0]).f32(corners[k][1]).f32(0).f32(0).f32(0).f32(1);
  }
  c.compressed("physics_polygons", 1);
  w.u16(0);
  write_polygon(w);
  w.u32(0x4C454146).u32(0).u32(1);  // physics leaf: tag, leaf_index, solid
  words(w, 4);                      // sphere
  c.u32("leaf_polys", 1);
  w.u16(0);
  w.f32(0).f32(0).f32(0);  // sort_center
  c.compressed("polygons", 1);
  w.u16(0);
  write_polygon(w);
  w.u32(0x4C454146).u32(0);  // drawing leaf
  return w.take();
}

// The bush with a drawing tree nested a million levels deep.
std::vector<uint8_t> deep_bsp_gfx() {
  RecordWriter w;
  w.u32(kBush).u32(0x02).u8(0).u32(1).u32(1);
  w.u16(0).u16(0);
  for (int k = 0; k < 6; ++k) w.f32(0);
  w.f32(0).f32(0).f32(0);  // sort_center
  w.u8(0);                 // no polygons
  w.bytes(testing::nested_bsp_bytes(dat::TreeKind::kDrawing, 1'000'000));
  return w.take();
}

// One landblock; every vertex carries a scene of the bush and the shed at the vertex (the shed
// always overlaps the bush), and a bush-sized building stands at (96, 96).
DatSet world(uint32_t block_size = 256) {
  DatSet set;
  set.block_size = block_size;
  set.portal[kRegion] = region_bytes();
  set.portal[kScene] = testing::SceneBuilder(kScene)
                           .object(testing::object_desc(kBush))
                           .object(testing::object_desc(kShed))
                           .bytes();
  set.portal[kBush] = gfx_bytes();
  set.portal[kShed] = setup_bytes();
  set.cell[kCellId] = testing::CellLandblockBuilder(kCellId).all_heights(10).bytes();
  set.cell[kInfoId] = info_bytes();
  return set;
}

// ---- damage to archive files, after they were written

std::vector<uint8_t> read_bytes(const fs::path& p) {
  const std::string s = read_text(p);
  return {s.begin(), s.end()};
}
void write_bytes(const fs::path& p, const std::vector<uint8_t>& b) {
  e2e::write_text(p, std::string(b.begin(), b.end()));
}
void patch_u32(const fs::path& p, uint64_t at, uint32_t v) {
  std::vector<uint8_t> b = read_bytes(p);
  ASSERT_LE(at + 4, b.size());
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
  write_bytes(p, b);
}
uint32_t load_u32(const fs::path& p, uint64_t at) {
  const std::vector<uint8_t> b = read_bytes(p);
  return ByteReader::load_u32(b.data() + at);
}
dat::DatFileEntry entry_of(const fs::path& archive, uint32_t id) {
  auto db = dat::DatDatabase::open(archive);
  EXPECT_TRUE(db.ok());
  const dat::DatFileEntry* e = db.ok() ? db->directory().find(id) : nullptr;
  EXPECT_NE(e, nullptr);
  return e != nullptr ? *e : dat::DatFileEntry{};
}
// The file offset of byte k of the root directory node. REQUIRES: a block size of at least 1720,
// so that the node is one block.
uint64_t root_node_byte(const fs::path& archive, uint64_t k) { return load_u32(archive, 0x160) + 4 + k; }

fs::path portal(const fs::path& dats) { return dats / "client_portal.dat"; }
fs::path cell(const fs::path& dats) { return dats / "client_cell_1.dat"; }

struct Case {
  std::string name;
  std::function<void(DatSet&)> records;          // damage to the records before writing
  std::function<void(const fs::path&)> files;    // damage to the written DAT directory
  int status;                                    // expected exit status
  std::string message;                           // expected in standard error
  uint32_t block_size = 256;
};

// Every file under `root` except those under `skip`, with size and modification time.
std::map<std::string, std::pair<uintmax_t, int64_t>> snapshot(const fs::path& root, const fs::path& skip) {
  std::map<std::string, std::pair<uintmax_t, int64_t>> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    ::lstat(it->path().c_str(), &st);
    files[it->path().string()] = {static_cast<uintmax_t>(st.st_size),
                                  int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
  }
  return files;
}

// Runs the tool on landblock kLb of the directory `dats` into `out` and checks what holds for any
// outcome: no signal, no timeout, nothing touched outside `out`, no manifest after a failure.
e2e::BoundedRunResult run_checked(const TempDir& dir, const fs::path& dats, const fs::path& out,
                                  const std::string& name, std::vector<std::string> extra = {},
                                  e2e::RunLimits limits = {}, const std::string& landblocks = "0x0100") {
  const auto before = snapshot(dir.path(), out);
  std::vector<std::string> args = {"--dat-dir", dats.string(), "--landblocks", landblocks, "--out", out.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  const e2e::BoundedRunResult r = e2e::run_strewmill_bounded(args, limits);
  EXPECT_FALSE(r.timed_out) << "killed after " << limits.timeout_seconds << " s";
  EXPECT_EQ(r.signal, 0) << r.err;
  EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << "\n" << r.err;
  EXPECT_EQ(snapshot(dir.path(), out), before) << "files outside --out changed";
  if (r.status != 0) {
    EXPECT_FALSE(fs::exists(out / "bake-source.sha256")) << "manifest after a failure";
    EXPECT_NE(r.err.find("Error: "), std::string::npos) << r.err;
  }
  if (fs::is_directory(out)) {
    for (const auto& e : fs::directory_iterator(out)) {
      const std::string f = e.path().filename().string();
      const bool ours = f == "bake-source.sha256" || f.ends_with(".scenery.jsonl") || f.ends_with(".scenery.jsonl.sha256");
      EXPECT_TRUE(ours) << "unexpected output file " << f;
    }
  }
  // The cost of the case, to compare with the normal run's line.
  std::printf("[cost] %s: %.3f s, peak %ld KiB\n", name.c_str(), r.seconds, r.max_rss_kb);
  EXPECT_LT(r.max_rss_kb, 1L << 20) << "peak memory above 1 GiB";
  return r;
}

std::string jsonl(const fs::path& out) { return read_text(out / "0x0100.scenery.jsonl"); }

TEST(HostileTest, NormalRunPlacesObjects) {
  TempDir dir;
  world().write(dir / "dats");
  const auto r = run_checked(dir, dir / "dats", dir / "out", "normal run");
  ASSERT_EQ(r.status, 0) << r.err;
  // One bush at each vertex but the one under the building.
  const std::string placed = jsonl(dir / "out");
  EXPECT_EQ(std::count(placed.begin(), placed.end(), '\n'), 80);
  EXPECT_TRUE(fs::exists(dir / "out" / "bake-source.sha256"));
}

TEST(HostileTest, DamagedArchivesEndCleanly) {
  const std::vector<Case> cases = {
      {"zero-length portal archive", {}, [](const fs::path& d) { fs::resize_file(portal(d), 0); }, 1,
       "While parsing field 'magic' in DatHeader"},
      {"cell archive cut inside its header", {}, [](const fs::path& d) { fs::resize_file(cell(d), 0x150); }, 1,
       "While parsing field 'subset' in DatHeader"},
      {"cell archive cut before its directory", {},
       [](const fs::path& d) { fs::resize_file(cell(d), fs::file_size(cell(d)) - 100); }, 1,
       "failed to fill whole buffer"},
      {"block size 0", {}, [](const fs::path& d) { patch_u32(portal(d), 0x144, 0); }, 1, "block size 0"},
      {"block size 4", {}, [](const fs::path& d) { patch_u32(cell(d), 0x144, 4); }, 1, "block size 4"},
      {"directory node that is its own child", {},
       [](const fs::path& d) { patch_u32(cell(d), root_node_byte(cell(d), 0), load_u32(cell(d), 0x160)); }, 1,
       "is reached more than once", 4096},
      {"entry_count 62", {}, [](const fs::path& d) { patch_u32(cell(d), root_node_byte(cell(d), 248), 62); }, 1,
       "While parsing field 'bit_flags' in DatFileEntry", 4096},
      {"entry_count near 2^32", {},
       [](const fs::path& d) { patch_u32(cell(d), root_node_byte(cell(d), 248), kHuge); }, 1,
       "While parsing field 'bit_flags' in DatFileEntry", 4096},
      {"Region chain that loops", {},
       [](const fs::path& d) {
         const dat::DatFileEntry e = entry_of(portal(d), kRegion);
         patch_u32(portal(d), e.offset + 64, e.offset);  // the second block leads back to the first
       },
       1, "fetch Region 0x13000000 from portal.dat", 64},
      {"terrain chain that loops", {},
       [](const fs::path& d) {
         const dat::DatFileEntry e = entry_of(cell(d), kCellId);
         patch_u32(cell(d), e.offset, e.offset);
       },
       0, "CellLandblock 0x0100FFFF not in cell.dat — skipping", 16},
      {"terrain chain that points past the end", {},
       [](const fs::path& d) {
         const dat::DatFileEntry e = entry_of(cell(d), kCellId);
         patch_u32(cell(d), e.offset, 0xFFFFFF00);
       },
       0, "CellLandblock 0x0100FFFF not in cell.dat — skipping", 16},
      {"terrain entry of size near 2^32", {},
       [](const fs::path& d) {
         // Entries are stored sorted by id: the info record first, the terrain record second.
         patch_u32(cell(d), root_node_byte(cell(d), 252 + 24 + 12), kHuge);
       },
       0, "CellLandblock 0x0100FFFF not in cell.dat — skipping", 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    DatSet set = world(c.block_size);
    set.write(dir / "dats");
    c.files(dir / "dats");
    const auto r = run_checked(dir, dir / "dats", dir / "out", c.name);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST(HostileTest, BlockSizeFiveReadsChainsOfOneBlock) {
  // Written with blocks large enough for every chain to be one block, then relabelled: a block
  // size of 5 leaves one data byte a block, but a last block carries the rest of its chain.
  TempDir dir;
  world(1 << 16).write(dir / "dats");
  const auto normal = run_checked(dir, dir / "dats", dir / "out-normal", "block size 65536");
  ASSERT_EQ(normal.status, 0) << normal.err;
  for (const char* name : {"client_portal.dat", "client_cell_1.dat", "client_local_English.dat"}) {
    patch_u32(dir / "dats" / name, 0x144, 5);
  }
  const auto r = run_checked(dir, dir / "dats", dir / "out", "block size 5");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(jsonl(dir / "out"), jsonl(dir / "out-normal"));
}

TEST(HostileTest, LyingCountsInEveryRecordType) {
  struct LieCase {
    std::string record;
    std::vector<std::string> lists;
    int status;
    std::string message;
  };
  const std::vector<LieCase> cases = {
      {"Region",
       {"times_of_day", "names", "seasons", "day_groups", "sky_entries", "sky_times", "inner_entries", "ambient",
        "sounds", "scene_types", "scenes", "terrain_types", "terrain_scene_types", "surface_pairs_a",
        "surface_pairs_b", "surface_pairs_c", "surface_entries"},
       1, "parse Region 0x13000000"},
      {"LandblockInfo", {"objects", "buildings", "portals", "stabs", "restrictions"}, 0,
       "LandblockInfo 0x0100FFFE parse failed"},
      {"Scene", {"objects"}, 0, ""},
      {"SetupModel", {"parts", "locations_a", "locations_b", "placements", "hooks", "cyl_spheres", "spheres", "lights"},
       0, ""},
      {"GfxObj", {"surfaces", "vertices", "uvs", "physics_polygons", "leaf_polys", "polygons"}, 0, ""},
  };
  for (const LieCase& c : cases) {
    for (const std::string& list : c.lists) {
      const std::string name = c.record + " " + list + " count near 2^32";
      SCOPED_TRACE(name);
      TempDir dir;
      DatSet set = world();
      if (c.record == "Region") set.portal[kRegion] = region_bytes(list);
      if (c.record == "LandblockInfo") set.cell[kInfoId] = info_bytes(list);
      if (c.record == "SetupModel") set.portal[kShed] = setup_bytes(list);
      if (c.record == "GfxObj") set.portal[kBush] = gfx_bytes(list);
      if (c.record == "Scene") {
        RecordWriter w;
        w.u32(kScene).u32(kHuge);
        testing::write_object_desc(w, testing::object_desc(kBush));
        set.portal[kScene] = w.take();
      }
      set.write(dir / "dats");
      const auto r = run_checked(dir, dir / "dats", dir / "out", name);
      EXPECT_EQ(r.status, c.status) << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      if (r.status != 0) {
        EXPECT_NE(r.err.find("failed to fill whole buffer"), std::string::npos) << r.err;
        continue;
      }
      const std::string placed = jsonl(dir / "out");
      const auto lines = std::count(placed.begin(), placed.end(), '\n');
      // Without the building's footprint all 81 bushes stand; without the scene or the bush's
      // mesh none; the shed was dropped in any case.
      const std::map<std::string, long> expected = {{"LandblockInfo", 81}, {"Scene", 0}, {"GfxObj", 0}, {"SetupModel", 80}};
      EXPECT_EQ(lines, expected.at(c.record));
    }
  }
}

TEST(HostileTest, BspTreeNestedAMillionLevelsDeepLeavesTheObjectWithoutMesh) {
  TempDir dir;
  DatSet set = world();
  set.portal[kBush] = deep_bsp_gfx();
  set.write(dir / "dats");
  const auto r = run_checked(dir, dir / "dats", dir / "out", "BSP tree a million levels deep");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(jsonl(dir / "out"), "");
}

TEST(HostileTest, ListFileOfInvalidUtf8CreatesNothing) {
  TempDir dir;
  world().write(dir / "dats");
  e2e::write_text(dir / "list.txt", "0x0100\n\xC3\x28\n");
  const auto r = run_checked(dir, dir / "dats", dir / "out", "list file of invalid UTF-8", {}, {},
                             "@" + (dir / "list.txt").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error: read landblock list `" + (dir / "list.txt").string() + "`"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(HostileTest, SymlinkedOutWritesIntoTheDirectoryItNames) {
  TempDir dir;
  world().write(dir / "dats");
  fs::create_directory(dir / "target");
  fs::create_directory_symlink(dir / "target", dir / "out");
  const auto before = snapshot(dir.path(), dir / "target");
  const auto r = e2e::run_strewmill_bounded(
      {"--dat-dir", (dir / "dats").string(), "--landblocks", "0x0100", "--out", (dir / "out").string()}, {});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir / "out"));
  EXPECT_TRUE(fs::exists(dir / "target" / "0x0100.scenery.jsonl"));
  EXPECT_TRUE(fs::exists(dir / "target" / "0x0100.scenery.jsonl.sha256"));
  EXPECT_TRUE(fs::exists(dir / "target" / "bake-source.sha256"));
  EXPECT_EQ(snapshot(dir.path(), dir / "target"), before);
}

TEST(HostileTest, SymlinkAtAnOutputPathIsNotFollowed) {
  for (const std::string file : {"0x0100.scenery.jsonl", "0x0100.scenery.jsonl.sha256"}) {
    SCOPED_TRACE(file);
    TempDir dir;
    world().write(dir / "dats");
    fs::create_directory(dir / "out");
    e2e::write_text(dir / "victim.txt", "keep");
    fs::create_symlink(dir / "victim.txt", dir / "out" / file);
    const auto r = run_checked(dir, dir / "dats", dir / "out", "symlink at " + file);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: create " + (dir / "out" / file).string()), std::string::npos) << r.err;
    EXPECT_EQ(read_text(dir / "victim.txt"), "keep");
  }
}

TEST(HostileTest, OutputThatCannotGrowEndsWithAnError) {
  // A file-size limit makes writes fail mid-run even as root; the tool must report the failure
  // (EFBIG), not die of SIGXFSZ. The limit leaves room for the error report on standard error.
  TempDir dir;
  world().write(dir / "dats");
  const auto r = run_checked(dir, dir / "dats", dir / "out", "file-size limit", {}, {.file_size_limit = 4096},
                             "0x0100..0x0101");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("File too large (os error 27)"), std::string::npos) << r.err;
}

TEST(HostileTest, SavedLandblockListFuzzInputsReplay) {
  const fs::path dir = fs::path(__FILE__).parent_path() / "../../../../../../fuzz/regressions/landblocks";
  size_t replayed = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    SCOPED_TRACE(e.path().string());
    const std::vector<uint8_t> bytes = read_bytes(e.path());
    EXPECT_EQ(fuzz::landblocks_one(bytes.data(), bytes.size()), 0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0u);
}

}  // namespace
}  // namespace fennistock::tool
