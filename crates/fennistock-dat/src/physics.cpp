#include "fennistock/dat/physics.h"

#include <algorithm>

#include <fmt/format.h>

namespace fennistock::dat {
namespace {
constexpr std::string_view kModule = "crates/fennistock-dat/src/physics";

constexpr uint32_t kLeafTag = 0x4C454146;    // "LEAF"
constexpr uint32_t kPortalTag = 0x504F5254;  // "PORT"

struct Children {
  bool pos = false;
  bool neg = false;
};

// Children exist only for B?I? and B?n?: 'P'/'N' give both, 'P'/'n' the positive, 'p'/'N' the
// negative; every other combination gives none.
Children children_of(uint32_t tag) {
  const char c0 = static_cast<char>(tag >> 24);
  const char c1 = static_cast<char>(tag >> 16);
  const char c2 = static_cast<char>(tag >> 8);
  const char c3 = static_cast<char>(tag);
  if (c0 != 'B' || (c2 != 'I' && c2 != 'n')) return {};
  if (c1 == 'P' && c3 == 'N') return {true, true};
  if (c1 == 'P' && c3 == 'n') return {true, false};
  if (c1 == 'p' && c3 == 'N') return {false, true};
  return {};
}

// u32 count, count x u16
ReadResult<std::vector<uint16_t>> read_u16_list(ByteReader& in, uint32_t count) {
  std::vector<uint16_t> ids;
  ids.reserve(std::min<size_t>(count, in.remaining() / 2));
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const uint16_t id, in.u16());
    ids.push_back(id);
  }
  return ids;
}

// The recursion runs through read_subtree and read_portal_body only; each node is built in
// place and the non-recursive field runs live in their own small functions, so that one tree
// level costs little stack (AddressSanitizer's frames included).
using Status = Result<void, ReadError>;

Status read_subtree(ByteReader& in, TreeKind kind, uint32_t depth, BspNode& node);

[[gnu::noinline]] Status read_leaf(ByteReader& in, TreeKind kind, BspLeaf& leaf) {
  FS_TRY(leaf.leaf_index, in.u32());
  if (kind != TreeKind::kPhysics) return {};
  FS_TRY(leaf.solid, in.u32());
  FS_TRY(leaf.sphere, read_sphere(in));
  FS_TRY(const uint32_t count, in.u32());
  FS_TRY(leaf.in_polys, read_u16_list(in, count));
  return {};
}

// The drawing-tree fields after a portal's children.
[[gnu::noinline]] Status read_portal_tail(ByteReader& in, TreeKind kind, BspPortal& portal) {
  if (kind != TreeKind::kDrawing) return {};
  FS_TRY(portal.sphere, read_sphere(in));
  // Both counts come before either list.
  FS_TRY(const uint32_t poly_count, in.u32());
  FS_TRY(const uint32_t portal_count, in.u32());
  FS_TRY(portal.in_polys, read_u16_list(in, poly_count));
  portal.portals.reserve(std::min<size_t>(portal_count, in.remaining() / 4));
  for (uint32_t i = 0; i < portal_count; ++i) {
    FS_TRY(const PortalPoly poly, PortalPoly::read(in));
    portal.portals.push_back(poly);
  }
  return {};
}

// The fields after an internal node's children.
[[gnu::noinline]] Status read_internal_tail(ByteReader& in, TreeKind kind, InternalNode& node) {
  if (kind == TreeKind::kCell) return {};
  FS_TRY(node.sphere, read_sphere(in));
  if (kind != TreeKind::kDrawing) return {};
  FS_TRY(const uint32_t count, in.u32());
  FS_TRY(node.in_polys, read_u16_list(in, count));
  return {};
}

[[gnu::noinline]] Status read_splitting_plane(ByteReader& in, Plane& plane) {
  FS_TRY(plane, read_plane(in));
  return {};
}

[[gnu::noinline]] ReadError too_deep(const ByteReader& in) {
  return ReadError::failed_check(in.position(),
                                 fmt::format("bsp tree nested deeper than {} levels", BspNode::kMaxDepth));
}

Status read_child(ByteReader& in, TreeKind kind, uint32_t depth, std::unique_ptr<BspNode>& child) {
  child = std::make_unique<BspNode>();
  return read_subtree(in, kind, depth, *child);
}

Status read_portal_body(ByteReader& in, TreeKind kind, uint32_t depth, BspPortal& portal) {
  FS_RETURN_IF_ERROR(read_splitting_plane(in, portal.splitting_plane));
  FS_RETURN_IF_ERROR(read_child(in, kind, depth + 1, portal.pos_node));
  FS_RETURN_IF_ERROR(read_child(in, kind, depth + 1, portal.neg_node));
  return read_portal_tail(in, kind, portal);
}

Status read_subtree(ByteReader& in, TreeKind kind, uint32_t depth, BspNode& node) {
  if (depth > BspNode::kMaxDepth) return too_deep(in);
  FS_TRY(const uint32_t tag, in.u32());
  if (tag == kLeafTag) return read_leaf(in, kind, node.node.emplace<BspLeaf>());
  if (tag == kPortalTag) return read_portal_body(in, kind, depth, node.node.emplace<BspPortal>());
  // Any other tag is an internal node; an unrecognised one simply has no children.
  InternalNode& internal = node.node.emplace<InternalNode>();
  internal.node_type = bsp_tag_text(tag);
  FS_RETURN_IF_ERROR(read_splitting_plane(in, internal.splitting_plane));
  const Children children = children_of(tag);
  if (children.pos) {
    FS_RETURN_IF_ERROR(read_child(in, kind, depth + 1, internal.pos_node));
  }
  if (children.neg) {
    FS_RETURN_IF_ERROR(read_child(in, kind, depth + 1, internal.neg_node));
  }
  return read_internal_tail(in, kind, internal);
}

}  // namespace

std::string bsp_tag_text(uint32_t tag) {
  return {static_cast<char>(tag >> 24), static_cast<char>(tag >> 16), static_cast<char>(tag >> 8),
          static_cast<char>(tag)};
}

ReadResult<PortalPoly> PortalPoly::read(ByteReader& in) {
  PortalPoly poly;
  FS_TRY_CTX(poly.portal_index, in.u16(), FS_FIELD("portal_index", "PortalPoly"));
  FS_TRY_CTX(poly.poly_id, in.u16(), FS_FIELD("poly_id", "PortalPoly"));
  return poly;
}

ReadResult<BspPortal> BspPortal::read(ByteReader& in, TreeKind kind) {
  BspPortal portal;
  FS_RETURN_IF_ERROR(read_portal_body(in, kind, 0, portal));
  return portal;
}

// A failure anywhere discards the nodes already read.
ReadResult<BspNode> BspNode::read(ByteReader& in, TreeKind kind) {
  BspNode node;
  FS_RETURN_IF_ERROR(read_subtree(in, kind, 0, node));
  return node;
}

}  // namespace fennistock::dat
