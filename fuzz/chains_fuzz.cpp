// libFuzzer target: record chains and compressed records over fuzzed blocks.
#include "dat_entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fennistock::fuzz::chains_one(data, size);
}
