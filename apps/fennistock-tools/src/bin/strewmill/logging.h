// The process-wide logger: one spdlog logger named "strewmill" on standard error, also the
// default logger, so spdlog::info(...) and friends carry the tool's target.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include <spdlog/common.h>

namespace fennistock::tool {

// The environment variable that adds levels for named loggers, in spdlog's syntax:
// comma-separated "name=level" entries ("strewmill=debug"). A bare level is accepted but has
// no effect: the global level always comes from --verbose.
inline constexpr const char* kLogEnvVar = "STREWMILL_LOG";

// The levels an environment value sets for named loggers. Entries without a name and entries
// whose level spdlog does not know are dropped; a later entry for a name replaces an earlier one.
[[nodiscard]] std::map<std::string, spdlog::level::level_enum> parse_log_levels(std::string_view spec);

// Sets up the logger: global level WARN, or INFO when `verbose`; then the levels that
// STREWMILL_LOG names. Can be called again (a test does); the last call wins.
void setup_logging(bool verbose);

// True when a record at `level` would be written by the tool's logger.
[[nodiscard]] bool log_enabled(spdlog::level::level_enum level);

}  // namespace fennistock::tool
