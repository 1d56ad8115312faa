// Walking a large dBase table: values read as float32 per second, compared
// with a plain sequential read of the same file, and the heap memory the
// open table holds compared with the file size.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/table_walk.h"
#include "core/tables/dbf_table.h"

namespace {

namespace fs = std::filesystem;
using velmar::Table;

constexpr int kRecords = 100000;
constexpr int kColumns = 20;

const fs::path& BenchTable() {
  static const fs::path path = [] {
    fs::path p = fs::temp_directory_path() / "velmar_table_bench.dbf";
    std::vector<velmar::ColumnDef> columns;
    for (int c = 0; c < kColumns; ++c) {
      std::string name = "X";
      name += std::to_string(c);  // appending avoids a false -Wrestrict in GCC 12
      columns.push_back({name, velmar::FieldKind::kFloat, 'N', 10, 3, 0});
    }
    std::unique_ptr<Table> table;
    if (!velmar::CreateDbfTable(p, {velmar::TableFamily::kDbase, 0}, columns, 1252, table).ok()) {
      std::abort();
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-9999.0, 99999.0);
    for (int r = 0; r < kRecords; ++r) {
      if (!table->Append().ok()) std::abort();
      for (int c = 0; c < kColumns; ++c) {
        if (!table->SetValue(c, value(rng)).ok()) std::abort();
      }
    }
    if (!table->Save().ok()) std::abort();
    return p;
  }();
  return path;
}

// Heap bytes in use: what an open table holds, whatever pages the
// allocator kept from earlier work.
long HeapBytesInUse() { return static_cast<long>(mallinfo2().uordblks); }

double PlainReadSeconds(const fs::path& path) {
  double best = 1e9;
  std::vector<char> buffer(1 << 16);
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(path, std::ios::binary);
    uint64_t sum = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount()) {
      for (std::streamsize k = 0; k < in.gcount(); k += 64) sum += static_cast<uint8_t>(buffer[k]);
    }
    benchmark::DoNotOptimize(sum);
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void BM_DbaseWalkAsFloat(benchmark::State& state) {
  const fs::path& path = BenchTable();
  const double plain = PlainReadSeconds(path);
  const long before = HeapBytesInUse();
  std::unique_ptr<Table> table;
  if (!velmar::OpenDbfTable(path, table).ok()) {
    state.SkipWithError("cannot open the bench table");
    return;
  }
  const long held = HeapBytesInUse() - before;
  double walk = 0;
  for (auto _ : state) walk += velmar::bench::WalkAsFloatSeconds(*table, kColumns);
  const double file_bytes = static_cast<double>(fs::file_size(path));
  state.SetItemsProcessed(state.iterations() * int64_t{kRecords} * kColumns);
  state.counters["walk_vs_plain_read"] = walk / static_cast<double>(state.iterations()) / plain;
  state.counters["file_bytes"] = file_bytes;
  state.counters["heap_bytes_held"] = static_cast<double>(held);
  state.counters["held_vs_file"] = static_cast<double>(held) / file_bytes;
}
BENCHMARK(BM_DbaseWalkAsFloat)->Unit(benchmark::kMillisecond);

void BM_DbaseOpen(benchmark::State& state) {
  const fs::path& path = BenchTable();
  for (auto _ : state) {
    std::unique_ptr<Table> table;
    if (!velmar::OpenDbfTable(path, table).ok()) state.SkipWithError("cannot open");
    benchmark::DoNotOptimize(table);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}
BENCHMARK(BM_DbaseOpen)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
