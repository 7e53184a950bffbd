// libFuzzer target: the whole input is an archive file, opened and read.
#include "dat_entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fennistock::fuzz::archive_open_one(data, size);
}
