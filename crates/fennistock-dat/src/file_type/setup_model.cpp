#include "fennistock/dat/file_type/setup_model.h"

#include <algorithm>

#include <fmt/format.h>

#include "fennistock/dat/graphics.h"

namespace fennistock::dat {
namespace {
constexpr std::string_view kModule = "crates/fennistock-dat/src/file_type/setup_model";

constexpr uint32_t kVariableHookType = 5;

// Payload bytes of each fixed-size hook type 0 to 26 (type 5 is variable and handled apart).
constexpr uint8_t kHookPayload[AnimationHook::kMaxType + 1] = {
    0,  4,  4,  28, 0,  0,  4,  16, 12, 16, 12, 16, 8,  40,  // 0-13
    4,  4,  4,  0,  4,  8,  12, 16, 12, 8,  12, 4,  40,      // 14-26
};

// n u32 values.
ReadResult<std::vector<uint32_t>> read_u32s(ByteReader& in, uint32_t n) {
  std::vector<uint32_t> values;
  values.reserve(std::min<size_t>(n, in.remaining() / 4));
  for (uint32_t i = 0; i < n; ++i) {
    FS_TRY(const uint32_t v, in.u32());
    values.push_back(v);
  }
  return values;
}

// u32 count, count x (u32 key, LocationType); a repeated key keeps the last entry.
ReadResult<std::unordered_map<uint32_t, LocationType>> read_locations(ByteReader& in) {
  FS_TRY(const uint32_t count, in.u32());
  std::unordered_map<uint32_t, LocationType> table;
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const uint32_t key, in.u32());
    FS_TRY(const LocationType location, LocationType::read(in));
    table.insert_or_assign(key, location);
  }
  return table;
}

// Zero, as the trailing ids store absence, becomes an empty optional.
ReadResult<std::optional<uint32_t>> read_ref_id(ByteReader& in) {
  FS_TRY(const uint32_t id, in.u32());
  if (id == 0) return std::optional<uint32_t>();
  return std::optional<uint32_t>(id);
}

}  // namespace

ReadResult<LocationType> LocationType::read(ByteReader& in) {
  LocationType location;
  FS_TRY_CTX(location.part_id, in.u32(), FS_FIELD("part_id", "LocationType"));
  FS_TRY_CTX(location.frame, read_graphics_frame(in), FS_FIELD("frame", "LocationType"));
  return location;
}

ReadResult<CylSphere> CylSphere::read(ByteReader& in) {
  CylSphere cyl;
  FS_TRY_CTX(cyl.origin, read_vector3(in), FS_FIELD("origin", "CylSphere"));
  FS_TRY_CTX(cyl.radius, in.f32(), FS_FIELD("radius", "CylSphere"));
  FS_TRY_CTX(cyl.height, in.f32(), FS_FIELD("height", "CylSphere"));
  return cyl;
}

ReadResult<LightInfo> LightInfo::read(ByteReader& in) {
  LightInfo light;
  FS_TRY_CTX(light.viewer_space_location, read_graphics_frame(in),
             FS_FIELD("viewer_space_location", "LightInfo"));
  FS_TRY_CTX(light.color, in.u32(), FS_FIELD("color", "LightInfo"));
  FS_TRY_CTX(light.intensity, in.f32(), FS_FIELD("intensity", "LightInfo"));
  FS_TRY_CTX(light.falloff, in.f32(), FS_FIELD("falloff", "LightInfo"));
  FS_TRY_CTX(light.cone_angle, in.f32(), FS_FIELD("cone_angle", "LightInfo"));
  return light;
}

ReadResult<AnimationHook> AnimationHook::read(ByteReader& in) {
  AnimationHook hook;
  const uint64_t start = in.position();
  FS_TRY(hook.hook_type, in.u32());
  FS_TRY(hook.direction, in.u32());
  if (hook.hook_type > kMaxType) {
    return ReadError::failed_check(in.position(),
                                   fmt::format("Unsupported AnimationHook type: 0x{:08X}", hook.hook_type));
  }
  size_t payload = kHookPayload[hook.hook_type];
  if (hook.hook_type == kVariableHookType) {
    // A byte, a u16, and a second u16 when the first has its top bit set.
    FS_TRY(const auto head, in.take(3));
    payload = (head[2] & 0x80) != 0 ? 5 : 3;
    hook.data.assign(head.begin(), head.end());
    FS_TRY(const auto tail, in.take(payload - 3));
    hook.data.insert(hook.data.end(), tail.begin(), tail.end());
  } else {
    FS_TRY(const auto bytes, in.take(payload));
    hook.data.assign(bytes.begin(), bytes.end());
  }
  // Padding brings the hook's length from its first byte to a multiple of 4; it is kept in data.
  const size_t padding = static_cast<size_t>((start - in.position()) % 4);
  FS_TRY(const auto pad, in.take(padding));
  hook.data.insert(hook.data.end(), pad.begin(), pad.end());
  return hook;
}

ReadResult<PlacementType> PlacementType::read(ByteReader& in, uint32_t num_parts) {
  PlacementType placement;
  for (uint32_t i = 0; i < num_parts; ++i) {
    FS_TRY(const Frame frame, read_graphics_frame(in));
    placement.frames.push_back(frame);
  }
  FS_TRY(const uint32_t hook_count, in.u32());
  for (uint32_t i = 0; i < hook_count; ++i) {
    FS_TRY(AnimationHook hook, AnimationHook::read(in));
    placement.hooks.push_back(std::move(hook));
  }
  return placement;
}

ReadResult<SetupModel> SetupModel::unpack(ByteReader& in) {
  SetupModel setup;
  FS_TRY(setup.id, in.u32());
  FS_TRY(setup.flags, in.u32());
  FS_TRY(const uint32_t num_parts, in.u32());
  FS_TRY(setup.parts, read_u32s(in, num_parts));
  if ((setup.flags & kPartLinksBit) != 0) {
    FS_TRY(setup.part_links, read_u32s(in, num_parts));
  }
  if ((setup.flags & kPartVectorsBit) != 0) {
    for (uint32_t i = 0; i < num_parts; ++i) {
      FS_TRY(const Vector3 v, read_vector3(in));
      setup.part_vectors.push_back(v);
    }
  }
  FS_TRY(setup.locations_a, read_locations(in));
  FS_TRY(setup.locations_b, read_locations(in));

  FS_TRY(const int32_t placement_count, in.i32());
  if (placement_count < 0) {
    return ReadError::failed_check(
        in.position(),
        fmt::format("SetupModel 0x{:08X} declared negative placement count {}", setup.id, placement_count));
  }
  for (int32_t i = 0; i < placement_count; ++i) {
    FS_TRY(const uint32_t key, in.u32());
    FS_TRY(PlacementType placement, PlacementType::read(in, num_parts));
    setup.placement_frames.insert_or_assign(key, std::move(placement));
  }

  FS_TRY(const uint32_t cyl_count, in.u32());
  for (uint32_t i = 0; i < cyl_count; ++i) {
    FS_TRY(const CylSphere cyl, CylSphere::read(in));
    setup.cyl_spheres.push_back(cyl);
  }
  FS_TRY(const uint32_t sphere_count, in.u32());
  for (uint32_t i = 0; i < sphere_count; ++i) {
    FS_TRY(const Sphere sphere, read_sphere(in));
    setup.spheres.push_back(sphere);
  }
  FS_TRY(setup.size_a, in.f32());
  FS_TRY(setup.size_b, in.f32());
  FS_TRY(setup.size_c, in.f32());
  FS_TRY(setup.size_d, in.f32());
  FS_TRY(setup.sphere_a, read_sphere(in));
  FS_TRY(setup.sphere_b, read_sphere(in));
  FS_TRY(const uint32_t light_count, in.u32());
  for (uint32_t i = 0; i < light_count; ++i) {
    FS_TRY(const uint32_t key, in.u32());
    FS_TRY(const LightInfo light, LightInfo::read(in));
    setup.lights.insert_or_assign(key, light);
  }
  FS_TRY(setup.ref_id_a, read_ref_id(in));
  FS_TRY(setup.ref_id_b, read_ref_id(in));
  FS_TRY(setup.ref_id_c, read_ref_id(in));
  FS_TRY(setup.ref_id_d, read_ref_id(in));
  FS_TRY(setup.ref_id_e, read_ref_id(in));
  return setup;
}

ReadResult<SetupModel> SetupModel::unpack(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return unpack(in);
}

}  // namespace fennistock::dat
