// Catalogue: the portal archive's real content (the Region, scenes, setups and graphics
// objects), planned from the seed alone so that every rectangle of one seed shares it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "archive_sink.h"
#include "terrain.h"

namespace fennistock::sample_world {

inline constexpr uint32_t kRegionId = 0x13000000;

class Catalogue {
 public:
  // `scale` in (0, 1] shrinks the numbers of models and scenes (never below a few dozen) for
  // small portal archives; 1 is the full catalogue of about 95 MiB.
  Catalogue(uint64_t seed, double scale);

  // Scene-type slots of each terrain type, as the Region lists them.
  [[nodiscard]] std::array<uint8_t, kTerrainTypes> slot_counts() const;
  // Models for buildings (setups and GfxObjs with footprints of 10 to 40 units) and for the
  // static objects of landblock info records.
  [[nodiscard]] const std::vector<uint32_t>& building_models() const { return building_models_; }
  [[nodiscard]] const std::vector<uint32_t>& static_models() const { return static_models_; }

  // Streams the Region, graphics objects, setups and scenes into the portal archive.
  void write(ArchiveSink& portal) const;

  [[nodiscard]] size_t gfx_count() const { return gfx_.size(); }
  [[nodiscard]] size_t setup_count() const { return setups_.size(); }
  [[nodiscard]] size_t scene_count() const { return scene_count_; }

 private:
  struct GfxPlan {
    uint32_t id;
    uint16_t vertices;
    float radius;
    float height;
    bool empty;  // a broken art asset: no vertices, so no footprint
  };
  struct SetupPlan {
    uint32_t id;
    std::vector<uint32_t> parts;
    bool building;
  };

  [[nodiscard]] std::vector<uint8_t> region_bytes() const;

  uint64_t seed_;
  std::vector<GfxPlan> gfx_;
  std::vector<SetupPlan> setups_;
  std::vector<uint32_t> scenery_models_;
  std::vector<uint32_t> building_models_;
  std::vector<uint32_t> static_models_;
  std::vector<std::vector<uint32_t>> terrain_scene_types_;  // per terrain type
  std::vector<std::vector<uint32_t>> scene_type_scenes_;    // per scene type
  size_t scene_count_ = 0;
};

}  // namespace fennistock::sample_world
