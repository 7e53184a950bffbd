#include "fennistock/dat/lib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "fennistock/common/byte_reader.h"
#include "fennistock/dat/utils.h"

namespace fennistock::dat {
namespace {

constexpr std::string_view kModule = "crates/fennistock-dat/src/lib";

// Directory node: 62 u32 child offsets, u32 entry_count, 61 entry slots of 24 bytes.
constexpr size_t kBranchCount = 62;
constexpr size_t kMaxEntries = 61;
constexpr size_t kEntryCountOffset = 4 * kBranchCount;  // 248
constexpr size_t kEntriesOffset = kEntryCountOffset + 4;  // 252
constexpr uint32_t kNodeSize = kEntriesOffset + kMaxEntries * DatFileEntry::kSize;  // 1716
static_assert(kNodeSize == 0x6B4);

constexpr uint32_t kCompressedFlag = 0x1;

// Closes a descriptor unless released.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Fills every buffer of `iov` from file offset `offset` on, retrying interrupted and short reads.
// The end of the file before the last byte is the end-of-data error. Consumes `iov`.
Result<void, IoError> read_exact_at(int fd, iovec* iov, int count, uint64_t offset) {
  while (count > 0 && iov->iov_len == 0) ++iov, --count;
  while (count > 0) {
    const ssize_t got = ::preadv(fd, iov, count, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return IoError::os(errno);
    }
    if (got == 0) return IoError::unexpected_eof();
    offset += static_cast<uint64_t>(got);
    size_t left = static_cast<size_t>(got);
    while (count > 0 && left >= iov->iov_len) {
      left -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
  return {};
}

// Reads up to bytes.size() bytes at `offset`; returns how many arrived before the end of the file
// or a read error (which is kept in `failure`).
size_t read_up_to(int fd, std::span<uint8_t> bytes, uint64_t offset, std::optional<IoError>& failure) {
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t r = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(offset + got));
    if (r < 0) {
      if (errno == EINTR) continue;
      failure = IoError::os(errno);
      break;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

// DatHeader, 17 little-endian fields at file offset 0x140:
//   u32 magic | block_size | file_size | dataset | subset | free_head | free_tail | free_count |
//   root_offset | new_lru | old_lru | use_lru | master_map_id | engine_version | game_version |
//   16 bytes version_string | u32 version_minor
// `raw` is what the file held there (fewer than 80 bytes when it ends early); the first field not
// wholly inside it fails, with the read error that cut it short as the cause when there was one.
ReadResult<DatHeader> parse_header(std::span<const uint8_t> raw, const std::optional<IoError>& failure) {
  ByteReader in(raw);
  DatHeader h;
  const auto fail = [&](std::string_view field, uint32_t line) {
    ReadError e = failure ? ReadError::io(*failure) : ReadError::unexpected_eof();
    return std::move(e).context(field_frame(field, "DatHeader", kModule, line));
  };
  const std::pair<std::string_view, uint32_t*> words[] = {
      {"magic", &h.magic},
      {"block_size", &h.block_size},
      {"file_size", &h.file_size},
      {"dataset", &h.dataset},
      {"subset", &h.subset},
      {"free_head", &h.free_head},
      {"free_tail", &h.free_tail},
      {"free_count", &h.free_count},
      {"root_offset", &h.root_offset},
      {"new_lru", &h.new_lru},
      {"old_lru", &h.old_lru},
      {"use_lru", &h.use_lru},
      {"master_map_id", &h.master_map_id},
      {"engine_version", &h.engine_version},
      {"game_version", &h.game_version},
  };
  for (const auto& [field, dst] : words) {
    auto v = in.u32();
    if (!v.ok()) return fail(field, __LINE__);
    *dst = *v;
  }
  auto version = in.take(h.version_string.size());
  if (!version.ok()) return fail("version_string", __LINE__);
  std::copy(version->begin(), version->end(), h.version_string.begin());
  auto minor = in.u32();
  if (!minor.ok()) return fail("version_minor", __LINE__);
  h.version_minor = *minor;
  return h;
}

// DatFileEntry: u32 bit_flags | id | offset | size | timestamp | version.
ReadResult<DatFileEntry> read_entry(ByteReader& in) {
  DatFileEntry e;
  FS_TRY_CTX(e.bit_flags, in.u32(), FS_FIELD("bit_flags", "DatFileEntry"));
  FS_TRY_CTX(e.id, in.u32(), FS_FIELD("id", "DatFileEntry"));
  FS_TRY_CTX(e.offset, in.u32(), FS_FIELD("offset", "DatFileEntry"));
  FS_TRY_CTX(e.size, in.u32(), FS_FIELD("size", "DatFileEntry"));
  FS_TRY_CTX(e.timestamp, in.u32(), FS_FIELD("timestamp", "DatFileEntry"));
  FS_TRY_CTX(e.version, in.u32(), FS_FIELD("version", "DatFileEntry"));
  return e;
}

// The blocks a chain has passed. Chains are short, so the first few are kept in a plain array.
class BlockSet {
 public:
  // False when `block` was already present.
  bool insert(uint64_t block) {
    if (count_ < small_.size()) {
      if (std::find(small_.begin(), small_.begin() + count_, block) != small_.begin() + count_) return false;
      small_[count_++] = block;
      return true;
    }
    if (large_.empty()) large_.insert(small_.begin(), small_.end());
    return large_.insert(block).second;
  }

 private:
  std::array<uint64_t, 16> small_{};
  size_t count_ = 0;
  std::unordered_set<uint64_t> large_;
};

}  // namespace

// ---- Directory

size_t DatDatabase::Directory::home_slot(uint32_t id) const {
  // Ids share long runs of equal bits (0xXXYYFFFF): mix them, then scale the 32-bit hash onto
  // the slot count (any count, not only powers of two).
  const uint64_t h = (uint64_t{id} * 0x9E3779B97F4A7C15ull) >> 32;
  return static_cast<size_t>((h * slots_.size()) >> 32);
}

const DatFileEntry* DatDatabase::Directory::find(uint32_t id) const {
  if (slots_.empty()) return nullptr;
  for (size_t s = home_slot(id);;) {
    const Slot& slot = slots_[s];
    if (slot.index == kEmpty) return nullptr;
    if (slot.id == id) return &entries_[slot.index];
    if (++s == slots_.size()) s = 0;
  }
}

void DatDatabase::Directory::insert(const DatFileEntry& entry) {
  // At most three quarters of the slots in use, so every probe ends at an empty slot.
  if ((entries_.size() + 1) * 4 > slots_.size() * 3) rebuild(std::max<size_t>(16, slots_.size() * 2));
  for (size_t s = home_slot(entry.id);;) {
    Slot& slot = slots_[s];
    if (slot.index == kEmpty) {
      slot = Slot{entry.id, static_cast<uint32_t>(entries_.size())};
      entries_.push_back(entry);
      return;
    }
    if (slot.id == entry.id) {
      entries_[slot.index] = entry;
      return;
    }
    if (++s == slots_.size()) s = 0;
  }
}

void DatDatabase::Directory::assign(std::vector<DatFileEntry> entries) {
  entries_ = std::move(entries);
  const size_t walked = entries_.size();
  rebuild(walked + walked / 3 + 1);
  if (entries_.size() != walked) rebuild(entries_.size() + entries_.size() / 3 + 1);  // duplicates gone
  // A vector grown by doubling may hold twice what it needs.
  if (entries_.capacity() > entries_.size() + entries_.size() / 4) entries_.shrink_to_fit();
}

void DatDatabase::Directory::rebuild(size_t slot_count) {
  slots_.assign(slot_count, Slot{0, kEmpty});
  std::vector<bool> replaced;  // sized on the first duplicate only
  for (size_t index = 0; index < entries_.size(); ++index) {
    const uint32_t id = entries_[index].id;
    for (size_t s = home_slot(id);;) {
      Slot& slot = slots_[s];
      if (slot.index == kEmpty) {
        slot = Slot{id, static_cast<uint32_t>(index)};
        break;
      }
      if (slot.id == id) {  // a later entry for the same id takes the earlier one's place
        entries_[slot.index] = entries_[index];
        if (replaced.empty()) replaced.resize(entries_.size());
        replaced[index] = true;
        break;
      }
      if (++s == slots_.size()) s = 0;
    }
  }
  if (replaced.empty()) return;
  // Drop the replaced entries; the index is stale now and the caller builds it again.
  size_t kept = 0;
  for (size_t index = 0; index < entries_.size(); ++index) {
    if (!replaced[index]) entries_[kept++] = entries_[index];
  }
  entries_.resize(kept);
}

// ---- DatDatabase

DatResult<DatDatabase> DatDatabase::open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DatError(DatError::PathError{path, IoError::os(errno)});
  FdGuard guard(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return DatError(IoError::os(errno));

  std::array<uint8_t, DatHeader::kSize> raw{};
  std::optional<IoError> failure;
  const size_t got = read_up_to(fd, raw, DatHeader::kOffset, failure);
  auto parsed = parse_header(std::span(raw).first(got), failure);
  if (!parsed.ok()) return DatError(std::move(parsed).error());
  const DatHeader header = *parsed;
  // Every block starts with its 4-byte next-block word; with no room for data no chain could
  // make progress.
  if (header.block_size <= 4) {
    return DatError(DatError::Corruption{
        fmt::format("block size {} leaves no room for data after the next-block word", header.block_size)});
  }

  DatDatabase db(guard.release(), static_cast<uint64_t>(st.st_size), header);
  FS_RETURN_IF_ERROR(db.read_directory());  // on failure db closes the file
  return db;
}

DatDatabase::DatDatabase(DatDatabase&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      file_length_(other.file_length_),
      header_(other.header_),
      directory_(std::move(other.directory_)) {}

DatDatabase& DatDatabase::operator=(DatDatabase&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    file_length_ = other.file_length_;
    header_ = other.header_;
    directory_ = std::move(other.directory_);
  }
  return *this;
}

DatDatabase::~DatDatabase() {
  if (fd_ >= 0) ::close(fd_);
}

Result<void, DatError> DatDatabase::read_directory() {
  // Depth first without recursion: `pending` holds the node offsets still to visit, the next one
  // on top, so a node's children are visited in order and each subtree before the next sibling.
  // A damaged tree can point back at a node already read (a loop, or a shared subtree); each
  // offset is read once and a second visit is an error. Nodes of a well-formed archive hold
  // distinct file bytes, which bounds their number by the file's length.
  const uint64_t max_nodes = file_length_ / kNodeSize;
  std::vector<uint32_t> pending;
  std::unordered_set<uint32_t> visited;
  std::vector<uint32_t> children;
  std::vector<DatFileEntry> walked;  // in walk order, duplicates included
  if (header_.root_offset != 0) pending.push_back(header_.root_offset);
  while (!pending.empty()) {
    const uint32_t offset = pending.back();
    pending.pop_back();
    if (!visited.insert(offset).second) {
      return DatError(DatError::Corruption{
          fmt::format("directory node at offset 0x{:08X} is reached more than once", offset)});
    }
    children.clear();
    FS_RETURN_IF_ERROR(read_node(offset, walked, children));
    if (visited.size() > max_nodes) {
      return DatError(DatError::Corruption{fmt::format(
          "directory node at offset 0x{:08X} is one more than a file of {} bytes can hold", offset, file_length_)});
    }
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  directory_.assign(std::move(walked));  // later entries for an id replace earlier ones
  return {};
}

Result<void, DatError> DatDatabase::read_node(uint32_t offset, std::vector<DatFileEntry>& walked,
                                              std::vector<uint32_t>& children) {
  FS_TRY(const std::vector<uint8_t> node, read_file_data(offset, kNodeSize));
  ByteReader in(node);
  std::array<uint32_t, kBranchCount> branches{};
  for (uint32_t& b : branches) b = *in.u32();  // the node's 1716 bytes are all present
  const uint32_t entry_count = *in.u32();
  // All entries go in before any child is visited, so a child's entry replaces its parent's.
  // A count above 61 runs off the node's end at entry 61, with that entry's context.
  for (uint32_t k = 0; k < entry_count; ++k) {
    auto entry = read_entry(in);
    if (!entry.ok()) return DatError(std::move(entry).error());
    walked.push_back(*entry);
  }
  if (branches[0] == 0) return {};  // a leaf: later branch words are not looked at
  for (uint32_t j = 0; j <= entry_count; ++j) {
    if (branches[j] != 0) children.push_back(branches[j]);
  }
  return {};
}

DatResult<std::vector<uint8_t>> DatDatabase::read_file_data(uint32_t offset, uint32_t size) const {
  if (size == 0) return std::vector<uint8_t>();
  // The blocks of a chain are distinct bytes of the file, so a chain longer than the file must
  // run past its end (or loop). Fail as that read would, before allocating a hostile size.
  if (size > file_length_) return DatError(IoError::unexpected_eof());

  std::vector<uint8_t> out(size);
  const uint64_t data_len = uint64_t{header_.block_size} - 4;  // at least 1: checked at open

  // Chains are normally laid out in consecutive blocks: read the span such a chain covers in one
  // call and take every block that lies inside it from there, reading the others directly. The
  // bytes are the same either way; a short or failed read here only leaves less to take.
  constexpr uint64_t kMaxWindow = uint64_t{1} << 20;
  std::vector<uint8_t> window;
  const uint64_t blocks = (uint64_t{size} + data_len - 1) / data_len;
  if (blocks > 1 && offset < file_length_) {
    window.resize(static_cast<size_t>(
        std::min({blocks * header_.block_size, file_length_ - offset, kMaxWindow})));
    std::optional<IoError> ignored;
    window.resize(read_up_to(fd_, window, offset, ignored));
  }
  const auto read_at = [&](iovec* iov, int count, uint64_t at) -> Result<void, IoError> {
    uint64_t total = 0;
    for (int k = 0; k < count; ++k) total += iov[k].iov_len;
    if (at < offset || at - offset + total > window.size()) return read_exact_at(fd_, iov, count, at);
    const uint8_t* src = window.data() + (at - offset);
    for (int k = 0; k < count; ++k) {
      if (iov[k].iov_len != 0) std::memcpy(iov[k].iov_base, src, iov[k].iov_len);
      src += iov[k].iov_len;
    }
    return {};
  };

  uint64_t block = offset;
  size_t pos = 0;
  size_t remaining = size;
  BlockSet passed;
  while (true) {
    // A damaged next-block word can point back into the chain; a revisit is an error, not a loop.
    if (!passed.insert(block)) {
      return DatError(DatError::Corruption{fmt::format(
          "block chain starting at offset 0x{:08X} returns to block 0x{:08X}", offset, block)});
    }
    // The next-block word and this block's data piece in one read.
    uint8_t word[4];
    const size_t n = static_cast<size_t>(std::min<uint64_t>(data_len, remaining));
    iovec iov[2] = {{word, sizeof word}, {out.data() + pos, n}};
    if (auto r = read_at(iov, 2, block); !r.ok()) return DatError(r.error());
    pos += n;
    remaining -= n;
    const uint32_t next = ByteReader::load_u32(word);
    if (next == 0) {
      // The last block: the rest of the record follows in one piece, even past the block's end.
      iovec rest{out.data() + pos, remaining};
      if (auto r = read_at(&rest, 1, block + 4 + n); !r.ok()) return DatError(r.error());
      return out;
    }
    if (remaining == 0) return out;  // complete: the rest of the chain is not visited
    block = next;
  }
}

DatResult<std::vector<uint8_t>> DatDatabase::get_file(uint32_t id) const {
  const DatFileEntry* entry = directory_.find(id);
  if (entry == nullptr) return DatError(DatError::NotFound{id});
  FS_TRY(std::vector<uint8_t> bytes, read_file_data(entry->offset, entry->size));
  if ((entry->bit_flags & kCompressedFlag) != 0) return decompress_lrs(bytes);
  return bytes;
}

}  // namespace fennistock::dat
