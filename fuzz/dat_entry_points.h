// The DAT layer's fuzz entry points: shared by the libFuzzer targets (fuzz/*_fuzz.cpp) and by the
// regression test that replays every saved input in the normal suite.
//
// Each takes arbitrary bytes, drives one reader or archive operation over them and checks the
// invariants that hold for any input; a broken invariant aborts (a finding). Errors returned by
// the code under test are fine and are rendered as text, so that rendering is exercised too.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "fennistock/common/byte_reader.h"
#include "fennistock/dat/file_type/gfx_obj.h"
#include "fennistock/dat/file_type/region.h"
#include "fennistock/dat/file_type/scene.h"
#include "fennistock/dat/file_type/setup_model.h"
#include "fennistock/dat/landblock.h"
#include "fennistock/dat/lib.h"
#include "fennistock/dat/physics.h"
#include "fennistock/dat/utils.h"

namespace fennistock::fuzz {

[[noreturn]] inline void invariant_failed(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}
#define FS_FUZZ_CHECK(cond) \
  do {                      \
    if (!(cond)) ::fennistock::fuzz::invariant_failed(#cond); \
  } while (false)

// One in-memory file for the whole process, rewritten for every input and opened by path
// (/proc/self/fd/N) as the archive code opens any file.
class ScratchFile {
 public:
  static ScratchFile& instance() {
    static ScratchFile file;
    return file;
  }
  const std::string& write(std::span<const uint8_t> bytes) {
    if (::ftruncate(fd_, 0) != 0) invariant_failed("scratch file truncate");
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (n <= 0) invariant_failed("scratch file write");
      done += static_cast<size_t>(n);
    }
    return path_;
  }

 private:
  ScratchFile() : fd_(::memfd_create("fennistock-fuzz", MFD_CLOEXEC)) {
    if (fd_ < 0) invariant_failed("memfd_create");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  int fd_;
  std::string path_;
};

inline void render(const dat::DatError& e) {
  const std::string text = e.to_string();
  FS_FUZZ_CHECK(!text.empty());
  (void)e.cause();
  (void)e.to_error();
}
inline void render(const ReadError& e) { FS_FUZZ_CHECK(!e.to_string().empty()); }

// Fetches `id` and checks what any successful read must satisfy.
inline void fetch_and_check(const dat::DatDatabase& db, uint32_t id) {
  const dat::DatFileEntry* entry = db.directory().find(id);
  auto bytes = db.get_file(id);
  if (!bytes.ok()) {
    FS_FUZZ_CHECK(entry != nullptr || bytes.error().is<dat::DatError::NotFound>());
    render(bytes.error());
    return;
  }
  FS_FUZZ_CHECK(entry != nullptr);
  if ((entry->bit_flags & 1) == 0) FS_FUZZ_CHECK(bytes->size() == entry->size);
}

// The whole input is an archive file: open it, then fetch a few of its records and a few ids
// that are likely absent.
inline int archive_open_one(const uint8_t* data, size_t size) {
  const std::string& path = ScratchFile::instance().write({data, size});
  auto db = dat::DatDatabase::open(path);
  if (!db.ok()) {
    render(db.error());
    return 0;
  }
  size_t seen = 0;
  std::vector<uint32_t> ids;
  for (const dat::DatFileEntry& e : db->directory()) {
    ++seen;
    if (ids.size() < 8) ids.push_back(e.id);
  }
  FS_FUZZ_CHECK(seen == db->directory().size());
  for (const uint32_t id : ids) {
    FS_FUZZ_CHECK(db->directory().find(id) != nullptr);
    fetch_and_check(*db, id);
  }
  for (const uint32_t id : {0x13000000u, 0x0000FFFFu, 0u}) fetch_and_check(*db, id);
  return 0;
}

// Builds an archive around fuzzed blocks: a header whose block size is the input's first byte, a
// one-node directory (written by this function, so always readable) whose entries come from the
// input, and the rest of the input as the block area at file offset 0x190. The chains that the
// entries name, their next-block words and their compressed streams are all fuzzed.
//
// Input: u8 block_size | u8 entry count (mod 9) | per entry: u8 flags, u16 offset into the area,
// u16 size | block area.
inline int chains_one(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t block_size = data[0];
  const size_t count = data[1] % 9;
  size_t pos = 2;
  if (size < pos + 5 * count) return 0;
  const std::span<const uint8_t> area(data + pos + 5 * count, size - pos - 5 * count);
  constexpr uint32_t kAreaStart = 0x190;
  std::vector<dat::DatFileEntry> entries;
  for (size_t k = 0; k < count; ++k, pos += 5) {
    const uint32_t offset = kAreaStart + (data[pos + 1] | data[pos + 2] << 8);
    const uint32_t length = data[pos + 3] | data[pos + 4] << 8;
    entries.push_back({.bit_flags = data[pos] & 1u, .id = 0x01000000u + static_cast<uint32_t>(k),
                       .offset = offset, .size = length});
  }

  std::vector<uint8_t> file(kAreaStart, 0);
  const auto put_u32 = [&](size_t at, uint32_t v) {
    if (file.size() < at + 4) file.resize(at + 4, 0);
    for (int b = 0; b < 4; ++b) file[at + b] = static_cast<uint8_t>(v >> (8 * b));
  };
  file.insert(file.end(), area.begin(), area.end());
  // The root node: one block whose next-block word is 0, so its 1716 bytes follow in one piece
  // whatever the block size.
  const uint32_t root = static_cast<uint32_t>(file.size());
  put_u32(root, 0);
  const size_t node = root + 4;
  file.resize(node + 1716, 0);
  put_u32(node + 248, static_cast<uint32_t>(entries.size()));
  for (size_t k = 0; k < entries.size(); ++k) {
    const size_t at = node + 252 + 24 * k;
    put_u32(at, entries[k].bit_flags);
    put_u32(at + 4, entries[k].id);
    put_u32(at + 8, entries[k].offset);
    put_u32(at + 12, entries[k].size);
  }
  put_u32(0x144, block_size);
  put_u32(0x148, static_cast<uint32_t>(file.size()));
  put_u32(0x160, root);

  const std::string& path = ScratchFile::instance().write(file);
  auto db = dat::DatDatabase::open(path);
  if (!db.ok()) {
    FS_FUZZ_CHECK(block_size <= 4);  // the directory itself is always readable
    render(db.error());
    return 0;
  }
  FS_FUZZ_CHECK(block_size > 4);
  FS_FUZZ_CHECK(db->directory().size() == entries.size());
  for (const dat::DatFileEntry& e : entries) {
    fetch_and_check(*db, e.id);
    auto raw = db->read_file_data(e.offset, e.size);
    if (raw.ok()) {
      FS_FUZZ_CHECK(raw->size() == e.size);
    } else {
      render(raw.error());
    }
  }
  return 0;
}

// decompress_lrs never fails, never writes more than the stated length, and returns input
// shorter than the length word unchanged.
inline int decompress_one(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  const std::vector<uint8_t> out = dat::decompress_lrs(input);
  if (size < 4) {
    FS_FUZZ_CHECK(out.size() == size && std::equal(out.begin(), out.end(), data));
    return 0;
  }
  const uint32_t expected = ByteReader::load_u32(data);
  FS_FUZZ_CHECK(out.size() <= expected);
  // A flag byte and eight 2-byte references make at most 8 x 17 bytes from 17: at most 8 a byte.
  FS_FUZZ_CHECK(out.size() <= 8 * (size - 4));
  return 0;
}

// Which reader a records input goes to: its first byte, modulo the count of kinds.
enum class RecordKind : uint8_t {
  kCellLandblock,
  kLandblockInfo,
  kRegion,
  kScene,
  kSetupModel,
  kGfxObj,
  kBspDrawing,
  kBspPhysics,
  kBspCell,
  kPrimitives,
  kCount,
};

template <typename T>
void check_read(ReadResult<T> r) {
  if (!r.ok()) render(r.error());
}

// Input: u8 reader selector | the record's bytes.
inline int records_one(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto kind = static_cast<RecordKind>(data[0] % static_cast<uint8_t>(RecordKind::kCount));
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  ByteReader in(bytes);
  switch (kind) {
    case RecordKind::kCellLandblock: {
      auto r = dat::CellLandblock::unpack(bytes);
      if (r.ok()) FS_FUZZ_CHECK(bytes.size() >= 251 && r->terrain.size() == 81 && r->height.size() == 81);
      check_read(std::move(r));
      break;
    }
    case RecordKind::kLandblockInfo: {
      auto r = dat::LandblockInfo::unpack(bytes);
      if (r.ok()) {
        FS_FUZZ_CHECK(r->objects.size() == r->num_objects && r->buildings.size() == r->num_buildings);
        // 32 bytes a static object and at least 40 a building: the counts were backed by bytes.
        FS_FUZZ_CHECK(16 + uint64_t{r->num_objects} * 32 + uint64_t{r->num_buildings} * 40 <= bytes.size());
      }
      check_read(std::move(r));
      break;
    }
    case RecordKind::kRegion:
      check_read(dat::Region::unpack(bytes));
      break;
    case RecordKind::kScene: {
      auto r = dat::Scene::unpack(bytes);
      if (r.ok()) FS_FUZZ_CHECK(8 + r->objects.size() * dat::ObjectDesc::kSize <= bytes.size());
      check_read(std::move(r));
      break;
    }
    case RecordKind::kSetupModel:
      check_read(dat::SetupModel::unpack(bytes));
      break;
    case RecordKind::kGfxObj:
      check_read(dat::GfxObj::unpack(bytes));
      break;
    case RecordKind::kBspDrawing:
      check_read(dat::BspNode::read(in, dat::TreeKind::kDrawing));
      break;
    case RecordKind::kBspPhysics:
      check_read(dat::BspNode::read(in, dat::TreeKind::kPhysics));
      break;
    case RecordKind::kBspCell:
      check_read(dat::BspNode::read(in, dat::TreeKind::kCell));
      break;
    case RecordKind::kPrimitives: {
      // The primitive readers back to back: a text of each length size, a count, a smart list.
      for (const int length_size : {1, 2, 4, 3}) check_read(dat::read_pstring(in, length_size));
      check_read(dat::read_compressed_u32(in));
      auto v = dat::read_smart_vec(in);
      if (v.ok()) FS_FUZZ_CHECK(v->size() * 4 <= bytes.size());
      check_read(std::move(v));
      FS_FUZZ_CHECK(in.position() <= bytes.size());
      break;
    }
    case RecordKind::kCount:
      break;
  }
  return 0;
}

}  // namespace fennistock::fuzz
