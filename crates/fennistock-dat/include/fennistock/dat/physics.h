// BSP trees over a graphics object's polygons. One node encoding serves every tree; which fields
// a node carries depends on the tree kind passed down the recursion. Error contexts name the
// module "crates/fennistock-dat/src/physics"; the node readers add none of their own.
//
// Node tags are u32 values whose four characters read from the most significant byte down, so
// the tag LEAF is stored as the bytes 46 41 45 4C.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "fennistock/common/byte_reader.h"
#include "fennistock/common/math.h"

namespace fennistock::dat {

enum class TreeKind : uint8_t { kDrawing = 0, kPhysics = 1, kCell = 2 };

struct BspNode;

// u16 portal_index | u16 poly_id (4 bytes)
struct PortalPoly {
  uint16_t portal_index = 0;
  uint16_t poly_id = 0;
  static ReadResult<PortalPoly> read(ByteReader& in);
};

// Tag LEAF, then u32 leaf_index; in physics trees also u32 solid | Sphere | u32 count |
// count x u16 in_polys.
struct BspLeaf {
  uint32_t leaf_index = 0;
  uint32_t solid = 0;             // 0 unless physics
  std::optional<Sphere> sphere;   // physics only
  std::vector<uint16_t> in_polys; // empty unless physics
};

// Tag PORT, then Plane | pos_node | neg_node; in drawing trees also Sphere | u32 poly count |
// u32 portal count | poly count x u16 in_polys | portal count x PortalPoly.
struct BspPortal {
  Plane splitting_plane;
  std::unique_ptr<BspNode> pos_node;  // always present once read
  std::unique_ptr<BspNode> neg_node;  // always present once read
  std::optional<Sphere> sphere;       // drawing only
  std::vector<uint16_t> in_polys;     // empty unless drawing
  std::vector<PortalPoly> portals;    // empty unless drawing

  // Reads the body after the PORT tag.
  static ReadResult<BspPortal> read(ByteReader& in, TreeKind kind);
};

// Any other tag, then Plane | children by tag | Sphere unless cell | in drawing trees u32 count,
// count x u16 in_polys. Tags B?I? / B?n? have children: 'P'+'N' both, 'P'+'n' positive,
// 'p'+'N' negative; every other tag has none.
struct InternalNode {
  std::string node_type;  // the tag's four characters in reading order ("BPIN")
  Plane splitting_plane;
  std::unique_ptr<BspNode> pos_node;  // null when the tag names no positive child
  std::unique_ptr<BspNode> neg_node;  // null when the tag names no negative child
  std::optional<Sphere> sphere;       // absent in cell trees
  std::vector<uint16_t> in_polys;     // empty unless drawing
};

// One node with all of its descendants; each child is owned by its parent.
struct BspNode {
  // Nodes nested deeper than this fail the read with a failed check: far beyond any real tree,
  // and shallow enough that the recursive reader cannot exhaust the stack.
  static constexpr uint32_t kMaxDepth = 1024;

  std::variant<BspLeaf, BspPortal, InternalNode> node;

  static ReadResult<BspNode> read(ByteReader& in, TreeKind kind);
};

// The characters of a tag in reading order (most significant byte first).
[[nodiscard]] std::string bsp_tag_text(uint32_t tag);

}  // namespace fennistock::dat
