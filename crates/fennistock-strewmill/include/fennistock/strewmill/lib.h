// The scenery bake: the procedure that turns one landblock's terrain, the Region's tables and the
// integer hash noise into the ordered list of scenery objects that stand on it.
//
// Pure apart from the two lookups it is given; performs no I/O and never fails.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fennistock/common/math.h"
#include "fennistock/common/result.h"
#include "fennistock/dat/file_type/object_desc.h"
#include "fennistock/dat/file_type/region.h"
#include "fennistock/dat/landblock.h"

namespace fennistock::strewmill {

// "ace-compat": triangle-plane heights, no slope test (the server's own derivation).
// "strict": bilinear heights and the slope test, for renderers.
enum class BakeMode { kAceCompat, kStrict };

// The canonical name: "ace-compat" or "strict".
[[nodiscard]] std::string_view canonical_name(BakeMode mode);
// Accepts "ace-compat", "ace_compat", "acecompat" and "strict", exactly and case-sensitively;
// otherwise the text "unknown BakeMode `{}` (expected `ace-compat` or `strict`)".
Result<BakeMode, std::string> parse_bake_mode(std::string_view text);

// One placed object, in the landblock's local frame.
struct Placement {
  uint32_t obj_id = 0;
  float x = 0, y = 0, z = 0;
  float qw = 1, qx = 0, qy = 0, qz = 0;  // qx and qy always 0
  float scale = 1;
  uint32_t source_cell_x = 0;   // column (0-8) of the vertex whose scene produced it
  uint32_t source_cell_y = 0;   // row (0-8)
  uint32_t source_obj_idx = 0;  // index of the description within its scene
};

// An axis-aligned ground box in the landblock's local frame.
struct BuildingFootprint {
  float min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};

// Supplies the object descriptions of a Scene record, or nothing when the record is missing or
// unreadable. The span stays valid at least until the next call on the same source.
class SceneLookup {
 public:
  virtual ~SceneLookup() = default;
  virtual std::optional<std::span<const dat::ObjectDesc>> scene(uint32_t scene_id) = 0;
};

// Supplies an object's footprint mesh (points in its own frame; x and y are used), or nothing
// when it has none. Must answer the same id the same way for a whole run. The span stays valid
// at least until the next call on the same source.
class MeshLookup {
 public:
  virtual ~MeshLookup() = default;
  virtual std::optional<std::span<const Vector3>> mesh(uint32_t obj_id) = 0;
};

// The placements of one landblock, ordered by vertex index, then object index.
// `landblock_id` holds the column in bits 24-31 and the row in bits 16-23 (0xXXYY << 16).
[[nodiscard]] std::vector<Placement> bake_landblock_impl(const dat::Region& region,
                                                         const dat::CellLandblock& cell,
                                                         uint32_t landblock_id, SceneLookup& scenes,
                                                         MeshLookup& meshes,
                                                         std::span<const BuildingFootprint> buildings,
                                                         BakeMode mode);

}  // namespace fennistock::strewmill
