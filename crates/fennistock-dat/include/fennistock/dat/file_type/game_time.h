// The Region record's calendar, sky and ambient-sound sections. The bake uses none of their
// values; they are read exactly because they stand ahead of the terrain tables. Every count is a
// plain u32; texts are 16-bit-length strings followed by the alignment step. No context frames.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fennistock/common/byte_reader.h"

namespace fennistock::dat {

// u32 value | u32 flag (non-zero is true) | text name
struct TimeOfDay {
  uint32_t value = 0;
  bool flag = false;
  std::string name;
};

// u32 value | text name
struct Season {
  uint32_t value = 0;
  std::string name;
  static ReadResult<Season> unpack(ByteReader& in);
};

// f64 time_a | u32 time_b | u32 time_c | u32 time_d | text label | times_of_day | names | seasons
struct GameTime {
  double time_a = 0;
  uint32_t time_b = 0;
  uint32_t time_c = 0;
  uint32_t time_d = 0;
  std::string label;
  std::vector<TimeOfDay> times_of_day;
  std::vector<std::string> names;
  std::vector<Season> seasons;
  static ReadResult<GameTime> unpack(ByteReader& in);
};

// 11 x u32 values, align | u32 count, count x (6 x u32, align)
struct SkyTimeOfDay {
  std::array<uint32_t, 11> values{};
  std::vector<std::array<uint32_t, 6>> inner_entries;
};

// u32 value | text name | u32 count, count x (9 x u32, align) | u32 count, count x SkyTimeOfDay
struct DayGroup {
  uint32_t value = 0;
  std::string name;
  std::vector<std::array<uint32_t, 9>> sky_entries;
  std::vector<SkyTimeOfDay> sky_times;
};

// f64 sky_a | f64 sky_b | align | u32 count, count x DayGroup
struct SkyDesc {
  double sky_a = 0;
  double sky_b = 0;
  std::vector<DayGroup> day_groups;
  static ReadResult<SkyDesc> unpack(ByteReader& in);
};

// u32 value | u32 count, count x (5 x u32)
struct AmbientSTBDesc {
  uint32_t value = 0;
  std::vector<std::array<uint32_t, 5>> sounds;
};

// u32 count, count x AmbientSTBDesc
struct SoundDesc {
  std::vector<AmbientSTBDesc> ambient;
  static ReadResult<SoundDesc> unpack(ByteReader& in);
};

}  // namespace fennistock::dat
