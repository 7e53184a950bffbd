// The command line of the strewmill tool: the parsed options and the log set-up.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
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

}  // namespace fennistock::tool
