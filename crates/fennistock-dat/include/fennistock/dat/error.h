// DatError: the failure of an archive operation (opening an archive, reading a record's chain,
// fetching a record by id).
//
// The operations of this layer raise Io, BinRead, NotFound and PathError; the other variants
// complete the vocabulary and are raised by nothing here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "fennistock/common/error.h"
#include "fennistock/common/io_error.h"
#include "fennistock/common/read_error.h"

namespace fennistock::dat {

struct DatError {
  struct Io { IoError error; };
  struct BinRead { ReadError error; };
  struct NotFound { uint32_t id = 0; };
  struct DuplicateId { uint32_t id = 0; };
  struct DuplicateNamespacedId { std::string namespace_name; uint32_t file_id = 0; };
  struct InvalidMagic { std::string text; };
  struct UnsupportedVersion { uint32_t version = 0; };
  struct InvalidNamespace { std::string text; };
  struct Corruption { std::string text; };
  struct DecompressionFailed { uint32_t id = 0; };
  struct PathError { std::filesystem::path path; IoError source; };
  struct Other { std::string text; };

  using Variant = std::variant<Io, BinRead, NotFound, DuplicateId, DuplicateNamespacedId,
                               InvalidMagic, UnsupportedVersion, InvalidNamespace, Corruption,
                               DecompressionFailed, PathError, Other>;
  Variant v;

  DatError(Io e) : v(std::move(e)) {}                      // NOLINT: implicit on purpose
  DatError(BinRead e) : v(std::move(e)) {}                 // NOLINT
  DatError(NotFound e) : v(e) {}                           // NOLINT
  DatError(DuplicateId e) : v(e) {}                        // NOLINT
  DatError(DuplicateNamespacedId e) : v(std::move(e)) {}   // NOLINT
  DatError(InvalidMagic e) : v(std::move(e)) {}            // NOLINT
  DatError(UnsupportedVersion e) : v(e) {}                 // NOLINT
  DatError(InvalidNamespace e) : v(std::move(e)) {}        // NOLINT
  DatError(Corruption e) : v(std::move(e)) {}              // NOLINT
  DatError(DecompressionFailed e) : v(e) {}                // NOLINT
  DatError(PathError e) : v(std::move(e)) {}               // NOLINT
  DatError(Other e) : v(std::move(e)) {}                   // NOLINT
  // A reader's failure inside an archive operation becomes BinRead unchanged.
  DatError(ReadError e) : v(BinRead{std::move(e)}) {}      // NOLINT
  DatError(IoError e) : v(Io{e}) {}                        // NOLINT

  template <typename T>
  bool is() const { return std::holds_alternative<T>(v); }
  template <typename T>
  const T* get() const { return std::get_if<T>(&v); }

  // The variant's display text, such as "File ID 13000000 not found in provider".
  [[nodiscard]] std::string to_string() const;
  // The underlying cause's text (the I/O error of Io and PathError, the ReadError of BinRead).
  [[nodiscard]] std::optional<std::string> cause() const;
  // The whole chain as a tool error: the cause (if any) innermost, the display text outside it.
  [[nodiscard]] Error to_error() const;
};

template <typename T>
using DatResult = Result<T, DatError>;

}  // namespace fennistock::dat
