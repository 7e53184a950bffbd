#include "logging.h"

#include <cstdlib>
#include <memory>
#include <string>

#include <spdlog/details/registry.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

namespace fennistock::tool {
namespace {

constexpr std::string_view kLoggerName = "strewmill";

std::string_view trim_spaces(std::string_view s) {
  constexpr std::string_view kSpaces = " \n\r\t";
  const size_t first = s.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kSpaces) - first + 1);
}

}  // namespace

std::map<std::string, spdlog::level::level_enum> parse_log_levels(std::string_view spec) {
  std::map<std::string, spdlog::level::level_enum> levels;
  while (!spec.empty()) {
    const size_t comma = spec.find(',');
    const std::string_view entry = spec.substr(0, comma);
    spec = comma == std::string_view::npos ? std::string_view() : spec.substr(comma + 1);
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;  // a bare global level: --verbose decides that
    const std::string_view name = trim_spaces(entry.substr(0, eq));
    std::string level_name(trim_spaces(entry.substr(eq + 1)));
    for (char& c : level_name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const spdlog::level::level_enum level = spdlog::level::from_str(level_name);
    if (name.empty() || (level == spdlog::level::off && level_name != "off")) continue;
    levels[std::string(name)] = level;
  }
  return levels;
}

void setup_logging(bool verbose) {
  spdlog::level::level_enum global = verbose ? spdlog::level::info : spdlog::level::warn;
  const char* env = std::getenv(kLogEnvVar);
  const auto named = parse_log_levels(env != nullptr ? env : "");
  spdlog::details::registry::instance().set_levels(
      spdlog::details::registry::log_levels(named.begin(), named.end()), &global);
  // Loggers take their level when created, so the tool's logger is made after the levels are set.
  spdlog::drop(std::string(kLoggerName));
  spdlog::set_default_logger(spdlog::stderr_color_mt(std::string(kLoggerName)));
}

bool log_enabled(spdlog::level::level_enum level) {
  const spdlog::logger* logger = spdlog::default_logger_raw();
  return logger != nullptr && logger->should_log(level);
}

}  // namespace fennistock::tool
