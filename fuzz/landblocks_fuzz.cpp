// libFuzzer target: parse_hex_u32 and the three forms of --landblocks.
#include "tool_entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fennistock::fuzz::landblocks_one(data, size);
}
