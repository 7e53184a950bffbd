// libFuzzer target: every record reader, chosen by the input's first byte.
#include "dat_entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fennistock::fuzz::records_one(data, size);
}
