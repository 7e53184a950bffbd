#include "footprint_index.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "footprint.h"

namespace fennistock::strewmill::internal {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kCellWidth = 192.0f / FootprintIndex::kCells;

bool has_nan(const BuildingFootprint& b) {
  return std::isnan(b.min_x) || std::isnan(b.min_y) || std::isnan(b.max_x) || std::isnan(b.max_y);
}
bool inverted_infinite(float lo, float hi) { return lo == kInf && hi == -kInf; }
bool full_span(float lo, float hi) { return lo == -kInf && hi == kInf; }

}  // namespace

FootprintIndex::FootprintIndex() = default;

int FootprintIndex::cell_of(float v) {
  // REQUIRES: v is not NaN. Monotone in v: floor is, and so is the clamp.
  if (!(v >= 0.0f)) return 0;
  if (!(v < 192.0f)) return kCells - 1;
  return std::min(kCells - 1, static_cast<int>(std::floor(v / kCellWidth)));
}

void FootprintIndex::insert(const BuildingFootprint& box) {
  boxes_.push_back(box);
  if (!cells_.empty()) {
    place(static_cast<uint32_t>(boxes_.size() - 1));
  } else if (boxes_.size() >= kGridThreshold) {
    // Enough boxes that scanning them all costs more than the grid: build it now.
    cells_.resize(kCells * kCells);
    for (uint32_t id = 0; id < boxes_.size(); ++id) place(id);
  }
}

void FootprintIndex::place(uint32_t id) {
  const BuildingFootprint& box = boxes_[id];
  if (has_nan(box)) {
    nan_.push_back(id);
    return;
  }
  if (full_span(box.min_x, box.max_x) || full_span(box.min_y, box.max_y)) full_span_.push_back(id);
  if (inverted_infinite(box.min_x, box.max_x) || inverted_infinite(box.min_y, box.max_y)) {
    inverted_infinite_.push_back(id);
    return;
  }
  // An inverted axis is placed by the interval between its bounds.
  const int x0 = cell_of(std::min(box.min_x, box.max_x));
  const int x1 = cell_of(std::max(box.min_x, box.max_x));
  const int y0 = cell_of(std::min(box.min_y, box.max_y));
  const int y1 = cell_of(std::max(box.min_y, box.max_y));
  for (int cx = x0; cx <= x1; ++cx) {
    for (int cy = y0; cy <= y1; ++cy) cells_[static_cast<size_t>(cx * kCells + cy)].push_back(id);
  }
}

bool FootprintIndex::any_of(const std::vector<uint32_t>& ids, const BuildingFootprint& box) const {
  for (const uint32_t id : ids) {
    if (overlaps(box, boxes_[id])) return true;
  }
  return false;
}

bool FootprintIndex::overlaps_any(const BuildingFootprint& box) const {
  if (cells_.empty() || has_nan(box)) {
    for (const BuildingFootprint& other : boxes_) {
      if (overlaps(box, other)) return true;
    }
    return false;
  }
  if (any_of(nan_, box)) return true;
  // (+inf, -inf) on an axis: only a box spanning (-inf, +inf) there can overlap it.
  if (inverted_infinite(box.min_x, box.max_x) || inverted_infinite(box.min_y, box.max_y)) {
    return any_of(full_span_, box);
  }
  if ((full_span(box.min_x, box.max_x) || full_span(box.min_y, box.max_y)) && any_of(inverted_infinite_, box)) {
    return true;
  }
  // Any other box that overlaps this one shares a point with it on each axis (for an inverted
  // axis, a point of the interval between its bounds), hence a grid cell.
  const int x0 = cell_of(std::min(box.min_x, box.max_x));
  const int x1 = cell_of(std::max(box.min_x, box.max_x));
  const int y0 = cell_of(std::min(box.min_y, box.max_y));
  const int y1 = cell_of(std::max(box.min_y, box.max_y));
  for (int cx = x0; cx <= x1; ++cx) {
    for (int cy = y0; cy <= y1; ++cy) {
      if (any_of(cells_[static_cast<size_t>(cx * kCells + cy)], box)) return true;
    }
  }
  return false;
}

}  // namespace fennistock::strewmill::internal
