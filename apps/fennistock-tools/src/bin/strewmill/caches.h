// The run's memoising caches of decoded Scene records and footprint meshes. Each distinct id is
// fetched and decoded at most once per run; failures are cached too. Single-threaded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "fennistock/common/math.h"
#include "fennistock/dat/file_type/scene.h"
#include "fennistock/dat/lib.h"
#include "fennistock/strewmill/lib.h"

namespace fennistock::tool {

// A model's vertex positions in its own coordinates; never empty in a cache. Only the minima and
// maxima of the rotated points are used, so the order carries no meaning.
using LocalMesh = std::vector<Vector3>;

// Scene record id -> the Scene, or nothing when fetching or reading it failed.
class SceneCache {
 public:
  // The cached Scene, or nullptr for a missing or unreadable record. Entries never move or change
  // once added, so the pointer stays valid for the cache's life while the cache keeps growing.
  const dat::Scene* lookup(const dat::DatDatabase& portal, uint32_t id);
  // Archive reads made so far (one per distinct id).
  size_t archive_reads() const { return archive_reads_; }

 private:
  std::unordered_map<uint32_t, std::optional<dat::Scene>> entries_;
  size_t archive_reads_ = 0;
};

// Model id (setup 0x02xxxxxx or GfxObj 0x01xxxxxx) -> its footprint mesh, or nothing.
class MeshCache {
 public:
  // The cached mesh, or nullptr when the id has no usable mesh. Ids of other kinds are never
  // fetched. The mesh stays owned by the cache and does not move while the cache grows.
  const LocalMesh* lookup(const dat::DatDatabase& portal, uint32_t id);
  // Archive reads made so far (a setup costs one plus one per part).
  size_t archive_reads() const { return archive_reads_; }

 private:
  std::unordered_map<uint32_t, std::optional<LocalMesh>> entries_;
  size_t archive_reads_ = 0;
};

// The vertex origins of the GfxObj `id` (read whatever its id's kind), or nothing when the record
// is missing, unreadable or has no vertices. Uses no cache.
[[nodiscard]] std::optional<LocalMesh> gfx_local_mesh(const dat::DatDatabase& portal, uint32_t id);

// The bake's two lookups over the caches and the portal archive.
class CachedLookups final : public strewmill::SceneLookup, public strewmill::MeshLookup {
 public:
  CachedLookups(const dat::DatDatabase& portal, SceneCache& scenes, MeshCache& meshes)
      : portal_(portal), scenes_(scenes), meshes_(meshes) {}
  std::optional<std::span<const dat::ObjectDesc>> scene(uint32_t scene_id) override;
  std::optional<std::span<const Vector3>> mesh(uint32_t obj_id) override;

 private:
  const dat::DatDatabase& portal_;
  SceneCache& scenes_;
  MeshCache& meshes_;
};

}  // namespace fennistock::tool
