// Archive layer benchmarks: opening a large directory, its memory, a warm record read, and the
// decompressor's throughput. The archives are written once per process under the temporary
// directory and removed at exit.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "fennistock/dat/lib.h"
#include "fennistock/dat/utils.h"
#include "testing/archive_writer.h"
#include "testing/lrs_encoder.h"
#include "testing/temp_file.h"

// Heap bytes in use (small blocks and mmapped ones), for the directory's real memory per entry.
int64_t heap_in_use() {
  const struct mallinfo2 mi = mallinfo2();
  return static_cast<int64_t>(mi.uordblks + mi.hblkhd);
}

namespace fennistock::dat {
namespace {

using ::fennistock::testing::ArchiveOptions;
using ::fennistock::testing::ArchiveWriter;
using ::fennistock::testing::TempFile;

constexpr uint32_t kEntries = 1'000'000;
constexpr uint32_t kSmallId = 0x0E000001;

// An archive of 1,000,000 directory entries. A few hundred real records of 100 bytes; the
// entries share their chains (the directory walk never reads records, and a million distinct
// chains would take a gigabyte of blocks). Ids look like cell records: 0xXXYY..FF and 0xXXYY..FE.
const TempFile& big_archive(uint32_t block_size) {
  static std::map<uint32_t, std::unique_ptr<TempFile>> files;
  auto& slot = files[block_size];
  if (slot) return *slot;
  slot = std::make_unique<TempFile>();
  auto w = ArchiveWriter::create(slot->path(), ArchiveOptions{.block_size = block_size});
  if (!w.ok()) std::abort();
  std::vector<DatFileEntry> shared;
  for (uint32_t k = 0; k < 256; ++k) {
    std::vector<uint8_t> bytes(100, static_cast<uint8_t>(k));
    shared.push_back(w->add(kSmallId + k, bytes));
  }
  for (uint32_t k = 0; shared.size() + k < kEntries; ++k) {
    DatFileEntry e = shared[k % 256];
    // Two records a landblock, landblocks of 16 archives' worth of id space: all distinct.
    e.id = (k / 2 % 0x10000) << 16 | (k / 0x20000 + 1) << 8 | (k % 2 == 0 ? 0xFFu : 0xFEu);
    w->add_entry(e);
  }
  if (!w->finish().ok()) std::abort();
  return *slot;
}

void BM_OpenDirectory(benchmark::State& state) {
  const TempFile& file = big_archive(static_cast<uint32_t>(state.range(0)));
  size_t entries = 0;
  for (auto _ : state) {
    auto db = DatDatabase::open(file.path());
    if (!db.ok()) state.SkipWithError(db.error().to_string().c_str());
    entries = db->directory().size();
    benchmark::DoNotOptimize(entries);
  }
  state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_OpenDirectory)->Arg(1024)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_DirectoryMemory(benchmark::State& state) {
  const TempFile& file = big_archive(1024);
  double heap_per_entry = 0;
  double table_per_entry = 0;
  for (auto _ : state) {
    const int64_t before = heap_in_use();
    auto db = DatDatabase::open(file.path());
    const int64_t after = heap_in_use();
    const auto n = static_cast<double>(db->directory().size());
    heap_per_entry = static_cast<double>(after - before) / n;
    table_per_entry = static_cast<double>(db->directory().allocated_bytes()) / n;
  }
  state.counters["heap_bytes_per_entry"] = heap_per_entry;
  state.counters["table_bytes_per_entry"] = table_per_entry;
}
BENCHMARK(BM_DirectoryMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_GetFileWarm(benchmark::State& state) {
  const TempFile& file = big_archive(1024);
  auto db = DatDatabase::open(file.path());
  if (!db.ok()) std::abort();
  for (auto _ : state) {
    auto bytes = db->get_file(kSmallId + 17);
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_GetFileWarm)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_DecompressLrs(benchmark::State& state) {
  // Record-like bytes: small integers, repeated floats and some noise.
  std::vector<uint8_t> plain;
  uint32_t x = 1;
  while (plain.size() < (1u << 20)) {
    x = x * 1103515245u + 12345u;
    const uint32_t words[] = {x >> 28, 0x3F800000u, x >> 16 & 0xFF, 0x00000000u, x};
    for (const uint32_t w : words) {
      for (int k = 0; k < 4; ++k) plain.push_back(static_cast<uint8_t>(w >> (8 * k)));
    }
  }
  const std::vector<uint8_t> stored = ::fennistock::testing::lrs_encode(plain);
  for (auto _ : state) {
    auto out = decompress_lrs(stored);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(plain.size()));
  state.counters["ratio"] = static_cast<double>(stored.size()) / static_cast<double>(plain.size());
}
BENCHMARK(BM_DecompressLrs);

}  // namespace
}  // namespace fennistock::dat

BENCHMARK_MAIN();
