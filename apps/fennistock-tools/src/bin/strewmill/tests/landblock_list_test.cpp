#include "landblock_list.h"

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace fennistock::tool {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Chain = std::vector<std::string>;

constexpr const char* kEmpty = "cannot parse integer from empty string";
constexpr const char* kBadDigit = "invalid digit found in string";
constexpr const char* kTooLarge = "number too large to fit in target type";
constexpr const char* kOutOfRange = "out of range integral type conversion attempted";

// The error's messages as the report prints them, outermost first.
Chain outer_first(const Error& e) { return Chain(e.chain().rbegin(), e.chain().rend()); }

// A fresh directory for a test's list files, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lblist-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  // Writes `bytes` to `name` in the directory and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path p = path_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

TEST(ParseHexU32Test, AcceptsPrefixesSignAndWhiteSpace) {
  struct Case { std::string text; uint32_t want; };
  const Case kCases[] = {
      {"a9b4", 0xA9B4}, {"0xa9b4", 0xA9B4}, {"0XA9B4", 0xA9B4}, {"  0xA9B4  ", 0xA9B4},
      {"+A9B4", 0xA9B4}, {"0x0x1F", 0x1F}, {"0x0X1F", 0x1F}, {"0x+1F", 0x1F},
      {"000000000000A9B4", 0xA9B4}, {"FFFFFFFF", 0xFFFFFFFF}, {"\t0xA9B4\r\n", 0xA9B4},
      {"\u3000\u00A0 0xA9B4\u2028\u0085", 0xA9B4},  // white space outside ASCII
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto r = parse_hex_u32(c.text);
    ASSERT_TRUE(r.ok()) << outer_first(r.error()).back();
    EXPECT_EQ(*r, c.want);
  }
}

TEST(ParseHexU32Test, FirstProblemFromTheLeftNamesTheCause) {
  struct Case { std::string text; std::string trimmed; const char* cause; };
  const Case kCases[] = {
      {"0X0x1F", "0X0x1F", kBadDigit},  // "0X" strips first, leaving "0x1F"
      {"0x", "0x", kEmpty},
      {" \t\u3000 ", "", kEmpty},
      {"+", "+", kBadDigit},
      {"-1", "-1", kBadDigit},
      {"1_0", "1_0", kBadDigit},
      {" 1 0 ", "1 0", kBadDigit},
      {"\u200B1", "\u200B1", kBadDigit},  // zero width space is not White_Space
      {"100000000", "100000000", kTooLarge},
      {"0x100000000", "0x100000000", kTooLarge},
      {"100000000G", "100000000G", kTooLarge},  // the ninth digit overflows before the G
      {"FFFFFFFFG", "FFFFFFFFG", kBadDigit},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto r = parse_hex_u32(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_THAT(outer_first(r.error()), ElementsAre("parse hex u32 `" + c.trimmed + "`", c.cause));
  }
}

TEST(Utf8Test, RejectsMalformedSequences) {
  struct Case { std::string text; bool valid; };
  const Case kCases[] = {
      {"", true}, {"0xA9B4", true}, {"\xC3\xA9", true}, {"\xE2\x80\x94", true}, {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},              // cut short
      {"\xC0\xAF", false},          // overlong "/"
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\x80", false}, {"a\xFF", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(is_valid_utf8(c.text), c.valid);
  }
}

TEST(ExpandLandblocksTest, SingleIdsAndRectangles) {
  struct Case { std::string spec; std::vector<uint16_t> want; };
  const Case kCases[] = {
      {"0xA9B4", {0xA9B4}},
      {" \t0xA9B4\n", {0xA9B4}},
      {"0xA3AE..0xA4AF", {0xA3AE, 0xA3AF, 0xA4AE, 0xA4AF}},  // X outer, Y inner
      {"0xA3AE..0xA3AE", {0xA3AE}},
      {"0xA3AE .. 0xA3B0", {0xA3AE, 0xA3AF, 0xA3B0}},
      {"00FF..01FF", {0x00FF, 0x01FF}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.spec);
    const auto r = expand_landblocks(c.spec);
    ASSERT_TRUE(r.ok()) << outer_first(r.error()).back();
    EXPECT_EQ(*r, c.want);
  }
}

TEST(ExpandLandblocksTest, WholeWorldIsEveryIdAscending) {
  const auto r = expand_landblocks("0x0000..0xFFFF");
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->size(), 65536u);
  for (size_t i = 0; i < r->size(); ++i) {
    ASSERT_EQ((*r)[i], i);
  }
}

TEST(ExpandLandblocksTest, SingleAndRectangleErrors) {
  struct Case { std::string spec; Chain want; };
  const Case kCases[] = {
      {" 0x1A9B4\t", {"landblock id `0x1A9B4` is wider than 16 bits", kOutOfRange}},
      {"0x", {"parse hex u32 `0x`", kEmpty}},
      {"   ", {"parse hex u32 ``", kEmpty}},
      {"0xA3AE..0xA3AD", {"--landblocks range high `0xA3AD` is below low `0xA3AE`"}},
      // Numerically higher, but the row 0xA0 is below the row 0xAE.
      {"0xA3AE..0xA4A0", {"--landblocks rectangle: hi=(0xA4,0xA0) must dominate lo=(0xA3,0xAE)"}},
      {"0x00FF..0x0100", {"--landblocks rectangle: hi=(0x1,0x0) must dominate lo=(0x0,0xFF)"}},
      {"0xA3AE..0xA4AF..0xA5B0", {"parse hex u32 `0xA4AF..0xA5B0`", kBadDigit}},
      {"..0xA3AE", {"parse hex u32 ``", kEmpty}},
      {"0xZ..0xA3AD", {"parse hex u32 `0xZ`", kBadDigit}},
      {"0x10000..0x10001", {"range bound `0x10000` is wider than 16 bits", kOutOfRange}},
      {"0xA3AE..0x1A3AE", {"range bound `0x1A3AE` is wider than 16 bits", kOutOfRange}},
      // The order test comes before the width tests.
      {"0x20000..0x10000", {"--landblocks range high `0x10000` is below low `0x20000`"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.spec);
    const auto r = expand_landblocks(c.spec);
    ASSERT_FALSE(r.ok());
    EXPECT_THAT(outer_first(r.error()), ElementsAreArray(c.want));
  }
}

TEST(ExpandLandblocksTest, ListFilesKeepOrderAndDuplicates) {
  const TempDir dir;
  struct Case { std::string contents; std::vector<uint16_t> want; };
  const Case kCases[] = {
      {"0xA9B4\r\n\r\n# comment\r\n0xA9B4", {0xA9B4, 0xA9B4}},
      {"# only\n\n   # comments\n", {}},
      {"", {}},
      {"0x0002\r\n0x0001\n\t0x0003 \r", {2, 1, 3}},  // a last line may lack "\n" and keep its "\r"
      {"\u3000 0x0004\u00A0\n#0x0005\n", {4}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.contents));
    const auto r = expand_landblocks("@" + dir.write("lbs.txt", c.contents));
    ASSERT_TRUE(r.ok()) << outer_first(r.error()).front();
    EXPECT_EQ(*r, c.want);
  }
}

TEST(ExpandLandblocksTest, ListFileErrorsNameTheFileAndLine) {
  const TempDir dir;
  struct Case { std::string contents; std::vector<std::string> want; };  // "P" stands for the path
  const Case kCases[] = {
      {"0xA9B4\n\n0xA9G4\n", {"landblock list `P` line 3", "parse hex u32 `0xA9G4`", kBadDigit}},
      {"\r\n# c\r\n 0xA9B4 # note\r\n", {"landblock list `P` line 3", "parse hex u32 `0xA9B4 # note`", kBadDigit}},
      {"0x100000000\n", {"landblock list `P` line 1", "parse hex u32 `0x100000000`", kTooLarge}},
      {"# c\n 0x1A9B4 \n", {"landblock id `0x1A9B4` is wider than 16 bits — expected packed key", kOutOfRange}},
      {"0xA9B4\n\xFF\n", {"read landblock list `P`", "stream did not contain valid UTF-8"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.contents));
    const std::string path = dir.write("lbs.txt", c.contents);
    const auto r = expand_landblocks("@" + path);
    ASSERT_FALSE(r.ok());
    std::vector<std::string> want = c.want;
    if (const size_t at = want[0].find("`P`"); at != std::string::npos) want[0].replace(at + 1, 1, path);
    EXPECT_THAT(outer_first(r.error()), ElementsAreArray(want));
  }
}

TEST(ExpandLandblocksTest, ListFilePathIsTakenAsWritten) {
  const TempDir dir;
  const std::string file = dir.write("lbs.txt", "0x0102\n");
  // "@" wins over "..", and the path after "@" is not trimmed again.
  const auto dotted = expand_landblocks("@" + dir.path() + "/../" +
                                        std::filesystem::path(dir.path()).filename().string() + "/lbs.txt");
  ASSERT_TRUE(dotted.ok()) << outer_first(dotted.error()).back();
  EXPECT_THAT(*dotted, ElementsAre(0x0102));

  struct Case { std::string path; std::string cause; };
  const Case kCases[] = {
      {" " + file, "No such file or directory (os error 2)"},
      {dir.path() + "/missing.txt", "No such file or directory (os error 2)"},
      {dir.path(), "Is a directory (os error 21)"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    const auto r = expand_landblocks("@" + c.path);
    ASSERT_FALSE(r.ok());
    EXPECT_THAT(outer_first(r.error()), ElementsAre("read landblock list `" + c.path + "`", c.cause));
  }
}

TEST(ExpandLandblocksTest, EndlessListFileStopsAtTheSizeLimit) {
  const auto r = expand_landblocks("@/dev/zero");
  ASSERT_FALSE(r.ok());
  EXPECT_THAT(outer_first(r.error()),
              ElementsAre("read landblock list `/dev/zero`", "file is larger than the limit of 67108864 bytes"));
}

}  // namespace
}  // namespace fennistock::tool
