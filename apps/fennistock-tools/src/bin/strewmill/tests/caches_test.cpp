#include "caches.h"

#include <gtest/gtest.h>

#include "testing/archive_writer.h"
#include "testing/record_builders.h"
#include "testing/temp_file.h"

namespace fennistock::tool {
namespace {

class CachesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ArchiveWriter w({.block_size = 128, .max_entries_per_node = 4});
    testing::GfxObjBuilder eight(0x01000008);
    for (uint16_t k = 0; k < 8; ++k) eight.vertex(k, {static_cast<float>(k), 0, 0});
    testing::GfxObjBuilder twelve(0x0100000C);
    for (uint16_t k = 0; k < 12; ++k) twelve.vertex(k, {0, static_cast<float>(k) + 100, 0});
    w.add(0x01000008, eight.bytes());
    w.add(0x0100000C, twelve.bytes(), {.compress = true});
    w.add(0x01000000, testing::GfxObjBuilder(0x01000000).bytes());  // no vertices
    w.add(0x02000001, testing::SetupModelBuilder(0x02000001).parts({0x01000008, 0x0100000C}).bytes());
    w.add(0x02000002, testing::SetupModelBuilder(0x02000002).parts({0x01000BAD, 0x01000000}).bytes());
    w.add(0x02000003, testing::SetupModelBuilder(0x02000003).bytes());  // no parts
    w.add(0x03000001, eight.bytes());  // a GfxObj's bytes under another kind's id
    w.add(0x120000A0, testing::SceneBuilder(0x120000A0).object(testing::object_desc(0x01000008)).bytes());
    const std::vector<uint8_t> unreadable = {0x01, 0x02};
    w.add(0x120000A1, unreadable);
    file_ = std::make_unique<testing::TempFile>(w.build());
    auto db = dat::DatDatabase::open(file_->path());
    ASSERT_TRUE(db.ok()) << db.error().to_string();
    portal_ = std::make_unique<dat::DatDatabase>(std::move(db).value());
  }

  std::unique_ptr<testing::TempFile> file_;
  std::unique_ptr<dat::DatDatabase> portal_;
};

TEST_F(CachesTest, SetupCombinesItsPartsUntransformed) {
  MeshCache meshes;
  const LocalMesh* mesh = meshes.lookup(*portal_, 0x02000001);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->size(), 20u);
  // The first eight points come from the first part, in any order.
  std::vector<float> xs;
  for (size_t k = 0; k < 8; ++k) {
    EXPECT_EQ((*mesh)[k].y, 0.0f);
    xs.push_back((*mesh)[k].x);
  }
  std::sort(xs.begin(), xs.end());
  EXPECT_EQ(xs, (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
  for (size_t k = 8; k < 20; ++k) EXPECT_GE((*mesh)[k].y, 100.0f);
}

TEST_F(CachesTest, MissingMeshesAreCachedAndOtherKindsNeverFetched) {
  MeshCache meshes;
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(meshes.lookup(*portal_, 0x02000002), nullptr);  // parts missing or empty
    EXPECT_EQ(meshes.lookup(*portal_, 0x02000003), nullptr);  // no parts
    EXPECT_EQ(meshes.lookup(*portal_, 0x01000000), nullptr);  // no vertices
    EXPECT_EQ(meshes.lookup(*portal_, 0x01000BAD), nullptr);  // absent
    EXPECT_EQ(meshes.lookup(*portal_, 0x03000001), nullptr);  // not a model kind
  }
  // 0x02000002: the setup and its two parts; 0x02000003: the setup; then one each.
  EXPECT_EQ(meshes.archive_reads(), 3u + 1u + 1u + 1u);
  // gfx_local_mesh reads whatever kind the id has.
  EXPECT_EQ(gfx_local_mesh(*portal_, 0x03000001)->size(), 8u);
}

TEST_F(CachesTest, ScenesAreReadOnceEvenWhenAbsent) {
  SceneCache scenes;
  for (int round = 0; round < 3; ++round) {
    const dat::Scene* s = scenes.lookup(*portal_, 0x120000A0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->objects.size(), 1u);
    EXPECT_EQ(scenes.lookup(*portal_, 0x120000A1), nullptr);
    EXPECT_EQ(scenes.lookup(*portal_, 0x120000FF), nullptr);
  }
  EXPECT_EQ(scenes.archive_reads(), 3u);
}

}  // namespace
}  // namespace fennistock::tool
