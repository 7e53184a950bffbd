// The command line of the strewmill tool: the parsed options and the parse itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fennistock::tool {

// The parsed options, in declaration order. region_did and mode stay text: they are converted
// after parsing so that their errors come in the stated order.
struct Cli {
  std::filesystem::path dat_dir;
  std::string landblocks;             // raw text, exactly as passed
  std::string region_did = "0x13000000";
  std::filesystem::path out;
  uint64_t throttle_ms = 0;
  bool verbose = false;
  std::string mode = "ace-compat";
};

// What the process does instead of a run: a help or version request (code 0, text for
// standard output) or a command-line error (code 2, message and usage for standard error).
struct CliExit {
  int code = 0;
  std::string out;  // for standard output
  std::string err;  // for standard error
};

// The command's name and version, as help and version output show them.
inline constexpr std::string_view kCommandName = "fennistock-tools";
inline constexpr std::string_view kVersion = "0.1.0";

// Parses the process arguments (without the program name). Returns the options, or what to
// print and the exit status when the arguments ask for help or version or are not valid.
[[nodiscard]] std::variant<Cli, CliExit> parse_cli(std::vector<std::string> args);

// Reads a --throttle-ms value: decimal digits with one optional leading "+", at most
// 18446744073709551615. Returns false for anything else.
[[nodiscard]] bool parse_decimal_u64(std::string_view text, uint64_t& value);

}  // namespace fennistock::tool
