#include "fennistock/dat/file_type/scene.h"

#include <algorithm>

namespace fennistock::dat {

ReadResult<Scene> Scene::unpack(ByteReader& in) {
  Scene scene;
  FS_TRY(scene.id, in.u32());
  FS_TRY(const uint32_t count, in.u32());
  // A corrupt count reserves no more than the bytes could hold.
  scene.objects.reserve(std::min<size_t>(count, in.remaining() / ObjectDesc::kSize));
  for (uint32_t i = 0; i < count; ++i) {
    FS_TRY(const ObjectDesc desc, ObjectDesc::unpack(in));
    scene.objects.push_back(desc);
  }
  return scene;
}

ReadResult<Scene> Scene::unpack(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  return unpack(in);
}

}  // namespace fennistock::dat
