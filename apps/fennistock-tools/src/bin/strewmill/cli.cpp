#include "cli.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "landblock_list.h"

namespace fennistock::tool {
namespace {

constexpr const char* kAbout =
    "Bake AC procedural scenery to explicit per-LB JSONL placement lists (Phase B.3)";
constexpr const char* kUsage =
    "Usage: fennistock-tools --dat-dir <PATH> --landblocks <LB_SPEC> --out <DIR> [OPTIONS]";

constexpr const char* kDatDirHelp =
    "Directory containing the three retail base DATs: `client_portal.dat`, `client_cell_1.dat`, "
    "`client_local_English.dat`. MUST be retail-clean — the pre-flight rejects sibling "
    "`custom_textures/` / `iter-*/` / `*.wbproj` and any modder-allocated record IDs";
constexpr const char* kLandblocksHelp =
    "Landblock spec. One of: - hex LB id: `0xA9B4` - inclusive range: `0xA3AE..0xAFBA` (row-major "
    "over 256-cell grid) - file list: `@<path>` reads one hex id per line";
constexpr const char* kRegionDidHelp =
    "Region DID. Defaults to `0x13000000` (Dereth). The default is kept as text, not as a number, "
    "because a number turned back into text would print in decimal and lose its hex form. The "
    "`boot_landblock` argument of the sibling tool `loamgrid` follows the same pattern";
constexpr const char* kOutHelp =
    "Output directory. Created if missing. Will contain one `<lbHex>.scenery.jsonl` per landblock "
    "plus a `bake-source.sha256` sidecar";
constexpr const char* kThrottleHelp =
    "Per-LB sleep in milliseconds. Default 0 (no throttling). Useful for sharing CPU on long bakes";
constexpr const char* kVerboseHelp =
    "Emit progress logs (INFO level) to stderr. Without this flag only WARN + ERROR surface";
constexpr const char* kModeHelp =
    "Bake mode. `ace-compat` (default) replays today's ACE `Scenery.Load` bit-for-bit — "
    "triangle-plane Z + no slope check — for 1:1 client/server agreement with an ACE-derivative "
    "server (Coldeve etc.). `strict` is the renderer-friendly variant: bilinear Z (matches "
    "`fennistock-world`'s player physics) and slope rejection ON. The mode appears in "
    "`bake-source.sha256` so downstream consumers can refuse a mode they don't expect";

// Help output shows the required options in its usage line, as the error output does.
class ToolFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string) const override {
    return std::string(kUsage) + "\n";
  }
};

// Value checks (UTF-8 is checked for every argument before parsing); CLI11 prefixes the message
// with the option's name.
std::string check_path(const std::string& value) {
  return value.empty() ? "a path must not be empty" : std::string();
}

std::string check_throttle(const std::string& value) {
  uint64_t ignored = 0;
  return parse_decimal_u64(value, ignored)
             ? std::string()
             : fmt::format("`{}` is not an unsigned 64-bit decimal integer", value);
}

CLI::Validator validator(std::string (*check)(const std::string&)) {
  return CLI::Validator([check](std::string& value) { return check(value); }, "");
}

CliExit usage_error(std::string_view message) {
  return CliExit{2, "", fmt::format("error: {}\n\n{}\n\nFor more information, try '--help'.\n", message, kUsage)};
}

// CLI11 takes the argument after an option as its value even when it is another option
// ("--out --verbose"), and takes "--verbose=true" as the flag. Both are usage errors here: a value
// that starts with "-" must be given as "--opt=value", and the flag has no value.
std::optional<std::string> check_value_placement(const std::vector<std::string>& args) {
  constexpr std::string_view kValueOptions[] = {"--dat-dir", "--landblocks", "--region-did",
                                                "--out",     "--throttle-ms", "--mode"};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;  // the rest are positional arguments, which CLI11 rejects
    if (arg.starts_with("--verbose=")) return std::string("--verbose: the flag takes no value");
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) == std::end(kValueOptions)) continue;
    if (i + 1 == args.size()) break;  // CLI11 reports the missing value
    const std::string& value = args[++i];
    if (value.size() > 1 && value.front() == '-') {
      return fmt::format("{}: a value is required, found the option-like `{}` (use {}=VALUE)", arg, value, arg);
    }
  }
  return std::nullopt;
}

}  // namespace

bool parse_decimal_u64(std::string_view text, uint64_t& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return false;
  uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

std::variant<Cli, CliExit> parse_cli(std::vector<std::string> args) {
  // An argument that is not UTF-8 can be neither an option name nor a value.
  if (!std::all_of(args.begin(), args.end(), [](const std::string& a) { return is_valid_utf8(a); })) {
    return usage_error("invalid UTF-8 was detected in one or more arguments");
  }
  if (auto error = check_value_placement(args)) return usage_error(*error);

  Cli cli;
  std::string dat_dir, out, throttle;
  CLI::App app(kAbout, std::string(kCommandName));
  app.formatter(std::make_shared<ToolFormatter>());
  app.set_version_flag("-V,--version", fmt::format("{} {}", kCommandName, kVersion));
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);

  app.add_option("--dat-dir", dat_dir, kDatDirHelp)->type_name("<PATH>")->required()->check(validator(check_path));
  app.add_option("--landblocks", cli.landblocks, kLandblocksHelp)->type_name("<LB_SPEC>")->required();
  app.add_option("--region-did", cli.region_did, kRegionDidHelp)
      ->type_name("<DID>")
      ->default_str(cli.region_did);
  app.add_option("--out", out, kOutHelp)->type_name("<DIR>")->required()->check(validator(check_path));
  app.add_option("--throttle-ms", throttle, kThrottleHelp)
      ->type_name("<THROTTLE_MS>")
      ->default_str("0")
      ->check(validator(check_throttle));
  CLI::Option* verbose = app.add_flag("--verbose", cli.verbose, kVerboseHelp);
  app.add_option("--mode", cli.mode, kModeHelp)
      ->type_name("<MODE>")
      ->default_str(cli.mode);

  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  try {
    app.parse(std::move(args));
  } catch (const CLI::CallForHelp&) {
    return CliExit{0, app.help(), ""};
  } catch (const CLI::CallForAllHelp&) {
    return CliExit{0, app.help("", CLI::AppFormatMode::All), ""};
  } catch (const CLI::CallForVersion& e) {
    return CliExit{0, std::string(e.what()) + "\n", ""};
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  // A flag is not a single-value option, so the repeat policy does not reach it.
  if (verbose->count() > 1) return usage_error("--verbose: may be given at most once");

  cli.dat_dir = dat_dir;
  cli.out = out;
  // The value check has accepted the text already.
  if (app.count("--throttle-ms") > 0 && !parse_decimal_u64(throttle, cli.throttle_ms)) {
    return usage_error(check_throttle(throttle));
  }
  return cli;
}

}  // namespace fennistock::tool
