#include "output.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <fmt/format.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <memory>
#include <vector>

#include "fd_io.h"

namespace fennistock::tool {
namespace {

constexpr uint64_t kMillion = 1000000;

// Appends the decimal digits of v.
void append_u64(std::string& out, uint64_t v) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) out.push_back(digits[--n]);
}

}  // namespace

void append_json_float(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  if (value == 0.0f) {  // both zeros; "-0.000000" is kept for tiny negative values only
    out += "0.000000";
    return;
  }
  // value = m * 2^e exactly; compute round-half-even(|value| * 10^6) in integers.
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t biased = (bits >> 23) & 0xFF;
  const uint64_t m = biased == 0 ? (bits & 0x7FFFFF) : ((bits & 0x7FFFFF) | 0x800000);
  const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
  uint64_t scaled;
  if (e >= 0) {
    if (e > 19) {  // beyond 2^43: rare enough to leave to the C library
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.6f", static_cast<double>(value));
      out += buf;
      return;
    }
    scaled = (m << e) * kMillion;
  } else {
    const uint64_t p = m * kMillion;  // < 2^44
    const int shift = -e;
    if (shift >= 64) {
      scaled = 0;  // below half a millionth
    } else {
      const uint64_t q = p >> shift;
      const uint64_t r = p & ((uint64_t{1} << shift) - 1);
      const uint64_t half = uint64_t{1} << (shift - 1);
      scaled = q + ((r > half || (r == half && (q & 1) != 0)) ? 1 : 0);
    }
  }
  if ((bits >> 31) != 0) out.push_back('-');
  append_u64(out, scaled / kMillion);
  out.push_back('.');
  const uint64_t frac = scaled % kMillion;
  char six[6];
  uint64_t f = frac;
  for (int k = 5; k >= 0; --k) {
    six[k] = static_cast<char>('0' + f % 10);
    f /= 10;
  }
  out.append(six, 6);
}

void append_placement_line(std::string& out, const strewmill::Placement& p) {
  fmt::format_to(std::back_inserter(out), "{{\"obj_id\":\"0x{:08X}\",\"x\":", p.obj_id);
  append_json_float(out, p.x);
  out += ",\"y\":";
  append_json_float(out, p.y);
  out += ",\"z\":";
  append_json_float(out, p.z);
  out += ",\"qw\":";
  append_json_float(out, p.qw);
  out += ",\"qx\":";
  append_json_float(out, p.qx);
  out += ",\"qy\":";
  append_json_float(out, p.qy);
  out += ",\"qz\":";
  append_json_float(out, p.qz);
  out += ",\"scale\":";
  append_json_float(out, p.scale);
  out += ",\"source_cell_x\":";
  append_u64(out, p.source_cell_x);
  out += ",\"source_cell_y\":";
  append_u64(out, p.source_cell_y);
  out += ",\"source_obj_idx\":";
  append_u64(out, p.source_obj_idx);
  out += "}\n";
}

std::filesystem::path jsonl_path(const std::filesystem::path& out, uint16_t landblock) {
  return out / fmt::format("0x{:04X}.scenery.jsonl", landblock);
}

std::filesystem::path sidecar_path(const std::filesystem::path& out, uint16_t landblock) {
  return out / fmt::format("0x{:04X}.scenery.jsonl.sha256", landblock);
}

ResultOr<std::filesystem::path> write_jsonl(const std::filesystem::path& out, uint16_t landblock,
                                            std::span<const strewmill::Placement> placements) {
  std::filesystem::path path = jsonl_path(out, landblock);
  auto fd = create_file(path);
  if (!fd.ok()) return std::move(fd).error().context(fmt::format("create {}", path.string()));
  BufferedWriter writer(fd->get());
  std::string line;
  for (const strewmill::Placement& p : placements) {
    line.clear();
    append_placement_line(line, p);
    FS_RETURN_IF_ERROR(writer.write(line));
  }
  FS_RETURN_IF_ERROR(writer.flush());
  FS_RETURN_IF_ERROR(fd->close());
  return path;
}

Status write_sidecar(const std::filesystem::path& out, uint16_t landblock, std::string_view digest) {
  const std::filesystem::path path = sidecar_path(out, landblock);
  auto fd = create_file(path);
  if (!fd.ok()) return std::move(fd).error().context(fmt::format("create {}", path.string()));
  const std::string text = fmt::format("{}\n", digest);
  FS_RETURN_IF_ERROR(write_all(fd->get(), text));
  return fd->close();
}

ResultOr<std::filesystem::path> write_landblock_files(const std::filesystem::path& out, uint16_t landblock,
                                                      std::span<const strewmill::Placement> placements) {
  FS_TRY(std::filesystem::path path, write_jsonl(out, landblock, placements));
  auto digest = sha256_file(path);
  if (!digest.ok()) return std::move(digest).error().context(fmt::format("sha256 {}", path.string()));
  FS_RETURN_IF_ERROR(write_sidecar(out, landblock, *digest));
  return path;
}

ResultOr<std::string> sha256_file(const std::filesystem::path& path) {
  int raw = -1;
  do {
    raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (raw < 0 && errno == EINTR);
  if (raw < 0) return Error::from_io(IoError::os(errno)).context(fmt::format("open for hash {}", path.string()));
  const UniqueFd fd(raw);

  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    return Error("SHA-256 digest could not be initialised");
  }
  std::vector<unsigned char> buf(65536);
  while (true) {
    const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Error::from_io(IoError::os(errno));
    }
    if (n == 0) break;
    EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<size_t>(n));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(ctx.get(), digest, &len);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * len);
  for (unsigned int k = 0; k < len; ++k) {
    hex.push_back(kHex[digest[k] >> 4]);
    hex.push_back(kHex[digest[k] & 0xF]);
  }
  return hex;
}

std::string format_manifest(std::string_view portal_hash, std::string_view cell_hash, std::string_view local_hash,
                            uint32_t region_did, uint64_t baked, uint64_t skipped, strewmill::BakeMode mode) {
  return fmt::format(
      "client_portal.dat\t{}\nclient_cell_1.dat\t{}\nclient_local_English.dat\t{}\n"
      "bake-tool-version\t{} + {}\nregion-did\t0x{:08X}\nbake-mode\t{}\nlandblocks\t{} baked, {} skipped\n",
      portal_hash, cell_hash, local_hash, kLibraryVersion, kCliVersion, region_did,
      strewmill::canonical_name(mode), baked, skipped);
}

Status write_manifest(const std::filesystem::path& out, std::string_view text) {
  const std::filesystem::path path = out / kManifestName;
  const auto context = [&] { return fmt::format("write {}", path.string()); };
  auto fd = create_file(path);
  if (!fd.ok()) return std::move(fd).error().context(context());
  Status written = write_all(fd->get(), text);
  if (!written.ok()) return std::move(written).error().context(context());
  Status closed = fd->close();
  if (!closed.ok()) return std::move(closed).error().context(context());
  return {};
}

}  // namespace fennistock::tool
