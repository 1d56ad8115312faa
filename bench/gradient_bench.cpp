// Speed of the two passes over a taskbook (EvaluateGradient, EvaluateError)
// on synthetic data, against the honest single-core double-precision peak
// (the widest multiply-add of this processor, see peak_flops.h).
//
// The flop rate counts 6 flops per synapse per example for a gradient pass
// (forward product, outer product, product with the transpose) and 2 for an
// error pass. peak_ratio is that rate over the single-core peak, measured on
// wall time, so with two threads it may pass 1. The label names the kernels,
// the thread count and the instruction set of the peak.
//
// Args: shape index, threads. VELMAR_KERNELS=portable|avx2|avx512 forces a
// kernel path.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/peak_flops.h"
#include "core/base/host.h"
#include "core/base/thread_pool.h"
#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"
#include "core/engine/propagation.h"
#include "core/engine/propagation_kernels.h"
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

const velmar::bench::Peak& Peak() {
  static const velmar::bench::Peak peak = velmar::bench::MeasurePeakFlops();
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

void Report(benchmark::State& state, const Case& c, double flops_per_synapse, int threads) {
  const double flops = flops_per_synapse * Synapses(c) * c.rows;
  state.counters["flops"] =
      benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak"] = Peak().flops;
  state.counters["peak_ratio"] =
      benchmark::Counter(flops / Peak().flops, benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(std::string(velmar::ActiveKernels().name) + " x" + std::to_string(threads) +
                 ", peak " + Peak().isa);
}

template <bool kGradient>
void BM_Pass(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  const int threads = static_cast<int>(state.range(1));
  velmar::SetPassThreads(threads);
  Fixture fixture(c);
  Peak();
  // Warm up: the first pass sizes the work space and starts the pool.
  kGradient ? velmar::EvaluateGradient(*fixture.net, fixture.context)
            : velmar::EvaluateError(*fixture.net, fixture.context);
  for (auto _ : state) {
    benchmark::DoNotOptimize(kGradient ? velmar::EvaluateGradient(*fixture.net, fixture.context)
                                       : velmar::EvaluateError(*fixture.net, fixture.context));
  }
  Report(state, c, kGradient ? 6.0 : 2.0, threads);
}

void BM_EvaluateGradient(benchmark::State& state) { BM_Pass<true>(state); }
void BM_EvaluateError(benchmark::State& state) { BM_Pass<false>(state); }

void Shapes(benchmark::internal::Benchmark* b) {
  for (int i = 0; i < 4; ++i) b->Args({i, 1});
  for (int i = 1; i < 4; ++i) b->Args({i, 2});
}

BENCHMARK(BM_EvaluateGradient)->Apply(Shapes)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateError)->Apply(Shapes)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
