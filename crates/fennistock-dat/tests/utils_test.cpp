#include "fennistock/dat/utils.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace fennistock::dat {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReadPstringTest, LengthPrefixAndCursor) {
  struct Case {
    int length_size;
    Bytes bytes;
    std::optional<std::string> text;  // nullopt: end of data
    uint64_t position;
  };
  const Case kCases[] = {
      {2, {0x03, 0x00, 'a', 'b', 'c', 'x'}, "abc", 5},
      {2, {0x00, 0x00, 'a'}, "", 2},
      {1, {0x02, 'h', 'i'}, "hi", 3},
      {4, {0x01, 0x00, 0x00, 0x00, 'z'}, "z", 5},
      {2, {0x04, 0x00, 'a', 'b'}, std::nullopt, 4},  // length beyond the bytes: cursor at the end
      {4, {0xFF, 0xFF, 0xFF, 0xFF, 'a'}, std::nullopt, 5},
      {2, {0x01}, std::nullopt, 1},  // the length itself is cut short
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    ByteReader in(c.bytes);
    const ReadResult<std::string> r = read_pstring(in, c.length_size);
    if (c.text) {
      ASSERT_TRUE(r.ok()) << r.error().to_string();
      EXPECT_EQ(*r, *c.text);
    } else {
      ASSERT_FALSE(r.ok());
      EXPECT_TRUE(r.error().is_unexpected_eof());
      EXPECT_EQ(r.error().to_string(), "failed to fill whole buffer");
    }
    EXPECT_EQ(in.position(), c.position);
  }
}

TEST(ReadPstringTest, UnsupportedLengthSizeReadsNothing) {
  const Bytes bytes = {0x00, 0x01, 0x00, 'a'};
  for (const int size : {0, 3, 8, -1}) {
    SCOPED_TRACE(size);
    ByteReader in(bytes);
    ASSERT_TRUE(in.skip(1).ok());
    const ReadResult<std::string> r = read_pstring(in, size);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind(), ReadError::Kind::kFailedCheck);
    EXPECT_EQ(r.error().check_message(), "Unsupported PString length size");
    EXPECT_EQ(r.error().position(), 1u);
    EXPECT_EQ(in.position(), 1u);
  }
}

// The string bytes alone (after a 16-bit length) and the UTF-8 text they decode to.
TEST(ReadPstringTest, DecodesByByteOrderMark) {
  struct Case {
    Bytes bytes;
    std::string text;
  };
  const Case kCases[] = {
      // Windows-1252, every byte maps; the five holes of 0x80..0x9F are C1 controls.
      {{0xE9}, "\u00E9"},
      {{0x80, 0x9F, 0x8A, 0x99}, "\u20AC\u0178\u0160\u2122"},
      {{0x81, 0x8D, 0x8F, 0x90, 0x9D}, "\u0081\u008D\u008F\u0090\u009D"},
      {{0x00, 0x7F, 0xA0, 0xFF}, std::string("\0\x7F", 2) + "\u00A0\u00FF"},
      {{0xEF, 0xBB}, "\u00EF\u00BB"},  // too short for the UTF-8 mark
      {{0xFE}, "\u00FE"},
      // UTF-8, the mark dropped.
      {{0xEF, 0xBB, 0xBF, 'A'}, "A"},
      {{0xEF, 0xBB, 0xBF}, ""},
      {{0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, "\u00E9\U0001F600"},
      // One U+FFFD per maximal ill-formed subpart.
      {{0xEF, 0xBB, 0xBF, 0xC3, 0x28}, "\uFFFD("},
      {{0xEF, 0xBB, 0xBF, 0xE2, 0x82, 0x41}, "\uFFFDA"},
      {{0xEF, 0xBB, 0xBF, 0xE0, 0x80, 0x80}, "\uFFFD\uFFFD\uFFFD"},       // overlong
      {{0xEF, 0xBB, 0xBF, 0xED, 0xA0, 0x80}, "\uFFFD\uFFFD\uFFFD"},       // surrogate
      {{0xEF, 0xBB, 0xBF, 0xF4, 0x90, 0x80, 0x80}, "\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {{0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98}, "\uFFFD"},                  // cut at the end
      {{0xEF, 0xBB, 0xBF, 0xFF, 0x80, 'a'}, "\uFFFD\uFFFDa"},
      // UTF-16 little-endian, then big-endian.
      {{0xFF, 0xFE, 'A', 0x00}, "A"},
      {{0xFF, 0xFE}, ""},
      {{0xFF, 0xFE, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}, "\u00E9\U0001F600"},
      {{0xFF, 0xFE, 0x00, 0xDC, 'A', 0x00}, "\uFFFDA"},  // lone trail surrogate
      {{0xFF, 0xFE, 0x3D, 0xD8, 'A', 0x00}, "\uFFFDA"},  // lead surrogate without its trail
      {{0xFF, 0xFE, 'A', 0x00, 'B'}, "A\uFFFD"},         // odd trailing byte
      {{0xFF, 0xFE, 0x3D, 0xD8}, "\uFFFD"},              // lead surrogate at the end
      {{0xFF, 0xFE, 0x3D, 0xD8, 'B'}, "\uFFFD"},         // and an odd byte: one replacement
      {{0xFE, 0xFF, 0x00, 'A', 0xD8, 0x3D, 0xDE, 0x00}, "A\U0001F600"},
      {{0xFE, 0xFF, 0xDC, 0x00, 0x00}, "\uFFFD\uFFFD"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    Bytes record = {static_cast<uint8_t>(c.bytes.size()), 0x00};
    record.insert(record.end(), c.bytes.begin(), c.bytes.end());
    ByteReader in(record);
    const ReadResult<std::string> r = read_pstring(in, 2);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(*r, c.text);
    EXPECT_EQ(in.position(), record.size());
  }
}

TEST(ReadCompressedU32Test, Encodings) {
  struct Case {
    Bytes bytes;
    std::optional<uint32_t> value;  // nullopt: end of data
    uint64_t position;
  };
  const Case kCases[] = {
      {{0x05, 0xAA}, 5, 1},
      {{0x7F}, 0x7F, 1},
      {{0x81, 0x02}, 0x102, 2},
      {{0x80, 0x80}, 0x80, 2},
      {{0xBF, 0xFF}, 0x3FFF, 2},
      {{0xC0, 0x00, 0x00, 0x00}, 0, 4},
      {{0xC1, 0x02, 0x04, 0x03, 0xAA}, 0x01020304, 4},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0x3FFFFFFF, 4},
      {{0x81}, std::nullopt, 1},
      {{0xC1, 0x02, 0x04}, std::nullopt, 3},
      {{}, std::nullopt, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    ByteReader in(c.bytes);
    const ReadResult<uint32_t> r = read_compressed_u32(in);
    if (c.value) {
      ASSERT_TRUE(r.ok());
      EXPECT_EQ(*r, *c.value);
    } else {
      ASSERT_FALSE(r.ok());
      EXPECT_TRUE(r.error().is_unexpected_eof());
    }
    EXPECT_EQ(in.position(), c.position);
  }
}

TEST(ReadSmartVecTest, CountThenValues) {
  struct Case {
    Bytes bytes;
    std::optional<std::vector<uint32_t>> values;  // nullopt: end of data
  };
  const Case kCases[] = {
      {{0x02, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}, std::vector<uint32_t>{1, 2}},
      {{0x00, 0x07}, std::vector<uint32_t>{}},
      {{0x80, 0x01, 0x78, 0x56, 0x34, 0x12}, std::vector<uint32_t>{0x12345678}},  // 2-byte count
      {{0x02, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00}, std::nullopt},           // last item short
      // A corrupt count near 0x3FFFFFFF ends at the real end of the bytes.
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    ByteReader in(c.bytes);
    const ReadResult<std::vector<uint32_t>> r = read_smart_vec(in);
    if (c.values) {
      ASSERT_TRUE(r.ok());
      EXPECT_EQ(*r, *c.values);
    } else {
      ASSERT_FALSE(r.ok());
      EXPECT_TRUE(r.error().is_unexpected_eof());
    }
  }
}

}  // namespace
}  // namespace fennistock::dat
