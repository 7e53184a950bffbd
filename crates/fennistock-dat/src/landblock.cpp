#include "fennistock/dat/landblock.h"

namespace fennistock::dat {
namespace {
constexpr std::string_view kModule = "crates/fennistock-dat/src/landblock";
}  // namespace

ReadResult<CellLandblock> CellLandblock::unpack(ByteReader& in) {
  CellLandblock cell;
  FS_TRY_CTX(cell.id, in.u32(), FS_FIELD("id", "CellLandblock"));
  FS_TRY_CTX(cell.has_objects, in.u32(), FS_FIELD("has_objects", "CellLandblock"));
  for (uint16_t& word : cell.terrain) {
    FS_TRY_CTX(word, in.u16(), FS_FIELD("terrain", "CellLandblock"));
  }
  for (uint8_t& h : cell.height) {
    FS_TRY_CTX(h, in.u8(), FS_FIELD("height", "CellLandblock"));
  }
  // Pads the record to 252 bytes; a record that stops at 251 is complete.
  FS_RETURN_IF_ERROR(in.skip(1));
  return cell;
}

ReadResult<CellLandblock> CellLandblock::unpack(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return unpack(in);
}

ReadResult<Frame> read_landblock_frame(ByteReader& in) {
  Frame frame;
  FS_TRY_CTX(frame.origin, read_vector3(in), FS_FIELD("origin", "Frame"));
  FS_TRY_CTX(frame.orientation, read_quaternion(in), FS_FIELD("orientation", "Frame"));
  return frame;
}

ReadResult<Stab> Stab::read(ByteReader& in) {
  Stab stab;
  FS_TRY_CTX(stab.id, in.u32(), FS_FIELD("id", "Stab"));
  FS_TRY_CTX(stab.frame, read_landblock_frame(in), FS_FIELD("frame", "Stab"));
  return stab;
}

ReadResult<PortalInternal> PortalInternal::read(ByteReader& in) {
  PortalInternal portal;
  FS_TRY_CTX(portal.flags, in.u16(), FS_FIELD("flags", "PortalInternal"));
  FS_TRY_CTX(portal.other_cell_id, in.u16(), FS_FIELD("other_cell_id", "PortalInternal"));
  FS_TRY_CTX(portal.other_portal_id, in.u16(), FS_FIELD("other_portal_id", "PortalInternal"));
  FS_TRY_CTX(portal.num_stabs, in.u16(), FS_FIELD("num_stabs", "PortalInternal"));
  for (uint16_t i = 0; i < portal.num_stabs; ++i) {
    FS_TRY_CTX(const uint16_t stab, in.u16(), FS_FIELD("stab_list", "PortalInternal"));
    portal.stab_list.push_back(stab);
  }
  // Brings the portal to a multiple of 4 bytes; the skipped bytes need not exist.
  FS_RETURN_IF_ERROR(in.skip((2u * portal.num_stabs) % 4));
  return portal;
}

ReadResult<BuildInfo> BuildInfo::read(ByteReader& in) {
  BuildInfo building;
  FS_TRY_CTX(building.model_id, in.u32(), FS_FIELD("model_id", "BuildInfo"));
  FS_TRY_CTX(building.frame, read_landblock_frame(in), FS_FIELD("frame", "BuildInfo"));
  FS_TRY_CTX(building.num_leaves, in.u32(), FS_FIELD("num_leaves", "BuildInfo"));
  FS_TRY_CTX(building.num_portals, in.u32(), FS_FIELD("num_portals", "BuildInfo"));
  for (uint32_t i = 0; i < building.num_portals; ++i) {
    FS_TRY_CTX(PortalInternal portal, PortalInternal::read(in), FS_FIELD("portals", "BuildInfo"));
    building.portals.push_back(std::move(portal));
  }
  return building;
}

ReadResult<RestrictionTable> RestrictionTable::read(ByteReader& in) {
  RestrictionTable table;
  FS_TRY_CTX(table.count, in.u16(), FS_FIELD("count", "RestrictionTable"));
  FS_TRY_CTX(table.bucket_size, in.u16(), FS_FIELD("_bucket_size", "RestrictionTable"));
  for (uint16_t i = 0; i < table.count; ++i) {
    FS_TRY_CTX(const uint32_t key, in.u32(), FS_FIELD("tables", "RestrictionTable"));
    FS_TRY_CTX(const uint32_t value, in.u32(), FS_FIELD("tables", "RestrictionTable"));
    table.tables.insert_or_assign(key, value);  // a repeated key keeps the last value
  }
  return table;
}

ReadResult<LandblockInfo> LandblockInfo::unpack(ByteReader& in) {
  LandblockInfo info;
  FS_TRY_CTX(info.id, in.u32(), FS_FIELD("id", "LandblockInfo"));
  FS_TRY_CTX(info.num_cells, in.u32(), FS_FIELD("num_cells", "LandblockInfo"));
  FS_TRY_CTX(info.num_objects, in.u32(), FS_FIELD("num_objects", "LandblockInfo"));
  for (uint32_t i = 0; i < info.num_objects; ++i) {
    FS_TRY_CTX(Stab stab, Stab::read(in), FS_FIELD("objects", "LandblockInfo"));
    info.objects.push_back(stab);
  }
  FS_TRY_CTX(info.num_buildings, in.u16(), FS_FIELD("num_buildings", "LandblockInfo"));
  FS_TRY_CTX(info.pack_mask, in.u16(), FS_FIELD("pack_mask", "LandblockInfo"));
  for (uint16_t i = 0; i < info.num_buildings; ++i) {
    FS_TRY_CTX(BuildInfo building, BuildInfo::read(in), FS_FIELD("buildings", "LandblockInfo"));
    info.buildings.push_back(std::move(building));
  }
  if ((info.pack_mask & 1) != 0) {
    FS_TRY_CTX(info.restriction_tables, RestrictionTable::read(in),
               FS_FIELD("restriction_tables", "LandblockInfo"));
  }
  return info;
}

ReadResult<LandblockInfo> LandblockInfo::unpack(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return unpack(in);
}

}  // namespace fennistock::dat
