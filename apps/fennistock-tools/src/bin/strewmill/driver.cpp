#include "driver.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "caches.h"
#include "fennistock/common/byte_reader.h"
#include "fennistock/common/io_error.h"
#include "fennistock/dat/file_type/region.h"
#include "fennistock/dat/landblock.h"
#include "fennistock/strewmill/lib.h"
#include "footprints.h"
#include "landblock_list.h"
#include "logging.h"
#include "output.h"
#include "preflight.h"
#include "summary.h"

namespace fennistock::tool {
namespace {

// The converted configuration a bake works from.
struct RunPlan {
  uint32_t region_did = 0;
  std::vector<uint16_t> landblocks;  // visiting order, duplicates kept
  strewmill::BakeMode mode = strewmill::BakeMode::kAceCompat;
};

bool is_existing_dir(const std::filesystem::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p: creates `path` and its missing parents (mode 0777 before the umask); an existing
// directory is fine. On failure returns the errno of the step that failed.
int create_dir_all(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> missing;  // deepest first
  std::filesystem::path cur = path;
  while (true) {
    if (::mkdir(cur.c_str(), 0777) == 0) break;
    const int err = errno;
    if (err == EEXIST && is_existing_dir(cur)) break;
    // Each step is a strictly shorter path, so the walk ends at the root or at "".
    const std::filesystem::path parent = cur.parent_path();
    if (err != ENOENT || parent.empty() || parent == cur) return err;
    missing.push_back(std::move(cur));
    cur = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) != 0 && !(errno == EEXIST && is_existing_dir(*it))) return errno;
  }
  return 0;
}

// Converts the configuration in the order whose first failure is reported, logs the run
// banner and creates the output directory.
Result<RunPlan, Error> prepare_run(const Cli& cli) {
  RunPlan plan;
  FS_TRY(plan.region_did, parse_hex_u32(cli.region_did));
  FS_TRY(plan.landblocks, expand_landblocks(cli.landblocks));
  auto mode = strewmill::parse_bake_mode(cli.mode);
  if (!mode.ok()) return Error(fmt::format("--mode parse error: {}", mode.error()));
  plan.mode = *mode;

  spdlog::info("strewmill: --dat-dir={} --landblocks={} ({} LBs) --region-did=0x{:08X} --mode={} --out={}",
               cli.dat_dir.string(), cli.landblocks, plan.landblocks.size(), plan.region_did,
               strewmill::canonical_name(plan.mode), cli.out.string());

  if (const int err = create_dir_all(cli.out); err != 0) {
    return Error::from_io(IoError::os(err)).context(fmt::format("create --out `{}`", cli.out.string()));
  }
  return plan;
}


// Sleeps `ms` milliseconds: whole seconds, then the remaining milliseconds.
void throttle(uint64_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// What the run accumulates landblock by landblock.
struct Tally {
  std::vector<uint64_t> placement_counts;  // one per baked landblock, in baking order
  uint64_t skipped = 0;
  uint64_t processed = 0;
};

struct BakeContext {
  const Cli& cli;
  const dat::Region& region;
  const DatDirCheck& dats;
  SceneCache& scenes;
  MeshCache& meshes;
  strewmill::BakeMode mode;
};

// Bakes one landblock and writes its files; a skip is not an error.
Status bake_landblock(const BakeContext& ctx, uint16_t lb, Tally& tally) {
  const uint32_t cell_id = uint32_t{lb} << 16 | 0xFFFF;
  const uint32_t info_id = uint32_t{lb} << 16 | 0xFFFE;

  auto cell_bytes = ctx.dats.cell.get_file(cell_id);
  if (!cell_bytes.ok()) {
    spdlog::warn("LB 0x{:04X}: CellLandblock 0x{:08X} not in cell.dat — skipping", lb, cell_id);
    ++tally.skipped;
    return {};
  }
  auto cell = dat::CellLandblock::unpack(std::span<const uint8_t>(*cell_bytes));
  if (!cell.ok()) {
    return Error(cell.error().to_string()).context(fmt::format("parse CellLandblock 0x{:08X}", cell_id));
  }

  std::vector<strewmill::BuildingFootprint> buildings;
  if (auto info_bytes = ctx.dats.cell.get_file(info_id); info_bytes.ok()) {
    auto info = dat::LandblockInfo::unpack(std::span<const uint8_t>(*info_bytes));
    if (info.ok()) {
      buildings = building_footprints(*info, ctx.dats.portal, ctx.meshes);
    } else {
      spdlog::warn("LB 0x{:04X}: LandblockInfo 0x{:08X} parse failed: {}", lb, info_id, info.error().to_string());
    }
  }

  CachedLookups lookups(ctx.dats.portal, ctx.scenes, ctx.meshes);
  const std::vector<strewmill::Placement> placements = strewmill::bake_landblock_impl(
      ctx.region, *cell, uint32_t{lb} << 16, lookups, lookups, buildings, ctx.mode);

  FS_TRY(const std::filesystem::path path, write_landblock_files(ctx.cli.out, lb, placements));
  spdlog::debug("LB 0x{:04X}: {} placements ({} buildings collide-blocking) → {}", lb, placements.size(),
                buildings.size(), path.string());
  tally.placement_counts.push_back(placements.size());
  return {};
}

}  // namespace

Status run(const Cli& cli) {
  FS_TRY(const RunPlan plan, prepare_run(cli));
  FS_TRY(const DatDirCheck dats, preflight(cli.dat_dir));

  auto region_bytes = dats.portal.get_file(plan.region_did);
  if (!region_bytes.ok()) {
    return region_bytes.error().to_error().context(
        fmt::format("fetch Region 0x{:08X} from portal.dat", plan.region_did));
  }
  ByteReader region_reader(*region_bytes);
  auto region = dat::Region::unpack(region_reader);
  if (!region.ok()) {
    return Error(region.error().to_string()).context(fmt::format("parse Region 0x{:08X}", plan.region_did));
  }

  SceneCache scenes;
  MeshCache meshes;
  const BakeContext ctx{cli, *region, dats, scenes, meshes, plan.mode};
  Tally tally;
  tally.placement_counts.reserve(plan.landblocks.size());
  const bool progress = cli.verbose && log_enabled(spdlog::level::info);
  for (const uint16_t lb : plan.landblocks) {
    FS_RETURN_IF_ERROR(bake_landblock(ctx, lb, tally));
    if (cli.throttle_ms != 0) throttle(cli.throttle_ms);
    ++tally.processed;
    if (progress && tally.processed % 25 == 0) {
      spdlog::info("progress: {}/{} LBs baked ({} skipped so far)", tally.processed, plan.landblocks.size(),
                   tally.skipped);
    }
  }

  FS_RETURN_IF_ERROR(write_manifest(
      cli.out, format_manifest(dats.portal_hash, dats.cell_hash, dats.local_hash, plan.region_did,
                               tally.placement_counts.size(), tally.skipped, plan.mode)));
  const std::string summary = format_summary_line(tally.placement_counts, tally.skipped);
  std::fwrite(summary.data(), 1, summary.size(), stderr);
  std::fflush(stderr);
  return {};
}

}  // namespace fennistock::tool
