// libFuzzer target: the record decompressor.
#include "dat_entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fennistock::fuzz::decompress_one(data, size);
}
