// The DAT directory checks, run through the real binary so that each ends as a user sees it.
#include <gtest/gtest.h>

#include <functional>

#include "e2e_support.h"
#include "preflight.h"

namespace fennistock::tool {
namespace {

using e2e::DatSet;
using e2e::TempDir;

std::string run_error(const std::filesystem::path& dats, const std::filesystem::path& out) {
  const auto r = e2e::run_strewmill({"--dat-dir", dats.string(), "--landblocks", "0x0000", "--out", out.string()});
  EXPECT_NE(r.status, -1) << "killed by a signal";
  return r.status == 1 ? r.err : "exit " + std::to_string(r.status) + ": " + r.err;
}

TEST(ModderIdTest, Range) {
  EXPECT_TRUE(is_modder_allocated(0x06FF0003));
  EXPECT_TRUE(is_modder_allocated(0x01FF0000));
  EXPECT_TRUE(is_modder_allocated(0x78FFFFFF));
  EXPECT_FALSE(is_modder_allocated(0x00FF0000));
  EXPECT_FALSE(is_modder_allocated(0x79FF0000));
  EXPECT_FALSE(is_modder_allocated(0x06FE0003));
}

TEST(PreflightTest, RefusedDirectories) {
  const std::string refuse = " — bake refuses to run against custom DATs\n";
  struct Case {
    std::string name;
    std::function<void(const std::filesystem::path& dats, DatSet& set)> before;  // may edit the set
    std::function<void(const std::filesystem::path& dats)> after;                 // edits the written dir
    std::function<std::string(const std::filesystem::path& dats)> report;        // "" = passes the pre-flight
  };
  const auto mkdir = [](const std::filesystem::path& p) { std::filesystem::create_directories(p); };
  const auto touch = [](const std::filesystem::path& p) { e2e::write_text(p, ""); };
  const std::vector<Case> kCases = {
      {"missing cell archive", {}, [](auto& d) { std::filesystem::remove(d / "client_cell_1.dat"); },
       [](auto& d) {
         return "Error: stat client_cell_1.dat at `" + (d / "client_cell_1.dat").string() +
                "`\n\nCaused by:\n    No such file or directory (os error 2)\n";
       }},
      {"portal is a directory", {},
       [&](auto& d) {
         std::filesystem::remove(d / "client_portal.dat");
         mkdir(d / "client_portal.dat");
         std::filesystem::remove(d / "client_cell_1.dat");  // portal is examined first
       },
       [](auto& d) {
         return "Error: --dat-dir: `" + (d / "client_portal.dat").string() +
                "` is not a regular file (got file_type=directory)\n";
       }},
      {"iter marker", {}, [&](auto& d) { mkdir(d / "iter-3"); },
       [&](auto&) { return "Error: --dat-dir contains modder-iteration marker `iter-3`" + refuse; }},
      {"project file", {}, [&](auto& d) { touch(d / "map.wbproj"); },
       [&](auto&) { return "Error: --dat-dir contains WorldBuilder project file `map.wbproj`" + refuse; }},
      {"bare project suffix", {}, [&](auto& d) { touch(d / ".wbproj"); },
       [&](auto&) { return "Error: --dat-dir contains WorldBuilder project file `.wbproj`" + refuse; }},
      {"non-empty custom textures", {}, [&](auto& d) { mkdir(d / "custom_textures"); touch(d / "custom_textures" / ".x"); },
       [&](auto&) { return "Error: --dat-dir contains non-empty `custom_textures/`" + refuse; }},
      {"custom textures file", {}, [&](auto& d) { touch(d / "custom_textures"); },
       [&](auto&) { return std::string("Error: Not a directory (os error 20)\n"); }},
      {"modder id in portal",
       [](auto&, DatSet& s) {
         s.portal[0x06FF0003] = {1};
         s.portal[0x06FF0001] = {1};
         s.cell[0x01FFFFFF] = {1};
       },
       {},
       [&](auto&) {
         return "Error: --dat-dir contains modder-allocated record 0x06FF0001 in portal.dat" + refuse;
       }},
      {"modder landblock in cell", [](auto&, DatSet& s) { s.cell[0x78FFFFFE] = {1}; }, {},
       [&](auto&) { return "Error: --dat-dir contains modder-allocated record 0x78FFFFFE in cell.dat" + refuse; }},
      {"passing neighbours",
       [](auto&, DatSet& s) {
         s.portal[0x00FF0000] = {1};
         s.portal[0x79FF0000] = {1};
         s.local[0x06FE0003] = {1};
       },
       [&](auto& d) {
         mkdir(d / "custom_textures");
         mkdir(d / "Iter-3");
         touch(d / "xiter-3");
         touch(d / "map.WBPROJ");
         touch(d / "map.wbproj.bak");
       },
       [](auto&) { return std::string(); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::filesystem::path dats = dir / "dats";
    DatSet set;
    if (c.before) c.before(dats, set);
    set.write(dats);
    if (c.after) c.after(dats);
    const std::string expected = c.report(dats);
    const std::string got = run_error(dats, dir / "out");
    if (expected.empty()) {
      // Passed the pre-flight: the run then fails on the missing Region.
      EXPECT_EQ(got.rfind("Error: fetch Region 0x13000000 from portal.dat", 0), 0u) << got;
    } else {
      EXPECT_EQ(got, expected);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out"));  // created before the pre-flight
  }
}

TEST(PreflightTest, NotADirectoryAndSymlinkedArchives) {
  TempDir dir;
  EXPECT_EQ(run_error(dir / "nope", dir / "out"), "Error: --dat-dir `" + (dir / "nope").string() + "` is not a directory\n");

  // Archives reached through symbolic links pass, and so does a linked directory.
  DatSet().write(dir / "real");
  std::filesystem::create_directories(dir / "linked");
  for (const char* name : {"client_portal.dat", "client_cell_1.dat", "client_local_English.dat"}) {
    std::filesystem::create_symlink(dir / "real" / name, dir / "linked" / name);
  }
  std::filesystem::create_directory_symlink(dir / "linked", dir / "alias");
  EXPECT_EQ(run_error(dir / "alias", dir / "out").rfind("Error: fetch Region", 0), 0u);
}

TEST(PreflightTest, UnreadableArchiveNamesItsPath) {
  TempDir dir;
  DatSet().write(dir / "dats");
  std::filesystem::resize_file(dir / "dats" / "client_cell_1.dat", 0x150);
  const std::string got = run_error(dir / "dats", dir / "out");
  EXPECT_EQ(got.rfind("Error: open " + (dir / "dats" / "client_cell_1.dat").string() +
                          "\n\nCaused by:\n    0: Binary read error: failed to fill whole buffer",
                      0),
            0u)
      << got;
}

}  // namespace
}  // namespace fennistock::tool
