#include "world.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <system_error>
#include <vector>

#include "catalogue.h"
#include "fmt/format.h"
#include "terrain.h"
#include "testing/record_builders.h"

namespace fennistock::sample_world {

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr double kMaxArchiveMb = 4000;  // archives address their blocks with 32-bit offsets
constexpr size_t kPoolSize = size_t{16} << 20;
constexpr uint16_t kFirstInteriorCell = 0x0100;
constexpr uint16_t kLastInteriorCell = 0xFFFD;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

ResultOr<uint16_t> parse_landblock_id(std::string_view text) {
  std::string_view s = trim(text);
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  if (s.empty() || s.size() > 4) return Error(fmt::format("landblock id `{}` is not 1 to 4 hex digits", trim(text)));
  uint32_t v = 0;
  for (const char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return Error(fmt::format("landblock id `{}` is not 1 to 4 hex digits", trim(text)));
    }
    v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
  }
  return static_cast<uint16_t>(v);
}

// A shared block of random bytes: filler records are slices of it, so hundreds of megabytes
// cost no more than copying.
std::vector<uint8_t> make_pool(Rng rng) {
  std::vector<uint8_t> pool(kPoolSize);
  for (size_t i = 0; i < pool.size(); i += 8) {
    const uint64_t v = rng.next();
    for (size_t k = 0; k < 8; ++k) pool[i + k] = static_cast<uint8_t>(v >> (8 * k));
  }
  return pool;
}

// Filler bytes: a small header naming the record, then either a slice of the pool or, when
// `compressible`, palette-like runs that the LZ encoder shrinks.
std::vector<uint8_t> filler_bytes(Rng& rng, const std::vector<uint8_t>& pool, uint32_t id, size_t size, bool compressible) {
  size = std::max<size_t>(size, 16);
  testing::RecordWriter w;
  w.u32(id).u32(rng.below(32)).u32(static_cast<uint32_t>(size)).u32(rng.u32());
  std::vector<uint8_t> out = w.take();
  out.reserve(size);
  if (compressible) {
    while (out.size() < size) {
      const uint8_t value = static_cast<uint8_t>(rng.below(16) * 16);
      out.insert(out.end(), std::min<size_t>(rng.between(1, 24), size - out.size()), value);
    }
  } else {
    const size_t n = size - out.size();
    const size_t at = rng.below(static_cast<uint32_t>(pool.size() - std::min(n, pool.size() - 1)));
    out.insert(out.end(), pool.begin() + static_cast<ptrdiff_t>(at), pool.begin() + static_cast<ptrdiff_t>(at + std::min(n, pool.size() - at)));
    out.resize(size, 0);
  }
  return out;
}

// Adds filler records of log-uniform sizes in [min_size, max_size] until the archive reaches
// `target` bytes. `next_id` yields the id of the next record, or nothing when ids run out.
template <typename NextId>
Status fill_to(ArchiveSink& sink, Rng rng, const std::vector<uint8_t>& pool, uint64_t target, double min_size,
               double max_size, NextId next_id) {
  while (sink.projected_size() < target) {
    const uint64_t room = target - sink.projected_size();
    const std::optional<uint32_t> id = next_id(rng);
    if (!id) return Error(fmt::format("ran out of filler ids before reaching {} MiB", target / kMiB));
    auto size = static_cast<size_t>(rng.log_uniform(min_size, max_size));
    size = static_cast<size_t>(std::min<uint64_t>(size, room));
    // A small share of filler is compressed, as in real archives; only small records, so the
    // encoder never sees more than a few megabytes in all.
    const bool compress = size <= 32768 && rng.chance(0.02);
    sink.filler(*id, filler_bytes(rng, pool, *id, size, compress), compress);
  }
  return {};
}

ResultOr<ArchiveSink> open_archive(const std::filesystem::path& path, uint32_t block_size, uint32_t dataset, Rng rng) {
  FS_TRY(testing::ArchiveWriter writer, testing::ArchiveWriter::create(path, {.block_size = block_size, .max_entries_per_node = 61}));
  dat::DatHeader& h = writer.header();
  h.magic = 0x00005442;
  h.dataset = dataset;
  h.subset = 1;
  h.engine_version = 0x16;
  h.game_version = 0x0B;
  const std::string_view version = "sample-world";
  std::copy(version.begin(), version.end(), h.version_string.begin());
  h.version_minor = 0x0C;
  return ArchiveSink(std::move(writer), rng, block_size);
}

// An interior cell of a building: surfaces, environment, position, portals and visible cells,
// none of which the tool reads.
std::vector<uint8_t> interior_cell_bytes(Rng& rng, uint32_t id, uint32_t cells) {
  testing::RecordWriter w;
  const uint32_t surfaces = rng.between(1, 6);
  const uint32_t portals = rng.between(1, 4);
  const uint32_t visible = rng.between(0, std::min<uint32_t>(cells, 40));
  w.u32(id).u32(rng.below(8)).u32(id).u8(static_cast<uint8_t>(surfaces)).u8(static_cast<uint8_t>(portals));
  w.u16(static_cast<uint16_t>(visible));
  for (uint32_t k = 0; k < surfaces; ++k) w.u16(static_cast<uint16_t>(0x0100 + rng.below(0x800)));
  w.u16(static_cast<uint16_t>(rng.below(0x400))).u16(static_cast<uint16_t>(rng.below(8)));
  testing::write_frame(w, testing::frame_at(static_cast<float>(rng.uniform(0, 192)), static_cast<float>(rng.uniform(0, 192)),
                                            static_cast<float>(rng.uniform(-20, 60))));
  for (uint32_t k = 0; k < portals; ++k) {
    w.u16(static_cast<uint16_t>(rng.below(4))).u16(static_cast<uint16_t>(rng.below(0x20))).u16(static_cast<uint16_t>(kFirstInteriorCell + rng.below(cells + 1))).u16(static_cast<uint16_t>(rng.below(6)));
  }
  for (uint32_t k = 0; k < visible; ++k) w.u16(static_cast<uint16_t>(kFirstInteriorCell + rng.below(cells)));
  w.align4();
  for (uint32_t k = rng.below(4); k > 0; --k) {
    w.u32(0x01000001 + rng.below(2800));
    testing::write_frame(w, testing::frame_at(static_cast<float>(rng.uniform(-8, 8)), static_cast<float>(rng.uniform(-8, 8)), 0));
  }
  return w.take();
}

Quaternion yaw_quaternion(double yaw) {
  return {static_cast<float>(std::cos(yaw / 2)), 0, 0, static_cast<float>(std::sin(yaw / 2))};
}

struct LandblockContent {
  std::vector<uint8_t> cell;
  std::vector<uint8_t> info;
  uint32_t num_cells = 0;
  uint32_t buildings = 0;
};

LandblockContent landblock_content(uint16_t lb, const LandblockTerrain& t, const Catalogue& catalogue,
                                   const std::array<float, 256>& heights, Rng rng) {
  LandblockContent out;
  const uint32_t base = static_cast<uint32_t>(lb) << 16;
  const auto ground = [&](float x, float y) {
    const int vx = std::clamp(static_cast<int>(x / 24 + 0.5f), 0, 8);
    const int vy = std::clamp(static_cast<int>(y / 24 + 0.5f), 0, 8);
    return heights[t.height[static_cast<size_t>(9 * vx + vy)]];
  };
  testing::LandblockInfoBuilder info(base | 0xFFFE);
  const std::vector<uint32_t>& statics = catalogue.static_models();
  const std::vector<uint32_t>& models = catalogue.building_models();
  const bool town = t.has_land && rng.chance(t.has_road ? 0.3 : 0.08);
  const uint32_t objects = town ? rng.between(2, 12) : (rng.chance(0.4) ? 0 : rng.between(1, 6));
  for (uint32_t k = 0; k < objects; ++k) {
    const float x = static_cast<float>(rng.uniform(2, 190));
    const float y = static_cast<float>(rng.uniform(2, 190));
    info.object(statics[rng.below(static_cast<uint32_t>(statics.size()))],
                Frame{{x, y, ground(x, y)}, yaw_quaternion(rng.uniform(0, 6.283185307179586))});
  }
  if (town) {
    out.buildings = rng.between(1, 4);
    for (uint32_t k = 0; k < out.buildings; ++k) {
      dat::BuildInfo b;
      b.model_id = models[rng.below(static_cast<uint32_t>(models.size()))];
      const float x = static_cast<float>(rng.uniform(24, 168));
      const float y = static_cast<float>(rng.uniform(24, 168));
      // Buildings mostly face a quarter of the compass; some sit at odd angles.
      const double yaw = rng.chance(0.7) ? rng.below(4) * 1.5707963267948966 : rng.uniform(0, 6.283185307179586);
      b.frame = Frame{{x, y, ground(x, y)}, yaw_quaternion(yaw)};
      b.num_leaves = rng.between(1, 40);
      const uint32_t cells = rng.between(2, 12);
      for (uint32_t p = rng.between(1, 3); p > 0; --p) {
        dat::PortalInternal portal;
        portal.flags = static_cast<uint16_t>(rng.below(4));
        portal.other_cell_id = static_cast<uint16_t>(kFirstInteriorCell + out.num_cells + rng.below(cells));
        portal.other_portal_id = static_cast<uint16_t>(rng.below(6));
        for (uint32_t s = rng.below(7); s > 0; --s) {
          portal.stab_list.push_back(static_cast<uint16_t>(kFirstInteriorCell + out.num_cells + rng.below(cells)));
        }
        portal.num_stabs = static_cast<uint16_t>(portal.stab_list.size());
        b.portals.push_back(std::move(portal));
      }
      b.num_portals = static_cast<uint32_t>(b.portals.size());
      out.num_cells += cells;
      info.building(std::move(b));
    }
    if (rng.chance(0.25)) {
      std::vector<std::pair<uint32_t, uint32_t>> pairs;
      for (uint32_t k = rng.between(1, 8); k > 0; --k) pairs.emplace_back(base | (kFirstInteriorCell + rng.below(out.num_cells)), 0x7E000000 + rng.below(0x10000));
      info.restrictions(std::move(pairs));
    }
  }
  info.num_cells(out.num_cells);

  testing::CellLandblockBuilder cell(base | 0xFFFF);
  cell.has_objects(objects > 0 || out.buildings > 0 ? 1 : 0);
  for (int x = 0; x <= 8; ++x) {
    for (int y = 0; y <= 8; ++y) {
      cell.terrain(x, y, t.terrain[static_cast<size_t>(9 * x + y)]).height(x, y, t.height[static_cast<size_t>(9 * x + y)]);
    }
  }
  out.cell = cell.bytes();
  out.info = info.bytes();
  return out;
}

}  // namespace

ResultOr<LandblockRect> parse_landblock_rect(std::string_view text) {
  const std::string_view s = trim(text);
  const size_t dots = s.find("..");
  if (dots == std::string_view::npos) {
    FS_TRY(const uint16_t id, parse_landblock_id(s));
    const auto x = static_cast<uint8_t>(id >> 8);
    const auto y = static_cast<uint8_t>(id);
    return LandblockRect{x, y, x, y};
  }
  FS_TRY(const uint16_t lo, parse_landblock_id(s.substr(0, dots)));
  FS_TRY(const uint16_t hi, parse_landblock_id(s.substr(dots + 2)));
  const LandblockRect r{static_cast<uint8_t>(lo >> 8), static_cast<uint8_t>(lo), static_cast<uint8_t>(hi >> 8),
                        static_cast<uint8_t>(hi)};
  if (r.hi_x < r.lo_x || r.hi_y < r.lo_y) {
    return Error(fmt::format("--landblocks `{}`: the high corner must not lie left of or below the low corner", s));
  }
  return r;
}

ResultOr<WorldSummary> generate_world(const WorldOptions& options) {
  for (const auto& [name, mb] : {std::pair{"--portal-mb", options.portal_mb}, std::pair{"--cell-mb", options.cell_mb},
                                 std::pair{"--local-mb", options.local_mb}}) {
    if (!(mb >= 0 && mb <= kMaxArchiveMb)) return Error(fmt::format("{} must lie between 0 and {}", name, kMaxArchiveMb));
  }
  std::error_code ec;
  std::filesystem::create_directories(options.out, ec);
  if (ec) return Error(fmt::format("{} (os error {})", ec.message(), ec.value())).context(fmt::format("create --out `{}`", options.out.string()));

  const Rng root(options.seed);
  // The full catalogue takes about 95 MiB; a smaller portal gets a smaller one.
  const Catalogue catalogue(options.seed, options.portal_mb / 100.0);
  const LandblockRect& r = options.landblocks;
  const TerrainModel terrain(options.seed, catalogue.slot_counts(), {r.lo_x, r.lo_y, r.hi_x, r.hi_y});
  const std::vector<uint8_t> pool = make_pool(root.fork(1));
  const auto target = [](double mb) { return static_cast<uint64_t>(mb * static_cast<double>(kMiB)); };
  WorldSummary summary;

  // Portal: the catalogue, then textures (0x06, never 0x06FFxxxx) up to the wanted size.
  {
    FS_TRY(ArchiveSink portal, open_archive(options.out / "client_portal.dat", 1024, 1, root.fork(2)));
    catalogue.write(portal);
    uint32_t next = 0x06000000;
    FS_RETURN_IF_ERROR(fill_to(portal, root.fork(3), pool, target(options.portal_mb), 4096, 262144,
                               [&](Rng&) -> std::optional<uint32_t> {
                                 if (((++next >> 16) & 0xFF) == 0xFF) next += 0x10000;
                                 return next;
                               }));
    FS_RETURN_IF_ERROR(portal.finish());
    summary.portal = portal.tally();
  }

  // Cell: every landblock of the rectangle with its interior cells, then more interior cells
  // across the world up to the wanted size.
  {
    FS_TRY(ArchiveSink cell, open_archive(options.out / "client_cell_1.dat", 256, 2, root.fork(4)));
    std::vector<uint16_t> next_cell(65536, kFirstInteriorCell);
    const std::array<float, 256> heights = TerrainModel::land_heights();
    for (uint32_t x = r.lo_x; x <= r.hi_x; ++x) {
      for (uint32_t y = r.lo_y; y <= r.hi_y; ++y) {
        const auto lb = static_cast<uint16_t>(x << 8 | y);
        if (is_reserved_landblock(lb)) continue;
        Rng rng = root.fork(0x6C620000u | lb);
        const LandblockTerrain t = terrain.landblock(lb);
        const LandblockContent content = landblock_content(lb, t, catalogue, heights, rng.fork(1));
        cell.record(static_cast<uint32_t>(lb) << 16 | 0xFFFF, content.cell);
        cell.record(static_cast<uint32_t>(lb) << 16 | 0xFFFE, content.info);
        for (uint32_t k = 0; k < content.num_cells; ++k) {
          const uint32_t id = static_cast<uint32_t>(lb) << 16 | next_cell[lb]++;
          cell.filler(id, interior_cell_bytes(rng, id, content.num_cells), rng.chance(0.2));
        }
        ++summary.landblocks;
        summary.buildings += content.buildings;
        summary.road_landblocks += t.has_road ? 1 : 0;
      }
    }
    uint32_t cursor = 0;
    FS_RETURN_IF_ERROR(fill_to(cell, root.fork(5), pool, target(options.cell_mb), 512, 8192,
                               [&](Rng&) -> std::optional<uint32_t> {
                                 for (uint32_t tries = 0; tries < 65536; ++tries) {
                                   const auto lb = static_cast<uint16_t>(cursor++ & 0xFFFF);
                                   if (is_reserved_landblock(lb) || next_cell[lb] > kLastInteriorCell) continue;
                                   return static_cast<uint32_t>(lb) << 16 | next_cell[lb]++;
                                 }
                                 return std::nullopt;
                               }));
    FS_RETURN_IF_ERROR(cell.finish());
    summary.cell = cell.tally();
  }

  // Local: string tables (0x31) and interface layouts (0x21).
  {
    FS_TRY(ArchiveSink local, open_archive(options.out / "client_local_English.dat", 1024, 3, root.fork(6)));
    uint32_t strings = 0x31000000;
    uint32_t layouts = 0x21000000;
    const auto next_id = [&](Rng& rng) -> std::optional<uint32_t> {
      uint32_t& next = rng.chance(0.7) ? strings : layouts;
      if (((++next >> 16) & 0xFF) == 0xFF) next += 0x10000;
      return next;
    };
    // A local archive always has its few base records, whatever the size asked for.
    Rng base = root.fork(7);
    for (int k = 0; k < 8; ++k) {
      const uint32_t id = *next_id(base);
      local.filler(id, filler_bytes(base, pool, id, base.between(256, 4096), true), true);
    }
    FS_RETURN_IF_ERROR(fill_to(local, root.fork(8), pool, target(options.local_mb), 256, 65536, next_id));
    FS_RETURN_IF_ERROR(local.finish());
    summary.local = local.tally();
  }
  return summary;
}

}  // namespace fennistock::sample_world
