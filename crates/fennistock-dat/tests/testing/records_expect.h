// Expectations shared by the record reader tests (header only; test executables link GoogleTest).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fennistock/common/read_error.h"

namespace fennistock::testing {

// A context frame as (message, module), for comparing whole chains.
using FrameText = std::pair<std::string, std::string>;

inline std::vector<FrameText> frame_texts(const ReadError& e) {
  std::vector<FrameText> out;
  for (const ContextFrame& f : e.frames()) out.emplace_back(f.message, std::string(f.module));
  return out;
}

inline FrameText field(std::string_view name, std::string_view record, std::string_view module) {
  return {"While parsing field '" + std::string(name) + "' in " + std::string(record), std::string(module)};
}

inline constexpr std::string_view kMathModule = "crates/fennistock-common/src/math";
inline constexpr std::string_view kLandblockModule = "crates/fennistock-dat/src/landblock";
inline constexpr std::string_view kGraphicsModule = "crates/fennistock-dat/src/graphics";
inline constexpr std::string_view kPhysicsModule = "crates/fennistock-dat/src/physics";
inline constexpr std::string_view kSetupModule = "crates/fennistock-dat/src/file_type/setup_model";

// read(bytes) -> ReadResult<T>. Every prefix shorter than `complete_at` must fail with the
// end-of-data error (with `outermost` as its outermost frame message when given, or no frames at
// all when `frameless`); prefixes from `complete_at` to the full record must succeed.
template <typename Read>
void expect_prefixes_fail(const std::vector<uint8_t>& full, Read read, size_t complete_at,
                          std::string_view outermost = {}, bool frameless = false) {
  ASSERT_LE(complete_at, full.size());
  for (size_t n = 0; n < complete_at; ++n) {
    SCOPED_TRACE(n);
    const auto r = read(std::span<const uint8_t>(full).first(n));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(r.error().is_unexpected_eof()) << r.error().to_string();
    if (frameless) {
      EXPECT_TRUE(r.error().frames().empty()) << r.error().to_string();
    }
    if (!outermost.empty()) {
      ASSERT_FALSE(r.error().frames().empty());
      EXPECT_EQ(r.error().frames().back().message, outermost);
    }
  }
  for (size_t n = complete_at; n <= full.size(); ++n) {
    SCOPED_TRACE(n);
    const auto r = read(std::span<const uint8_t>(full).first(n));
    EXPECT_TRUE(r.ok()) << r.error().to_string();
  }
}

}  // namespace fennistock::testing
