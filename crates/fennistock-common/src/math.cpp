#include "fennistock/common/math.h"

namespace fennistock {
namespace {
constexpr std::string_view kModule = "crates/fennistock-common/src/math";
}  // namespace

ReadResult<Vector3> read_vector3(ByteReader& in) {
  Vector3 v;
  FS_TRY_CTX(v.x, in.f32(), FS_FIELD("x", "Vector3"));
  FS_TRY_CTX(v.y, in.f32(), FS_FIELD("y", "Vector3"));
  FS_TRY_CTX(v.z, in.f32(), FS_FIELD("z", "Vector3"));
  return v;
}

ReadResult<Quaternion> read_quaternion(ByteReader& in) {
  Quaternion q;
  FS_TRY_CTX(q.w, in.f32(), FS_FIELD("w", "Quaternion"));
  FS_TRY_CTX(q.x, in.f32(), FS_FIELD("x", "Quaternion"));
  FS_TRY_CTX(q.y, in.f32(), FS_FIELD("y", "Quaternion"));
  FS_TRY_CTX(q.z, in.f32(), FS_FIELD("z", "Quaternion"));
  return q;
}

ReadResult<Plane> read_plane(ByteReader& in) {
  Plane p;
  FS_TRY_CTX(p.normal, read_vector3(in), FS_FIELD("normal", "Plane"));
  FS_TRY_CTX(p.d, in.f32(), FS_FIELD("d", "Plane"));
  return p;
}

ReadResult<Sphere> read_sphere(ByteReader& in) {
  Sphere s;
  FS_TRY_CTX(s.center, read_vector3(in), FS_FIELD("center", "Sphere"));
  FS_TRY_CTX(s.radius, in.f32(), FS_FIELD("radius", "Sphere"));
  return s;
}

}  // namespace fennistock
