// TerrainModel: the sample world's land, a pure function of the seed and the global vertex
// coordinates, so that neighbouring landblocks agree on their shared edge vertices and any
// rectangle of the world shows the same land as the whole world would.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace fennistock::sample_world {

inline constexpr size_t kTerrainTypes = 32;

// The terrain types of the world, in terrain-word order.
extern const std::array<std::string_view, kTerrainTypes> kTerrainTypeNames;
// True for the terrain types that are open water (few or no scenery slots).
[[nodiscard]] bool is_water_type(uint32_t terrain_type);

struct LandblockTerrain {
  std::array<uint16_t, 81> terrain{};  // vertex order 9 * x + y
  std::array<uint8_t, 81> height{};
  bool has_water = false;
  bool has_land = false;
  bool has_road = false;
};

class TerrainModel {
 public:
  // `slot_counts[t]`: how many scene-type slots terrain type t has in the Region; scene-type
  // slots are drawn below it (a terrain type without slots gets slot 0). `focus` is the
  // rectangle being generated (lo_x, lo_y, hi_x, hi_y in landblocks): one main road crosses it.
  TerrainModel(uint64_t seed, const std::array<uint8_t, kTerrainTypes>& slot_counts, std::array<uint32_t, 4> focus);

  [[nodiscard]] LandblockTerrain landblock(uint16_t lb) const;

  // The Region's land-height table: increasing, finer steps near sea level.
  [[nodiscard]] static std::array<float, 256> land_heights();

 private:
  struct Segment {
    double ax, ay, bx, by;
    double min_x, min_y, max_x, max_y;
  };
  [[nodiscard]] double noise(uint64_t salt, double x, double y, int octaves, double scale) const;
  [[nodiscard]] bool on_road(double gx, double gy, const std::vector<const Segment*>& near) const;

  uint64_t seed_;
  std::array<uint8_t, kTerrainTypes> slot_counts_;
  std::vector<Segment> roads_;
};

}  // namespace fennistock::sample_world
