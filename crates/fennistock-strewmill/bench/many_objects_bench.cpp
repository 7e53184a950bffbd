// The bake of a hostile landblock: one scene of N object descriptions, each displaced a little
// and drawn as a single point (or an all-NaN point, whose footprint overlaps nothing), so almost
// every object is accepted and each later one must be checked against all of them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "fennistock/strewmill/lib.h"

namespace fennistock::strewmill {
namespace {

class OneScene : public SceneLookup {
 public:
  std::vector<dat::ObjectDesc> objects;
  std::optional<std::span<const dat::ObjectDesc>> scene(uint32_t) override {
    return std::span<const dat::ObjectDesc>(objects);
  }
};

class OnePoint : public MeshLookup {
 public:
  std::vector<Vector3> point;
  std::optional<std::span<const Vector3>> mesh(uint32_t) override { return std::span<const Vector3>(point); }
};

void BM_BakeManyAcceptedObjects(benchmark::State& state) {
  dat::Region region;
  region.terrain_desc.terrain_types.resize(1);
  region.terrain_desc.terrain_types[0].scene_types = {0};
  region.scene_desc.emplace();
  region.scene_desc->scene_types.resize(1);
  region.scene_desc->scene_types[0].scenes = {0x120000A0};
  const dat::CellLandblock cell;  // every vertex terrain type 0, slot 0
  OneScene scenes;
  dat::ObjectDesc d;
  d.obj_id = 0x01000001;
  d.frequency = 1;
  d.displace_x = 12;
  d.displace_y = 12;
  d.min_scale = d.max_scale = 1;
  scenes.objects.assign(static_cast<size_t>(state.range(0)), d);
  OnePoint meshes;
  meshes.point = {Vector3{state.range(1) != 0 ? NAN : 0.0f, 0, 0}};
  size_t placed = 0;
  for (auto _ : state) {
    const std::vector<Placement> p =
        bake_landblock_impl(region, cell, 0x01000000, scenes, meshes, {}, BakeMode::kAceCompat);
    placed = p.size();
    benchmark::DoNotOptimize(p.data());
  }
  state.counters["placements"] = static_cast<double>(placed);
}
BENCHMARK(BM_BakeManyAcceptedObjects)
    ->ArgNames({"objects", "nan_mesh"})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({4000, 0})
    ->Args({4000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fennistock::strewmill
