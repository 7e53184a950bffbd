#include "fennistock/strewmill/lib.h"

#include <fmt/format.h>
#include <math.h>

#include <cstddef>
#include <cstdint>

#include "fennistock/strewmill/height.h"
#include "float_convert.h"
#include "footprint.h"
#include "footprint_index.h"

namespace fennistock::strewmill {

std::string_view canonical_name(BakeMode mode) {
  switch (mode) {
    case BakeMode::kAceCompat:
      return "ace-compat";
    case BakeMode::kStrict:
      return "strict";
  }
  return "ace-compat";
}

Result<BakeMode, std::string> parse_bake_mode(std::string_view text) {
  if (text == "ace-compat" || text == "ace_compat" || text == "acecompat") return BakeMode::kAceCompat;
  if (text == "strict") return BakeMode::kStrict;
  return fmt::format("unknown BakeMode `{}` (expected `ace-compat` or `strict`)", text);
}

namespace {

constexpr size_t kVertices = dat::CellLandblock::kVertices;
constexpr float kCellSize = 24.0f;
constexpr float kLandblockSize = 192.0f;

// Hash values become noise in [0, 1) through this factor, a little below 2^-32.
constexpr double kNoiseScale = 2.3283064e-10;
// Degrees to radians: the single-precision value nearest 0.0174533, widened.
constexpr double kDegreesToRadians = 0.017453299835324287;

// Per-object noise salts.
constexpr uint32_t kSaltDisplaceX = 45773;
constexpr uint32_t kSaltDisplaceY = 72719;
constexpr uint32_t kSaltHeading = 63127;
constexpr uint32_t kSaltScale = 32593;

double noise(uint32_t v) { return static_cast<double>(v) * kNoiseScale; }

// The hash values of one vertex at global coordinates (gx, gy); all arithmetic wraps modulo 2^32.
struct VertexNoise {
  uint32_t gx, gy;
  uint32_t b, m;  // the per-object hash's offset and multiplier

  VertexNoise(uint32_t gx_, uint32_t gy_)
      : gx(gx_),
        gy(gy_),
        b(gx_ * 0xBDE41C43u + gy_ * 0x6C1AC587u),
        m(gx_ * gy_ * 0xAEEE4011u + 0x8F76D049u) {}

  double scene() const {
    return noise(gx * 0xBDE41C43u + gy * (gx * 0x2A7F2B89u + 0x6C1AC587u) + 0x7F8CDA01u);
  }
  double frequency() const { return noise(gx * gy * 0x12A1D1D7u + b + 0xF4D7C05Fu); }
  double quadrant() const {
    return noise(gx * (gy * 0x9084269Bu + 0xBDE41C43u) + gy * 0x6C1AC587u + 0xE8031203u);
  }
  double object(uint32_t n, uint32_t salt) const { return noise((n + salt) * m + b); }
};

// What the objects of one vertex share: its position in the grid and its per-vertex noise.
struct Vertex {
  uint32_t x, y;  // column and row, 0 to 8
  float ox, oy;   // local position (24x, 24y)
  VertexNoise hash;
  double frequency;  // the per-object frequency threshold
  double quadrant;   // picks the quarter-turn of displacements
};

// The entry of a scene list of length `count` picked by noise in [0, 1): the product truncated
// toward zero, anything outside [0, count) falling back to entry 0.
size_t scene_index(size_t count, double scene_noise) {
  const double pick = static_cast<double>(count) * scene_noise;
  if (!(pick >= 1.0) || pick >= static_cast<double>(count)) return 0;
  return static_cast<size_t>(pick);
}

// The scene ids that vertex `word` draws from, or an empty span when its terrain type, scene-type
// slot or scene type is out of range.
std::span<const uint32_t> vertex_scenes(const dat::Region& region, const dat::SceneDesc& scene_desc,
                                        uint16_t word) {
  const uint32_t terrain_type = (word >> 2) & 0x1Fu;
  const uint32_t slot = word >> 11;
  const auto& terrain_types = region.terrain_desc.terrain_types;
  if (terrain_type >= terrain_types.size()) return {};
  const auto& slots = terrain_types[terrain_type].scene_types;
  if (slot >= slots.size()) return {};
  const uint32_t scene_type = slots[slot];
  if (scene_type >= scene_desc.scene_types.size()) return {};
  return scene_desc.scene_types[scene_type].scenes;
}

// The state one bake call shares between its vertices and objects.
struct Bake {
  const dat::CellLandblock& cell;
  uint32_t landblock_id;
  MeshLookup& meshes;
  std::span<const BuildingFootprint> buildings;
  BakeMode mode;
  HeightGrid grid;
  std::vector<Placement> placements;
  // The footprints accepted so far, and the buildings', indexed so that an object is compared
  // only with the boxes near it (a landblock may accept a great many objects).
  internal::FootprintIndex accepted;
  internal::FootprintIndex building_index;

  // Whether the terrain word tested for position (x, y) marks a road. The word is picked with a
  // stride of 8 per column, not the grid's 9, as the server does.
  bool on_road(float x, float y) const {
    const int64_t cx = internal::saturating_i32(floorf(x / kCellSize));
    const int64_t cy = internal::saturating_i32(floorf(y / kCellSize));
    if (cx < 0 || cy < 0) return false;
    const int64_t k = cx * 8 + cy;
    return k < static_cast<int64_t>(cell.terrain.size()) &&
           (cell.terrain[static_cast<size_t>(k)] & 0x3u) != 0;
  }

  // Runs the object steps for description n of the vertex's scene; appends it when it passes.
  void place_object(const Vertex& vertex, const dat::ObjectDesc& desc, uint32_t n);
};

void Bake::place_object(const Vertex& vertex, const dat::ObjectDesc& desc, uint32_t n) {
  const VertexNoise& vn = vertex.hash;
  // A NaN frequency fails the comparison and drops the object.
  if (!(static_cast<double>(desc.frequency) > vertex.frequency)) return;
  if (desc.excluded != 0) return;

  // Displacement; a NaN bound displaces, zero or less does not.
  float bx = desc.base_frame.origin.x;
  float by = desc.base_frame.origin.y;
  if (!(desc.displace_x <= 0.0f)) {
    const double offset = static_cast<double>(desc.displace_x) * vn.object(n, kSaltDisplaceX);
    bx = static_cast<float>(static_cast<double>(bx) + offset);
  }
  if (!(desc.displace_y <= 0.0f)) {
    const double offset = static_cast<double>(desc.displace_y) * vn.object(n, kSaltDisplaceY);
    by = static_cast<float>(static_cast<double>(by) + offset);
  }

  // Quarter-turn of the offset by the vertex's quadrant noise.
  float first = bx;
  float second = by;
  const double quadrant = vertex.quadrant;
  if (quadrant >= 0.75) {
    first = by;
    second = -bx;
  } else if (quadrant >= 0.5) {
    first = -bx;
    second = -by;
  } else if (quadrant >= 0.25) {
    first = -by;
    second = bx;
  }
  const float x = first + vertex.ox;
  const float y = second + vertex.oy;

  // Both bounds inclusive; a NaN coordinate passes, as it does on the server.
  if (x > kLandblockSize || x < 0.0f || y < 0.0f || y > kLandblockSize) return;
  if (on_road(x, y)) return;

  float z = 0.0f;
  if (mode == BakeMode::kStrict) {
    const float slope = slope_at(grid, x, y);
    if (desc.min_slope > slope || slope > desc.max_slope) return;  // a NaN slope passes
    z = bilinear_height_from_grid(grid, x, y);
  } else {
    z = triangle_plane_height_from_grid(grid, landblock_id >> 16, x, y);
  }

  float heading = 0.0f;
  if (!(desc.max_rotation <= 0.0f)) {
    const double degrees = static_cast<double>(desc.max_rotation) * vn.object(n, kSaltHeading);
    heading = static_cast<float>(degrees * kDegreesToRadians);
  }
  float qz = 0.0f;
  float qw = 0.0f;
  ::sincosf(heading * 0.5f, &qz, &qw);

  float scale = desc.max_scale;
  if (!(desc.min_scale == desc.max_scale)) {
    const double min_scale = static_cast<double>(desc.min_scale);
    const double ratio = static_cast<double>(desc.max_scale) / min_scale;
    scale = static_cast<float>(::pow(ratio, vn.object(n, kSaltScale)) * min_scale);
  }

  const std::optional<std::span<const Vector3>> mesh = meshes.mesh(desc.obj_id);
  if (!mesh.has_value()) return;
  float sn = 0.0f;
  float cs = 0.0f;
  ::sincosf(heading, &sn, &cs);
  const BuildingFootprint box = internal::footprint(*mesh, x, y, scale, sn, cs);
  if (building_index.overlaps_any(box) || accepted.overlaps_any(box)) return;

  accepted.insert(box);
  placements.push_back(Placement{
      .obj_id = desc.obj_id,
      .x = x,
      .y = y,
      .z = z,
      .qw = qw,
      .qx = 0.0f,
      .qy = 0.0f,
      .qz = qz,
      .scale = scale,
      .source_cell_x = vertex.x,
      .source_cell_y = vertex.y,
      .source_obj_idx = n,
  });
}

}  // namespace

std::vector<Placement> bake_landblock_impl(const dat::Region& region, const dat::CellLandblock& cell,
                                           uint32_t landblock_id, SceneLookup& scenes, MeshLookup& meshes,
                                           std::span<const BuildingFootprint> buildings, BakeMode mode) {
  if (!region.scene_desc.has_value()) return {};
  const dat::SceneDesc& scene_desc = *region.scene_desc;
  Bake bake{cell, landblock_id, meshes, buildings, mode, vertex_heights(region, cell), {}, {}, {}};
  for (const BuildingFootprint& b : buildings) bake.building_index.insert(b);

  const uint32_t lx = landblock_id >> 24;
  const uint32_t ly = (landblock_id >> 16) & 0xFFu;
  for (size_t i = 0; i < kVertices && i < cell.terrain.size(); ++i) {
    const std::span<const uint32_t> scene_ids = vertex_scenes(region, scene_desc, cell.terrain[i]);
    if (scene_ids.empty()) continue;

    const uint32_t x = static_cast<uint32_t>(i / 9);
    const uint32_t y = static_cast<uint32_t>(i % 9);
    const VertexNoise hash(lx * 8u + x, ly * 8u + y);
    const uint32_t scene_id = scene_ids[scene_index(scene_ids.size(), hash.scene())];
    const std::optional<std::span<const dat::ObjectDesc>> objects = scenes.scene(scene_id);
    if (!objects.has_value() || objects->empty()) continue;

    const Vertex vertex{x,
                        y,
                        kCellSize * static_cast<float>(x),
                        kCellSize * static_cast<float>(y),
                        hash,
                        hash.frequency(),
                        hash.quadrant()};
    for (size_t n = 0; n < objects->size(); ++n) {
      bake.place_object(vertex, (*objects)[n], static_cast<uint32_t>(n));
    }
  }
  return std::move(bake.placements);
}

}  // namespace fennistock::strewmill
