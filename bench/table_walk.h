#ifndef VELMAR_BENCH_TABLE_WALK_H_
#define VELMAR_BENCH_TABLE_WALK_H_

#include <benchmark/benchmark.h>

#include <chrono>

#include "core/tables/table.h"

namespace velmar::bench {

// Seconds for one walk over every record of `table`, reading its first
// `columns` columns through AsFloat, as the taskbook and the statistics do.
inline double WalkAsFloatSeconds(Table& table, int columns) {
  const auto start = std::chrono::steady_clock::now();
  float sum = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    for (int c = 0; c < columns; ++c) sum += table.AsFloat(c);
  }
  benchmark::DoNotOptimize(sum);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace velmar::bench

#endif  // VELMAR_BENCH_TABLE_WALK_H_
