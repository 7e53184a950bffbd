// Builders of record bytes, one per record type, each writing the fields in the record's stored
// order. Counts are written from the lists given, so a builder always produces a well-formed
// record; tests that need a lying count or a cut record write or trim the bytes themselves.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fennistock/common/math.h"
#include "fennistock/dat/file_type/gfx_obj.h"
#include "fennistock/dat/file_type/region.h"
#include "fennistock/dat/file_type/scene.h"
#include "fennistock/dat/file_type/setup_model.h"
#include "fennistock/dat/landblock.h"
#include "testing/record_writer.h"

namespace fennistock::testing {

// The shared math records, in their stored layouts.
void write_vector3(RecordWriter& w, const Vector3& v);
void write_quaternion(RecordWriter& w, const Quaternion& q);
void write_plane(RecordWriter& w, const Plane& p);
void write_sphere(RecordWriter& w, const Sphere& s);
void write_frame(RecordWriter& w, const Frame& f);
// Origin (x, y, z) with the identity orientation.
[[nodiscard]] Frame frame_at(float x, float y, float z);

// ---- Landblock records ----

// 252 bytes: id | has_objects | 81 terrain words | 81 heights | 1 pad byte.
class CellLandblockBuilder {
 public:
  explicit CellLandblockBuilder(uint32_t id = 0x1234FFFF) : id_(id) {}
  CellLandblockBuilder& has_objects(uint32_t v) { has_objects_ = v; return *this; }
  // REQUIRES: x, y in 0..8.
  CellLandblockBuilder& terrain(int x, int y, uint16_t word) { terrain_[9 * x + y] = word; return *this; }
  CellLandblockBuilder& height(int x, int y, uint8_t h) { height_[9 * x + y] = h; return *this; }
  CellLandblockBuilder& all_terrain(uint16_t word) { terrain_.fill(word); return *this; }
  CellLandblockBuilder& all_heights(uint8_t h) { height_.fill(h); return *this; }
  [[nodiscard]] std::vector<uint8_t> bytes() const;

 private:
  uint32_t id_;
  uint32_t has_objects_ = 0;
  std::array<uint16_t, 81> terrain_{};
  std::array<uint8_t, 81> height_{};
};

// Writes a portal with num_stabs = stab_list.size() and the skip bytes when odd.
void write_portal(RecordWriter& w, const dat::PortalInternal& p);
// Writes a building with num_portals = portals.size().
void write_building(RecordWriter& w, const dat::BuildInfo& b);

// id | num_cells | objects | num_buildings | pack_mask | buildings | restriction table (pack_mask & 1).
class LandblockInfoBuilder {
 public:
  explicit LandblockInfoBuilder(uint32_t id = 0x1234FFFE) : id_(id) {}
  LandblockInfoBuilder& num_cells(uint32_t n) { num_cells_ = n; return *this; }
  LandblockInfoBuilder& object(uint32_t id, const Frame& frame) { objects_.push_back({id, frame}); return *this; }
  LandblockInfoBuilder& building(dat::BuildInfo b) { buildings_.push_back(std::move(b)); return *this; }
  LandblockInfoBuilder& building(uint32_t model_id, const Frame& frame);
  // Sets pack_mask as given; restrictions() also sets bit 0.
  LandblockInfoBuilder& pack_mask(uint16_t mask) { pack_mask_ = mask; return *this; }
  LandblockInfoBuilder& restrictions(std::vector<std::pair<uint32_t, uint32_t>> pairs, uint16_t bucket_size = 8);
  [[nodiscard]] std::vector<uint8_t> bytes() const;

 private:
  uint32_t id_;
  uint32_t num_cells_ = 0;
  std::vector<dat::Stab> objects_;
  std::vector<dat::BuildInfo> buildings_;
  uint16_t pack_mask_ = 0;
  uint16_t bucket_size_ = 0;
  std::vector<std::pair<uint32_t, uint32_t>> restrictions_;
};

// ---- Region ----

// Each writes its section into w (whose length is the record position: alignment steps pad it).
void write_game_time(RecordWriter& w, const dat::GameTime& t);
void write_sky_desc(RecordWriter& w, const dat::SkyDesc& s);
void write_sound_desc(RecordWriter& w, const dat::SoundDesc& s);
void write_scene_desc(RecordWriter& w, const dat::SceneDesc& s);
void write_terrain_desc(RecordWriter& w, const dat::TerrainDesc& t);

// A Region. parts_mask follows the optional sections given (sky 0x10, sound 0x01, scene 0x02,
// misc 0x200) unless set explicitly; sections are written whenever their bit is set (an empty
// section when none was given).
class RegionBuilder {
 public:
  explicit RegionBuilder(uint32_t id = 0x13000000) : id_(id) {}
  RegionBuilder& name(std::string n) { name_ = std::move(n); return *this; }
  RegionBuilder& land_heights(const std::array<float, 256>& h) { land_heights_ = h; return *this; }
  // Height i = step * i for every index.
  RegionBuilder& linear_land_heights(float step);
  RegionBuilder& game_time(dat::GameTime t) { game_time_ = std::move(t); return *this; }
  RegionBuilder& sky(dat::SkyDesc s) { sky_ = std::move(s); return *this; }
  RegionBuilder& sound(dat::SoundDesc s) { sound_ = std::move(s); return *this; }
  // Appends a terrain type (the terrain table is always present).
  RegionBuilder& terrain_type(std::string name, std::vector<uint32_t> scene_types, uint32_t value = 0);
  // Appends a scene type; the scene section becomes present.
  RegionBuilder& scene_type(std::vector<uint32_t> scenes, uint32_t value = 0);
  RegionBuilder& terrain_desc(dat::TerrainDesc t) { terrain_ = std::move(t); return *this; }
  RegionBuilder& misc(std::array<uint32_t, 6> values) { misc_ = dat::RegionMisc{values}; return *this; }
  RegionBuilder& parts_mask(uint32_t mask) { parts_mask_ = mask; return *this; }
  // Fills the calendar, sky, sound, surface and misc sections with small non-empty content.
  RegionBuilder& full_sections();
  [[nodiscard]] uint32_t effective_parts_mask() const;
  [[nodiscard]] std::vector<uint8_t> bytes() const;

 private:
  uint32_t id_;
  std::string name_ = "Dereth";
  std::array<float, 256> land_heights_{};
  dat::GameTime game_time_;
  std::optional<dat::SkyDesc> sky_;
  std::optional<dat::SoundDesc> sound_;
  std::optional<dat::SceneDesc> scene_;
  dat::TerrainDesc terrain_;
  std::optional<dat::RegionMisc> misc_;
  std::optional<uint32_t> parts_mask_;
};

// ---- Scene ----

void write_object_desc(RecordWriter& w, const dat::ObjectDesc& d);
// A description placing obj_id everywhere (frequency 1) at the vertex, unscaled and unrotated.
[[nodiscard]] dat::ObjectDesc object_desc(uint32_t obj_id);

// id | count | count x ObjectDesc
class SceneBuilder {
 public:
  explicit SceneBuilder(uint32_t id = 0x120000A0) : id_(id) {}
  SceneBuilder& object(const dat::ObjectDesc& d) { objects_.push_back(d); return *this; }
  [[nodiscard]] std::vector<uint8_t> bytes() const;

 private:
  uint32_t id_;
  std::vector<dat::ObjectDesc> objects_;
};

// ---- Setup model ----

// A hook of the given type with its payload, padded with zeros to a multiple of 4 bytes.
[[nodiscard]] dat::AnimationHook animation_hook(uint32_t type, std::vector<uint8_t> payload, uint32_t direction = 0);
// Writes type, direction and data as given.
void write_animation_hook(RecordWriter& w, const dat::AnimationHook& h);
// Writes the frames and hooks as given (the frame count must match the setup's parts).
void write_placement(RecordWriter& w, const dat::PlacementType& p);

// parts, part_links (flags & 1) and part_vectors (flags & 2) are written per the flags; the
// flag bits follow part_links() / part_vectors() unless flags() sets them.
class SetupModelBuilder {
 public:
  explicit SetupModelBuilder(uint32_t id = 0x02000001) : id_(id) {}
  SetupModelBuilder& flags(uint32_t f) { flags_ = f; return *this; }
  SetupModelBuilder& parts(std::vector<uint32_t> p) { parts_ = std::move(p); return *this; }
  SetupModelBuilder& part_links(std::vector<uint32_t> l) { part_links_ = std::move(l); return *this; }
  SetupModelBuilder& part_vectors(std::vector<Vector3> v) { part_vectors_ = std::move(v); return *this; }
  SetupModelBuilder& location_a(uint32_t key, dat::LocationType l) { locations_a_.emplace_back(key, l); return *this; }
  SetupModelBuilder& location_b(uint32_t key, dat::LocationType l) { locations_b_.emplace_back(key, l); return *this; }
  // REQUIRES: p.frames.size() == the number of parts.
  SetupModelBuilder& placement(uint32_t key, dat::PlacementType p) { placements_.emplace_back(key, std::move(p)); return *this; }
  // A placement with identity frames for every part and the given hooks.
  SetupModelBuilder& default_placement(uint32_t key, std::vector<dat::AnimationHook> hooks = {});
  SetupModelBuilder& cyl_sphere(const dat::CylSphere& c) { cyl_spheres_.push_back(c); return *this; }
  SetupModelBuilder& sphere(const Sphere& s) { spheres_.push_back(s); return *this; }
  SetupModelBuilder& sizes(float a, float b, float c, float d) { sizes_ = {a, b, c, d}; return *this; }
  SetupModelBuilder& bounding_spheres(const Sphere& a, const Sphere& b) { sphere_a_ = a; sphere_b_ = b; return *this; }
  SetupModelBuilder& light(uint32_t key, const dat::LightInfo& l) { lights_.emplace_back(key, l); return *this; }
  SetupModelBuilder& ref_ids(std::array<uint32_t, 5> ids) { ref_ids_ = ids; return *this; }
  [[nodiscard]] uint32_t effective_flags() const;
  [[nodiscard]] std::vector<uint8_t> bytes() const;

 private:
  uint32_t id_;
  std::optional<uint32_t> flags_;
  std::vector<uint32_t> parts_;
  std::vector<uint32_t> part_links_;
  std::vector<Vector3> part_vectors_;
  std::vector<std::pair<uint32_t, dat::LocationType>> locations_a_;
  std::vector<std::pair<uint32_t, dat::LocationType>> locations_b_;
  std::vector<std::pair<uint32_t, dat::PlacementType>> placements_;
  std::vector<dat::CylSphere> cyl_spheres_;
  std::vector<Sphere> spheres_;
  std::array<float, 4> sizes_{};
  Sphere sphere_a_;
  Sphere sphere_b_;
  std::vector<std::pair<uint32_t, dat::LightInfo>> lights_;
  std::array<uint32_t, 5> ref_ids_{};
};

// ---- Graphics object ----

// A polygon over the given vertices with uv index lists matching the flags (0, 1, 2, ...).
[[nodiscard]] dat::Polygon make_polygon(std::vector<uint16_t> vertex_ids, uint8_t uv_flags = 0, uint32_t side_mode = 1);
// Writes the head and the lists as given (num_vertices as stored in p).
void write_polygon(RecordWriter& w, const dat::Polygon& p);
void write_sw_vertex(RecordWriter& w, const dat::SWVertex& v);

// A BSP node and its children, written in the layout of the tree kind passed to write().
class BspNodeBuilder {
 public:
  static BspNodeBuilder leaf(uint32_t leaf_index = 0);
  static BspNodeBuilder portal(BspNodeBuilder pos, BspNodeBuilder neg);
  // An internal node with the given four-character tag; children are written as given (whatever
  // the tag says), positive first.
  static BspNodeBuilder internal(std::string tag);
  BspNodeBuilder& pos(BspNodeBuilder child);
  BspNodeBuilder& neg(BspNodeBuilder child);
  BspNodeBuilder& polys(std::vector<uint16_t> ids) { polys_ = std::move(ids); return *this; }
  BspNodeBuilder& portal_polys(std::vector<dat::PortalPoly> p) { portal_polys_ = std::move(p); return *this; }
  BspNodeBuilder& solid(uint32_t s) { solid_ = s; return *this; }
  BspNodeBuilder& plane(const Plane& p) { plane_ = p; return *this; }
  BspNodeBuilder& sphere(const Sphere& s) { sphere_ = s; return *this; }

  void write(RecordWriter& w, dat::TreeKind kind) const;
  [[nodiscard]] std::vector<uint8_t> bytes(dat::TreeKind kind) const;

 private:
  enum class Shape { kLeaf, kPortal, kInternal };
  explicit BspNodeBuilder(Shape shape) : shape_(shape) {}
  Shape shape_;
  std::string tag_;
  uint32_t leaf_index_ = 0;
  uint32_t solid_ = 0;
  Plane plane_{{0, 0, 1}, 0};
  Sphere sphere_{{0, 0, 0}, 1};
  std::vector<uint16_t> polys_;
  std::vector<dat::PortalPoly> portal_polys_;
  std::vector<BspNodeBuilder> pos_;  // zero or one
  std::vector<BspNodeBuilder> neg_;  // zero or one
};

// The tag as stored: its four characters, last character first (LEAF -> 46 41 45 4C).
void write_bsp_tag(RecordWriter& w, std::string_view tag);
// `depth` internal nodes BPIn, each the positive child of the one before, around one leaf; written
// without recursion so that hostile depths can be built.
[[nodiscard]] std::vector<uint8_t> nested_bsp_bytes(dat::TreeKind kind, uint32_t depth);

// id | flags | surfaces | vertex array | physics polygons + tree (0x01) | sort_center |
// polygons + tree (0x02) | trailing id (0x08). The flag bits follow the sections given unless
// flags() sets them; a section whose bit is set but that was not given is written empty, with a
// single leaf as its tree.
class GfxObjBuilder {
 public:
  explicit GfxObjBuilder(uint32_t id = 0x01000001) : id_(id) {}
  // A mesh of n vertices on a line of unit steps along x and y, fanned into triangles, with a
  // small physics and drawing tree: a realistic record for a footprint.
  static GfxObjBuilder mesh(uint32_t id, uint16_t n);

  GfxObjBuilder& flags(uint32_t f) { flags_ = f; return *this; }
  GfxObjBuilder& surfaces(std::vector<uint32_t> s) { surfaces_ = std::move(s); return *this; }
  GfxObjBuilder& vertex_type(uint32_t t) { vertex_type_ = t; return *this; }
  GfxObjBuilder& vertex(uint16_t id, Vector3 origin, std::vector<dat::Vec2Duv> uvs = {});
  GfxObjBuilder& physics_polygon(uint16_t id, dat::Polygon p) { physics_polygons_.emplace_back(id, std::move(p)); return *this; }
  GfxObjBuilder& physics_bsp(BspNodeBuilder root) { physics_bsp_.assign(1, std::move(root)); return *this; }
  GfxObjBuilder& sort_center(Vector3 c) { sort_center_ = c; return *this; }
  GfxObjBuilder& polygon(uint16_t id, dat::Polygon p) { polygons_.emplace_back(id, std::move(p)); return *this; }
  GfxObjBuilder& drawing_bsp(BspNodeBuilder root) { drawing_bsp_.assign(1, std::move(root)); return *this; }
  GfxObjBuilder& trailing_id(uint32_t id) { trailing_id_ = id; return *this; }
  [[nodiscard]] uint32_t effective_flags() const;
  [[nodiscard]] std::vector<uint8_t> bytes() const;

 private:
  uint32_t id_;
  std::optional<uint32_t> flags_;
  std::vector<uint32_t> surfaces_;
  uint32_t vertex_type_ = 1;
  std::vector<std::pair<uint16_t, dat::SWVertex>> vertices_;
  std::vector<std::pair<uint16_t, dat::Polygon>> physics_polygons_;
  std::vector<BspNodeBuilder> physics_bsp_;  // zero or one
  Vector3 sort_center_;
  std::vector<std::pair<uint16_t, dat::Polygon>> polygons_;
  std::vector<BspNodeBuilder> drawing_bsp_;  // zero or one
  std::optional<uint32_t> trailing_id_;
};

}  // namespace fennistock::testing
