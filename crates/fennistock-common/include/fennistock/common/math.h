// The shared math records of the archive formats: every component an IEEE single, taken bit for
// bit (no normalisation; NaN and infinities pass through).
#pragma once

#include "fennistock/common/byte_reader.h"

namespace fennistock {

// x, y, z; 12 bytes.
struct Vector3 {
  float x = 0;
  float y = 0;
  float z = 0;
};

// Stored w first: w, x, y, z; 16 bytes.
struct Quaternion {
  float w = 0;
  float x = 0;
  float y = 0;
  float z = 0;
};

// normal, then d; 16 bytes.
struct Plane {
  Vector3 normal;
  float d = 0;
};

// center, then radius; 16 bytes.
struct Sphere {
  Vector3 center;
  float radius = 0;
};

// The position and orientation of an object relative to its parent; origin then orientation,
// 28 bytes. Its reader lives with the record family that reads it, since its error contexts name
// that family's module.
struct Frame {
  Vector3 origin;
  Quaternion orientation;
};

// Each reads one record at the cursor and leaves it just past the record. A failing component
// carries the context "While parsing field '{}' in {record}" of module
// "crates/fennistock-common/src/math".
ReadResult<Vector3> read_vector3(ByteReader& in);
ReadResult<Quaternion> read_quaternion(ByteReader& in);
ReadResult<Plane> read_plane(ByteReader& in);
ReadResult<Sphere> read_sphere(ByteReader& in);

}  // namespace fennistock
