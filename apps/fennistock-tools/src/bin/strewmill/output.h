// The tool's output files: one JSON-lines file per baked landblock with a SHA-256 sidecar, and the
// run manifest bake-source.sha256. Consumers compare these byte for byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "fennistock/common/error.h"
#include "fennistock/strewmill/lib.h"

namespace fennistock::tool {

inline constexpr std::string_view kManifestName = "bake-source.sha256";
inline constexpr std::string_view kLibraryVersion = "fennistock-strewmill/0.1.0";
inline constexpr std::string_view kCliVersion = "strewmill-cli/0.1.0";

// Appends a float as C's "%.6f" of the value widened to double (exact decimal value rounded to six
// places, ties to even), writing a zero of either sign as "0.000000". A NaN or an infinity is
// written as `null`, so every line stays valid JSON.
void append_json_float(std::string& out, float value);
// One placement as its JSON line, line feed included.
void append_placement_line(std::string& out, const strewmill::Placement& p);

// "0x{:04X}.scenery.jsonl" and its ".sha256" sidecar inside `out`.
[[nodiscard]] std::filesystem::path jsonl_path(const std::filesystem::path& out, uint16_t landblock);
[[nodiscard]] std::filesystem::path sidecar_path(const std::filesystem::path& out, uint16_t landblock);

// Creates or truncates the landblock's JSON-lines file and writes one line per placement through
// an 8192-byte buffer. Returns the file's path. Fails with "create {path}" and the system error,
// or with the bare system error of a failed write.
ResultOr<std::filesystem::path> write_jsonl(const std::filesystem::path& out, uint16_t landblock,
                                            std::span<const strewmill::Placement> placements);
// Writes "{digest}\n" to the landblock's sidecar.
Status write_sidecar(const std::filesystem::path& out, uint16_t landblock, std::string_view digest);
// The JSON-lines file, then its sidecar holding the SHA-256 of the file as found on disk.
// Returns the JSON-lines path.
ResultOr<std::filesystem::path> write_landblock_files(const std::filesystem::path& out, uint16_t landblock,
                                                      std::span<const strewmill::Placement> placements);

// The SHA-256 of a file's bytes as 64 lower-case hex characters, read in 65536-byte chunks.
// Fails with "open for hash {path}" and the system error, or the bare error of a failed read.
ResultOr<std::string> sha256_file(const std::filesystem::path& path);

// The seven TAB-separated manifest lines.
[[nodiscard]] std::string format_manifest(std::string_view portal_hash, std::string_view cell_hash,
                                          std::string_view local_hash, uint32_t region_did, uint64_t baked,
                                          uint64_t skipped, strewmill::BakeMode mode);
// Creates or truncates bake-source.sha256 in `out` and writes the text at once.
// Fails with "write {path}" and the system error.
Status write_manifest(const std::filesystem::path& out, std::string_view text);

}  // namespace fennistock::tool
