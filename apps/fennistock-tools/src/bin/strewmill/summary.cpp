#include "summary.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

namespace fennistock::tool {

std::optional<DistributionSummary> distribution_summary(std::span<const uint64_t> counts) {
  if (counts.empty()) return std::nullopt;
  std::vector<uint64_t> sorted(counts.begin(), counts.end());
  std::sort(sorted.begin(), sorted.end());
  DistributionSummary s;
  s.min = sorted.front();
  s.max = sorted.back();
  s.p50 = sorted[sorted.size() / 2];
  for (const uint64_t c : sorted) {
    s.total += c;
    if (c != 0) ++s.nonzero;
  }
  return s;
}

std::string format_summary_line(std::span<const uint64_t> counts, uint64_t skipped) {
  const std::optional<DistributionSummary> s = distribution_summary(counts);
  if (!s) return fmt::format("strewmill done: 0 LBs baked, {} skipped\n", skipped);
  return fmt::format(
      "strewmill done: {} LBs baked, {} skipped, placements min/p50/max={}/{}/{} total={} nonzero_lbs={}\n",
      counts.size(), skipped, s->min, s->p50, s->max, s->total, s->nonzero);
}

}  // namespace fennistock::tool
