#include "fennistock/dat/file_type/game_time.h"

#include <gtest/gtest.h>

#include <bit>

#include "testing/record_builders.h"

namespace fennistock::dat {
namespace {

using testing::RecordWriter;

template <typename T>
uint64_t consumed_by(const std::vector<uint8_t>& bytes) {
  ByteReader in(bytes);
  const auto r = T::unpack(in);
  EXPECT_TRUE(r.ok()) << r.error().to_string();
  return in.position();
}

TEST(RegionSectionsTest, SectionSizes) {
  struct Case {
    std::string_view name;
    uint64_t (*read)(const std::vector<uint8_t>&);
    std::vector<uint8_t> bytes;
    uint64_t size;
  };
  const Case kCases[] = {
      {"empty calendar", consumed_by<GameTime>,
       RecordWriter().f64(1.5).u32(1).u32(2).u32(3).u16(0).zeros(2).u32(0).u32(0).u32(0).u32(7).take(), 36},
      {"sky without day groups", consumed_by<SkyDesc>, RecordWriter().f64(1).f64(2).u32(0).u32(7).take(), 20},
      {"sky with a 5-byte day group name", consumed_by<SkyDesc>,
       RecordWriter().f64(1).f64(2).u32(1).u32(9).pstring16("Clear").zeros(1).u32(0).u32(0).u32(7).take(), 40},
      {"sound with two sounds", consumed_by<SoundDesc>,
       RecordWriter().u32(1).u32(4).u32(2).zeros(40).u32(7).take(), 52},
      {"season with a 3-byte name", consumed_by<Season>, RecordWriter().u32(1).pstring16("Sun").zeros(3).take(), 12},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.read(c.bytes), c.size);
  }
}

TEST(RegionSectionsTest, SkyAlignsAfterItsDoubles) {
  // Starting at position 2, the doubles end at 18 and the count is read at 20.
  const std::vector<uint8_t> bytes = RecordWriter().u16(0).f64(1).f64(2).u16(0xFFFF).u32(0).take();
  ByteReader in(bytes);
  ASSERT_TRUE(in.u16().ok());
  const auto sky = SkyDesc::unpack(in);
  ASSERT_TRUE(sky.ok());
  EXPECT_TRUE(sky->day_groups.empty());
  EXPECT_EQ(in.position(), 24u);
}

TEST(RegionSectionsTest, CalendarEntries) {
  const std::vector<uint8_t> bytes = RecordWriter()
                                         .f64(0.5)
                                         .u32(1)
                                         .u32(2)
                                         .u32(3)
                                         .text("Year")
                                         .u32(2)
                                         .u32(10).u32(2).text("Dawn")  // flag 2 is true
                                         .u32(11).u32(0).text("Dusk")
                                         .u32(1)
                                         .text("Morningthaw")
                                         .u32(1)
                                         .u32(90).text("Spring")
                                         .take();
  ByteReader in(bytes);
  const auto time = GameTime::unpack(in);
  ASSERT_TRUE(time.ok()) << time.error().to_string();
  EXPECT_EQ(std::bit_cast<uint64_t>(time->time_a), std::bit_cast<uint64_t>(0.5));
  EXPECT_EQ(time->time_d, 3u);
  EXPECT_EQ(time->label, "Year");
  ASSERT_EQ(time->times_of_day.size(), 2u);
  EXPECT_TRUE(time->times_of_day[0].flag);
  EXPECT_FALSE(time->times_of_day[1].flag);
  EXPECT_EQ(time->times_of_day[1].name, "Dusk");
  EXPECT_EQ(time->names, std::vector<std::string>{"Morningthaw"});
  ASSERT_EQ(time->seasons.size(), 1u);
  EXPECT_EQ(time->seasons[0].value, 90u);
  EXPECT_EQ(time->seasons[0].name, "Spring");
}

TEST(RegionSectionsTest, HugeCountsFailAtTheEndOfTheBytes) {
  const std::vector<uint8_t> sky = RecordWriter().f64(1).f64(2).u32(0xFFFFFFFF).u32(0).take();
  const std::vector<uint8_t> sound = RecordWriter().u32(1).u32(0).u32(0xFFFFFFFF).u32(0).take();
  ByteReader sky_in(sky);
  ByteReader sound_in(sound);
  const auto s = SkyDesc::unpack(sky_in);
  ASSERT_FALSE(s.ok());
  EXPECT_TRUE(s.error().is_unexpected_eof());
  const auto a = SoundDesc::unpack(sound_in);
  ASSERT_FALSE(a.ok());
  EXPECT_TRUE(a.error().is_unexpected_eof());
}

}  // namespace
}  // namespace fennistock::dat
