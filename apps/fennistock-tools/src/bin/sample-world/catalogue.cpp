#include "catalogue.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>

#include "fmt/format.h"
#include "testing/record_builders.h"

namespace fennistock::sample_world {

using testing::BspNodeBuilder;
using testing::GfxObjBuilder;

namespace {

// The full catalogue; smaller portal archives get a scaled-down one (Counts).
constexpr uint32_t kFullSceneryGfx = 2000;
constexpr uint32_t kFullPartGfx = 800;
constexpr uint32_t kFullBuildingGfx = 200;
constexpr uint32_t kFullScenerySetups = 400;
constexpr uint32_t kFullBuildingSetups = 80;
constexpr uint32_t kFullScenes = 600;
constexpr uint32_t kWaterScenes = 20;  // the first scenes: sparse reeds and rocks for shallows
constexpr uint32_t kSceneTypes = 90;
constexpr uint32_t kWaterSceneTypes = 5;  // scene type 0 is empty, 1..4 use the water scenes

constexpr float kPi = 3.14159265f;

Quaternion yaw_quaternion(float yaw) { return {std::cos(yaw * 0.5f), 0, 0, std::sin(yaw * 0.5f)}; }

Vector3 unit_vector(Rng& rng) {
  const float z = static_cast<float>(rng.uniform(-1, 1));
  const float a = static_cast<float>(rng.uniform(0, 2 * kPi));
  const float r = std::sqrt(std::max(0.0f, 1 - z * z));
  return {r * std::cos(a), r * std::sin(a), z};
}

Plane random_plane(Rng& rng) { return {unit_vector(rng), static_cast<float>(rng.uniform(-4, 4))}; }

Sphere random_sphere(Rng& rng, float radius) {
  return {{static_cast<float>(rng.uniform(-1, 1)), static_cast<float>(rng.uniform(-1, 1)),
           static_cast<float>(rng.uniform(0, 2))},
          radius};
}

// A balanced partition tree over `polys`: internal nodes split the list, leaves hold up to a
// dozen polygons (physics) and drawing nodes keep the polygons that lie on their plane.
BspNodeBuilder bsp_tree(Rng& rng, std::span<const uint16_t> polys, dat::TreeKind kind, uint32_t& leaf_index,
                        float radius, bool with_portals, int depth = 0) {
  if (polys.size() <= 12 || depth >= 16) {
    BspNodeBuilder leaf = BspNodeBuilder::leaf(leaf_index++);
    if (kind == dat::TreeKind::kPhysics) {
      leaf.solid(rng.chance(0.7) ? 1 : 0).sphere(random_sphere(rng, radius)).polys({polys.begin(), polys.end()});
    }
    return leaf;
  }
  const size_t on_plane = kind == dat::TreeKind::kDrawing ? std::min<size_t>(polys.size() / 8, 3) : 0;
  const std::span<const uint16_t> rest = polys.subspan(on_plane);
  const size_t half = rest.size() / 2;
  BspNodeBuilder pos = bsp_tree(rng, rest.first(half), kind, leaf_index, radius * 0.7f, with_portals, depth + 1);
  BspNodeBuilder neg = bsp_tree(rng, rest.subspan(half), kind, leaf_index, radius * 0.7f, with_portals, depth + 1);
  if (with_portals && depth == 1 && kind == dat::TreeKind::kDrawing) {
    BspNodeBuilder portal = BspNodeBuilder::portal(std::move(pos), std::move(neg));
    portal.plane(random_plane(rng)).sphere(random_sphere(rng, radius));
    portal.polys({polys.begin(), polys.begin() + static_cast<ptrdiff_t>(on_plane)});
    portal.portal_polys({{0, polys.front()}, {1, polys.back()}});
    return portal;
  }
  BspNodeBuilder node = BspNodeBuilder::internal(rng.chance(0.5) ? "BPIN" : "BPnN");
  node.pos(std::move(pos)).neg(std::move(neg));
  node.plane(random_plane(rng)).sphere(random_sphere(rng, radius));
  if (kind == dat::TreeKind::kDrawing) node.polys({polys.begin(), polys.begin() + static_cast<ptrdiff_t>(on_plane)});
  return node;
}

// A mesh of `n` vertices scattered through a cylinder of the given radius and height (a tree, a
// rock, a house), triangles over neighbouring vertices, a physics hull and both trees.
std::vector<uint8_t> gfx_bytes(uint32_t id, uint16_t n, float radius, float height, bool empty, bool building,
                               Rng rng) {
  GfxObjBuilder b(id);
  std::vector<uint32_t> surfaces;
  for (uint32_t k = rng.between(1, building ? 8 : 3); k > 0; --k) surfaces.push_back(0x08000000 + rng.below(0x3000));
  b.surfaces(surfaces);
  if (empty) {
    b.flags(0x02);
    return b.bytes();
  }
  for (uint16_t k = 0; k < n; ++k) {
    const float a = static_cast<float>(rng.uniform(0, 2 * kPi));
    const float r = radius * std::sqrt(static_cast<float>(rng.unit()));
    const Vector3 origin{r * std::cos(a), r * std::sin(a), height * static_cast<float>(rng.unit())};
    std::vector<dat::Vec2Duv> uvs(rng.chance(0.1) ? 2 : 1);
    for (dat::Vec2Duv& uv : uvs) uv = {static_cast<float>(rng.unit()), static_cast<float>(rng.unit())};
    b.vertex(k, origin, std::move(uvs));
  }
  const bool two_sided = rng.chance(0.2);
  const uint16_t triangles = static_cast<uint16_t>(std::min<uint32_t>(2u * n - 2, 4000));
  std::vector<uint16_t> drawing_ids;
  for (uint16_t t = 0; t < triangles; ++t) {
    const auto v = [&](uint32_t off) { return static_cast<uint16_t>((t / 2 + off) % n); };
    b.polygon(t, testing::make_polygon({v(0), v(1), v(2)}, rng.chance(0.1) ? 0x04 : 0, two_sided ? 2 : 1));
    drawing_ids.push_back(t);
  }
  uint32_t leaf_index = 0;
  b.drawing_bsp(bsp_tree(rng, drawing_ids, dat::TreeKind::kDrawing, leaf_index, radius, building));
  // Grass and flowers have no physics; everything else has a coarse hull.
  if (building || rng.chance(0.75)) {
    const uint16_t hull = static_cast<uint16_t>(std::max<uint32_t>(4, triangles / 8));
    std::vector<uint16_t> hull_ids;
    for (uint16_t t = 0; t < hull; ++t) {
      const auto v = [&](uint32_t off) { return static_cast<uint16_t>((t * 8 + off * 3) % n); };
      b.physics_polygon(t, testing::make_polygon({v(0), v(1), v(2), v(3)}, 0x04, 1));
      hull_ids.push_back(t);
    }
    leaf_index = 0;
    b.physics_bsp(bsp_tree(rng, hull_ids, dat::TreeKind::kPhysics, leaf_index, radius, false));
  }
  b.sort_center({0, 0, height * 0.5f});
  if (rng.chance(0.1)) b.trailing_id(0x0D000000 + rng.below(0x1000));
  return b.bytes();
}

// Payload length of an animation hook by type (type 5 is variable and built separately).
uint32_t hook_payload(uint32_t type) {
  switch (type) {
    case 0: case 4: case 17: return 0;
    case 1: case 2: case 6: case 14: case 15: case 16: case 18: case 25: return 4;
    case 12: case 19: case 23: return 8;
    case 8: case 10: case 20: case 22: case 24: return 12;
    case 7: case 9: case 11: case 21: return 16;
    case 3: return 28;
    default: return 40;  // 13, 26
  }
}

dat::AnimationHook random_hook(Rng& rng) {
  const uint32_t type = rng.below(27);
  std::vector<uint8_t> payload;
  if (type == 5) {
    const bool two = rng.chance(0.5);
    const uint16_t value = static_cast<uint16_t>(rng.below(0x8000) | (two ? 0x8000 : 0));
    payload = {static_cast<uint8_t>(rng.below(256)), static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    if (two) payload.insert(payload.end(), {static_cast<uint8_t>(rng.below(256)), 0});
  } else {
    payload.resize(hook_payload(type));
    for (uint8_t& byte : payload) byte = static_cast<uint8_t>(rng.below(256));
  }
  return testing::animation_hook(type, std::move(payload), rng.chance(0.5) ? 1 : 0);
}

Frame random_frame(Rng& rng, float spread) {
  return {{static_cast<float>(rng.uniform(-spread, spread)), static_cast<float>(rng.uniform(-spread, spread)),
           static_cast<float>(rng.uniform(0, spread))},
          yaw_quaternion(static_cast<float>(rng.uniform(0, 2 * kPi)))};
}

std::vector<uint8_t> setup_bytes(uint32_t id, const std::vector<uint32_t>& parts, bool building, Rng rng) {
  testing::SetupModelBuilder b(id);
  b.parts(parts);
  if (rng.chance(0.6)) {
    std::vector<uint32_t> links;
    for (size_t k = 0; k < parts.size(); ++k) links.push_back(k == 0 ? 0xFFFFFFFF : rng.below(static_cast<uint32_t>(k)));
    b.part_links(links);
  }
  if (rng.chance(0.7)) {
    std::vector<Vector3> scales(parts.size(), Vector3{1, 1, 1});
    for (Vector3& s : scales) s.x = s.y = s.z = static_cast<float>(rng.uniform(0.8, 1.2));
    b.part_vectors(scales);
  }
  for (uint32_t k = rng.below(3); k > 0; --k) b.location_a(k, {rng.below(static_cast<uint32_t>(parts.size())), random_frame(rng, 2)});
  for (uint32_t k = rng.below(4); k > 0; --k) b.location_b(k + 10, {rng.below(static_cast<uint32_t>(parts.size())), random_frame(rng, 2)});
  const uint32_t placements = rng.between(1, 3);
  for (uint32_t k = 0; k < placements; ++k) {
    dat::PlacementType p;
    for (size_t f = 0; f < parts.size(); ++f) p.frames.push_back(random_frame(rng, building ? 8.0f : 1.5f));
    for (uint32_t h = rng.below(4); h > 0; --h) p.hooks.push_back(random_hook(rng));
    b.placement(k == 0 ? 0 : 0x65 + k, std::move(p));
  }
  for (uint32_t k = rng.below(3); k > 0; --k) {
    b.cyl_sphere({{0, 0, 0}, static_cast<float>(rng.uniform(0.2, 3)), static_cast<float>(rng.uniform(0.5, 8))});
  }
  for (uint32_t k = rng.between(1, 2); k > 0; --k) b.sphere(random_sphere(rng, static_cast<float>(rng.uniform(0.5, 4))));
  b.sizes(static_cast<float>(rng.uniform(0.5, 2)), static_cast<float>(rng.uniform(0.5, 2)),
          static_cast<float>(rng.uniform(0, 1)), static_cast<float>(rng.uniform(0, 1)));
  b.bounding_spheres(random_sphere(rng, static_cast<float>(rng.uniform(1, 10))),
                     random_sphere(rng, static_cast<float>(rng.uniform(1, 10))));
  for (uint32_t k = building ? rng.between(1, 4) : (rng.chance(0.05) ? 1 : 0); k > 0; --k) {
    b.light(k, {random_frame(rng, 4), 0xFF000000 | rng.below(0x1000000), static_cast<float>(rng.uniform(0.2, 1.5)),
                static_cast<float>(rng.uniform(2, 12)), static_cast<float>(rng.uniform(0, 1.5))});
  }
  std::array<uint32_t, 5> refs{};
  const std::array<uint32_t, 5> kinds = {0x03000000, 0x09000000, 0x20000000, 0x22000000, 0x34000000};
  for (size_t k = 0; k < refs.size(); ++k) refs[k] = rng.chance(0.4) ? kinds[k] + rng.between(1, 0xFFF) : 0;
  b.ref_ids(refs);
  return b.bytes();
}

dat::ObjectDesc random_object(Rng& rng, uint32_t obj_id, bool water) {
  dat::ObjectDesc d;
  d.obj_id = obj_id;
  d.base_frame = Frame{{static_cast<float>(rng.uniform(0, 24)), static_cast<float>(rng.uniform(0, 24)), 0},
                       {1, 0, 0, 0}};
  d.frequency = static_cast<float>(rng.log_uniform(0.005, water ? 0.05 : 0.3));
  d.displace_x = rng.chance(0.2) ? 0.0f : static_cast<float>(rng.uniform(0, 12));
  d.displace_y = rng.chance(0.2) ? 0.0f : static_cast<float>(rng.uniform(0, 12));
  d.min_scale = static_cast<float>(rng.uniform(0.6, 1.2));
  d.max_scale = rng.chance(0.2) ? d.min_scale : static_cast<float>(rng.uniform(d.min_scale, 1.8));
  d.max_rotation = rng.chance(0.15) ? 0.0f : (rng.chance(0.7) ? 360.0f : static_cast<float>(rng.uniform(0, 360)));
  d.min_slope = static_cast<float>(rng.uniform(0, 0.2));
  d.max_slope = static_cast<float>(rng.uniform(0.6, 1.6));
  d.aux_a = rng.below(4);
  d.aux_b = rng.chance(0.1) ? rng.below(16) : 0;
  d.excluded = rng.chance(0.01) ? 1 : 0;
  return d;
}

}  // namespace

Catalogue::Catalogue(uint64_t seed, double scale) : seed_(mix64(seed ^ 0x706F7274616C0000ull)) {
  Rng rng = Rng(seed_).fork(0);
  scale = std::clamp(scale, 0.0, 1.0);
  const auto scaled = [&](uint32_t full, uint32_t least) {
    return std::max(least, static_cast<uint32_t>(std::lround(full * scale)));
  };
  const uint32_t kSceneryGfx = scaled(kFullSceneryGfx, 60);
  const uint32_t kPartGfx = scaled(kFullPartGfx, 20);
  const uint32_t kBuildingGfx = scaled(kFullBuildingGfx, 8);
  const uint32_t kScenerySetups = scaled(kFullScenerySetups, 12);
  const uint32_t kBuildingSetups = scaled(kFullBuildingSetups, 4);
  const uint32_t kScenes = scaled(kFullScenes, 60);
  for (uint32_t i = 0; i < kSceneryGfx; ++i) {
    gfx_.push_back({0x01000001 + i, static_cast<uint16_t>(rng.log_uniform(20, 2001)),
                    static_cast<float>(rng.log_uniform(0.4, 3.5)), static_cast<float>(rng.log_uniform(0.3, 14)),
                    rng.chance(0.01)});
  }
  for (uint32_t i = 0; i < kPartGfx; ++i) {
    gfx_.push_back({0x01002001 + i, static_cast<uint16_t>(rng.log_uniform(20, 600)),
                    static_cast<float>(rng.log_uniform(0.3, 2.5)), static_cast<float>(rng.log_uniform(0.3, 6)), false});
  }
  for (uint32_t i = 0; i < kBuildingGfx; ++i) {
    gfx_.push_back({0x01004001 + i, static_cast<uint16_t>(rng.log_uniform(100, 2001)),
                    static_cast<float>(rng.uniform(5, 15)), static_cast<float>(rng.uniform(4, 20)), false});
  }
  const auto part_gfx = [&] { return 0x01002001 + rng.below(kPartGfx); };
  for (uint32_t i = 0; i < kScenerySetups; ++i) {
    std::vector<uint32_t> parts{0x01000001 + rng.below(kSceneryGfx)};
    for (uint32_t k = rng.between(1, 5); k > 0; --k) parts.push_back(part_gfx());
    setups_.push_back({0x02000001 + i, std::move(parts), false});
  }
  for (uint32_t i = 0; i < kBuildingSetups; ++i) {
    std::vector<uint32_t> parts{0x01004001 + rng.below(kBuildingGfx)};
    for (uint32_t k = rng.between(2, 7); k > 0; --k) parts.push_back(part_gfx());
    setups_.push_back({0x02001001 + i, std::move(parts), true});
  }
  for (uint32_t i = 0; i < kSceneryGfx; ++i) scenery_models_.push_back(0x01000001 + i);
  for (uint32_t i = 0; i < kScenerySetups; ++i) scenery_models_.push_back(0x02000001 + i);
  for (uint32_t i = 0; i < kBuildingGfx; ++i) building_models_.push_back(0x01004001 + i);
  for (uint32_t i = 0; i < kBuildingSetups; ++i) building_models_.push_back(0x02001001 + i);
  static_models_ = scenery_models_;
  for (uint32_t i = 0; i < kPartGfx; ++i) static_models_.push_back(0x01002001 + i);

  // Scene types: 0 is bare, 1..4 the shallows, the rest land in bands of related scenes.
  scene_type_scenes_.resize(kSceneTypes);
  for (uint32_t t = 1; t < kSceneTypes; ++t) {
    const bool water = t < kWaterSceneTypes;
    const uint32_t count = water ? rng.between(1, 3) : (rng.chance(0.04) ? 0 : rng.between(1, 8));
    const uint32_t centre = water ? 0 : kWaterScenes + (t - kWaterSceneTypes) * (kScenes - kWaterScenes) / (kSceneTypes - kWaterSceneTypes);
    for (uint32_t k = 0; k < count; ++k) {
      const uint32_t index = water ? rng.below(kWaterScenes)
                                   : std::clamp<uint32_t>(centre + rng.below(41), kWaterScenes + 20, kScenes + 19) - 20;
      scene_type_scenes_[t].push_back(0x12000001 + index);
    }
  }
  // Terrain types: water gets one or two sparse slots, land four to twelve from its band.
  terrain_scene_types_.resize(kTerrainTypes);
  for (uint32_t t = 0; t < kTerrainTypes; ++t) {
    if (is_water_type(t)) {
      for (uint32_t k = rng.between(1, 2); k > 0; --k) terrain_scene_types_[t].push_back(rng.below(kWaterSceneTypes));
      continue;
    }
    const uint32_t centre = kWaterSceneTypes + t * (kSceneTypes - kWaterSceneTypes - 12) / kTerrainTypes;
    for (uint32_t k = rng.between(4, 12); k > 0; --k) terrain_scene_types_[t].push_back(centre + rng.below(12));
  }
  scene_count_ = kScenes;
}

std::array<uint8_t, kTerrainTypes> Catalogue::slot_counts() const {
  std::array<uint8_t, kTerrainTypes> out{};
  for (size_t t = 0; t < kTerrainTypes; ++t) out[t] = static_cast<uint8_t>(terrain_scene_types_[t].size());
  return out;
}

std::vector<uint8_t> Catalogue::region_bytes() const {
  Rng rng = Rng(seed_).fork(1);
  testing::RegionBuilder b(kRegionId);
  b.name("Sample Region").land_heights(TerrainModel::land_heights());

  dat::GameTime time;
  time.time_a = 7620.0;
  time.time_b = 10;
  time.time_c = 16;
  time.time_d = 12;
  time.label = "Y.";
  // Synthetic names: sixteen hours and twelve months.
  for (uint32_t k = 0; k < 16; ++k) {
    time.times_of_day.push_back({k * 0x1000, k >= 4 && k < 12, "Hour " + std::to_string(k + 1)});
  }
  for (uint32_t k = 0; k < 12; ++k) time.names.push_back("Month " + std::to_string(k + 1));
  time.seasons = {{0, "Winter"}, {3, "Spring"}, {6, "Summer"}, {9, "Autumn"}};
  b.game_time(std::move(time));

  dat::SkyDesc sky{0.0125, 1.0 / 3600.0, {}};
  for (const char* name : {"Clear", "Cloudy", "Overcast", "Rainy", "Stormy", "Foggy", "Snowy"}) {
    dat::DayGroup group;
    group.value = rng.below(100);
    group.name = name;
    for (uint32_t k = rng.between(3, 8); k > 0; --k) {
      std::array<uint32_t, 9> e{};
      for (uint32_t& v : e) v = rng.u32();
      group.sky_entries.push_back(e);
    }
    for (uint32_t k = rng.between(8, 16); k > 0; --k) {
      dat::SkyTimeOfDay t;
      for (uint32_t& v : t.values) v = rng.u32();
      for (uint32_t j = rng.between(2, 6); j > 0; --j) {
        std::array<uint32_t, 6> e{};
        for (uint32_t& v : e) v = rng.u32();
        t.inner_entries.push_back(e);
      }
      group.sky_times.push_back(std::move(t));
    }
    sky.day_groups.push_back(std::move(group));
  }
  b.sky(std::move(sky));

  dat::SoundDesc sound;
  for (uint32_t k = 0; k < 20; ++k) {
    dat::AmbientSTBDesc a{0x20000000 + k, {}};
    for (uint32_t j = rng.between(2, 8); j > 0; --j) a.sounds.push_back({0x0A000000 + rng.below(0x800), rng.u32(), rng.u32(), rng.u32(), rng.u32()});
    sound.ambient.push_back(std::move(a));
  }
  b.sound(std::move(sound));

  for (uint32_t t = 0; t < kSceneTypes; ++t) b.scene_type(scene_type_scenes_[t], t);
  dat::TerrainDesc terrain;
  for (uint32_t t = 0; t < kTerrainTypes; ++t) {
    terrain.terrain_types.push_back({std::string(kTerrainTypeNames[t]), 0x08000000 + t, terrain_scene_types_[t]});
  }
  terrain.surface_a = 0x32;
  terrain.surface_b = 0x33;
  for (uint32_t k = 0; k < 32; ++k) terrain.surface_pairs_a.emplace_back(k, 0x05000000 + k);
  for (uint32_t k = 0; k < 16; ++k) terrain.surface_pairs_b.emplace_back(k, 0x06000000 + k);
  for (uint32_t k = 0; k < 8; ++k) terrain.surface_pairs_c.emplace_back(k, rng.u32());
  for (uint32_t k = 0; k < 32; ++k) {
    std::array<uint32_t, 11> e{};
    for (uint32_t& v : e) v = rng.u32();
    terrain.surface_entries.push_back(e);
  }
  b.terrain_desc(std::move(terrain));
  b.misc({0x78, 0x3C, 0x01, 0x02, 0x0D000001, 0x0D000002});
  return b.bytes();
}

void Catalogue::write(ArchiveSink& portal) const {
  portal.record(kRegionId, region_bytes());
  const Rng base(seed_);
  for (const GfxPlan& g : gfx_) {
    portal.record(g.id, gfx_bytes(g.id, g.vertices, g.radius, g.height, g.empty, g.id >= 0x01004001, base.fork(g.id)));
  }
  for (const SetupPlan& s : setups_) portal.record(s.id, setup_bytes(s.id, s.parts, s.building, base.fork(s.id)));
  for (uint32_t i = 0; i < scene_count_; ++i) {
    const uint32_t id = 0x12000001 + i;
    Rng rng = base.fork(id);
    const bool water = i < kWaterScenes;
    testing::SceneBuilder scene(id);
    // Mostly a handful of objects, now and then a crowded one.
    const auto count = static_cast<uint32_t>(1 + std::floor(29 * std::pow(rng.unit(), water ? 3.0 : 1.5)));
    for (uint32_t k = 0; k < count; ++k) {
      scene.object(random_object(rng, scenery_models_[rng.below(static_cast<uint32_t>(scenery_models_.size()))], water));
    }
    portal.record(id, scene.bytes());
  }
}

}  // namespace fennistock::sample_world
