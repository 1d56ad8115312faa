// The vector kernels and the threaded passes against the plain loops: every
// kernel path and every thread count must give the same bits.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/base/random.h"
#include "core/base/thread_pool.h"
#include "core/engine/propagation.h"
#include "core/engine/propagation_kernels.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"

// Counts every allocation of this test program, so that a test can tell that
// a warmed-up pass allocates nothing. (GCC takes malloc/free under the
// replaced operators for a mismatch.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t align) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const std::size_t a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace velmar {
namespace {

using testing_support::FieldSpec;
using testing_support::MakeNet;
using testing_support::NetShape;
using testing_support::RandomizeParameters;
using testing_support::RandomTaskBook;
using testing_support::RecordingHost;

std::vector<const PassKernels*> AvailablePaths() {
  std::vector<const PassKernels*> paths;
  for (KernelPath p : {KernelPath::kPortable, KernelPath::kAvx2, KernelPath::kAvx512}) {
    if (const PassKernels* k = KernelsFor(p)) paths.push_back(k);
  }
  return paths;
}

KernelPath PathOf(const PassKernels* kernels) {
  for (KernelPath p : {KernelPath::kPortable, KernelPath::kAvx2, KernelPath::kAvx512}) {
    if (KernelsFor(p) == kernels) return p;
  }
  return KernelPath::kAuto;
}

// Same bits, NaN included.
bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool Same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- The kernels one by one, each path against the portable one ----------

TEST(PropagationKernelsTest, EveryPathGivesThePortableBitsOnRaggedSizes) {
  constexpr int B = kKernelBatch;
  const PassKernels& plain = *KernelsFor(KernelPath::kPortable);
  Random15 random(7);
  auto uniform = [&](float scale) {
    return static_cast<float>((random.Next() * 2.0 / Random15::kMax - 1.0) * scale);
  };
  const int sizes[] = {1, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 40, 47, 55, 64, 100, 131, 300};
  for (const PassKernels* kernels : AvailablePaths()) {
    for (int k : sizes) {
      // One row (an output layer, the characteristics) runs its own blocks,
      // and 9 to 16 rows of one group take one block.
      for (const int m : {1, 9 + k % 8, 1 + static_cast<int>(random.Next() % 37)}) {
        const int stride = (k + 7) / 8 * 8;
        SCOPED_TRACE(testing::Message() << kernels->name << " k=" << k << " m=" << m);
        std::vector<double> w(static_cast<size_t>(m) * stride, 0.0);
        for (int j = 0; j < m; ++j) {
          for (int s = 0; s < k; ++s) w[j * stride + s] = uniform(1.0f);
        }
        std::vector<double> x(B * k);
        std::vector<std::vector<double>> own(B, std::vector<double>(k));
        for (int s = 0; s < k; ++s) {
          for (int e = 0; e < B; ++e) {
            own[e][s] = x[B * s + e] = uniform(1.0f);
          }
        }
        const double* xe[B];
        for (int e = 0; e < B; ++e) xe[e] = own[e].data();

        std::vector<double> sums(B * m), want_sums(B * m);
        kernels->layer_sums(w.data(), stride, k, m, x.data(), xe, sums.data());
        plain.layer_sums(w.data(), stride, k, m, x.data(), xe, want_sums.data());
        for (size_t i = 0; i < sums.size(); ++i) ASSERT_TRUE(Same(sums[i], want_sums[i])) << i;

        // Signals with zeros now and then, as solved examples give.
        std::vector<float> g(B * m);
        std::vector<double> gd(B * m);
        for (size_t i = 0; i < g.size(); ++i) {
          g[i] = random.Next() % 5 == 0 ? 0.0f : uniform(0.5f);
          gd[i] = g[i];
        }
        std::vector<float> back(B * k), want_back(B * k);
        kernels->layer_back(w.data(), stride, k, m, gd.data(), back.data());
        plain.layer_back(w.data(), stride, k, m, gd.data(), want_back.data());
        for (size_t i = 0; i < back.size(); ++i) ASSERT_TRUE(Same(back[i], want_back[i])) << i;

        // The direction reads each example's sources up to the stride.
        std::vector<std::vector<double>> padded(B, std::vector<double>(stride, 0.0));
        for (int e = 0; e < B; ++e) std::copy(own[e].begin(), own[e].end(), padded[e].begin());
        // The inputs' loader fills both layouts from float rows and leaves the
        // own vectors' padding (the bias slot) alone.
        std::vector<std::vector<float>> input_rows(B, std::vector<float>(k));
        std::vector<std::vector<double>> loaded(B, std::vector<double>(stride + 1, -7.0));
        std::vector<double> lanes(B * stride, -7.0);
        const float* rows[B];
        double* loaded_own[B];
        for (int e = 0; e < B; ++e) {
          for (int s = 0; s < k; ++s) input_rows[e][s] = static_cast<float>(own[e][s]);
          rows[e] = input_rows[e].data();
          loaded_own[e] = loaded[e].data();
        }
        for (const PassKernels* loader : {kernels, &plain}) {
          loader->load_inputs(rows, k, loaded_own, lanes.data());
          for (int i = 0; i < B * k; ++i) ASSERT_TRUE(Same(lanes[i], x[i])) << loader->name << i;
          for (int e = 0; e < B; ++e) {
            for (int s = 0; s <= stride; ++s) {
              ASSERT_TRUE(Same(loaded[e][s], s < k ? own[e][s] : -7.0)) << loader->name << s;
            }
          }
          std::fill(lanes.begin(), lanes.end(), -7.0);
        }

        // Up to two batches' examples, lanes in any order.
        for (int n : {1, 3, 5, B, 2 * B}) {
          const double* xs[2 * B];
          const double* gs[2 * B];
          for (int i = 0; i < n; ++i) {
            const int lane = (i * 3 + n) % B;
            xs[i] = padded[lane].data();
            gs[i] = gd.data() + lane;
          }
          std::vector<double> d(w.size()), want_d(w.size());
          for (size_t i = 0; i < d.size(); ++i) d[i] = want_d[i] = uniform(2.0f);
          kernels->layer_direction(stride, m, xs, gs, n, d.data());
          plain.layer_direction(stride, m, xs, gs, n, want_d.data());
          for (size_t i = 0; i < d.size(); ++i) ASSERT_TRUE(Same(d[i], want_d[i])) << i;
        }

        std::vector<double> neuron(2 * m);
        for (int j = 0; j < m; ++j)
          neuron[2 * j] = 0.0001f + std::fabs(uniform(1.0f)), neuron[2 * j + 1] = uniform(1.0f);
        std::vector<float> stored(B * m), outputs(B * m), want_stored(B * m), want_outputs(B * m);
        std::vector<double> next(B * m), want_next(B * m);
        // Own vectors: one example's entries each, with a guard after them.
        std::vector<double> mine(B * (m + 1), -7.0), want_mine(B * (m + 1), -7.0);
        double* own_rows[B];
        double* want_rows[B];
        for (int e = 0; e < B; ++e)
          own_rows[e] = &mine[e * (m + 1)], want_rows[e] = &want_mine[e * (m + 1)];
        kernels->activate(neuron.data(), m, sums.data(), stored.data(), outputs.data(), next.data(),
                          own_rows);
        plain.activate(neuron.data(), m, sums.data(), want_stored.data(), want_outputs.data(),
                       want_next.data(), want_rows);
        for (size_t i = 0; i < stored.size(); ++i) {
          ASSERT_TRUE(Same(stored[i], want_stored[i]) && Same(outputs[i], want_outputs[i]) &&
                      Same(next[i], want_next[i]))
              << i;
        }
        for (size_t i = 0; i < mine.size(); ++i) ASSERT_TRUE(Same(mine[i], want_mine[i])) << i;
        for (int e = 0; e < B; ++e) ASSERT_EQ(mine[e * (m + 1) + m], -7.0);
        const bool take[B] = {true, false, true, true, false, true, true, true};
        std::vector<float> gg(B * m), want_g(B * m);
        std::vector<double> g2(B * m), want_g2(B * m);
        std::fill(mine.begin(), mine.end(), -7.0);
        std::fill(want_mine.begin(), want_mine.end(), -7.0);
        kernels->derive(neuron.data(), m, stored.data(), g.data(), take, own_rows, gg.data(),
                        g2.data());
        plain.derive(neuron.data(), m, stored.data(), g.data(), take, want_rows, want_g.data(),
                     want_g2.data());
        for (size_t i = 0; i < gg.size(); ++i) {
          ASSERT_TRUE(Same(gg[i], want_g[i]) && Same(g2[i], want_g2[i])) << i;
          if (!take[i % B]) {
            ASSERT_EQ(gg[i], 0.0f);
          }
        }
        for (size_t i = 0; i < mine.size(); ++i) ASSERT_TRUE(Same(mine[i], want_mine[i])) << i;
        for (int e = 0; e < B; ++e) ASSERT_EQ(mine[e * (m + 1) + m], -7.0);
      }
    }
  }
}

// ---- Whole passes -----------------------------------------------------------

class PropagationPathsTest : public testing::Test {
 protected:
  void TearDown() override {
    UseKernels(KernelPath::kAuto);
    SetPassThreads(0);
  }

  ProjectOptions options_;
  RecordingHost host_;
  NullTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
};

// A random net: 1..300 inputs in few cases and small ones mostly, 1..10
// sigmoid layers of ragged sizes, continuous and discrete outputs, monotone
// now and then, some synapses and whole neurons removed.
std::unique_ptr<NeuralNet> RandomNet(Random15& random, uint32_t seed) {
  NetShape shape;
  const int inputs = random.Next() % 4 == 0 ? 1 + random.Next() % 300 : 1 + random.Next() % 24;
  shape.inputs.assign(inputs, FieldSpec{});
  const int layers = 1 + random.Next() % 10;
  for (int l = 0; l < layers; ++l) {
    shape.hidden.push_back(layers > 3 ? 1 + random.Next() % 12 : 1 + random.Next() % 70);
  }
  const int outputs = 1 + random.Next() % 3;
  for (int o = 0; o < outputs; ++o) {
    FieldSpec f;
    f.gap = 0.3f;
    if (random.Next() % 3 == 0) {
      f.states = 2 + random.Next() % 4;
      f.ordered = random.Next() % 2 == 0;
      f.gap = 0.6f;
    }
    shape.outputs.push_back(f);
  }
  shape.monotone = random.Next() % 4 == 0;
  auto net = MakeNet(shape, seed);
  RandomizeParameters(*net, seed + 1, 0.9f);
  for (int32_t i = 0; i < net->NumOfParameters; ++i) {
    if ((net->ParamFlags[i] & pfBias) == 0 && (net->ParamFlags[i] & pfTrainable) != 0 &&
        random.Next() % 10 == 0) {
      net->Parameters[i] = 0;
      net->ParamFlags[i] = kRemovedSynapseFlags;
    }
  }
  // A removed neuron: no weights in or out, no bias.
  const int l = random.Next() % layers;
  const int m = net->Desc.NumOfNeurons[l];
  if (m > 1) {
    const int j = random.Next() % m;
    const int k = net->FanIn(l);
    for (int s = 0; s < k; ++s) net->Parameters[net->WeightStart(l) + j * k + s] = 0;
    net->Parameters[net->NeuronStart(l) + 2 * j + 1] = 0;
    const int next_m = net->LayerSize(l + 1);
    for (int t = 0; t < next_m; ++t) net->Parameters[net->WeightStart(l + 1) + t * m + j] = 0;
  }
  return net;
}

// The plain loop: one example at a time through the public Forward and
// Backward, every sum in double in row order.
struct Reference {
  std::vector<double> direction, param_sig, input_sig, neuron_sig;
  double total = 0, error_sum = 0;
  int32_t solved = 0;
};

Reference PlainPass(NeuralNet& net) {
  Reference r;
  const TaskBook& book = *net.Book;
  const size_t params = static_cast<size_t>(net.NumOfParameters);
  r.direction.assign(params, 0);
  r.param_sig.assign(params, 0);
  r.input_sig.assign(net.Desc.NumOfInputs, 0);
  r.neuron_sig.assign(net.NumOfHiddenNeurons, 0);
  for (uint32_t row = 0; row < book.Count(); ++row) {
    net.CurInputs = book.RowInputs(row);
    net.CurTargets = book.RowTargets(row);
    net.CurWeights = book.RowWeights(row);
    Forward(net);
    const float v = EvaluateErrorList(net.AcceptanceList, net.Outputs.data(), net.CurTargets,
                                      net.CurWeights, nullptr);
    if (v == 0.0f) {
      ++r.solved;
    } else {
      r.error_sum += v;
    }
    const float e = EvaluateErrorList(net.TrainingList, net.Outputs.data(), net.CurTargets,
                                      net.CurWeights, net.OutputErrors.data());
    if (e == 0.0f) continue;
    r.total += e;
    Backward(net);
    const std::vector<double> term = testing_support::DirectionTerms(net);
    for (size_t i = 0; i < params; ++i) {
      r.direction[i] += term[i];
      r.param_sig[i] += std::fabs(static_cast<float>(r.direction[i]));
    }
    for (size_t s = 0; s < r.input_sig.size(); ++s) {
      r.input_sig[s] += std::fabs(net.InputErrors[s] * net.CurInputs[s]);
    }
    size_t q = 0;
    for (int l = 0; l < net.NumOfLayers(); ++l) {
      for (int j = 0; j < net.Desc.NumOfNeurons[l]; ++j, ++q) {
        const int o = net.OutputStart(l) + j;
        r.neuron_sig[q] += std::fabs(net.Signals[o] * net.BackSignals[o]);
      }
    }
  }
  return r;
}

TEST_F(PropagationPathsTest, EveryPathMatchesThePlainLoopOnRandomNets) {
  Random15 random(2024);
  for (int round = 0; round < 14; ++round) {
    auto net = RandomNet(random, 500 + 7 * round);
    // Up to one block of rows, and short of a whole batch at the end.
    const int rows = 1 + random.Next() % 200;
    net->Book = RandomTaskBook(net->Desc, rows, 900 + round);
    SCOPED_TRACE(testing::Message() << "round " << round << ": " << net->Desc.NumOfInputs
                                    << " inputs, " << net->NumOfLayers() << " layers, "
                                    << net->Desc.NumOfOutputs << " outputs, " << rows << " rows");
    const Reference want = PlainPass(*net);
    for (const PassKernels* kernels : AvailablePaths()) {
      SCOPED_TRACE(kernels->name);
      ASSERT_TRUE(UseKernels(PathOf(kernels)));
      net->SensMode = 1;
      std::fill(net->ParamSignificance.begin(), net->ParamSignificance.end(), 0.0f);
      std::fill(net->InputSignificance.begin(), net->InputSignificance.end(), 0.0f);
      std::fill(net->NeuronSignificance.begin(), net->NeuronSignificance.end(), 0.0f);
      EXPECT_TRUE(Same(EvaluateGradient(*net, context_), static_cast<float>(want.total)));
      for (size_t i = 0; i < want.direction.size(); ++i) {
        ASSERT_TRUE(Same(net->Direction[i], static_cast<float>(want.direction[i]))) << i;
        ASSERT_TRUE(Same(net->ParamSignificance[i], static_cast<float>(want.param_sig[i]))) << i;
      }
      for (size_t s = 0; s < want.input_sig.size(); ++s) {
        ASSERT_TRUE(Same(net->InputSignificance[s], static_cast<float>(want.input_sig[s]))) << s;
      }
      for (size_t q = 0; q < want.neuron_sig.size(); ++q) {
        ASSERT_TRUE(Same(net->NeuronSignificance[q], static_cast<float>(want.neuron_sig[q]))) << q;
      }
      net->SensMode = 0;
      std::vector<float> sens_direction = net->Direction;
      EXPECT_TRUE(Same(EvaluateGradient(*net, context_), static_cast<float>(want.total)));
      EXPECT_EQ(net->Direction, sens_direction);
      EXPECT_TRUE(Same(net->ErrorSum, static_cast<float>(want.error_sum)));
      EXPECT_EQ(net->NumOfSolved, want.solved);
      EXPECT_TRUE(Same(EvaluateError(*net, context_), static_cast<float>(want.total)));
      EXPECT_TRUE(Same(net->ErrorSum, static_cast<float>(want.error_sum)));
      EXPECT_EQ(net->NumOfSolved, want.solved);
    }
  }
}

struct PassResult {
  float gradient_total, error_total, error_sum;
  int32_t solved;
  std::vector<float> direction;
  bool operator==(const PassResult& o) const {
    return Same(gradient_total, o.gradient_total) && Same(error_total, o.error_total) &&
           Same(error_sum, o.error_sum) && solved == o.solved && direction == o.direction;
  }
};

PassResult RunPasses(NeuralNet& net, EngineContext& context) {
  PassResult r;
  r.error_total = EvaluateError(net, context);
  r.gradient_total = EvaluateGradient(net, context);
  r.error_sum = net.ErrorSum;
  r.solved = net.NumOfSolved;
  r.direction = net.Direction;
  return r;
}

// A book of several blocks and enough work for the threads: every path and
// thread count gives the same bits, which are those of the plain loop summed
// block by block (512 rows a block at this size) with the block sums added in
// order.
TEST_F(PropagationPathsTest, ThreadCountsAndPathsGiveTheSameBits) {
  // 3720 synapses by 2800 rows: enough work to be spread over the threads.
  auto net = MakeNet(testing_support::SimpleShape(20, {60, 40}, 3, 0.3f), 41);
  RandomizeParameters(*net, 42, 0.9f);
  const int rows = 2800;
  net->Book = RandomTaskBook(net->Desc, rows, 43);

  std::vector<double> direction(net->NumOfParameters, 0.0);
  double total = 0;
  const TaskBook& full = *net->Book;
  for (int first = 0; first < rows; first += 512) {
    auto part =
        std::make_unique<TaskBook>(full.NumOfInputs(), full.NumOfOutputs(), full.NumOfOutFields());
    for (int r = first; r < std::min(rows, first + 512); ++r) {
      part->Append({full.RowInputs(r), static_cast<size_t>(full.NumOfInputs())},
                   {full.RowTargets(r), static_cast<size_t>(full.NumOfOutputs())});
      for (int f = 0; f < full.NumOfOutFields(); ++f) {
        part->SetWeight(part->Count() - 1, f, full.RowWeights(r)[f]);
      }
    }
    std::unique_ptr<TaskBook> saved = std::move(net->Book);
    net->Book = std::move(part);
    const Reference block = PlainPass(*net);
    net->Book = std::move(saved);
    for (size_t i = 0; i < direction.size(); ++i) direction[i] += block.direction[i];
    total += block.total;
  }

  std::unique_ptr<PassResult> first;
  for (const PassKernels* kernels : AvailablePaths()) {
    ASSERT_TRUE(UseKernels(PathOf(kernels)));
    for (int threads : {1, 2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << kernels->name << " on " << threads << " threads");
      SetPassThreads(threads);
      const PassResult r = RunPasses(*net, context_);
      if (first == nullptr) {
        first = std::make_unique<PassResult>(r);
        EXPECT_TRUE(Same(r.gradient_total, static_cast<float>(total)));
        for (size_t i = 0; i < direction.size(); ++i) {
          ASSERT_TRUE(Same(r.direction[i], static_cast<float>(direction[i]))) << i;
        }
      }
      EXPECT_TRUE(r == *first);
    }
  }
}

TEST_F(PropagationPathsTest, AWarmedUpPassAllocatesNothing) {
  auto net = MakeNet(testing_support::SimpleShape(20, {60, 40}, 3, 0.3f), 51);
  RandomizeParameters(*net, 52, 0.9f);
  net->Book = RandomTaskBook(net->Desc, 2800, 53);
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    SetPassThreads(threads);
    RunPasses(*net, context_);
    std::vector<float> direction;
    direction.reserve(net->Direction.size());
    const long before = g_allocations.load();
    for (int pass = 0; pass < 3; ++pass) {
      EvaluateError(*net, context_);
      EvaluateGradient(*net, context_);
    }
    EXPECT_EQ(g_allocations.load(), before);
  }
}

}  // namespace
}  // namespace velmar
