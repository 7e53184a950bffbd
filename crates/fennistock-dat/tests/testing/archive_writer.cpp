#include "testing/archive_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <optional>

#include <fmt/format.h>

#include "testing/lrs_encoder.h"

namespace fennistock::testing {

using dat::DatFileEntry;
using dat::DatHeader;

namespace {

constexpr size_t kNodeSize = 1716;
constexpr size_t kMaxEntries = 61;
constexpr uint64_t kMaxOffset = UINT32_MAX;

void put_u32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

void append_u32(std::vector<uint8_t>& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

}  // namespace

std::vector<uint8_t> encode_node(const DirectoryNode& node) {
  std::vector<uint8_t> out;
  out.reserve(kNodeSize);
  for (const uint32_t b : node.branches) append_u32(out, b);
  append_u32(out, node.entry_count);
  for (size_t k = 0; k < std::min(node.entries.size(), kMaxEntries); ++k) {
    const DatFileEntry& e = node.entries[k];
    for (const uint32_t v : {e.bit_flags, e.id, e.offset, e.size, e.timestamp, e.version}) append_u32(out, v);
  }
  out.resize(kNodeSize, 0);
  return out;
}

// Where the archive's bytes go. Errors are sticky: after the first one writes are dropped and
// finish() reports it.
class ArchiveWriter::Sink {
 public:
  virtual ~Sink() = default;
  virtual void append(std::span<const uint8_t> bytes) = 0;
  // REQUIRES: [offset, offset + bytes.size()) already written.
  virtual void write_at(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  virtual Status close() = 0;
  uint64_t size() const { return size_; }
  virtual const std::vector<uint8_t>* memory() const { return nullptr; }

 protected:
  uint64_t size_ = 0;
};

namespace {

class MemorySink final : public ArchiveWriter::Sink {
 public:
  void append(std::span<const uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    size_ = bytes_.size();
  }
  void write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
    assert(offset + bytes.size() <= bytes_.size());
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<ptrdiff_t>(offset));
  }
  Status close() override { return {}; }
  const std::vector<uint8_t>* memory() const override { return &bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Appends through a 1 MiB buffer; patches flush it first and then write in place.
class FileSink final : public ArchiveWriter::Sink {
 public:
  FileSink(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) { buffer_.reserve(kBuffer); }
  ~FileSink() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void append(std::span<const uint8_t> bytes) override {
    size_ += bytes.size();
    if (buffer_.size() + bytes.size() > kBuffer) flush();
    if (bytes.size() >= kBuffer) {
      write_all(bytes, std::nullopt);
    } else {
      buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }
  }
  void write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
    flush();
    write_all(bytes, offset);
  }
  Status close() override {
    flush();
    if (fd_ >= 0 && ::close(fd_) != 0 && !error_) error_ = errno;
    fd_ = -1;
    if (error_) return Error::from_io(IoError::os(*error_)).context(fmt::format("write {}", path_.string()));
    return {};
  }

 private:
  static constexpr size_t kBuffer = size_t{1} << 20;

  void flush() {
    write_all(buffer_, std::nullopt);
    buffer_.clear();
  }
  void write_all(std::span<const uint8_t> bytes, std::optional<uint64_t> offset) {
    size_t done = 0;
    while (!error_ && fd_ >= 0 && done < bytes.size()) {
      const ssize_t r = offset ? ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                          static_cast<off_t>(*offset + done))
                               : ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (r < 0) {
        if (errno != EINTR) error_ = errno;
        continue;
      }
      done += static_cast<size_t>(r);
    }
  }

  int fd_;
  std::filesystem::path path_;
  std::vector<uint8_t> buffer_;
  std::optional<int> error_;
};

}  // namespace

ArchiveWriter::ArchiveWriter(ArchiveOptions options) : ArchiveWriter(std::make_unique<MemorySink>(), options) {}

ArchiveWriter::ArchiveWriter(std::unique_ptr<Sink> sink, ArchiveOptions options)
    : sink_(std::move(sink)), options_(options) {
  assert(options_.block_size >= 8);
  assert(options_.max_entries_per_node >= 1 && options_.max_entries_per_node <= kMaxEntries);
  header_.block_size = options_.block_size;
  start();
}

ResultOr<ArchiveWriter> ArchiveWriter::create(const std::filesystem::path& path, ArchiveOptions options) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Error::from_io(IoError::os(errno)).context(fmt::format("create {}", path.string()));
  return ArchiveWriter(std::make_unique<FileSink>(fd, path), options);
}

ArchiveWriter::ArchiveWriter(ArchiveWriter&&) noexcept = default;
ArchiveWriter& ArchiveWriter::operator=(ArchiveWriter&&) noexcept = default;
ArchiveWriter::~ArchiveWriter() = default;

void ArchiveWriter::start() {
  // The header area, zero until finish(); the first block starts on a multiple of block_size.
  const std::vector<uint8_t> zeros(kHeaderEnd, 0);
  sink_->append(zeros);
  pad_to_block();
}

void ArchiveWriter::pad_to_block() {
  const uint64_t rem = sink_->size() % options_.block_size;
  if (rem != 0) sink_->append(std::vector<uint8_t>(options_.block_size - rem, 0));
}

uint64_t ArchiveWriter::size() const { return sink_->size(); }

uint32_t ArchiveWriter::next_block_offset() const {
  const uint64_t at = sink_->size();
  const uint64_t rem = at % options_.block_size;
  return static_cast<uint32_t>(rem == 0 ? at : at + options_.block_size - rem);
}

std::vector<uint32_t> ArchiveWriter::write_chain(std::span<const uint8_t> bytes) {
  pad_to_block();
  const size_t data_len = options_.block_size - 4;
  const size_t count = std::max<size_t>(1, (bytes.size() + data_len - 1) / data_len);
  std::vector<uint32_t> blocks;
  blocks.reserve(count);
  std::vector<uint8_t> block(options_.block_size);
  for (size_t k = 0; k < count; ++k) {
    const uint64_t at = sink_->size();
    blocks.push_back(static_cast<uint32_t>(at));  // checked against 4 GiB in finish()
    const uint64_t next = k + 1 < count ? at + options_.block_size : 0;
    std::fill(block.begin(), block.end(), 0);
    put_u32(block.data(), static_cast<uint32_t>(next));
    const size_t from = k * data_len;
    const size_t n = std::min(data_len, bytes.size() - std::min(bytes.size(), from));
    std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(from), n, block.begin() + 4);
    sink_->append(block);
  }
  return blocks;
}

DatFileEntry ArchiveWriter::add(uint32_t id, std::span<const uint8_t> bytes, const RecordOptions& options) {
  std::vector<uint8_t> encoded;
  if (options.compress) {
    encoded = lrs_encode(bytes);
    bytes = encoded;
  }
  DatFileEntry entry;
  entry.bit_flags = options.extra_flags | (options.compress ? 1u : 0u);
  entry.id = id;
  entry.offset = write_chain(bytes).front();
  entry.size = static_cast<uint32_t>(bytes.size());
  entry.timestamp = options.timestamp;
  entry.version = options.version;
  entries_.push_back(entry);
  return entry;
}

void ArchiveWriter::add_entry(const DatFileEntry& entry) { entries_.push_back(entry); }

void ArchiveWriter::patch_u32(uint64_t offset, uint32_t value) {
  uint8_t word[4];
  put_u32(word, value);
  sink_->write_at(offset, word);
}

void ArchiveWriter::append_raw(std::span<const uint8_t> bytes) { sink_->append(bytes); }

void ArchiveWriter::set_root(uint32_t offset) {
  custom_root_ = true;
  header_.root_offset = offset;
}

// A B-tree of `sorted` with every node's in-order walk ascending: a range that fits one node is
// a leaf; a larger one gets the least height whose capacity holds it, as many separators as it
// needs to spread the rest over children that each fit a tree one level lower.
uint32_t ArchiveWriter::write_tree(std::span<const DatFileEntry> sorted) {
  const uint64_t m = options_.max_entries_per_node;
  DirectoryNode node;
  if (sorted.size() <= m) {
    node.entry_count = static_cast<uint32_t>(sorted.size());
    node.entries.assign(sorted.begin(), sorted.end());
    return write_node(node);
  }
  uint64_t child_capacity = m;  // capacity of a tree one level below this node
  while (m + (m + 1) * child_capacity < sorted.size()) child_capacity = m + (m + 1) * child_capacity;
  const uint64_t total = sorted.size();
  // The least k with (k + 1) children of child_capacity plus k separators holding them all.
  const uint64_t separators = std::clamp<uint64_t>(total / (child_capacity + 1), 1, m);
  const uint64_t rest = total - separators;
  const uint64_t children = separators + 1;
  size_t at = 0;
  for (uint64_t j = 0; j < children; ++j) {
    const size_t take = static_cast<size_t>(rest / children + (j < rest % children ? 1 : 0));
    node.branches[j] = take == 0 ? 0 : write_tree(sorted.subspan(at, take));
    at += take;
    if (j < separators) node.entries.push_back(sorted[at++]);
  }
  node.entry_count = static_cast<uint32_t>(separators);
  return write_node(node);
}

Status ArchiveWriter::finish() {
  assert(!finished_);
  finished_ = true;
  if (!custom_root_) {
    std::vector<DatFileEntry> sorted = entries_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
    header_.root_offset = sorted.empty() ? 0 : write_tree(sorted);
  }
  if (sink_->size() > kMaxOffset) {
    (void)sink_->close();
    return Error(fmt::format("archive of {} bytes outgrows 32-bit offsets", sink_->size()));
  }
  if (header_.file_size == 0) header_.file_size = static_cast<uint32_t>(sink_->size());

  std::vector<uint8_t> h;
  h.reserve(DatHeader::kSize);
  for (const uint32_t v : {header_.magic, header_.block_size, header_.file_size, header_.dataset, header_.subset,
                           header_.free_head, header_.free_tail, header_.free_count, header_.root_offset,
                           header_.new_lru, header_.old_lru, header_.use_lru, header_.master_map_id,
                           header_.engine_version, header_.game_version}) {
    append_u32(h, v);
  }
  h.insert(h.end(), header_.version_string.begin(), header_.version_string.end());
  append_u32(h, header_.version_minor);
  sink_->write_at(DatHeader::kOffset, h);
  return sink_->close();
}

const std::vector<uint8_t>& ArchiveWriter::bytes() const {
  const std::vector<uint8_t>* m = sink_->memory();
  assert(m != nullptr);
  return *m;
}

std::vector<uint8_t> ArchiveWriter::build() {
  const Status s = finish();
  assert(s.ok());
  (void)s;
  return bytes();
}

}  // namespace fennistock::testing
