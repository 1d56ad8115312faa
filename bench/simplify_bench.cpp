// The time of a whole input-pruning run on the iris example: the records
// whose class the petal length tells apart, a net of 4 inputs, one hidden
// layer of 4 and 3 class outputs, trained before the clock starts.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "core/base/host.h"
#include "core/base/random.h"
#include "core/base/training_view.h"
#include "core/engine/training_driver.h"
#include "core/simplify/pruning.h"
#include "tests/core/simplify/simplify_test_support.h"

namespace velmar {
namespace {

void BM_PruneInputsIris(benchmark::State& state) {
  const std::filesystem::path csv =
      std::filesystem::path(__FILE__).parent_path().parent_path() / "examples" / "iris.csv";
  const testing_support::IrisSubset iris = testing_support::LoadIrisSubset(csv.string());
  if (iris.rows.empty()) {
    state.SkipWithError("examples/iris.csv not found");
    return;
  }
  testing_support::MemoryTable table =
      testing_support::MemoryTable::FromNumbers(testing_support::FieldNames(iris.shape), iris.rows);
  ProjectOptions options;
  SilentHost host;
  NullTrainingView view;
  EngineContext context{options, &table, host, view};
  FixedClock clock(20240501);
  SetCurrentClock(&clock);
  int64_t pruned = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<NeuralNet> net = testing_support::MakeNet(iris.shape, 17);
    SetCurrentClock(&clock);
    TrainNetwork(*net, context);
    state.ResumeTiming();
    Simplify(*net, kPruneInputs, context);
    pruned += net->RunPrunedInputs;
  }
  SetCurrentClock(nullptr);
  state.counters["inputs_pruned"] =
      benchmark::Counter(static_cast<double>(pruned), benchmark::Counter::kAvgIterations);
  state.counters["examples"] = static_cast<double>(iris.rows.size());
}
BENCHMARK(BM_PruneInputsIris)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar

BENCHMARK_MAIN();
