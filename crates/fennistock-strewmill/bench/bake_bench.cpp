// The bake on a dense landblock: every vertex draws a scene of 20 objects with meshes of a few
// hundred points. Reports the time per landblock and per mesh point transformed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "fennistock/strewmill/lib.h"
#include "footprint.h"

namespace fennistock::strewmill {
namespace {

constexpr uint32_t kTerrainTypes = 32;
constexpr uint32_t kSlots = 32;
constexpr uint32_t kSceneTypes = 24;
constexpr uint32_t kScenesPerType = 4;
constexpr uint32_t kObjectsPerScene = 20;
constexpr uint32_t kModels = 64;

class Scenes : public SceneLookup {
 public:
  std::map<uint32_t, std::vector<dat::ObjectDesc>> scenes;
  std::optional<std::span<const dat::ObjectDesc>> scene(uint32_t id) override {
    const auto it = scenes.find(id);
    if (it == scenes.end()) return std::nullopt;
    return std::span<const dat::ObjectDesc>(it->second);
  }
};

// Counts the points of every mesh it hands out: each is transformed once by the footprint step.
class Meshes : public MeshLookup {
 public:
  std::map<uint32_t, std::vector<Vector3>> meshes;
  uint64_t points = 0;
  std::optional<std::span<const Vector3>> mesh(uint32_t id) override {
    const auto it = meshes.find(id);
    if (it == meshes.end()) return std::nullopt;
    points += it->second.size();
    return std::span<const Vector3>(it->second);
  }
};

struct DenseWorld {
  dat::Region region;
  dat::CellLandblock cell;
  Scenes scenes;
  Meshes meshes;
  std::vector<BuildingFootprint> buildings{{60, 60, 80, 75}, {130, 20, 150, 44}};

  DenseWorld() {
    std::mt19937 rng(7);
    const auto uniform = [&](float lo, float hi) {
      return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    for (int i = 0; i < 256; ++i) region.land_heights[i] = 2.0f * static_cast<float>(i);
    region.terrain_desc.terrain_types.resize(kTerrainTypes);
    for (auto& type : region.terrain_desc.terrain_types) {
      for (uint32_t s = 0; s < kSlots; ++s) type.scene_types.push_back(rng() % kSceneTypes);
    }
    region.scene_desc.emplace();
    region.scene_desc->scene_types.resize(kSceneTypes);
    uint32_t scene_id = 0x12000000;
    for (auto& type : region.scene_desc->scene_types) {
      for (uint32_t k = 0; k < kScenesPerType; ++k, ++scene_id) {
        type.scenes.push_back(scene_id);
        std::vector<dat::ObjectDesc>& objects = scenes.scenes[scene_id];
        for (uint32_t n = 0; n < kObjectsPerScene; ++n) {
          dat::ObjectDesc d;
          d.obj_id = 0x01000000 + rng() % kModels;
          d.base_frame.origin = {uniform(-4, 4), uniform(-4, 4), 0};
          d.frequency = uniform(0.01f, 0.3f);
          d.displace_x = uniform(0, 12);
          d.displace_y = uniform(0, 12);
          d.min_scale = uniform(0.6f, 1.0f);
          d.max_scale = d.min_scale + uniform(0, 0.8f);
          d.max_rotation = 360;
          d.max_slope = 1.5f;
          objects.push_back(d);
        }
      }
    }
    for (uint32_t m = 0; m < kModels; ++m) {
      std::vector<Vector3>& points = meshes.meshes[0x01000000 + m];
      const size_t count = 200 + rng() % 200;
      const float radius = uniform(0.3f, 2.0f);
      for (size_t i = 0; i < count; ++i) {
        points.push_back({uniform(-radius, radius), uniform(-radius, radius), uniform(0, 6)});
      }
    }
    for (size_t i = 0; i < cell.terrain.size(); ++i) {
      const uint32_t road = rng() % 10 == 0 ? 1 : 0;
      cell.terrain[i] = static_cast<uint16_t>(road | (rng() % kTerrainTypes) << 2 | (rng() % kSlots) << 11);
      cell.height[i] = static_cast<uint8_t>(rng() % 40);
    }
  }
};

void BM_BakeDenseLandblock(benchmark::State& state) {
  DenseWorld w;
  const BakeMode mode = state.range(0) == 0 ? BakeMode::kAceCompat : BakeMode::kStrict;
  size_t placed = 0;
  for (auto _ : state) {
    const std::vector<Placement> out =
        bake_landblock_impl(w.region, w.cell, 0xA9B40000, w.scenes, w.meshes, w.buildings, mode);
    placed = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(std::string(canonical_name(mode)));
  state.counters["placed"] = static_cast<double>(placed);
  state.counters["points"] = static_cast<double>(w.meshes.points) / static_cast<double>(state.iterations());
  // Seconds per point transformed, shown with its SI prefix (n = nanoseconds).
  state.counters["time_per_point"] = benchmark::Counter(
      static_cast<double>(w.meshes.points), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BakeDenseLandblock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

template <bool kVectorised>
void BM_Footprint(benchmark::State& state) {
  std::mt19937 rng(11);
  std::vector<Vector3> mesh(static_cast<size_t>(state.range(0)));
  for (Vector3& v : mesh) v = {std::uniform_real_distribution<float>(-2, 2)(rng), 0.5f, 1};
  for (auto _ : state) {
    const BuildingFootprint f = kVectorised ? internal::footprint(mesh, 50, 60, 1.1f, 0.6f, 0.8f)
                                            : internal::footprint_scalar(mesh, 50, 60, 1.1f, 0.6f, 0.8f);
    benchmark::DoNotOptimize(f);
  }
  state.counters["time_per_point"] =
      benchmark::Counter(static_cast<double>(state.iterations() * mesh.size()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Footprint<true>)->Arg(300);
BENCHMARK(BM_Footprint<false>)->Arg(300);

}  // namespace
}  // namespace fennistock::strewmill

BENCHMARK_MAIN();
