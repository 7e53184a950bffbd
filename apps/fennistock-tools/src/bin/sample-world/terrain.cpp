#include "terrain.h"

#include <algorithm>
#include <cmath>

#include "rng.h"

namespace fennistock::sample_world {

const std::array<std::string_view, kTerrainTypes> kTerrainTypeNames = {
    "BarrenRock",   "Grassland",       "Ice",          "LushGrass",        "MarshSparseSwamp",
    "MudRichDirt",  "ObsidianPlain",   "PackedDirt",   "PatchyDirt",       "PatchyGrassland",
    "SandYellow",   "SandGrey",        "SandRockStrewn", "SedimentaryRock", "SemiBarrenRock",
    "Snow",         "WaterRunning",    "WaterStandingFresh", "WaterShallowSea", "WaterShallowStillSea",
    "WaterDeepSea", "ForestFloor",     "FauxWaterRunning", "SeaSlime",       "Argila",
    "Volcano1",     "Volcano2",        "BlueIce",      "Moss",             "DarkMoss",
    "OlthoiTerrain", "DesolateLands",
};

bool is_water_type(uint32_t t) { return t == 16 || t == 17 || t == 18 || t == 19 || t == 20; }

namespace {

constexpr double kSeaLevel = 0.40;
constexpr int kWorldVertices = 2048;  // global vertex coordinates run 0..2048

// Candidate terrain types per band of elevation, wettest last.
constexpr std::array<std::array<uint8_t, 4>, 8> kBands = {{
    {20, 20, 20, 23},  // deep sea
    {18, 19, 18, 23},  // shallow sea
    {11, 10, 12, 10},  // beach
    {31, 8, 7, 24},    // dry lowland
    {9, 1, 1, 3},      // grassland
    {3, 21, 21, 4},    // forest and marsh
    {14, 13, 29, 28},  // hills
    {0, 6, 15, 2},     // mountains; 25, 26, 27, 30 appear as rare patches
}};

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

double lattice(uint64_t seed, int64_t ix, int64_t iy) {
  const uint64_t h = mix64(seed ^ mix64(static_cast<uint64_t>(ix) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(iy)));
  return static_cast<double>(h >> 11) * 0x1.0p-53;
}

double value_noise(uint64_t seed, double x, double y) {
  const double fx = std::floor(x);
  const double fy = std::floor(y);
  const auto ix = static_cast<int64_t>(fx);
  const auto iy = static_cast<int64_t>(fy);
  const double tx = smooth(x - fx);
  const double ty = smooth(y - fy);
  const double a = lattice(seed, ix, iy);
  const double b = lattice(seed, ix + 1, iy);
  const double c = lattice(seed, ix, iy + 1);
  const double d = lattice(seed, ix + 1, iy + 1);
  const double top = a + (b - a) * tx;
  const double bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

}  // namespace

TerrainModel::TerrainModel(uint64_t seed, const std::array<uint8_t, kTerrainTypes>& slot_counts,
                           std::array<uint32_t, 4> focus)
    : seed_(mix64(seed ^ 0x7465727261696E00ull)), slot_counts_(slot_counts) {
  Rng rng = Rng(seed_).fork(1);
  const auto add = [&](double ax, double ay, double bx, double by) {
    roads_.push_back({ax, ay, bx, by, std::min(ax, bx) - 1, std::min(ay, by) - 1, std::max(ax, bx) + 1,
                      std::max(ay, by) + 1});
  };
  // Winding roads between towns: polylines of a few straight stretches.
  for (int r = 0; r < 160; ++r) {
    double x = rng.uniform(0, kWorldVertices);
    double y = rng.uniform(0, kWorldVertices);
    double heading = rng.uniform(0, 6.283185307179586);
    const uint32_t stretches = rng.between(3, 8);
    for (uint32_t s = 0; s < stretches; ++s) {
      heading += rng.uniform(-0.8, 0.8);
      const double len = rng.uniform(30, 220);
      const double nx = std::clamp(x + std::cos(heading) * len, 0.0, double{kWorldVertices});
      const double ny = std::clamp(y + std::sin(heading) * len, 0.0, double{kWorldVertices});
      add(x, y, nx, ny);
      x = nx;
      y = ny;
    }
  }
  // One main road across the generated rectangle, corner to corner.
  add(focus[0] * 8.0 + 1.5, focus[1] * 8.0 + 2.5, focus[2] * 8.0 + 7.5, focus[3] * 8.0 + 6.5);
}

double TerrainModel::noise(uint64_t salt, double x, double y, int octaves, double scale) const {
  double sum = 0;
  double amp = 1;
  double norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * value_noise(seed_ + salt * 131 + static_cast<uint64_t>(o), x / scale, y / scale);
    norm += amp;
    amp *= 0.5;
    scale *= 0.5;
  }
  return sum / norm;
}

bool TerrainModel::on_road(double gx, double gy, const std::vector<const Segment*>& near) const {
  for (const Segment* s : near) {
    const double dx = s->bx - s->ax;
    const double dy = s->by - s->ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((gx - s->ax) * dx + (gy - s->ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = s->ax + t * dx - gx;
    const double ey = s->ay + t * dy - gy;
    if (ex * ex + ey * ey <= 0.55) return true;
  }
  return false;
}

LandblockTerrain TerrainModel::landblock(uint16_t lb) const {
  const int lx = lb >> 8;
  const int ly = lb & 0xFF;
  std::vector<const Segment*> near;
  for (const Segment& s : roads_) {
    if (s.max_x >= lx * 8 && s.min_x <= lx * 8 + 8 && s.max_y >= ly * 8 && s.min_y <= ly * 8 + 8) near.push_back(&s);
  }
  LandblockTerrain out;
  for (int x = 0; x <= 8; ++x) {
    for (int y = 0; y <= 8; ++y) {
      const double gx = lx * 8 + x;
      const double gy = ly * 8 + y;
      // Continents from broad noise, hills and valleys from the finer octaves.
      const double raw = noise(1, gx, gy, 6, 384.0);
      const double elevation = std::clamp((raw - 0.5) * 2.4 + 0.5, 0.0, 1.0);
      const double moisture = noise(2, gx, gy, 4, 160.0);
      const double variety = noise(3, gx, gy, 3, 24.0);
      const uint64_t h = mix64(seed_ ^ (static_cast<uint64_t>(gx) << 32 | static_cast<uint64_t>(gy)));

      size_t band;
      if (elevation < kSeaLevel - 0.12) band = 0;
      else if (elevation < kSeaLevel) band = 1;
      else if (elevation < kSeaLevel + 0.03) band = 2;
      else if (elevation < 0.62) band = moisture < 0.42 ? 3 : (moisture < 0.55 ? 4 : 5);
      else if (elevation < 0.78) band = 6;
      else band = 7;
      const double pick = std::clamp(variety * 0.7 + moisture * 0.3 + (static_cast<double>(h & 0xFF) / 2560.0), 0.0, 0.999);
      uint32_t type = kBands[band][static_cast<size_t>(pick * 4)];
      if (band == 7 && (h >> 8) % 97 == 0) type = 25 + static_cast<uint32_t>((h >> 16) % 6 == 0 ? 5 : (h >> 16) % 3);

      // Height: shallow sea floors below index 30, land above, the peaks near 255.
      const double idx = elevation < kSeaLevel ? elevation / kSeaLevel * 30.0
                                               : 30.0 + (elevation - kSeaLevel) / (1.0 - kSeaLevel) * 225.0;
      const auto height = static_cast<uint8_t>(std::clamp(static_cast<int>(idx), 0, 255));

      // Scene-type slot: mostly coherent over a few cells, sometimes a single vertex differs.
      const uint32_t slots = slot_counts_[type];
      uint32_t slot = 0;
      if (slots > 1) {
        const double s = ((h >> 24) % 10 < 7) ? noise(4, gx, gy, 2, 6.0) : static_cast<double>((h >> 32) & 0xFFFF) / 65536.0;
        slot = std::min(slots - 1, static_cast<uint32_t>(s * slots));
      }
      uint16_t roads = 0;
      if (!is_water_type(type) && on_road(gx, gy, near)) roads = static_cast<uint16_t>(1 + (h >> 40) % 3);
      // Bits 7..10 carry nothing the bake reads; real archives use them, so vary them too.
      const auto unused = static_cast<uint16_t>((h >> 48) & 0xF);

      const size_t i = static_cast<size_t>(9 * x + y);
      out.terrain[i] = static_cast<uint16_t>(roads | (type << 2) | (unused << 7) | (slot << 11));
      out.height[i] = height;
      out.has_water |= is_water_type(type);
      out.has_land |= !is_water_type(type);
      out.has_road |= roads != 0;
    }
  }
  return out;
}

std::array<float, 256> TerrainModel::land_heights() {
  std::array<float, 256> h{};
  float v = 0;
  for (size_t i = 0; i < h.size(); ++i) {
    h[i] = v;
    v += i < 30 ? 1.0f : (i < 120 ? 2.0f : (i < 200 ? 4.0f : 8.0f));
  }
  return h;
}

}  // namespace fennistock::sample_world
