#include "caches.h"

#include "fennistock/dat/file_type/gfx_obj.h"
#include "fennistock/dat/file_type/setup_model.h"

namespace fennistock::tool {
namespace {

constexpr uint32_t kGfxObjKind = 0x01;
constexpr uint32_t kSetupKind = 0x02;

std::optional<LocalMesh> mesh_of(const dat::DatDatabase& portal, uint32_t id, size_t& reads) {
  ++reads;
  if (id >> 24 == kGfxObjKind) return gfx_local_mesh(portal, id);
  auto bytes = portal.get_file(id);
  if (!bytes.ok()) return std::nullopt;
  auto setup = dat::SetupModel::unpack(std::span<const uint8_t>(*bytes));
  if (!setup.ok() || setup->parts.empty()) return std::nullopt;
  // The parts' frames, scales and parents are not applied: every part contributes its vertices
  // as if it sat at the setup's origin, which is what other consumers of the footprints expect.
  LocalMesh combined;
  for (const uint32_t part : setup->parts) {
    ++reads;
    if (std::optional<LocalMesh> m = gfx_local_mesh(portal, part)) combined.insert(combined.end(), m->begin(), m->end());
  }
  if (combined.empty()) return std::nullopt;
  return combined;
}

}  // namespace

const dat::Scene* SceneCache::lookup(const dat::DatDatabase& portal, uint32_t id) {
  auto it = entries_.find(id);
  if (it == entries_.end()) {
    ++archive_reads_;
    std::optional<dat::Scene> scene;
    if (auto bytes = portal.get_file(id); bytes.ok()) {
      if (auto parsed = dat::Scene::unpack(std::span<const uint8_t>(*bytes)); parsed.ok()) {
        scene = std::move(parsed).value();
      }
    }
    it = entries_.emplace(id, std::move(scene)).first;
  }
  return it->second ? &*it->second : nullptr;
}

const LocalMesh* MeshCache::lookup(const dat::DatDatabase& portal, uint32_t id) {
  auto it = entries_.find(id);
  if (it == entries_.end()) {
    const uint32_t kind = id >> 24;
    std::optional<LocalMesh> mesh;
    if (kind == kGfxObjKind || kind == kSetupKind) mesh = mesh_of(portal, id, archive_reads_);
    it = entries_.emplace(id, std::move(mesh)).first;
  }
  return it->second ? &*it->second : nullptr;
}

std::optional<LocalMesh> gfx_local_mesh(const dat::DatDatabase& portal, uint32_t id) {
  auto bytes = portal.get_file(id);
  if (!bytes.ok()) return std::nullopt;
  auto gfx = dat::GfxObj::unpack(std::span<const uint8_t>(*bytes));
  if (!gfx.ok() || gfx->vertex_array.vertices.empty()) return std::nullopt;
  LocalMesh mesh;
  mesh.reserve(gfx->vertex_array.vertices.size());
  for (const auto& [vertex_id, vertex] : gfx->vertex_array.vertices) mesh.push_back(vertex.origin);
  return mesh;
}

std::optional<std::span<const dat::ObjectDesc>> CachedLookups::scene(uint32_t scene_id) {
  const dat::Scene* s = scenes_.lookup(portal_, scene_id);
  if (s == nullptr) return std::nullopt;
  return std::span<const dat::ObjectDesc>(s->objects);
}

std::optional<std::span<const Vector3>> CachedLookups::mesh(uint32_t obj_id) {
  const LocalMesh* m = meshes_.lookup(portal_, obj_id);
  if (m == nullptr) return std::nullopt;
  return std::span<const Vector3>(*m);
}

}  // namespace fennistock::tool
