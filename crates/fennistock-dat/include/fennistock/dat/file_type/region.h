// Region: the world-wide tables from which scenery is derived (land heights, terrain types and
// scene types), behind the calendar, sky and sound sections. The readers add no context frames.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fennistock/dat/file_type/game_time.h"

namespace fennistock::dat {

// text name | u32 value | u32 count, count x u32 scene_types
struct TerrainType {
  std::string name;
  uint32_t value = 0;
  std::vector<uint32_t> scene_types;  // indices into SceneDesc::scene_types, by scene-type slot
};

// terrain_types | u32 surface_a | u32 surface_b | 3 x (u32 count, count x (u32, u32)) |
// u32 count, count x (11 x u32)
struct TerrainDesc {
  std::vector<TerrainType> terrain_types;  // indexed by the terrain-type bits of a terrain word
  uint32_t surface_a = 0;
  uint32_t surface_b = 0;
  std::vector<std::pair<uint32_t, uint32_t>> surface_pairs_a;
  std::vector<std::pair<uint32_t, uint32_t>> surface_pairs_b;
  std::vector<std::pair<uint32_t, uint32_t>> surface_pairs_c;
  std::vector<std::array<uint32_t, 11>> surface_entries;
  static ReadResult<TerrainDesc> unpack(ByteReader& in);
};

// u32 value | u32 count, count x u32 scene ids
struct SceneType {
  uint32_t value = 0;
  std::vector<uint32_t> scenes;  // Scene record ids in the portal archive
};

// u32 count, count x SceneType
struct SceneDesc {
  std::vector<SceneType> scene_types;
  static ReadResult<SceneDesc> unpack(ByteReader& in);
};

// 6 x u32
struct RegionMisc {
  std::array<uint32_t, 6> values{};
  static ReadResult<RegionMisc> unpack(ByteReader& in);
};

// u32 id | u32 header_a | u32 header_b | text name | 8 x u32 layout | 256 x f32 land_heights |
// GameTime | u32 parts_mask | SkyDesc (0x10) | SoundDesc (0x01) | SceneDesc (0x02) |
// TerrainDesc | RegionMisc (0x200). Optional sections in this stored order.
struct Region {
  static constexpr uint32_t kSkyBit = 0x10;
  static constexpr uint32_t kSoundBit = 0x01;
  static constexpr uint32_t kSceneBit = 0x02;
  static constexpr uint32_t kMiscBit = 0x200;

  uint32_t id = 0;
  uint32_t header_a = 0;
  uint32_t header_b = 0;
  std::string name;
  std::array<uint32_t, 8> layout{};
  std::array<float, 256> land_heights{};  // height of each height index
  GameTime game_time;
  uint32_t parts_mask = 0;
  std::optional<SkyDesc> sky_desc;
  std::optional<SoundDesc> sound_desc;
  std::optional<SceneDesc> scene_desc;
  TerrainDesc terrain_desc;
  std::optional<RegionMisc> misc;

  static ReadResult<Region> unpack(ByteReader& in);
  static ReadResult<Region> unpack(std::span<const uint8_t> bytes);
};

}  // namespace fennistock::dat
