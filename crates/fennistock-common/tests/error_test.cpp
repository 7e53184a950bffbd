#include "fennistock/common/error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace fennistock {
namespace {

TEST(ErrorReportTest, FormatsCausesByCount) {
  struct Case {
    std::vector<std::string> chain;  // innermost first
    std::string report;
  };
  const Case kCases[] = {
      {{"--mode parse error: unknown"}, "Error: --mode parse error: unknown\n"},
      {{"No such file or directory (os error 2)", "open x"},
       "Error: open x\n\nCaused by:\n    No such file or directory (os error 2)\n"},
      {{"invalid digit found in string", "parse hex u32 `0xA9G4`", "landblock list `lbs.txt` line 3"},
       "Error: landblock list `lbs.txt` line 3\n\nCaused by:\n"
       "    0: parse hex u32 `0xA9G4`\n    1: invalid digit found in string\n"},
      {{"failed\n 0: frame\n     at m:1", "outer"},
       "Error: outer\n\nCaused by:\n    failed\n     0: frame\n         at m:1\n"},
      {{"inner\nsecond line", "middle", "outer"},
       "Error: outer\n\nCaused by:\n    0: middle\n    1: inner\n       second line\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.report);
    EXPECT_EQ(format_error_report(Error::from_chain(c.chain)), c.report);
  }
}

TEST(ErrorReportTest, NumbersRightAlignedInFiveColumns) {
  std::vector<std::string> chain;
  for (int i = 0; i < 12; ++i) chain.push_back("c" + std::to_string(i));
  const std::string report = format_error_report(Error::from_chain(chain));
  EXPECT_NE(report.find("\n    0: c10\n"), std::string::npos);
  EXPECT_NE(report.find("\n   10: c0\n"), std::string::npos);
}

TEST(IoErrorTest, Messages) {
  EXPECT_EQ(IoError::os(ENOENT).message(), "No such file or directory (os error 2)");
  EXPECT_EQ(IoError::unexpected_eof().message(), "failed to fill whole buffer");
  EXPECT_EQ(IoError::invalid_seek().message(), "invalid seek to a negative or overflowing position");
}

}  // namespace
}  // namespace fennistock
