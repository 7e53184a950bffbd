// Replays every saved fuzz input (fuzz/regressions/<target>/) through the entry point of its
// target, in the plain and the sanitized suite alike: a finding that comes back aborts here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "../../../fuzz/dat_entry_points.h"

namespace fennistock::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kRegressions = fs::path(__FILE__).parent_path() / "../../../fuzz/regressions";

TEST(FuzzRegressionTest, SavedInputsReplayThroughTheirTargets) {
  const std::pair<const char*, int (*)(const uint8_t*, size_t)> targets[] = {
      {"archive_open", archive_open_one},
      {"chains", chains_one},
      {"decompress", decompress_one},
      {"records", records_one},
  };
  size_t replayed = 0;
  for (const auto& [name, entry] : targets) {
    const fs::path dir = kRegressions / name;
    if (!fs::is_directory(dir)) continue;
    for (const auto& file : fs::directory_iterator(dir)) {
      SCOPED_TRACE(file.path().string());
      std::ifstream in(file.path(), std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      EXPECT_EQ(entry(bytes.data(), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0u) << "no saved inputs under " << kRegressions;
}

}  // namespace
}  // namespace fennistock::fuzz
