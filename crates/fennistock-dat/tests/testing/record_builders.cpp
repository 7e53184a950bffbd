#include "testing/record_builders.h"

#include <cassert>

namespace fennistock::testing {

void write_vector3(RecordWriter& w, const Vector3& v) { w.f32(v.x).f32(v.y).f32(v.z); }
void write_quaternion(RecordWriter& w, const Quaternion& q) { w.f32(q.w).f32(q.x).f32(q.y).f32(q.z); }
void write_plane(RecordWriter& w, const Plane& p) {
  write_vector3(w, p.normal);
  w.f32(p.d);
}
void write_sphere(RecordWriter& w, const Sphere& s) {
  write_vector3(w, s.center);
  w.f32(s.radius);
}
void write_frame(RecordWriter& w, const Frame& f) {
  write_vector3(w, f.origin);
  write_quaternion(w, f.orientation);
}
Frame frame_at(float x, float y, float z) { return Frame{{x, y, z}, {1, 0, 0, 0}}; }

// ---- Landblock records ----

std::vector<uint8_t> CellLandblockBuilder::bytes() const {
  RecordWriter w;
  w.u32(id_).u32(has_objects_);
  for (const uint16_t t : terrain_) w.u16(t);
  for (const uint8_t h : height_) w.u8(h);
  w.zeros(1);
  return w.take();
}

void write_portal(RecordWriter& w, const dat::PortalInternal& p) {
  w.u16(p.flags).u16(p.other_cell_id).u16(p.other_portal_id).u16(static_cast<uint16_t>(p.stab_list.size()));
  for (const uint16_t s : p.stab_list) w.u16(s);
  if (p.stab_list.size() % 2 != 0) w.zeros(2);
}

void write_building(RecordWriter& w, const dat::BuildInfo& b) {
  w.u32(b.model_id);
  write_frame(w, b.frame);
  w.u32(b.num_leaves).u32(static_cast<uint32_t>(b.portals.size()));
  for (const dat::PortalInternal& p : b.portals) write_portal(w, p);
}

LandblockInfoBuilder& LandblockInfoBuilder::building(uint32_t model_id, const Frame& frame) {
  dat::BuildInfo b;
  b.model_id = model_id;
  b.frame = frame;
  return building(std::move(b));
}

LandblockInfoBuilder& LandblockInfoBuilder::restrictions(std::vector<std::pair<uint32_t, uint32_t>> pairs,
                                                         uint16_t bucket_size) {
  restrictions_ = std::move(pairs);
  bucket_size_ = bucket_size;
  pack_mask_ |= 1;
  return *this;
}

std::vector<uint8_t> LandblockInfoBuilder::bytes() const {
  RecordWriter w;
  w.u32(id_).u32(num_cells_).u32(static_cast<uint32_t>(objects_.size()));
  for (const dat::Stab& s : objects_) {
    w.u32(s.id);
    write_frame(w, s.frame);
  }
  w.u16(static_cast<uint16_t>(buildings_.size())).u16(pack_mask_);
  for (const dat::BuildInfo& b : buildings_) write_building(w, b);
  if ((pack_mask_ & 1) != 0) {
    w.u16(static_cast<uint16_t>(restrictions_.size())).u16(bucket_size_);
    for (const auto& [key, value] : restrictions_) w.u32(key).u32(value);
  }
  return w.take();
}

// ---- Region ----

void write_game_time(RecordWriter& w, const dat::GameTime& t) {
  w.f64(t.time_a).u32(t.time_b).u32(t.time_c).u32(t.time_d).text(t.label);
  w.u32(static_cast<uint32_t>(t.times_of_day.size()));
  for (const dat::TimeOfDay& d : t.times_of_day) w.u32(d.value).u32(d.flag ? 1 : 0).text(d.name);
  w.u32(static_cast<uint32_t>(t.names.size()));
  for (const std::string& n : t.names) w.text(n);
  w.u32(static_cast<uint32_t>(t.seasons.size()));
  for (const dat::Season& s : t.seasons) w.u32(s.value).text(s.name);
}

void write_sky_desc(RecordWriter& w, const dat::SkyDesc& s) {
  w.f64(s.sky_a).f64(s.sky_b).align4().u32(static_cast<uint32_t>(s.day_groups.size()));
  for (const dat::DayGroup& g : s.day_groups) {
    w.u32(g.value).text(g.name).u32(static_cast<uint32_t>(g.sky_entries.size()));
    for (const auto& e : g.sky_entries) {
      for (const uint32_t v : e) w.u32(v);
      w.align4();
    }
    w.u32(static_cast<uint32_t>(g.sky_times.size()));
    for (const dat::SkyTimeOfDay& t : g.sky_times) {
      for (const uint32_t v : t.values) w.u32(v);
      w.align4().u32(static_cast<uint32_t>(t.inner_entries.size()));
      for (const auto& e : t.inner_entries) {
        for (const uint32_t v : e) w.u32(v);
        w.align4();
      }
    }
  }
}

void write_sound_desc(RecordWriter& w, const dat::SoundDesc& s) {
  w.u32(static_cast<uint32_t>(s.ambient.size()));
  for (const dat::AmbientSTBDesc& a : s.ambient) {
    w.u32(a.value).u32(static_cast<uint32_t>(a.sounds.size()));
    for (const auto& sound : a.sounds) {
      for (const uint32_t v : sound) w.u32(v);
    }
  }
}

void write_scene_desc(RecordWriter& w, const dat::SceneDesc& s) {
  w.u32(static_cast<uint32_t>(s.scene_types.size()));
  for (const dat::SceneType& t : s.scene_types) {
    w.u32(t.value).u32(static_cast<uint32_t>(t.scenes.size()));
    for (const uint32_t id : t.scenes) w.u32(id);
  }
}

void write_terrain_desc(RecordWriter& w, const dat::TerrainDesc& t) {
  w.u32(static_cast<uint32_t>(t.terrain_types.size()));
  for (const dat::TerrainType& type : t.terrain_types) {
    w.text(type.name).u32(type.value).u32(static_cast<uint32_t>(type.scene_types.size()));
    for (const uint32_t i : type.scene_types) w.u32(i);
  }
  w.u32(t.surface_a).u32(t.surface_b);
  for (const auto* pairs : {&t.surface_pairs_a, &t.surface_pairs_b, &t.surface_pairs_c}) {
    w.u32(static_cast<uint32_t>(pairs->size()));
    for (const auto& [a, b] : *pairs) w.u32(a).u32(b);
  }
  w.u32(static_cast<uint32_t>(t.surface_entries.size()));
  for (const auto& e : t.surface_entries) {
    for (const uint32_t v : e) w.u32(v);
  }
}

RegionBuilder& RegionBuilder::linear_land_heights(float step) {
  for (size_t i = 0; i < land_heights_.size(); ++i) land_heights_[i] = step * static_cast<float>(i);
  return *this;
}

RegionBuilder& RegionBuilder::terrain_type(std::string name, std::vector<uint32_t> scene_types, uint32_t value) {
  terrain_.terrain_types.push_back(dat::TerrainType{std::move(name), value, std::move(scene_types)});
  return *this;
}

RegionBuilder& RegionBuilder::scene_type(std::vector<uint32_t> scenes, uint32_t value) {
  if (!scene_) scene_.emplace();
  scene_->scene_types.push_back(dat::SceneType{value, std::move(scenes)});
  return *this;
}

RegionBuilder& RegionBuilder::full_sections() {
  game_time_.time_a = 3600.5;
  game_time_.time_b = 1;
  game_time_.time_c = 2;
  game_time_.time_d = 3;
  game_time_.label = "Portal Year";
  game_time_.times_of_day = {{1, true, "Dawnsong"}, {2, false, "Morntide"}};
  game_time_.names = {"Snowreap", "Coldeve"};
  game_time_.seasons = {{0, "Winter"}, {90, "Spring"}};

  dat::SkyTimeOfDay time;
  time.values = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  time.inner_entries = {{1, 2, 3, 4, 5, 6}};
  dat::DayGroup group;
  group.value = 7;
  group.name = "Clear";
  group.sky_entries = {{1, 2, 3, 4, 5, 6, 7, 8, 9}};
  group.sky_times = {time};
  sky_ = dat::SkyDesc{0.25, 0.75, {group}};

  sound_ = dat::SoundDesc{{dat::AmbientSTBDesc{3, {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}}}}};
  terrain_.surface_a = 0x32;
  terrain_.surface_b = 0x33;
  terrain_.surface_pairs_a = {{1, 2}};
  terrain_.surface_pairs_b = {{3, 4}, {5, 6}};
  terrain_.surface_pairs_c = {};
  terrain_.surface_entries = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
  misc_ = dat::RegionMisc{{1, 2, 3, 4, 5, 6}};
  return *this;
}

uint32_t RegionBuilder::effective_parts_mask() const {
  if (parts_mask_) return *parts_mask_;
  uint32_t mask = 0;
  if (sky_) mask |= dat::Region::kSkyBit;
  if (sound_) mask |= dat::Region::kSoundBit;
  if (scene_) mask |= dat::Region::kSceneBit;
  if (misc_) mask |= dat::Region::kMiscBit;
  return mask;
}

std::vector<uint8_t> RegionBuilder::bytes() const {
  RecordWriter w;
  w.u32(id_).u32(0).u32(0).text(name_);
  for (uint32_t i = 0; i < 8; ++i) w.u32(i);
  for (const float h : land_heights_) w.f32(h);
  write_game_time(w, game_time_);
  const uint32_t mask = effective_parts_mask();
  w.u32(mask);
  if ((mask & dat::Region::kSkyBit) != 0) write_sky_desc(w, sky_.value_or(dat::SkyDesc{}));
  if ((mask & dat::Region::kSoundBit) != 0) write_sound_desc(w, sound_.value_or(dat::SoundDesc{}));
  if ((mask & dat::Region::kSceneBit) != 0) write_scene_desc(w, scene_.value_or(dat::SceneDesc{}));
  write_terrain_desc(w, terrain_);
  if ((mask & dat::Region::kMiscBit) != 0) {
    for (const uint32_t v : misc_.value_or(dat::RegionMisc{}).values) w.u32(v);
  }
  return w.take();
}

// ---- Scene ----

void write_object_desc(RecordWriter& w, const dat::ObjectDesc& d) {
  w.u32(d.obj_id);
  write_frame(w, d.base_frame);
  w.f32(d.frequency).f32(d.displace_x).f32(d.displace_y).f32(d.min_scale).f32(d.max_scale);
  w.f32(d.max_rotation).f32(d.min_slope).f32(d.max_slope).u32(d.aux_a).u32(d.aux_b).u32(d.excluded);
}

dat::ObjectDesc object_desc(uint32_t obj_id) {
  dat::ObjectDesc d;
  d.obj_id = obj_id;
  d.base_frame = frame_at(0, 0, 0);
  d.frequency = 1.0f;
  d.min_scale = 1.0f;
  d.max_scale = 1.0f;
  d.max_slope = 1.5f;
  return d;
}

std::vector<uint8_t> SceneBuilder::bytes() const {
  RecordWriter w;
  w.u32(id_).u32(static_cast<uint32_t>(objects_.size()));
  for (const dat::ObjectDesc& d : objects_) write_object_desc(w, d);
  return w.take();
}

// ---- Setup model ----

dat::AnimationHook animation_hook(uint32_t type, std::vector<uint8_t> payload, uint32_t direction) {
  dat::AnimationHook h{type, direction, std::move(payload)};
  while (h.data.size() % 4 != 0) h.data.push_back(0);
  return h;
}

void write_animation_hook(RecordWriter& w, const dat::AnimationHook& h) {
  w.u32(h.hook_type).u32(h.direction).bytes(h.data);
}

void write_placement(RecordWriter& w, const dat::PlacementType& p) {
  for (const Frame& f : p.frames) write_frame(w, f);
  w.u32(static_cast<uint32_t>(p.hooks.size()));
  for (const dat::AnimationHook& h : p.hooks) write_animation_hook(w, h);
}

SetupModelBuilder& SetupModelBuilder::default_placement(uint32_t key, std::vector<dat::AnimationHook> hooks) {
  dat::PlacementType p;
  p.frames.assign(parts_.size(), frame_at(0, 0, 0));
  p.hooks = std::move(hooks);
  return placement(key, std::move(p));
}

uint32_t SetupModelBuilder::effective_flags() const {
  if (flags_) return *flags_;
  return (part_links_.empty() ? 0u : dat::SetupModel::kPartLinksBit) |
         (part_vectors_.empty() ? 0u : dat::SetupModel::kPartVectorsBit);
}

std::vector<uint8_t> SetupModelBuilder::bytes() const {
  RecordWriter w;
  const uint32_t flags = effective_flags();
  w.u32(id_).u32(flags).u32(static_cast<uint32_t>(parts_.size()));
  for (const uint32_t p : parts_) w.u32(p);
  if ((flags & dat::SetupModel::kPartLinksBit) != 0) {
    for (size_t i = 0; i < parts_.size(); ++i) w.u32(i < part_links_.size() ? part_links_[i] : 0);
  }
  if ((flags & dat::SetupModel::kPartVectorsBit) != 0) {
    for (size_t i = 0; i < parts_.size(); ++i) write_vector3(w, i < part_vectors_.size() ? part_vectors_[i] : Vector3{});
  }
  for (const auto* locations : {&locations_a_, &locations_b_}) {
    w.u32(static_cast<uint32_t>(locations->size()));
    for (const auto& [key, l] : *locations) {
      w.u32(key).u32(l.part_id);
      write_frame(w, l.frame);
    }
  }
  w.u32(static_cast<uint32_t>(placements_.size()));
  for (const auto& [key, p] : placements_) {
    assert(p.frames.size() == parts_.size());
    w.u32(key);
    write_placement(w, p);
  }
  w.u32(static_cast<uint32_t>(cyl_spheres_.size()));
  for (const dat::CylSphere& c : cyl_spheres_) {
    write_vector3(w, c.origin);
    w.f32(c.radius).f32(c.height);
  }
  w.u32(static_cast<uint32_t>(spheres_.size()));
  for (const Sphere& s : spheres_) write_sphere(w, s);
  for (const float s : sizes_) w.f32(s);
  write_sphere(w, sphere_a_);
  write_sphere(w, sphere_b_);
  w.u32(static_cast<uint32_t>(lights_.size()));
  for (const auto& [key, l] : lights_) {
    w.u32(key);
    write_frame(w, l.viewer_space_location);
    w.u32(l.color).f32(l.intensity).f32(l.falloff).f32(l.cone_angle);
  }
  for (const uint32_t id : ref_ids_) w.u32(id);
  return w.take();
}

// ---- Graphics object ----

dat::Polygon make_polygon(std::vector<uint16_t> vertex_ids, uint8_t uv_flags, uint32_t side_mode) {
  dat::Polygon p;
  p.num_vertices = static_cast<uint8_t>(vertex_ids.size());
  p.uv_flags = uv_flags;
  p.side_mode = side_mode;
  p.vertex_ids = std::move(vertex_ids);
  std::vector<uint8_t> uvs(p.num_vertices);
  for (size_t i = 0; i < uvs.size(); ++i) uvs[i] = static_cast<uint8_t>(i);
  if ((uv_flags & dat::Polygon::kNoPosUvs) == 0) p.pos_uv_indices = uvs;
  if (side_mode == dat::Polygon::kBothSides && (uv_flags & dat::Polygon::kNoNegUvs) == 0) p.neg_uv_indices = uvs;
  return p;
}

void write_polygon(RecordWriter& w, const dat::Polygon& p) {
  w.u8(p.num_vertices).u8(p.uv_flags).u32(p.side_mode).u16(p.pos_surface).u16(p.neg_surface);
  for (const uint16_t id : p.vertex_ids) w.u16(id);
  w.bytes(p.pos_uv_indices).bytes(p.neg_uv_indices);
}

void write_sw_vertex(RecordWriter& w, const dat::SWVertex& v) {
  w.u16(v.num_uvs);
  write_vector3(w, v.origin);
  write_vector3(w, v.normal);
  for (const dat::Vec2Duv& uv : v.uvs) w.f32(uv.u).f32(uv.v);
}

BspNodeBuilder BspNodeBuilder::leaf(uint32_t leaf_index) {
  BspNodeBuilder b(Shape::kLeaf);
  b.leaf_index_ = leaf_index;
  return b;
}

BspNodeBuilder BspNodeBuilder::portal(BspNodeBuilder pos, BspNodeBuilder neg) {
  BspNodeBuilder b(Shape::kPortal);
  b.pos(std::move(pos)).neg(std::move(neg));
  return b;
}

BspNodeBuilder BspNodeBuilder::internal(std::string tag) {
  assert(tag.size() == 4);
  BspNodeBuilder b(Shape::kInternal);
  b.tag_ = std::move(tag);
  return b;
}

BspNodeBuilder& BspNodeBuilder::pos(BspNodeBuilder child) {
  pos_.assign(1, std::move(child));
  return *this;
}

BspNodeBuilder& BspNodeBuilder::neg(BspNodeBuilder child) {
  neg_.assign(1, std::move(child));
  return *this;
}

void write_bsp_tag(RecordWriter& w, std::string_view tag) {
  assert(tag.size() == 4);
  for (size_t i = 4; i-- > 0;) w.u8(static_cast<uint8_t>(tag[i]));
}

void BspNodeBuilder::write(RecordWriter& w, dat::TreeKind kind) const {
  using dat::TreeKind;
  const auto write_children = [&] {
    for (const BspNodeBuilder& c : pos_) c.write(w, kind);
    for (const BspNodeBuilder& c : neg_) c.write(w, kind);
  };
  switch (shape_) {
    case Shape::kLeaf:
      write_bsp_tag(w, "LEAF");
      w.u32(leaf_index_);
      if (kind == TreeKind::kPhysics) {
        w.u32(solid_);
        write_sphere(w, sphere_);
        w.u32(static_cast<uint32_t>(polys_.size()));
        for (const uint16_t id : polys_) w.u16(id);
      }
      return;
    case Shape::kPortal:
      write_bsp_tag(w, "PORT");
      write_plane(w, plane_);
      write_children();
      if (kind == TreeKind::kDrawing) {
        write_sphere(w, sphere_);
        w.u32(static_cast<uint32_t>(polys_.size())).u32(static_cast<uint32_t>(portal_polys_.size()));
        for (const uint16_t id : polys_) w.u16(id);
        for (const dat::PortalPoly& p : portal_polys_) w.u16(p.portal_index).u16(p.poly_id);
      }
      return;
    case Shape::kInternal:
      write_bsp_tag(w, tag_);
      write_plane(w, plane_);
      write_children();
      if (kind != TreeKind::kCell) write_sphere(w, sphere_);
      if (kind == TreeKind::kDrawing) {
        w.u32(static_cast<uint32_t>(polys_.size()));
        for (const uint16_t id : polys_) w.u16(id);
      }
      return;
  }
}

std::vector<uint8_t> BspNodeBuilder::bytes(dat::TreeKind kind) const {
  RecordWriter w;
  write(w, kind);
  return w.take();
}

std::vector<uint8_t> nested_bsp_bytes(dat::TreeKind kind, uint32_t depth) {
  RecordWriter w;
  const Plane plane{{0, 0, 1}, 0};
  for (uint32_t i = 0; i < depth; ++i) {
    write_bsp_tag(w, "BPIn");
    write_plane(w, plane);
  }
  BspNodeBuilder::leaf(0).write(w, kind);
  for (uint32_t i = 0; i < depth; ++i) {
    if (kind != dat::TreeKind::kCell) write_sphere(w, Sphere{{0, 0, 0}, 1});
    if (kind == dat::TreeKind::kDrawing) w.u32(0);
  }
  return w.take();
}

GfxObjBuilder GfxObjBuilder::mesh(uint32_t id, uint16_t n) {
  GfxObjBuilder b(id);
  b.surfaces({0x08000001});
  for (uint16_t i = 0; i < n; ++i) {
    const float f = static_cast<float>(i);
    b.vertex(i, {f, f * 0.5f, 0.25f * f}, {{0.0f, 1.0f}});
  }
  std::vector<uint16_t> triangle_ids;
  for (uint16_t i = 2; i < n; ++i) {
    b.polygon(static_cast<uint16_t>(i - 2), make_polygon({0, static_cast<uint16_t>(i - 1), i}, 0, 2));
    b.physics_polygon(static_cast<uint16_t>(i - 2), make_polygon({0, static_cast<uint16_t>(i - 1), i}, 0x04));
    triangle_ids.push_back(static_cast<uint16_t>(i - 2));
  }
  b.physics_bsp(BspNodeBuilder::internal("BPIN")
                    .pos(BspNodeBuilder::leaf(0).solid(1).polys(triangle_ids))
                    .neg(BspNodeBuilder::leaf(1)));
  b.drawing_bsp(BspNodeBuilder::internal("BPnN")
                    .pos(BspNodeBuilder::leaf(2))
                    .neg(BspNodeBuilder::portal(BspNodeBuilder::leaf(0), BspNodeBuilder::leaf(1))
                             .polys(triangle_ids)
                             .portal_polys({{0, 0}}))
                    .polys(triangle_ids));
  b.sort_center({0.5f, 0.5f, 0});
  return b;
}

GfxObjBuilder& GfxObjBuilder::vertex(uint16_t id, Vector3 origin, std::vector<dat::Vec2Duv> uvs) {
  dat::SWVertex v;
  v.num_uvs = static_cast<uint16_t>(uvs.size());
  v.origin = origin;
  v.normal = {0, 0, 1};
  v.uvs = std::move(uvs);
  vertices_.emplace_back(id, std::move(v));
  return *this;
}

uint32_t GfxObjBuilder::effective_flags() const {
  if (flags_) return *flags_;
  uint32_t flags = 0;
  if (!physics_polygons_.empty() || !physics_bsp_.empty()) flags |= dat::GfxObj::kPhysicsBit;
  if (!polygons_.empty() || !drawing_bsp_.empty()) flags |= dat::GfxObj::kDrawingBit;
  if (trailing_id_) flags |= dat::GfxObj::kTrailingIdBit;
  return flags;
}

std::vector<uint8_t> GfxObjBuilder::bytes() const {
  RecordWriter w;
  const uint32_t flags = effective_flags();
  w.u32(id_).u32(flags).compressed_u32(static_cast<uint32_t>(surfaces_.size()));
  for (const uint32_t s : surfaces_) w.u32(s);
  w.u32(vertex_type_).u32(static_cast<uint32_t>(vertices_.size()));
  if (vertex_type_ == dat::CVertexArray::kSwVertexType) {
    for (const auto& [id, v] : vertices_) {
      w.u16(id);
      write_sw_vertex(w, v);
    }
  }
  const auto write_polygons = [&](const std::vector<std::pair<uint16_t, dat::Polygon>>& polys,
                                  const std::vector<BspNodeBuilder>& tree, dat::TreeKind kind) {
    w.compressed_u32(static_cast<uint32_t>(polys.size()));
    for (const auto& [id, p] : polys) {
      w.u16(id);
      write_polygon(w, p);
    }
    (tree.empty() ? BspNodeBuilder::leaf(0) : tree.front()).write(w, kind);
  };
  if ((flags & dat::GfxObj::kPhysicsBit) != 0) write_polygons(physics_polygons_, physics_bsp_, dat::TreeKind::kPhysics);
  write_vector3(w, sort_center_);
  if ((flags & dat::GfxObj::kDrawingBit) != 0) write_polygons(polygons_, drawing_bsp_, dat::TreeKind::kDrawing);
  if ((flags & dat::GfxObj::kTrailingIdBit) != 0) w.u32(trailing_id_.value_or(0));
  return w.take();
}

}  // namespace fennistock::testing
