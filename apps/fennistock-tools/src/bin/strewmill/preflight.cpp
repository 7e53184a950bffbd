#include "preflight.h"

#include <dirent.h>
#include <sys/stat.h>
#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <array>
#include <cerrno>
#include <optional>
#include <string_view>

#include "output.h"

namespace fennistock::tool {
namespace {

struct Archive {
  std::string_view file_name;
  std::string_view short_name;
};
constexpr std::array<Archive, 3> kArchives = {{
    {"client_portal.dat", "portal.dat"},
    {"client_cell_1.dat", "cell.dat"},
    {"client_local_English.dat", "local.dat"},
}};

constexpr std::string_view kRefusal = " — bake refuses to run against custom DATs";

// Directory entry names are bytes; invalid UTF-8 sequences become U+FFFD.
std::string lossy_utf8(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(in[k]); };
  while (i < in.size()) {
    const uint8_t b = byte(i);
    size_t len = 0;
    uint32_t lo = 0x80, hi = 0xBF;
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    size_t ok = 0;  // bytes of a valid prefix
    if (len > 0) {
      ok = 1;
      while (ok < len && i + ok < in.size()) {
        const uint8_t c = byte(i + ok);
        const uint32_t min = ok == 1 ? lo : 0x80, max = ok == 1 ? hi : 0xBF;
        if (c < min || c > max) break;
        ++ok;
      }
    }
    if (len > 0 && ok == len) {
      out.append(in.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      i += ok > 0 ? ok : 1;
    }
  }
  return out;
}

std::string describe_file_type(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFDIR: return "directory";
    case S_IFLNK: return "symlink";
    case S_IFIFO: return "fifo";
    case S_IFSOCK: return "socket";
    case S_IFBLK: return "block device";
    case S_IFCHR: return "character device";
    case S_IFREG: return "file";
    default: return "unknown";
  }
}

class Dir {
 public:
  explicit Dir(DIR* d) : d_(d) {}
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  ~Dir() {
    if (d_ != nullptr) ::closedir(d_);
  }
  // The next entry's name other than "." and "..", nothing at the end, or the system error.
  ResultOr<std::optional<std::string>> next() {
    while (true) {
      errno = 0;
      const dirent* e = ::readdir(d_);
      if (e == nullptr) {
        if (errno != 0) return Error::from_io(IoError::os(errno));
        return std::optional<std::string>();
      }
      const std::string_view name = e->d_name;
      if (name == "." || name == "..") continue;
      return std::optional<std::string>(std::string(name));
    }
  }

 private:
  DIR* d_;
};

ResultOr<std::unique_ptr<Dir>> open_dir(const std::filesystem::path& path) {
  DIR* d = ::opendir(path.c_str());
  if (d == nullptr) return Error::from_io(IoError::os(errno));
  return std::make_unique<Dir>(d);
}

Status check_entries(const std::filesystem::path& dat_dir) {
  auto listing = open_dir(dat_dir);
  if (!listing.ok()) return std::move(listing).error().context(fmt::format("read --dat-dir `{}`", dat_dir.string()));
  while (true) {
    FS_TRY(const std::optional<std::string> raw, (*listing)->next());
    if (!raw) return {};
    const std::string name = lossy_utf8(*raw);
    if (name == "custom_textures") {
      FS_TRY(const std::unique_ptr<Dir> inner, open_dir(dat_dir / *raw));
      FS_TRY(const std::optional<std::string> first, inner->next());
      if (first) return Error(fmt::format("--dat-dir contains non-empty `custom_textures/`{}", kRefusal));
    }
    if (name.starts_with("iter-")) {
      return Error(fmt::format("--dat-dir contains modder-iteration marker `{}`{}", name, kRefusal));
    }
    if (name.ends_with(".wbproj")) {
      return Error(fmt::format("--dat-dir contains WorldBuilder project file `{}`{}", name, kRefusal));
    }
  }
}

}  // namespace

ResultOr<DatDirCheck> preflight(const std::filesystem::path& dat_dir) {
  struct stat st{};
  if (::stat(dat_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return Error(fmt::format("--dat-dir `{}` is not a directory", dat_dir.string()));
  }

  std::array<std::filesystem::path, 3> paths;
  for (size_t k = 0; k < kArchives.size(); ++k) {
    paths[k] = dat_dir / kArchives[k].file_name;
    struct stat fst{};
    if (::stat(paths[k].c_str(), &fst) != 0) {
      return Error::from_io(IoError::os(errno))
          .context(fmt::format("stat {} at `{}`", kArchives[k].file_name, paths[k].string()));
    }
    if (!S_ISREG(fst.st_mode)) {
      return Error(fmt::format("--dat-dir: `{}` is not a regular file (got file_type={})", paths[k].string(),
                               describe_file_type(fst.st_mode)));
    }
  }

  FS_RETURN_IF_ERROR(check_entries(dat_dir));

  std::vector<dat::DatDatabase> archives;
  archives.reserve(kArchives.size());
  for (size_t k = 0; k < kArchives.size(); ++k) {
    auto db = dat::DatDatabase::open(paths[k]);
    if (!db.ok()) return db.error().to_error().context(fmt::format("open {}", paths[k].string()));
    archives.push_back(std::move(db).value());
  }

  for (size_t k = 0; k < kArchives.size(); ++k) {
    std::optional<uint32_t> smallest;
    for (const dat::DatFileEntry& e : archives[k].directory()) {
      if (is_modder_allocated(e.id) && (!smallest || e.id < *smallest)) smallest = e.id;
    }
    if (smallest) {
      return Error(fmt::format("--dat-dir contains modder-allocated record 0x{:08X} in {}{}", *smallest,
                               kArchives[k].short_name, kRefusal));
    }
  }

  std::array<std::string, 3> hashes;
  for (size_t k = 0; k < kArchives.size(); ++k) {
    FS_TRY(hashes[k], sha256_file(paths[k]));
  }

  archives.pop_back();  // the local archive was opened for its id check only
  DatDirCheck check{std::move(archives[0]), std::move(archives[1]), std::move(hashes[0]), std::move(hashes[1]),
                    std::move(hashes[2])};
  spdlog::info("pre-flight ok: portal_hash={} cell_hash={} local_hash={}", check.portal_hash.substr(0, 16),
               check.cell_hash.substr(0, 16), check.local_hash.substr(0, 16));
  return check;
}

}  // namespace fennistock::tool
