// The command-line tool's fuzz entry points (the landblock list and the hexadecimal reader),
// shared by the libFuzzer target and the replay of saved inputs in the tool's tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dat_entry_points.h"
#include "landblock_list.h"

namespace fennistock::fuzz {

// Input: u8 form selector | text. Selector mod 3: 0 parse_hex_u32, 1 the in-memory forms of
// --landblocks (single id and rectangle; a text that would name a list file is not expanded),
// 2 the list-file form over a file holding the text.
inline int landblocks_one(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: {
      auto v = tool::parse_hex_u32(text);
      if (!v.ok()) FS_FUZZ_CHECK(v.error().chain().size() == 2);
      break;
    }
    case 1: {
      const std::string_view trimmed = tool::trim_white_space(text);
      if (!trimmed.empty() && trimmed.front() == '@') break;
      auto ids = tool::expand_landblocks(text);
      if (ids.ok()) {
        FS_FUZZ_CHECK(!ids->empty() && ids->size() <= 65536);
        for (size_t k = 1; k < ids->size(); ++k) FS_FUZZ_CHECK((*ids)[k - 1] < (*ids)[k]);
      } else {
        FS_FUZZ_CHECK(!ids.error().chain().empty());
      }
      break;
    }
    default: {
      const std::string& path = ScratchFile::instance().write({data + 1, size - 1});
      auto ids = tool::expand_landblocks("@" + path);
      if (ids.ok()) {
        // Every id takes at least one character and a line ending or the end of the text.
        FS_FUZZ_CHECK(ids->size() <= text.size());
      } else {
        FS_FUZZ_CHECK(!ids.error().chain().empty());
      }
      break;
    }
  }
  return 0;
}

}  // namespace fennistock::fuzz
