// SetupModel: a multi-part object of the portal archive (ids 0x02......). The tool uses only the
// part list, but a record that fails anywhere gives no footprint, so every section is read
// exactly. Error contexts name the module "crates/fennistock-dat/src/file_type/setup_model"; its
// Frames carry the graphics Frame contexts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "fennistock/common/byte_reader.h"
#include "fennistock/common/math.h"

namespace fennistock::dat {

// u32 part_id | Frame frame (32 bytes)
struct LocationType {
  uint32_t part_id = 0;
  Frame frame;
  static ReadResult<LocationType> read(ByteReader& in);
};

// Vector3 origin | f32 radius | f32 height (20 bytes)
struct CylSphere {
  Vector3 origin;
  float radius = 0;
  float height = 0;
  static ReadResult<CylSphere> read(ByteReader& in);
};

// Frame viewer_space_location | u32 color | f32 intensity | f32 falloff | f32 cone_angle (44 bytes)
struct LightInfo {
  Frame viewer_space_location;
  uint32_t color = 0;
  float intensity = 0;
  float falloff = 0;
  float cone_angle = 0;
  static ReadResult<LightInfo> read(ByteReader& in);
};

// u32 hook_type (0 to 26) | u32 direction | payload by type | padding to a multiple of 4 bytes
// from the hook's first byte. Type 5's payload is a byte and a u16, plus a second u16 when the
// first has bit 0x8000 set.
struct AnimationHook {
  static constexpr uint32_t kMaxType = 26;

  uint32_t hook_type = 0;
  uint32_t direction = 0;
  std::vector<uint8_t> data;  // the raw payload, then the padding bytes
  // Fails with the failed check "Unsupported AnimationHook type: 0x{:08X}" (at the position just
  // after direction) for a type above 26.
  static ReadResult<AnimationHook> read(ByteReader& in);
};

// num_parts x Frame frames | u32 hook count | hooks
struct PlacementType {
  std::vector<Frame> frames;  // one per part, in part order
  std::vector<AnimationHook> hooks;
  static ReadResult<PlacementType> read(ByteReader& in, uint32_t num_parts);
};

// u32 id | u32 flags | u32 num_parts | num_parts x u32 parts |
// flags & 0x01: num_parts x u32 part_links | flags & 0x02: num_parts x Vector3 part_vectors |
// locations_a, locations_b: u32 count, count x (u32 key, LocationType) |
// placement_frames: i32 count, count x (u32 key, PlacementType) |
// u32 count, count x CylSphere | u32 count, count x Sphere | 4 x f32 sizes | 2 x Sphere |
// lights: u32 count, count x (u32 key, LightInfo) | 5 x u32 ref ids (0 = absent).
// Keyed tables keep the entry read last for a repeated key; bytes after the last field are ignored.
struct SetupModel {
  static constexpr uint32_t kPartLinksBit = 0x01;
  static constexpr uint32_t kPartVectorsBit = 0x02;

  uint32_t id = 0;
  uint32_t flags = 0;
  std::vector<uint32_t> parts;  // the GfxObj id of each part
  std::vector<uint32_t> part_links;  // empty unless flags & 0x01
  std::vector<Vector3> part_vectors;  // empty unless flags & 0x02
  std::unordered_map<uint32_t, LocationType> locations_a;
  std::unordered_map<uint32_t, LocationType> locations_b;
  std::unordered_map<uint32_t, PlacementType> placement_frames;
  std::vector<CylSphere> cyl_spheres;
  std::vector<Sphere> spheres;
  float size_a = 0;
  float size_b = 0;
  float size_c = 0;
  float size_d = 0;
  Sphere sphere_a;
  Sphere sphere_b;
  std::unordered_map<uint32_t, LightInfo> lights;
  std::optional<uint32_t> ref_id_a;
  std::optional<uint32_t> ref_id_b;
  std::optional<uint32_t> ref_id_c;
  std::optional<uint32_t> ref_id_d;
  std::optional<uint32_t> ref_id_e;

  // Fails with the failed check "SetupModel 0x{:08X} declared negative placement count {}" (at
  // the position just after the count) when the placement count is negative.
  static ReadResult<SetupModel> unpack(ByteReader& in);
  static ReadResult<SetupModel> unpack(std::span<const uint8_t> bytes);
};

}  // namespace fennistock::dat
