#include "driver.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "fennistock/common/io_error.h"
#include "fennistock/strewmill/lib.h"
#include "landblock_list.h"

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

}  // namespace

Status run(const Cli& cli) {
  FS_TRY(const RunPlan plan, prepare_run(cli));
  (void)plan;
  return Error("baking is not available in this build yet");
}

}  // namespace fennistock::tool
