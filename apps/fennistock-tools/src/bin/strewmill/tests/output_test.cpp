#include "output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "summary.h"

namespace fennistock::tool {
namespace {

std::string json_float(float v) {
  std::string s;
  append_json_float(s, v);
  return s;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/strewmill-output-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    ::chmod(path_.c_str(), 0755);
    std::filesystem::remove_all(path_);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

TEST(JsonFloatTest, FixedSixDecimals) {
  struct Case {
    uint32_t bits;
    const char* text;
  };
  const Case kCases[] = {
      {std::bit_cast<uint32_t>(0.1f), "0.100000"},
      {std::bit_cast<uint32_t>(123456.7890625f), "123456.789062"},  // exact tie rounds to even
      {std::bit_cast<uint32_t>(1.0f), "1.000000"},
      {0x80000000u, "0.000000"},                                    // negative zero
      {0x00000000u, "0.000000"},
      {std::bit_cast<uint32_t>(-0.0000004f), "-0.000000"},
      {std::bit_cast<uint32_t>(-0.000000001f), "-0.000000"},
      {std::bit_cast<uint32_t>(0.0078125f), "0.007812"},             // 1/128: a tie, to even
      {std::bit_cast<uint32_t>(0.0234375f), "0.023438"},             // 3/128: a tie, to even (up)
      {std::bit_cast<uint32_t>(-192.0f), "-192.000000"},
      {0x00000001u, "0.000000"},                                    // smallest subnormal
      {0x7F7FFFFFu, "340282346638528859811704183484516925440.000000"},
      {0x7F800000u, "null"},
      {0xFF800000u, "null"},
      {0x7FC00000u, "null"},
      {0xFFC00001u, "null"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(json_float(std::bit_cast<float>(c.bits)), c.text);
  }
}

TEST(JsonFloatTest, AgreesWithTheCLibraryOnRandomFiniteValues) {
  std::mt19937 rng(12345);
  char buf[80];
  for (int k = 0; k < 300000; ++k) {
    uint32_t bits = rng();
    // Most values of interest are small: bias half of the draws to magnitudes below 2^12.
    if (k % 2 == 0) bits = (bits & 0x80FFFFFFu) | ((0x60u + rng() % 0x2C) << 23);
    const float v = std::bit_cast<float>(bits);
    if (!std::isfinite(v) || v == 0.0f) continue;
    std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(v));
    ASSERT_EQ(json_float(v), buf) << std::hex << bits;
  }
}

TEST(OutputFilesTest, LineFormatAndFileNames) {
  strewmill::Placement p;
  p.obj_id = 0x020019F2;
  p.x = 12.345678f;
  p.y = 100.0f;
  p.z = 45.5f;
  p.qw = 0.70710677f;
  p.qx = -0.0f;
  p.qy = 0.0f;
  p.qz = 0.70710677f;
  p.scale = 1.0f;
  p.source_cell_x = 3;
  p.source_cell_y = 7;
  p.source_obj_idx = 0;
  std::string line;
  append_placement_line(line, p);
  EXPECT_EQ(line,
            "{\"obj_id\":\"0x020019F2\",\"x\":12.345678,\"y\":100.000000,\"z\":45.500000,\"qw\":0.707107,"
            "\"qx\":0.000000,\"qy\":0.000000,\"qz\":0.707107,\"scale\":1.000000,\"source_cell_x\":3,"
            "\"source_cell_y\":7,\"source_obj_idx\":0}\n");
  EXPECT_EQ(jsonl_path("out", 0x00FF), std::filesystem::path("out/0x00FF.scenery.jsonl"));
  EXPECT_EQ(sidecar_path("out", 0xA9B4), std::filesystem::path("out/0xA9B4.scenery.jsonl.sha256"));
}

TEST(OutputFilesTest, SidecarHoldsTheDigestOfTheFileOnDisk) {
  TempDir dir;
  std::vector<strewmill::Placement> placements(300);  // more than one 8192-byte buffer
  for (size_t k = 0; k < placements.size(); ++k) {
    placements[k].obj_id = 0x01000000u + static_cast<uint32_t>(k);
    placements[k].x = static_cast<float>(k) * 0.5f;
    placements[k].source_obj_idx = static_cast<uint32_t>(k);
  }
  auto path = write_landblock_files(dir.path(), 0x00FF, placements);
  ASSERT_TRUE(path.ok()) << path.error().message();
  const std::string body = read_file(*path);
  EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 300);
  const std::string sidecar = read_file(sidecar_path(dir.path(), 0x00FF));
  ASSERT_EQ(sidecar.size(), 65u);
  EXPECT_EQ(sidecar.back(), '\n');
  EXPECT_EQ(sidecar.substr(0, 64), *sha256_file(*path));

  // No placements: an empty file and the digest of empty input.
  ASSERT_TRUE(write_landblock_files(dir.path(), 0x0001, {}).ok());
  EXPECT_EQ(read_file(jsonl_path(dir.path(), 0x0001)), "");
  EXPECT_EQ(read_file(sidecar_path(dir.path(), 0x0001)),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n");
}

TEST(OutputFilesTest, Sha256OfKnownInput) {
  TempDir dir;
  std::ofstream(dir.path() / "abc") << "abc";
  EXPECT_EQ(*sha256_file(dir.path() / "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const auto missing = sha256_file(dir.path() / "nope");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message(), "open for hash " + (dir.path() / "nope").string());
  EXPECT_EQ(missing.error().chain().front(), "No such file or directory (os error 2)");
}

TEST(OutputFilesTest, ManifestText) {
  const std::string a(64, 'a'), b(64, 'b'), c(64, 'c');
  EXPECT_EQ(format_manifest(a, b, c, 0x13000000, 12, 3, strewmill::BakeMode::kStrict),
            "client_portal.dat\t" + a + "\nclient_cell_1.dat\t" + b + "\nclient_local_English.dat\t" + c +
                "\nbake-tool-version\tfennistock-strewmill/0.1.0 + strewmill-cli/0.1.0\n"
                "region-did\t0x13000000\nbake-mode\tstrict\nlandblocks\t12 baked, 3 skipped\n");
  EXPECT_NE(format_manifest(a, b, c, 0x00000AB0, 0, 0, strewmill::BakeMode::kAceCompat)
                .find("region-did\t0x00000AB0\nbake-mode\tace-compat\nlandblocks\t0 baked, 0 skipped\n"),
            std::string::npos);
}

TEST(OutputFilesTest, UnwritableDirectoryAndLinkedFilesFailAtCreate) {
  if (::geteuid() == 0) {
    // root ignores permission bits; the symlink refusal below still applies
  } else {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0555);
    const auto r = write_jsonl(dir.path(), 0x1234, {});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message(), "create " + jsonl_path(dir.path(), 0x1234).string());
  }
  TempDir dir, elsewhere;
  const std::filesystem::path victim = elsewhere.path() / "victim";
  std::ofstream(victim) << "keep";
  std::filesystem::create_symlink(victim, jsonl_path(dir.path(), 0x1234));
  const auto r = write_jsonl(dir.path(), 0x1234, {});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message(), "create " + jsonl_path(dir.path(), 0x1234).string());
  EXPECT_EQ(read_file(victim), "keep");
}

TEST(DistributionSummaryTest, Statistics) {
  EXPECT_FALSE(distribution_summary({}).has_value());
  const std::vector<uint64_t> counts = {9, 0, 5, 3};
  const auto s = distribution_summary(counts);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->min, 0u);
  EXPECT_EQ(s->p50, 5u);
  EXPECT_EQ(s->max, 9u);
  EXPECT_EQ(s->total, 17u);
  EXPECT_EQ(s->nonzero, 3u);
  const std::vector<uint64_t> one = {7};
  EXPECT_EQ(format_summary_line(one, 2),
            "strewmill done: 1 LBs baked, 2 skipped, placements min/p50/max=7/7/7 total=7 nonzero_lbs=1\n");
  EXPECT_EQ(format_summary_line({}, 4), "strewmill done: 0 LBs baked, 4 skipped\n");
}

}  // namespace
}  // namespace fennistock::tool
