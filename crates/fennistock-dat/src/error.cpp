#include "fennistock/dat/error.h"

#include <fmt/format.h>

namespace fennistock::dat {
namespace {
template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;
}  // namespace

std::string DatError::to_string() const {
  return std::visit(
      Overloaded{
          [](const Io& e) { return fmt::format("IO error: {}", e.error.message()); },
          [](const BinRead& e) { return fmt::format("Binary read error: {}", e.error.to_string()); },
          [](const NotFound& e) { return fmt::format("File ID {:08X} not found in provider", e.id); },
          [](const DuplicateId& e) { return fmt::format("Duplicate File ID {:08X} detected", e.id); },
          [](const DuplicateNamespacedId& e) {
            return fmt::format("Duplicate namespaced file {}:{:08X} detected", e.namespace_name, e.file_id);
          },
          [](const InvalidMagic& e) { return fmt::format("Invalid magic for format: {}", e.text); },
          [](const UnsupportedVersion& e) { return fmt::format("Unsupported version: {}", e.version); },
          [](const InvalidNamespace& e) { return fmt::format("Invalid namespace: {}", e.text); },
          [](const Corruption& e) { return fmt::format("Corruption detected: {}", e.text); },
          [](const DecompressionFailed& e) { return fmt::format("Failed to recover compressed file {:08X}", e.id); },
          [](const PathError& e) {
            return fmt::format("Failed to open file at {}: {}", e.path.string(), e.source.message());
          },
          [](const Other& e) { return fmt::format("Other error: {}", e.text); },
      },
      v);
}

std::optional<std::string> DatError::cause() const {
  if (const Io* e = get<Io>()) return e->error.message();
  if (const BinRead* e = get<BinRead>()) return e->error.to_string();
  if (const PathError* e = get<PathError>()) return e->source.message();
  return std::nullopt;
}

Error DatError::to_error() const {
  std::vector<std::string> chain;
  if (auto c = cause()) chain.push_back(std::move(*c));
  chain.push_back(to_string());
  return Error::from_chain(std::move(chain));
}

}  // namespace fennistock::dat
