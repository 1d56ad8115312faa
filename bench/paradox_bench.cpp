// Walking a Paradox table of binary numbers the way the taskbook and the
// statistics do: every record, every column through AsFloat. Reported
// against a plain sequential read of the same file, with the memory the
// open table holds against the file's size.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/table_walk.h"
#include "core/tables/paradox_table.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 100000;
constexpr int kColumns = 20;

const fs::path& BenchTable() {
  static const fs::path path = [] {
    std::error_code ec;
    fs::path dir =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path p = dir / "velmar_paradox_bench.db";
    std::vector<ColumnDef> columns;
    for (int c = 0; c < kColumns; ++c) {
      ColumnDef d;
      d.name = std::to_string(c);
      d.name.insert(0, 1, 'X');
      d.native_type = c % 4 == 0 ? 'S' : (c % 4 == 1 ? 'I' : 'N');
      columns.push_back(d);
    }
    std::unique_ptr<Table> table;
    Status s = CreateParadoxTable(p, {TableFamily::kParadox, 7}, columns, 1252, table);
    for (int r = 0; s.ok() && r < kRecords; ++r) {
      s = table->Append();
      for (int c = 0; s.ok() && c < kColumns; ++c) {
        s = c % 4 < 2 ? table->SetValue(c, int64_t{(r * 31 + c) % 30000})
                      : table->SetValue(c, (r - c) * 0.001);
      }
    }
    if (s.ok()) s = table->Save();
    if (!s.ok()) std::fprintf(stderr, "cannot write the bench table: %s\n", s.message().c_str());
    return p;
  }();
  return path;
}

// Seconds for one plain sequential read of the whole file.
double SequentialReadSeconds(const fs::path& path) {
  std::vector<char> buffer(1 << 16);
  double best = 1e9;
  for (int rep = 0; rep < 5; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    size_t total = 0;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), f)) total += n;
    std::fclose(f);
    benchmark::DoNotOptimize(total);
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void BM_ParadoxWalkAsFloat(benchmark::State& state) {
  std::unique_ptr<Table> table;
  Status s = OpenParadoxTable(BenchTable(), table);
  if (!s.ok()) {
    state.SkipWithError(s.message().c_str());
    return;
  }
  double seconds = 0;
  for (auto _ : state) seconds += bench::WalkAsFloatSeconds(*table, kColumns);
  const double values = double(kRecords) * kColumns;
  const double file_bytes = static_cast<double>(fs::file_size(BenchTable()));
  const double walk = seconds / static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values));
  state.counters["Mvalues_per_s"] = values / walk / 1e6;
  state.counters["walk_vs_read"] = walk / SequentialReadSeconds(BenchTable());
  state.counters["held_vs_file"] = static_cast<double>(ParadoxHeldBytes(*table)) / file_bytes;
  state.counters["file_MB"] = file_bytes / 1e6;
}
BENCHMARK(BM_ParadoxWalkAsFloat)->Unit(benchmark::kMillisecond);

void BM_ParadoxOpen(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<Table> table;
    Status s = OpenParadoxTable(BenchTable(), table);
    benchmark::DoNotOptimize(s.ok());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(BenchTable())));
}
BENCHMARK(BM_ParadoxOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar

BENCHMARK_MAIN();
