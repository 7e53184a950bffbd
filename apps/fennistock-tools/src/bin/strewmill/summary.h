// The end-of-run placement statistics and the summary line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fennistock::tool {

struct DistributionSummary {
  uint64_t min = 0;
  uint64_t p50 = 0;  // element n / 2 of the sorted counts (the upper middle for even n)
  uint64_t max = 0;
  uint64_t total = 0;
  uint64_t nonzero = 0;
};

// Nothing for no counts.
[[nodiscard]] std::optional<DistributionSummary> distribution_summary(std::span<const uint64_t> counts);

// "strewmill done: ..." with its line feed, for `counts` placements per baked landblock.
[[nodiscard]] std::string format_summary_line(std::span<const uint64_t> counts, uint64_t skipped);

}  // namespace fennistock::tool
