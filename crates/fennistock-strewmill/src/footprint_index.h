// FootprintIndex: "does this box overlap any box stored so far", answered with exactly the overlap
// rule of internal::overlaps but without comparing against every stored box.
//
// A landblock may accept a great many footprints (a hostile Scene record with thousands of object
// descriptions of tiny or empty meshes), and comparing each new object with every earlier one is
// quadratic. The index keeps boxes in a uniform grid over the landblock, so a query compares only
// boxes that share a grid cell with it; the few shapes a grid cannot place are kept in short lists
// that are scanned only for the queries that could overlap them:
//
//  - a box with a bound of NaN (never produced by a footprint) is compared with every query, and a
//    query with a NaN bound is compared with every box;
//  - a box inverted on an axis (min > max) overlaps a query on that axis only when the query
//    contains the interval [max, min]; it is placed in the grid by that interval, unless the axis
//    is (+inf, -inf), the footprint of an empty or all-NaN mesh, which overlaps only queries that
//    span (-inf, +inf) on that axis and goes to a list scanned for such queries alone;
//  - a query that is (+inf, -inf) on an axis overlaps only boxes spanning (-inf, +inf) on that
//    axis, which are also kept in a list of their own.
//
// Until kGridThreshold boxes are stored, a query simply compares every box: most landblocks accept
// a few dozen objects, and building the grid would cost more than it saves.
//
// The cell of a coordinate is monotone in the coordinate (infinities clamp to the border cells),
// so two boxes that share a point share a cell whatever the rounding.
#pragma once

#include <cstdint>
#include <vector>

#include "fennistock/strewmill/lib.h"

namespace fennistock::strewmill::internal {

class FootprintIndex {
 public:
  FootprintIndex();

  void insert(const BuildingFootprint& box);
  // True when `box` overlaps a stored box under internal::overlaps (in that argument order).
  [[nodiscard]] bool overlaps_any(const BuildingFootprint& box) const;
  [[nodiscard]] size_t size() const { return boxes_.size(); }

  // Cells per axis over [0, 192].
  static constexpr int kCells = 64;
  // Boxes stored before the grid is built.
  static constexpr size_t kGridThreshold = 64;

 private:
  static int cell_of(float v);
  // Files box `id` in the grid or in the list for its shape.
  void place(uint32_t id);
  bool any_of(const std::vector<uint32_t>& ids, const BuildingFootprint& box) const;

  std::vector<BuildingFootprint> boxes_;
  std::vector<std::vector<uint32_t>> cells_;  // kCells * kCells, x major; empty until the threshold
  std::vector<uint32_t> nan_;                 // a bound is NaN
  std::vector<uint32_t> inverted_infinite_;   // (+inf, -inf) on an axis; not in the grid
  std::vector<uint32_t> full_span_;           // (-inf, +inf) on an axis
};

}  // namespace fennistock::strewmill::internal
