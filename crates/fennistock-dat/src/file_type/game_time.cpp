#include "fennistock/dat/file_type/game_time.h"

#include "fennistock/dat/utils.h"

namespace fennistock::dat {
namespace {

// A 16-bit-length text, then the alignment step.
ReadResult<std::string> read_text(ByteReader& in) {
  FS_TRY(std::string text, read_pstring(in, 2));
  FS_RETURN_IF_ERROR(in.align4());
  return text;
}

// n u32 values into a fixed array.
template <size_t N>
ReadResult<std::array<uint32_t, N>> read_u32s(ByteReader& in) {
  std::array<uint32_t, N> values{};
  for (uint32_t& v : values) {
    FS_TRY(v, in.u32());
  }
  return values;
}

ReadResult<TimeOfDay> read_time_of_day(ByteReader& in) {
  TimeOfDay t;
  FS_TRY(t.value, in.u32());
  FS_TRY(const uint32_t flag, in.u32());
  t.flag = flag != 0;
  FS_TRY(t.name, read_text(in));
  return t;
}

// 11 x u32 | align | u32 count, count x (6 x u32, align)
ReadResult<SkyTimeOfDay> read_sky_time_of_day(ByteReader& in) {
  SkyTimeOfDay t;
  FS_TRY(t.values, read_u32s<11>(in));
  FS_RETURN_IF_ERROR(in.align4());
  FS_TRY(const uint32_t count, in.u32());
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const auto entry, read_u32s<6>(in));
    FS_RETURN_IF_ERROR(in.align4());
    t.inner_entries.push_back(entry);
  }
  return t;
}

// u32 value | text name | u32 count, count x (9 x u32, align) | u32 count, count x SkyTimeOfDay
ReadResult<DayGroup> read_day_group(ByteReader& in) {
  DayGroup group;
  FS_TRY(group.value, in.u32());
  FS_TRY(group.name, read_text(in));
  FS_TRY(const uint32_t entry_count, in.u32());
  for (uint32_t i = 0; i < entry_count; ++i) {
    FS_TRY(const auto entry, read_u32s<9>(in));
    FS_RETURN_IF_ERROR(in.align4());
    group.sky_entries.push_back(entry);
  }
  FS_TRY(const uint32_t time_count, in.u32());
  for (uint32_t i = 0; i < time_count; ++i) {
    FS_TRY(SkyTimeOfDay t, read_sky_time_of_day(in));
    group.sky_times.push_back(std::move(t));
  }
  return group;
}

// u32 value | u32 count, count x (5 x u32)
ReadResult<AmbientSTBDesc> read_ambient(ByteReader& in) {
  AmbientSTBDesc ambient;
  FS_TRY(ambient.value, in.u32());
  FS_TRY(const uint32_t count, in.u32());
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const auto sound, read_u32s<5>(in));
    ambient.sounds.push_back(sound);
  }
  return ambient;
}

}  // namespace

ReadResult<Season> Season::unpack(ByteReader& in) {
  Season season;
  FS_TRY(season.value, in.u32());
  FS_TRY(season.name, read_text(in));
  return season;
}

ReadResult<GameTime> GameTime::unpack(ByteReader& in) {
  GameTime time;
  FS_TRY(time.time_a, in.f64());
  FS_TRY(time.time_b, in.u32());
  FS_TRY(time.time_c, in.u32());
  FS_TRY(time.time_d, in.u32());
  FS_TRY(time.label, read_text(in));
  FS_TRY(const uint32_t times_count, in.u32());
  for (uint32_t i = 0; i < times_count; ++i) {
    FS_TRY(TimeOfDay t, read_time_of_day(in));
    time.times_of_day.push_back(std::move(t));
  }
  FS_TRY(const uint32_t names_count, in.u32());
  for (uint32_t i = 0; i < names_count; ++i) {
    FS_TRY(std::string name, read_text(in));
    time.names.push_back(std::move(name));
  }
  FS_TRY(const uint32_t seasons_count, in.u32());
  for (uint32_t i = 0; i < seasons_count; ++i) {
    FS_TRY(Season season, Season::unpack(in));
    time.seasons.push_back(std::move(season));
  }
  return time;
}

ReadResult<SkyDesc> SkyDesc::unpack(ByteReader& in) {
  SkyDesc sky;
  FS_TRY(sky.sky_a, in.f64());
  FS_TRY(sky.sky_b, in.f64());
  FS_RETURN_IF_ERROR(in.align4());
  FS_TRY(const uint32_t count, in.u32());
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(DayGroup group, read_day_group(in));
    sky.day_groups.push_back(std::move(group));
  }
  return sky;
}

ReadResult<SoundDesc> SoundDesc::unpack(ByteReader& in) {
  SoundDesc sound;
  FS_TRY(const uint32_t count, in.u32());
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(AmbientSTBDesc ambient, read_ambient(in));
    sound.ambient.push_back(std::move(ambient));
  }
  return sound;
}

}  // namespace fennistock::dat
