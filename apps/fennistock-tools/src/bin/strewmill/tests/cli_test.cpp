#include "cli.h"

#include <stdlib.h>

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include "logging.h"

namespace fennistock::tool {
namespace {

using ::testing::HasSubstr;
using Args = std::vector<std::string>;

// The required options, to which each case adds its own.
Args with_required(Args extra) {
  Args args = {"--dat-dir", "dats", "--landblocks", "0xA9B4", "--out", "out"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(CliTest, DefaultsAndValueForms) {
  const auto parsed = parse_cli({"--dat-dir=dats", "--landblocks", " @a=b..c ", "--out", "out/x"});
  ASSERT_TRUE(std::holds_alternative<Cli>(parsed)) << std::get<CliExit>(parsed).err;
  const Cli& cli = std::get<Cli>(parsed);
  EXPECT_EQ(cli.dat_dir, "dats");
  EXPECT_EQ(cli.landblocks, " @a=b..c ");  // raw, untrimmed
  EXPECT_EQ(cli.region_did, "0x13000000");
  EXPECT_EQ(cli.out, "out/x");
  EXPECT_EQ(cli.throttle_ms, 0u);
  EXPECT_FALSE(cli.verbose);
  EXPECT_EQ(cli.mode, "ace-compat");

  const auto all = parse_cli({"--verbose", "--mode=Strict", "--region-did", "13000000", "--throttle-ms=250",
                              "--out=o", "--landblocks=1..2", "--dat-dir", "d"});
  ASSERT_TRUE(std::holds_alternative<Cli>(all)) << std::get<CliExit>(all).err;
  const Cli& set = std::get<Cli>(all);
  EXPECT_EQ(set.dat_dir, "d");
  EXPECT_EQ(set.landblocks, "1..2");
  EXPECT_EQ(set.region_did, "13000000");
  EXPECT_EQ(set.out, "o");
  EXPECT_EQ(set.throttle_ms, 250u);
  EXPECT_TRUE(set.verbose);
  EXPECT_EQ(set.mode, "Strict");  // converted later, by the driver

  // A value that looks like an option is given after "=".
  const auto dashed = parse_cli({"--dat-dir=-d", "--landblocks", "-", "--out=--o"});
  ASSERT_TRUE(std::holds_alternative<Cli>(dashed)) << std::get<CliExit>(dashed).err;
  EXPECT_EQ(std::get<Cli>(dashed).dat_dir, "-d");
  EXPECT_EQ(std::get<Cli>(dashed).landblocks, "-");
  EXPECT_EQ(std::get<Cli>(dashed).out, "--o");
}

TEST(CliTest, ThrottleIsAnUnsignedDecimal) {
  struct Case { std::string text; uint64_t want; };
  const Case kCases[] = {{"0", 0}, {"+7", 7}, {"007", 7}, {"18446744073709551615", UINT64_MAX}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parse_cli(with_required({"--throttle-ms", c.text}));
    ASSERT_TRUE(std::holds_alternative<Cli>(parsed)) << std::get<CliExit>(parsed).err;
    EXPECT_EQ(std::get<Cli>(parsed).throttle_ms, c.want);
  }
}

TEST(CliTest, UsageErrorsExitWithTwo) {
  const Args kCases[] = {
      {},
      {"--landblocks", "0xA9B4", "--out", "out"},   // no --dat-dir
      {"--dat-dir", "dats", "--landblocks", "0xA9B4"},  // no --out
      {"--dat-dir", "dats", "--out", "out"},        // no --landblocks
      with_required({"--out", "out"}),
      with_required({"--mode", "strict", "--mode", "strict"}),
      with_required({"--region-did", "1", "--region-did", "1"}),
      with_required({"--throttle-ms", "1", "--throttle-ms=1"}),
      with_required({"--verbose", "--verbose"}),
      with_required({"--verbose=true"}),
      with_required({"--mode"}),  // missing value
      {"--dat-dir", "--verbose", "--landblocks", "0xA9B4", "--out", "out"},  // an option is no value
      with_required({"--mode", "-h"}),
      {"--dat-dir", "", "--landblocks", "0xA9B4", "--out", "out"},
      {"--dat-dir", "dats", "--landblocks", "0xA9B4", "--out="},
      with_required({"extra"}),
      with_required({"--", "extra"}),
      with_required({"--bogus"}),
      with_required({"-v"}),
      with_required({"--dat"}),  // no prefix matching
      with_required({"--mode", "\xFF"}),
      {"--dat-dir", "d\xC0\xAF", "--landblocks", "0xA9B4", "--out", "out"},
      with_required({"--throttle-ms", "-1"}),
      with_required({"--throttle-ms", "1.5"}),
      with_required({"--throttle-ms", "0x10"}),
      with_required({"--throttle-ms", " 5"}),
      with_required({"--throttle-ms", "5 "}),
      with_required({"--throttle-ms", ""}),
      with_required({"--throttle-ms", "+"}),
      with_required({"--throttle-ms", "++5"}),
      with_required({"--throttle-ms", "1e3"}),
      with_required({"--throttle-ms", "18446744073709551616"}),
  };
  for (const Args& args : kCases) {
    SCOPED_TRACE(testing::PrintToString(args));
    const auto parsed = parse_cli(args);
    ASSERT_TRUE(std::holds_alternative<CliExit>(parsed));
    const CliExit& exit = std::get<CliExit>(parsed);
    EXPECT_EQ(exit.code, 2);
    EXPECT_EQ(exit.out, "");
    EXPECT_THAT(exit.err, HasSubstr("Usage: fennistock-tools"));
  }
}

TEST(CliTest, HelpAndVersionGoToStandardOutput) {
  const auto version = parse_cli({"-V"});
  ASSERT_TRUE(std::holds_alternative<CliExit>(version));
  EXPECT_EQ(std::get<CliExit>(version).code, 0);
  EXPECT_EQ(std::get<CliExit>(version).out, "fennistock-tools 0.1.0\n");
  EXPECT_EQ(std::get<CliExit>(version).err, "");

  const char* kHelpTexts[] = {
      "Bake AC procedural scenery to explicit per-LB JSONL placement lists (Phase B.3)",
      "--dat-dir <PATH>",
      "Directory containing the three retail base DATs: `client_portal.dat`, `client_cell_1.dat`, "
      "`client_local_English.dat`. MUST be retail-clean — the pre-flight rejects sibling `custom_textures/` / "
      "`iter-*/` / `*.wbproj` and any modder-allocated record IDs",
      "--landblocks <LB_SPEC>",
      "Landblock spec. One of: - hex LB id: `0xA9B4` - inclusive range: `0xA3AE..0xAFBA` (row-major over "
      "256-cell grid) - file list: `@<path>` reads one hex id per line",
      "--region-did <DID>",
      "Region DID. Defaults to `0x13000000` (Dereth).",
      "`boot_landblock`",
      "--out <DIR>",
      "Output directory. Created if missing. Will contain one `<lbHex>.scenery.jsonl` per landblock plus a "
      "`bake-source.sha256` sidecar",
      "--throttle-ms <THROTTLE_MS>",
      "Per-LB sleep in milliseconds. Default 0 (no throttling). Useful for sharing CPU on long bakes",
      "--verbose ",
      "Emit progress logs (INFO level) to stderr. Without this flag only WARN + ERROR surface",
      "--mode <MODE>",
      "Bake mode. `ace-compat` (default) replays today's ACE `Scenery.Load` bit-for-bit — triangle-plane Z + no "
      "slope check — for 1:1 client/server agreement with an ACE-derivative server (Coldeve etc.). `strict` is "
      "the renderer-friendly variant: bilinear Z (matches `fennistock-world`'s player physics) and slope "
      "rejection ON. The mode appears in `bake-source.sha256` so downstream consumers can refuse a mode they "
      "don't expect",
  };
  // Help wins over missing or bad options.
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--mode", "x", "-h"}, Args{"--version", "--bogus"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    const auto parsed = parse_cli(args);
    ASSERT_TRUE(std::holds_alternative<CliExit>(parsed));
    const CliExit& exit = std::get<CliExit>(parsed);
    EXPECT_EQ(exit.code, 0) << exit.err;
    EXPECT_EQ(exit.err, "");
    if (args.front() == "--version") continue;
    for (const char* text : kHelpTexts) EXPECT_THAT(exit.out, HasSubstr(text));
  }
}

TEST(LoggingTest, EnvironmentNamesLoggerLevelsOnly) {
  using spdlog::level::level_enum;
  struct Case { std::string spec; std::map<std::string, level_enum> want; };
  const Case kCases[] = {
      {"", {}},
      {"strewmill=debug", {{"strewmill", level_enum::debug}}},
      {"debug,strewmill=trace", {{"strewmill", level_enum::trace}}},  // the bare level is dropped
      {" strewmill = WARN ,other=err", {{"other", level_enum::err}, {"strewmill", level_enum::warn}}},
      {"a=info,a=off", {{"a", level_enum::off}}},
      {"strewmill=loud,=debug,,", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.spec);
    EXPECT_EQ(parse_log_levels(c.spec), c.want);
  }
}

TEST(LoggingTest, GlobalLevelComesFromVerboseAlone) {
  using spdlog::level::level_enum;
  struct Case { const char* env; bool verbose; level_enum lowest; };
  const Case kCases[] = {
      {nullptr, false, level_enum::warn}, {nullptr, true, level_enum::info},
      {"trace", false, level_enum::warn},  {"trace", true, level_enum::info},
      {"strewmill=debug", false, level_enum::debug}, {"info,strewmill=error", true, level_enum::err},
      {"other=trace", true, level_enum::info},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << (c.env ? c.env : "(unset)") << " verbose=" << c.verbose);
    if (c.env != nullptr) {
      setenv(kLogEnvVar, c.env, 1);
    } else {
      unsetenv(kLogEnvVar);
    }
    setup_logging(c.verbose);
    EXPECT_EQ(spdlog::default_logger()->name(), "strewmill");
    EXPECT_TRUE(log_enabled(c.lowest));
    EXPECT_FALSE(log_enabled(static_cast<level_enum>(c.lowest - 1)));
  }
  unsetenv(kLogEnvVar);
}

}  // namespace
}  // namespace fennistock::tool
