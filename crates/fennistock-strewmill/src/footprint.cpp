#include "footprint.h"

#include <cstddef>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fennistock::strewmill::internal {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// One point's contribution; the bounds move only for a coordinate strictly beyond them.
inline void add_point(BuildingFootprint& f, const Vector3& v, float x, float y, float scale, float sn,
                      float cs) {
  const float sx = v.x * scale;
  const float sy = v.y * scale;
  const float rx = cs * sx - sn * sy;
  const float ry = sn * sx + cs * sy;
  const float px = x + rx;
  const float py = y + ry;
  if (px < f.min_x) f.min_x = px;
  if (py < f.min_y) f.min_y = py;
  if (px > f.max_x) f.max_x = px;
  if (py > f.max_y) f.max_y = py;
}

constexpr BuildingFootprint kEmpty{kInf, kInf, -kInf, -kInf};

}  // namespace

BuildingFootprint footprint_scalar(std::span<const Vector3> mesh, float x, float y, float scale, float sn,
                                   float cs) {
  BuildingFootprint f = kEmpty;
  for (const Vector3& v : mesh) add_point(f, v, x, y, scale, sn, cs);
  return f;
}

#if defined(__SSE2__)

BuildingFootprint footprint(std::span<const Vector3> mesh, float x, float y, float scale, float sn,
                            float cs) {
  // Two points per register as (x, y, x, y). Each lane performs the scalar operations exactly:
  //   lane x: cs * sx + (-sn) * sy == cs * sx - sn * sy
  //   lane y: cs * sy + sn * sx    == sn * sx + cs * sy
  // (negation is exact and IEEE addition commutes), then x + rx and y + ry. _mm_min_ps(p, m)
  // yields p only when p < m, and m for a NaN p: the scalar "replace only if less" rule.
  const __m128 vscale = _mm_set1_ps(scale);
  const __m128 vcs = _mm_set1_ps(cs);
  const __m128 vsn = _mm_setr_ps(-sn, sn, -sn, sn);
  const __m128 vpos = _mm_setr_ps(x, y, x, y);
  __m128 lo_a = _mm_set1_ps(kInf), lo_b = lo_a;
  __m128 hi_a = _mm_set1_ps(-kInf), hi_b = hi_a;
  const Vector3* p = mesh.data();
  const size_t n = mesh.size();
  size_t i = 0;
  const auto transform = [&](size_t k) {
    __m128 v = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&p[k].x));
    v = _mm_loadh_pi(v, reinterpret_cast<const __m64*>(&p[k + 1].x));
    const __m128 s = _mm_mul_ps(v, vscale);
    const __m128 swapped = _mm_shuffle_ps(s, s, _MM_SHUFFLE(2, 3, 0, 1));
    const __m128 r = _mm_add_ps(_mm_mul_ps(vcs, s), _mm_mul_ps(vsn, swapped));
    return _mm_add_ps(vpos, r);
  };
  // Two independent accumulators hide the latency of the min/max chains.
  for (; i + 4 <= n; i += 4) {
    const __m128 a = transform(i);
    const __m128 b = transform(i + 2);
    lo_a = _mm_min_ps(a, lo_a);
    hi_a = _mm_max_ps(a, hi_a);
    lo_b = _mm_min_ps(b, lo_b);
    hi_b = _mm_max_ps(b, hi_b);
  }
  if (i + 2 <= n) {
    const __m128 a = transform(i);
    lo_a = _mm_min_ps(a, lo_a);
    hi_a = _mm_max_ps(a, hi_a);
    i += 2;
  }
  // The accumulators hold no NaN (they start infinite and NaN never enters), so combining them
  // in any order gives the same values.
  const __m128 lo2 = _mm_min_ps(lo_a, lo_b);
  const __m128 hi2 = _mm_max_ps(hi_a, hi_b);
  const __m128 lo = _mm_min_ps(lo2, _mm_movehl_ps(lo2, lo2));
  const __m128 hi = _mm_max_ps(hi2, _mm_movehl_ps(hi2, hi2));
  alignas(16) float lo_out[4];
  alignas(16) float hi_out[4];
  _mm_store_ps(lo_out, lo);
  _mm_store_ps(hi_out, hi);
  BuildingFootprint f{lo_out[0], lo_out[1], hi_out[0], hi_out[1]};
  if (i < n) add_point(f, p[i], x, y, scale, sn, cs);
  // Only the sign of a zero bound can depend on the order in which the points were visited (+0
  // and -0 tie); redo such a box one point at a time so the result matches the scalar loop bit
  // for bit.
  if (f.min_x == 0.0f || f.min_y == 0.0f || f.max_x == 0.0f || f.max_y == 0.0f) {
    return footprint_scalar(mesh, x, y, scale, sn, cs);
  }
  return f;
}

#else

BuildingFootprint footprint(std::span<const Vector3> mesh, float x, float y, float scale, float sn,
                            float cs) {
  return footprint_scalar(mesh, x, y, scale, sn, cs);
}

#endif

}  // namespace fennistock::strewmill::internal
