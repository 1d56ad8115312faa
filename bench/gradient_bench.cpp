// Speed of the two passes over a taskbook (EvaluateGradient, EvaluateError)
// on synthetic data, against the single-core double-precision peak.
//
// The flop rate counts about 6 flops per synapse per example for a gradient
// pass (forward product, outer product, product with the transpose) and 2 for
// an error pass; peak_ratio is that rate over the measured peak.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/peak_flops.h"
#include "core/base/host.h"
#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"
#include "core/engine/propagation.h"
#include "tests/support/net_builders.h"

namespace {

using velmar::testing_support::MakeNet;
using velmar::testing_support::RandomTaskBook;
using velmar::testing_support::SimpleShape;

struct Case {
  int inputs;
  std::vector<int> hidden;
  int outputs;
  int rows;
};

const Case kCases[] = {
    {4, {10, 10, 10}, 1, 150},
    {20, {10, 10, 10}, 2, 10000},
    {50, {64, 64}, 3, 20000},
    {100, {100, 100, 100}, 10, 50000},
};

double Peak() {
  static const double peak = velmar::bench::MeasurePeakFlops();
  return peak;
}

double Synapses(const Case& c) {
  double total = 0;
  int from = c.inputs;
  for (int m : c.hidden) {
    total += static_cast<double>(from) * m;
    from = m;
  }
  return total + static_cast<double>(from) * c.outputs;
}

struct Fixture {
  std::unique_ptr<velmar::NeuralNet> net;
  velmar::SilentHost host;
  velmar::ProjectOptions options;
  velmar::NullTrainingView view;
  velmar::EngineContext context{options, nullptr, host, view};

  explicit Fixture(const Case& c) {
    net = MakeNet(SimpleShape(c.inputs, c.hidden, c.outputs, 0.05f), 12345);
    net->Book = RandomTaskBook(net->Desc, c.rows, 777);
  }
};

void Report(benchmark::State& state, const Case& c, double flops_per_synapse) {
  const double flops = flops_per_synapse * Synapses(c) * c.rows;
  state.counters["flops"] =
      benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak"] = Peak();
  state.counters["peak_ratio"] =
      benchmark::Counter(flops / Peak(), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EvaluateGradient(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  Fixture fixture(c);
  Peak();
  for (auto _ : state) {
    benchmark::DoNotOptimize(velmar::EvaluateGradient(*fixture.net, fixture.context));
  }
  Report(state, c, 6.0);
}

void BM_EvaluateError(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  Fixture fixture(c);
  Peak();
  for (auto _ : state) {
    benchmark::DoNotOptimize(velmar::EvaluateError(*fixture.net, fixture.context));
  }
  Report(state, c, 2.0);
}

BENCHMARK(BM_EvaluateGradient)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateError)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
