// Float-to-integer conversion with defined results for every input.
#pragma once

#include <cstdint>
#include <limits>

namespace fennistock::strewmill::internal {

// v truncated toward zero to a signed 32-bit integer, saturating at the type's bounds; NaN gives
// 0. A plain cast is undefined for these inputs.
[[nodiscard]] inline int32_t saturating_i32(float v) {
  if (v != v) return 0;
  if (v >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace fennistock::strewmill::internal
