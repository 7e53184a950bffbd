#include "fennistock/dat/file_type/region.h"

#include <algorithm>

#include "fennistock/dat/utils.h"

namespace fennistock::dat {
namespace {

// A 16-bit-length text, then the alignment step.
ReadResult<std::string> read_text(ByteReader& in) {
  FS_TRY(std::string text, read_pstring(in, 2));
  FS_RETURN_IF_ERROR(in.align4());
  return text;
}

// u32 count, count x u32
ReadResult<std::vector<uint32_t>> read_u32_list(ByteReader& in) {
  FS_TRY(const uint32_t count, in.u32());
  std::vector<uint32_t> values;
  values.reserve(std::min<size_t>(count, in.remaining() / 4));
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const uint32_t v, in.u32());
    values.push_back(v);
  }
  return values;
}

// u32 count, count x (u32, u32)
ReadResult<std::vector<std::pair<uint32_t, uint32_t>>> read_pair_list(ByteReader& in) {
  FS_TRY(const uint32_t count, in.u32());
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const uint32_t a, in.u32());
    FS_TRY(const uint32_t b, in.u32());
    pairs.emplace_back(a, b);
  }
  return pairs;
}

ReadResult<TerrainType> read_terrain_type(ByteReader& in) {
  TerrainType type;
  FS_TRY(type.name, read_text(in));
  FS_TRY(type.value, in.u32());
  FS_TRY(type.scene_types, read_u32_list(in));
  return type;
}

ReadResult<SceneType> read_scene_type(ByteReader& in) {
  SceneType type;
  FS_TRY(type.value, in.u32());
  FS_TRY(type.scenes, read_u32_list(in));
  return type;
}

}  // namespace

ReadResult<TerrainDesc> TerrainDesc::unpack(ByteReader& in) {
  TerrainDesc desc;
  FS_TRY(const uint32_t type_count, in.u32());
  for (uint32_t i = 0; i < type_count; ++i) {
    FS_TRY(TerrainType type, read_terrain_type(in));
    desc.terrain_types.push_back(std::move(type));
  }
  FS_TRY(desc.surface_a, in.u32());
  FS_TRY(desc.surface_b, in.u32());
  FS_TRY(desc.surface_pairs_a, read_pair_list(in));
  FS_TRY(desc.surface_pairs_b, read_pair_list(in));
  FS_TRY(desc.surface_pairs_c, read_pair_list(in));
  FS_TRY(const uint32_t entry_count, in.u32());
  for (uint32_t i = 0; i < entry_count; ++i) {
    std::array<uint32_t, 11> entry{};
    for (uint32_t& v : entry) {
      FS_TRY(v, in.u32());
    }
    desc.surface_entries.push_back(entry);
  }
  return desc;
}

ReadResult<SceneDesc> SceneDesc::unpack(ByteReader& in) {
  SceneDesc desc;
  FS_TRY(const uint32_t count, in.u32());
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(SceneType type, read_scene_type(in));
    desc.scene_types.push_back(std::move(type));
  }
  return desc;
}

ReadResult<RegionMisc> RegionMisc::unpack(ByteReader& in) {
  RegionMisc misc;
  for (uint32_t& v : misc.values) {
    FS_TRY(v, in.u32());
  }
  return misc;
}

ReadResult<Region> Region::unpack(ByteReader& in) {
  Region region;
  FS_TRY(region.id, in.u32());
  FS_TRY(region.header_a, in.u32());
  FS_TRY(region.header_b, in.u32());
  FS_TRY(region.name, read_text(in));
  for (uint32_t& v : region.layout) {
    FS_TRY(v, in.u32());
  }
  for (float& h : region.land_heights) {
    FS_TRY(h, in.f32());
  }
  FS_TRY(region.game_time, GameTime::unpack(in));
  FS_TRY(region.parts_mask, in.u32());
  // Stored in this order, which is not the order of the mask bits.
  if ((region.parts_mask & kSkyBit) != 0) {
    FS_TRY(region.sky_desc, SkyDesc::unpack(in));
  }
  if ((region.parts_mask & kSoundBit) != 0) {
    FS_TRY(region.sound_desc, SoundDesc::unpack(in));
  }
  if ((region.parts_mask & kSceneBit) != 0) {
    FS_TRY(region.scene_desc, SceneDesc::unpack(in));
  }
  FS_TRY(region.terrain_desc, TerrainDesc::unpack(in));
  if ((region.parts_mask & kMiscBit) != 0) {
    FS_TRY(region.misc, RegionMisc::unpack(in));
  }
  return region;
}

ReadResult<Region> Region::unpack(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return unpack(in);
}

}  // namespace fennistock::dat
