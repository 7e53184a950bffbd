// sample-world: writes a synthetic DAT directory for strewmill to bake.
//
//   sample-world --out DIR [--seed N] [--landblocks 0xA9B0..0xAAB4]
//                [--portal-mb MB] [--cell-mb MB] [--local-mb MB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "fmt/format.h"
#include "world.h"

namespace {

constexpr std::string_view kUsage =
    "usage: sample-world --out DIR [--seed N] [--landblocks LO..HI] [--portal-mb MB] [--cell-mb MB] [--local-mb MB]\n"
    "\n"
    "Writes client_portal.dat, client_cell_1.dat and client_local_English.dat into DIR: terrain and\n"
    "landblock info for the rectangle LO..HI (default 0x0000..0xFFFF, the whole world), a Region with\n"
    "its scene tables, scenes, setups and graphics objects, and filler records up to each archive's\n"
    "size in MiB (defaults 800, 900 and 150). The same options always give the same files.\n";

bool parse_number(std::string_view text, double& out) {
  const std::string s(text);
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return !s.empty() && end == s.c_str() + s.size();
}

bool parse_seed(std::string_view text, uint64_t& out) {
  const std::string s(text);
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  out = std::strtoull(s.c_str(), &end, 0);
  return end == s.c_str() + s.size();
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "sample-world: %s\n\n%.*s", message.c_str(), static_cast<int>(kUsage.size()), kUsage.data());
  return 2;
}

int run(int argc, char** argv) {
  using namespace fennistock::sample_world;
  WorldOptions options;
  bool have_out = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return 0;
    }
    std::string_view value;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return usage_error(fmt::format("{} needs a value", arg));
    }
    if (arg == "--out") {
      options.out = std::string(value);
      have_out = !value.empty();
    } else if (arg == "--seed") {
      if (!parse_seed(value, options.seed)) return usage_error(fmt::format("--seed `{}` is not an unsigned number", value));
    } else if (arg == "--landblocks") {
      auto rect = parse_landblock_rect(value);
      if (!rect.ok()) return usage_error(rect.error().message());
      options.landblocks = *rect;
    } else if (arg == "--portal-mb" || arg == "--cell-mb" || arg == "--local-mb") {
      double mb = 0;
      if (!parse_number(value, mb)) return usage_error(fmt::format("{} `{}` is not a number", arg, value));
      (arg == "--portal-mb" ? options.portal_mb : arg == "--cell-mb" ? options.cell_mb : options.local_mb) = mb;
    } else {
      return usage_error(fmt::format("unknown option `{}`", arg));
    }
  }
  if (!have_out) return usage_error("--out is required");

  const auto start = std::chrono::steady_clock::now();
  const auto result = generate_world(options);
  if (!result.ok()) {
    const auto& chain = result.error().chain();
    std::fprintf(stderr, "Error: %s\n", chain.back().c_str());
    for (size_t k = chain.size() - 1; k-- > 0;) std::fprintf(stderr, "    %s\n", chain[k].c_str());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const WorldSummary& s = *result;
  const auto line = [](const char* name, const ArchiveTally& t) {
    std::fprintf(stderr, "  %-26s %8.1f MiB  %8llu records (%llu compressed, %llu filler)\n", name,
                 static_cast<double>(t.bytes) / (1 << 20), static_cast<unsigned long long>(t.records),
                 static_cast<unsigned long long>(t.compressed), static_cast<unsigned long long>(t.filler));
  };
  std::fprintf(stderr, "sample world (seed %llu) in %s: %llu landblocks, %llu buildings, %llu with roads; %.1f s\n",
               static_cast<unsigned long long>(options.seed), options.out.c_str(),
               static_cast<unsigned long long>(s.landblocks), static_cast<unsigned long long>(s.buildings),
               static_cast<unsigned long long>(s.road_landblocks), seconds);
  line("client_portal.dat", s.portal);
  line("client_cell_1.dat", s.cell);
  line("client_local_English.dat", s.local);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n", e.what());
  }
  return 1;
}
