// Writes the seed corpora of the fuzz targets, built with the test-support writers so that every
// seed is a well-formed input the fuzzer then damages.
//
//   fuzz_corpus_gen DIR    -> DIR/archive_open/, DIR/chains/, DIR/decompress/, DIR/records/,
//                             DIR/landblocks/, one file per seed
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dat_entry_points.h"
#include "testing/archive_writer.h"
#include "testing/lrs_encoder.h"
#include "testing/record_builders.h"

namespace {

using namespace fennistock;
using namespace fennistock::testing;
using Bytes = std::vector<uint8_t>;

struct Corpus {
  std::filesystem::path dir;
  int count = 0;
  void add(const Bytes& bytes) {
    std::ofstream(dir / ("seed-" + std::to_string(count++)), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void add(std::string_view text) { add(Bytes(text.begin(), text.end())); }
};

Bytes with_selector(uint8_t selector, const Bytes& bytes) {
  Bytes out{selector};
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

Bytes small_gfx() { return GfxObjBuilder::mesh(0x01000010, 4).bytes(); }

// A few records of every size class, every other one compressed.
ArchiveWriter small_archive(uint32_t block_size, uint32_t per_node) {
  ArchiveWriter w({.block_size = block_size, .max_entries_per_node = per_node});
  const Bytes cell = CellLandblockBuilder(0xA9B4FFFF).all_terrain(0x0004).bytes();
  w.add(0xA9B4FFFF, cell);
  w.add(0xA9B4FFFE, LandblockInfoBuilder(0xA9B4FFFE).building(0x01000010, frame_at(10, 10, 0)).bytes(),
        {.compress = true});
  w.add(0x01000010, small_gfx());
  w.add(0x120000A0, SceneBuilder().object(object_desc(0x01000010)).bytes(), {.compress = true});
  w.add(0x21000001, Bytes{1, 2, 3, 4});
  return w;
}

void archives(Corpus& c) {
  for (const auto& [block, per_node] : {std::pair{256u, 61u}, {64u, 2u}, {16u, 1u}}) {
    ArchiveWriter w = small_archive(block, per_node);
    c.add(w.build());
  }
  ArchiveWriter empty({.block_size = 64});
  empty.set_root(0);
  c.add(empty.build());
}

void chains(Corpus& c) {
  for (const uint32_t block : {8u, 16u, 64u}) {
    ArchiveWriter w = small_archive(block, 61);
    const Bytes file = w.build();
    Bytes seed{static_cast<uint8_t>(block), static_cast<uint8_t>(w.entries().size())};
    for (const dat::DatFileEntry& e : w.entries()) {
      const uint32_t offset = e.offset - 0x190;
      seed.push_back(static_cast<uint8_t>(e.bit_flags & 1));
      seed.push_back(static_cast<uint8_t>(offset));
      seed.push_back(static_cast<uint8_t>(offset >> 8));
      seed.push_back(static_cast<uint8_t>(e.size));
      seed.push_back(static_cast<uint8_t>(e.size >> 8));
    }
    // The block area up to the directory that the target writes itself.
    seed.insert(seed.end(), file.begin() + 0x190, file.begin() + std::min<size_t>(file.size(), 0x190 + 4096));
    c.add(seed);
  }
}

void decompress(Corpus& c) {
  c.add(Bytes{5, 0, 0, 0, 0x20, 0x61, 0x62, 0x02, 0x01});
  std::string text;
  for (int k = 0; k < 40; ++k) text += "scenery " + std::to_string(k % 7) + " ";
  c.add(lrs_encode(Bytes(text.begin(), text.end())));
  c.add(lrs_encode(CellLandblockBuilder().all_terrain(0x2803).bytes()));
  c.add(lrs_encode(small_gfx()));
}

void records(Corpus& c) {
  using K = fuzz::RecordKind;
  const auto sel = [](K k) { return static_cast<uint8_t>(k); };
  c.add(with_selector(sel(K::kCellLandblock), CellLandblockBuilder().all_terrain(0x2803).all_heights(7).bytes()));

  dat::BuildInfo building;
  building.model_id = 0x02000001;
  building.frame = frame_at(50, 60, 0);
  building.portals = {dat::PortalInternal{.num_stabs = 1, .stab_list = {3}},
                      dat::PortalInternal{.num_stabs = 2, .stab_list = {4, 5}}};
  c.add(with_selector(sel(K::kLandblockInfo), LandblockInfoBuilder()
                                                  .object(0x01000001, frame_at(1, 2, 3))
                                                  .building(building)
                                                  .restrictions({{1, 2}, {1, 3}})
                                                  .bytes()));

  c.add(with_selector(sel(K::kRegion), RegionBuilder()
                                           .full_sections()
                                           .terrain_type("Grass", {0, 1})
                                           .scene_type({0x120000A0})
                                           .scene_type({0x120000A1, 0x120000A2})
                                           .bytes()));
  c.add(with_selector(sel(K::kRegion), RegionBuilder().parts_mask(0).bytes()));

  dat::ObjectDesc shifted = object_desc(0x02000002);
  shifted.displace_x = 3;
  shifted.max_rotation = 90;
  c.add(with_selector(sel(K::kScene), SceneBuilder().object(object_desc(0x01000001)).object(shifted).bytes()));

  c.add(with_selector(sel(K::kSetupModel),
                      SetupModelBuilder()
                          .parts({0x01000001, 0x01000002})
                          .part_links({0, 0})
                          .part_vectors({{1, 1, 1}, {2, 2, 2}})
                          .location_a(1, dat::LocationType{7, frame_at(1, 0, 0)})
                          .default_placement(0, {animation_hook(5, {1, 0x34, 0x12}), animation_hook(3, Bytes(28, 0)),
                                                 animation_hook(0, {})})
                          .cyl_sphere({{0, 0, 0}, 1, 2})
                          .sphere({{0, 0, 0}, 3})
                          .light(4, dat::LightInfo{})
                          .ref_ids({0, 1, 0, 2, 0})
                          .bytes()));

  c.add(with_selector(sel(K::kGfxObj), small_gfx()));
  c.add(with_selector(sel(K::kGfxObj), GfxObjBuilder().flags(0x0B).trailing_id(9).bytes()));

  for (const auto& [k, kind] : {std::pair{K::kBspDrawing, dat::TreeKind::kDrawing},
                                {K::kBspPhysics, dat::TreeKind::kPhysics},
                                {K::kBspCell, dat::TreeKind::kCell}}) {
    const BspNodeBuilder tree =
        BspNodeBuilder::internal("BPIN")
            .pos(BspNodeBuilder::portal(BspNodeBuilder::leaf(1).polys({1, 2}), BspNodeBuilder::leaf(2))
                     .polys({3})
                     .portal_polys({{1, 2}}))
            .neg(BspNodeBuilder::internal("BpnN").neg(BspNodeBuilder::leaf(3)))
            .polys({4, 5});
    c.add(with_selector(sel(k), tree.bytes(kind)));
    c.add(with_selector(sel(k), nested_bsp_bytes(kind, 40)));
  }

  RecordWriter prim;
  prim.u8(3).bytes(Bytes{'a', 'b', 'c'}).pstring16("\xEF\xBB\xBF" "A").u32(2).u8(0xFF).u8(0xFE);
  prim.compressed_u32(0x102).compressed_u32(2).u32(1).u32(2);
  c.add(with_selector(sel(K::kPrimitives), prim.take()));
}

void landblocks(Corpus& c) {
  for (const std::string_view spec : {"0xA9B4", "  +a9b4 ", "0x0x1F", "000000000000A9B4", "100000000"}) {
    c.add(std::string("\x00", 1) + std::string(spec));
  }
  for (const std::string_view spec : {"0xA3AE..0xA4AF", "0xA3AE .. 0xAFBA", "0x0000..0x00FF", "0x1A9B4"}) {
    c.add(std::string("\x01") + std::string(spec));
  }
  c.add(std::string("\x02") + "0xA9B4\r\n\r\n# comment\r\n0xA9B4");
  c.add(std::string("\x02") + "# only comments\n\n");
  c.add(std::string("\x02") + "0xA9B4\n0x1A9B4\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const std::pair<const char*, void (*)(Corpus&)> targets[] = {
      {"archive_open", archives}, {"chains", chains},         {"decompress", decompress},
      {"records", records},       {"landblocks", landblocks},
  };
  for (const auto& [name, fill] : targets) {
    Corpus c{root / name};
    std::filesystem::create_directories(c.dir);
    fill(c);
    std::printf("%s: %d seeds\n", name, c.count);
  }
  return 0;
}
