// The bake driver: one run of the tool from a parsed command line to the manifest.
#pragma once

#include "cli.h"
#include "fennistock/common/error.h"

namespace fennistock::tool {

// Runs the whole bake (logging must already be set up). A failure ends the run; the caller
// prints the error report and exits with status 1.
Status run(const Cli& cli);

}  // namespace fennistock::tool
