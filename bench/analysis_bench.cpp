// Training-set analysis over 20,000 rows of 20 input signals and 2 outputs:
// every pair once. Reports the achieved flop rate as a share of the
// single-core double-precision peak measured in the same run (3 flops per
// signal and pair: difference, square, sum), and checks once that the report
// equals that of the plain pair loop.

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <vector>

#include "bench/peak_flops.h"
#include "core/base/random.h"
#include "core/data/task_book.h"
#include "core/data/training_set_analysis.h"

namespace velmar {
namespace {

constexpr int kRows = 20000;
constexpr int kInputs = 20;
constexpr int kOutputs = 2;

// Continuous signals in [-1, 1], with every tenth row repeating an earlier
// row's inputs so that the conflict bookkeeping has work too.
const TaskBook& Book() {
  static const TaskBook book = [] {
    TaskBook b(kInputs, kOutputs, kOutputs);
    Random15 random(20240611);
    auto uniform = [&] { return static_cast<float>(random.Next()) / 32767.0f * 2 - 1; };
    std::vector<std::vector<float>> inputs;
    std::vector<float> targets(kOutputs);
    for (int r = 0; r < kRows; ++r) {
      std::vector<float> row(kInputs);
      for (float& x : row) x = uniform();
      if (r > 0 && r % 10 == 0) row = inputs[static_cast<size_t>(random.Next()) % inputs.size()];
      for (float& t : targets) t = uniform();
      b.Append(row, targets);
      b.SetRecordNumber(b.Count() - 1, r + 1);
      inputs.push_back(std::move(row));
    }
    return b;
  }();
  return book;
}

// Processor time of this thread, so that other work on a shared machine does
// not count against the loop.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The plain pair loop's result, computed once for all runs.
const TrainingSetAnalysis& Reference() {
  static const TrainingSetAnalysis reference = AnalysePairsPlainly(Book());
  return reference;
}

// Arg: the PairKernel; kAuto is the one the analysis command uses.
void BM_AnalyseTrainingSet(benchmark::State& state) {
  const auto kernel = static_cast<PairKernel>(state.range(0));
  if (!PairKernelAvailable(kernel)) {
    state.SkipWithError("this processor lacks the instructions of this kernel");
    return;
  }
  const TaskBook& book = Book();
  const bench::Peak peak = bench::MeasurePeakFlops();
  TrainingSetAnalysis result;
  double seconds = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    result = AnalysePairs(book, kernel);
    benchmark::DoNotOptimize(result);
    seconds += ThreadSeconds() - start;
  }
  const double pairs = 0.5 * double(kRows) * double(kRows - 1);
  const double rate = pairs * 3.0 * (kInputs + kOutputs) * double(state.iterations()) / seconds;
  state.counters["flops"] = rate;
  state.counters["peak_flops"] = peak.flops;
  state.counters["share_of_peak"] = rate / peak.flops;
  state.SetLabel("peak " + peak.isa);
  state.counters["conflict_groups"] = static_cast<double>(result.conflicts.size());
  // The timer stops with the loop, so the slow reference costs no share.
  if (!(Reference() == result)) state.SkipWithError("the report differs from the plain pair loop");
}

BENCHMARK(BM_AnalyseTrainingSet)
    ->ArgName("kernel")
    ->Arg(static_cast<int>(PairKernel::kAuto))
    ->Arg(static_cast<int>(PairKernel::kSse2))
    ->Unit(benchmark::kSecond)
    ->Iterations(2);

}  // namespace
}  // namespace velmar

BENCHMARK_MAIN();
