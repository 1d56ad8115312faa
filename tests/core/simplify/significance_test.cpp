#include "core/simplify/significance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/base/random.h"
#include "core/engine/propagation.h"
#include "tests/core/simplify/simplify_test_support.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

using testing_support::MakeNet;
using testing_support::RandomizeParameters;
using testing_support::RandomTaskBook;
using testing_support::SimpleShape;

class SignificanceTest : public testing::Test {
 protected:
  void SetUp() override { SetCurrentClock(&clock_); }
  void TearDown() override { SetCurrentClock(nullptr); }

  std::unique_ptr<NeuralNet> RandomNet(int inputs, std::vector<int> hidden, int outputs,
                                       uint32_t seed) {
    auto net = MakeNet(SimpleShape(inputs, std::move(hidden), outputs), seed);
    RandomizeParameters(*net, seed, 0.8f);
    net->Book = RandomTaskBook(net->Desc, 12, seed + 7);
    return net;
  }

  FixedClock clock_{1234};
  ProjectOptions options_;
  testing_support::RecordingHost host_;
  testing_support::RecordingTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
};

TEST_F(SignificanceTest, NoContributingExampleLeavesEveryIndicatorZero) {
  auto net = MakeNet(SimpleShape(2, {2}, 1), 3);
  // Every weight and bias 0 except the output bias, which equals every target:
  // the least-squares error of each example is exactly 0.
  for (int32_t p = 0; p < net->NumOfParameters; ++p) {
    if ((net->ParamFlags[p] & pfCharacteristic) == 0) net->Parameters[p] = 0;
  }
  net->Parameters[BiasIndex(*net, 1, 0)] = 0.5f;
  net->Book = testing_support::MakeTaskBook(net->Desc, {{0.3f, -0.7f}, {1, 1}, {-1, 0.2f}},
                                            {{0.5f}, {0.5f}, {0.5f}});
  std::fill(net->InputSignificance.begin(), net->InputSignificance.end(), 7.0f);
  std::fill(net->NeuronSignificance.begin(), net->NeuronSignificance.end(), 7.0f);
  std::fill(net->ParamSignificance.begin(), net->ParamSignificance.end(), 7.0f);
  net->StopFlag = 0;

  ASSERT_TRUE(ComputeSignificance(*net, context_));
  for (float v : net->InputSignificance) EXPECT_EQ(v, 0.0f);
  for (float v : net->NeuronSignificance) EXPECT_EQ(v, 0.0f);
  for (float v : net->ParamSignificance) EXPECT_EQ(v, 0.0f);
}

TEST_F(SignificanceTest, DisconnectedElementsGetZeroAndTheOnlyLiveInputGetsOne) {
  auto net = RandomNet(3, {3}, 1, 11);
  for (int j = 0; j < 3; ++j) {
    RemoveSynapse(*net, 0, j, 1);
    RemoveSynapse(*net, 0, j, 2);
  }
  RemoveSynapse(*net, 1, 0, 2);  // hidden neuron 2 feeds nothing

  ASSERT_TRUE(ComputeSignificance(*net, context_));
  EXPECT_EQ(net->InputSignificance, (std::vector<float>{1.0f, 0.0f, 0.0f}));
  EXPECT_GT(net->NeuronSignificance[0], 0.0f);
  EXPECT_GT(net->NeuronSignificance[1], 0.0f);
  EXPECT_EQ(net->NeuronSignificance[2], 0.0f);
}

TEST_F(SignificanceTest, RestoresParametersBitForBitAfterFivePassesUnderEitherNorm) {
  for (int norm : {0, 1}) {
    SCOPED_TRACE(norm);
    options_.SensitivityNorm = norm;
    auto net = RandomNet(3, {4, 2}, 2, 21 + norm);
    const std::vector<float> before = net->Parameters;
    const ErrorTermList own_list = net->TrainingList;
    const int32_t cycles = net->NumOfTrainingCycles;
    net->StopFlag = 0;

    ASSERT_TRUE(ComputeSignificance(*net, context_));
    // The line searches moved the parameters in between.
    EXPECT_GT(net->NumOfTrainingCycles, cycles);
    EXPECT_EQ(0, std::memcmp(before.data(), net->Parameters.data(), before.size() * sizeof(float)));
    EXPECT_EQ(net->TrainingList, own_list);
    EXPECT_EQ(net->SensMode, 0);
    EXPECT_EQ(*std::max_element(net->InputSignificance.begin(), net->InputSignificance.end()),
              1.0f);
  }
}

// Replays one gradient pass by hand: the running direction after each
// contributing example and the input values |back signal * input|.
struct ReplayedPass {
  std::vector<double> param_sum, param_max, input_sum, input_max, neuron_sum, neuron_max;
};

ReplayedPass ReplayOnePass(NeuralNet& net) {
  const size_t np = net.Parameters.size();
  const size_t ni = net.InputSignificance.size();
  const size_t nn = net.NeuronSignificance.size();
  ReplayedPass pass{std::vector<double>(np), std::vector<double>(np), std::vector<double>(ni),
                    std::vector<double>(ni), std::vector<double>(nn), std::vector<double>(nn)};
  std::vector<float> direction(np, 0.0f);
  for (uint32_t r = 0; r < net.Book->Count(); ++r) {
    net.CurInputs = net.Book->RowInputs(r);
    net.CurTargets = net.Book->RowTargets(r);
    net.CurWeights = net.Book->RowWeights(r);
    Forward(net);
    float error = 0;
    for (size_t o = 0; o < net.Outputs.size(); ++o) {
      const float d = net.CurTargets[o] - net.Outputs[o];
      error += net.CurWeights[0] * d * d;
      net.OutputErrors[o] = net.CurWeights[0] * d;
    }
    if (error == 0) continue;
    Backward(net);
    for (size_t i = 0; i < np; ++i) {
      direction[i] += net.ExampleGradient[i];
      const double v = std::fabs(direction[i]);
      pass.param_sum[i] += v;
      pass.param_max[i] = std::max(pass.param_max[i], v);
    }
    for (size_t s = 0; s < ni; ++s) {
      const double v = std::fabs(net.InputErrors[s] * net.CurInputs[s]);
      pass.input_sum[s] += v;
      pass.input_max[s] = std::max(pass.input_max[s], v);
    }
    size_t q = 0;
    for (int l = 0; l < net.NumOfLayers(); ++l) {
      for (int j = 0; j < net.LayerSize(l); ++j, ++q) {
        const int32_t o = net.OutputStart(l) + j;
        const double v = std::fabs(net.Signals[o] * net.BackSignals[o]);
        pass.neuron_sum[q] += v;
        pass.neuron_max[q] = std::max(pass.neuron_max[q], v);
      }
    }
  }
  return pass;
}

TEST_F(SignificanceTest, SumNormAddsAndMaxNormKeepsTheLargestValueOfThePass) {
  auto net = RandomNet(3, {3}, 2, 31);
  const ReplayedPass expected = ReplayOnePass(*net);
  for (int norm : {0, 1}) {
    SCOPED_TRACE(norm);
    options_.SensitivityNorm = norm;
    net->StopFlag = 1;  // as outside a run: exactly one pass and one search
    ASSERT_TRUE(ComputeSignificance(*net, context_));
    const std::vector<double>& params = norm == 0 ? expected.param_sum : expected.param_max;
    const std::vector<double>& inputs = norm == 0 ? expected.input_sum : expected.input_max;
    for (size_t i = 0; i < params.size(); ++i) {
      EXPECT_NEAR(net->ParamSignificance[i], params[i], 1e-4 * (1 + params[i])) << i;
    }
    const double largest = *std::max_element(inputs.begin(), inputs.end());
    ASSERT_GT(largest, 0);
    for (size_t s = 0; s < inputs.size(); ++s) {
      EXPECT_NEAR(net->InputSignificance[s], inputs[s] / largest, 1e-4) << s;
    }
  }
}

TEST_F(SignificanceTest, HandComputedIndicatorsOfOneHiddenNeuron) {
  // x -> one neuron (c = 0.1) -> y, with w1 = 0.5, b1 = 0.2, w2 = 0.8, b2 = -0.1.
  // Example 1: x = 0.4, t = 0.9: A = 0.4, h = 0.8, y = 0.54, d = t - y = 0.36.
  // Example 2: x = -0.6, t = -0.3: A = -0.1, h = -0.5, y = -0.5, d = 0.2.
  // Neuron: |h * d * w2| = 0.2304 and 0.08. Running direction of w2: d * h =
  // 0.288, then 0.288 - 0.1 = 0.188; of b2: 0.36, then 0.56.
  struct Case {
    int norm;
    double neuron, w2, b2;
  };
  for (const Case& c : {Case{0, 0.3104, 0.476, 0.92}, Case{1, 0.2304, 0.288, 0.56}}) {
    SCOPED_TRACE(c.norm);
    options_.SensitivityNorm = c.norm;
    auto net = MakeNet(SimpleShape(1, {1}, 1), 3);
    net->Parameters = {0.5f, 0.1f, 0.2f, 0.8f, -0.1f};
    net->Book = testing_support::MakeTaskBook(net->Desc, {{0.4f}, {-0.6f}}, {{0.9f}, {-0.3f}});
    net->StopFlag = 1;
    ASSERT_TRUE(ComputeSignificance(*net, context_));
    ASSERT_EQ(net->NeuronSignificance.size(), 1u);
    EXPECT_NEAR(net->NeuronSignificance[0], c.neuron, 1e-6);
    EXPECT_NEAR(net->ParamSignificance[3], c.w2, 1e-6);
    EXPECT_NEAR(net->ParamSignificance[4], c.b2, 1e-6);
  }
}

TEST_F(SignificanceTest, NormsCarryOverFromPassToPassAndTheFirstStepIsTheSmallOne) {
  for (int norm : {0, 1}) {
    SCOPED_TRACE(norm);
    options_.SensitivityNorm = norm;
    auto net = RandomNet(3, {3}, 2, 51);
    net->Step = 0.5f;  // whatever training left behind
    net->StopFlag = 0;
    // What every pass over the taskbook leaves behind, in order.
    struct Seen {
      std::vector<float> parameters, direction, params, inputs, neurons;
    };
    std::vector<Seen> seen;
    host_.on_pending_input = [&] {
      seen.push_back({net->Parameters, net->Direction, net->ParamSignificance,
                      net->InputSignificance, net->NeuronSignificance});
    };
    ASSERT_TRUE(ComputeSignificance(*net, context_));
    host_.on_pending_input = nullptr;
    ASSERT_GE(seen.size(), 2u);

    // The first line search starts 0.00001 along the direction.
    const Seen& first = seen[0];
    for (size_t i = 0; i < first.parameters.size(); ++i) {
      float expected = first.parameters[i];
      if ((net->ParamFlags[i] & pfTrainable) != 0) {
        expected = static_cast<float>(double{first.parameters[i]} +
                                      double{1e-5f} * double{first.direction[i]});
      }
      EXPECT_EQ(seen[1].parameters[i], expected) << i;
    }

    // Gradient passes are those that leave a new direction; each adds its
    // examples to what the earlier passes gathered.
    const std::vector<float> saved = net->Parameters;
    std::vector<double> params(saved.size()), inputs(net->InputSignificance.size()),
        neurons(net->NeuronSignificance.size());
    std::vector<float> last_direction;
    int passes = 0;
    for (const Seen& s : seen) {
      if (s.direction == last_direction) continue;
      last_direction = s.direction;
      ++passes;
      net->Parameters = s.parameters;
      const ReplayedPass pass = ReplayOnePass(*net);
      auto combine = [&](std::vector<double>& total, const std::vector<double>& sum,
                         const std::vector<double>& max) {
        for (size_t i = 0; i < total.size(); ++i) {
          total[i] = norm == 0 ? total[i] + sum[i] : std::max(total[i], max[i]);
        }
      };
      combine(params, pass.param_sum, pass.param_max);
      combine(inputs, pass.input_sum, pass.input_max);
      combine(neurons, pass.neuron_sum, pass.neuron_max);
      for (size_t i = 0; i < params.size(); ++i) {
        EXPECT_NEAR(s.params[i], params[i], 1e-4 * (1 + params[i])) << passes << " " << i;
      }
      for (size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_NEAR(s.inputs[i], inputs[i], 1e-4 * (1 + inputs[i])) << passes << " " << i;
      }
      for (size_t i = 0; i < neurons.size(); ++i) {
        EXPECT_NEAR(s.neurons[i], neurons[i], 1e-4 * (1 + neurons[i])) << passes << " " << i;
      }
    }
    net->Parameters = saved;
    EXPECT_EQ(passes, 5);
  }
}

// Presses the stop button when a line search shows its error for the
// `stop_after`-th time, as a click during that search would.
class StoppingView : public testing_support::RecordingTrainingView {
 public:
  void SetLabel(TrainingLabel label, const std::string& text) override {
    RecordingTrainingView::SetLabel(label, text);
    if (label == TrainingLabel::kError && ++searches == stop_after && net != nullptr) {
      net->StopFlag = 1;
    }
  }
  NeuralNet* net = nullptr;
  int stop_after = 0;
  int searches = 0;
};

TEST_F(SignificanceTest, MakesAtMostFivePassesAndStopsEarlyOnStopOrNoChange) {
  struct Case {
    const char* what;
    bool zero_error;    // every example already has least-squares error 0
    uint8_t stop_flag;  // as the computation finds it
    int stop_after;     // the stop is seen during this line search (0: never)
    size_t passes;
  };
  const Case cases[] = {
      {"in a run: five passes", false, 0, 0, 5},
      {"outside a run the flag is set: one pass", false, 1, 0, 1},
      {"a stop during the third line search", false, 0, 3, 3},
      {"an error that the search cannot change: one pass", true, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto net = RandomNet(3, {3}, 1, 41);
    if (c.zero_error) {
      for (int32_t p = 0; p < net->NumOfParameters; ++p) {
        if ((net->ParamFlags[p] & pfCharacteristic) == 0) net->Parameters[p] = 0;
      }
      net->Book = testing_support::MakeTaskBook(net->Desc, {{0.3f, -0.7f, 0.1f}, {1, 1, 1}},
                                                {{0.0f}, {0.0f}});
    }
    net->StopFlag = c.stop_flag;
    StoppingView view;
    view.net = net.get();
    view.stop_after = c.stop_after;
    EngineContext context{options_, context_.table, host_, view};
    ASSERT_TRUE(ComputeSignificance(*net, context));
    EXPECT_EQ(view.searches, static_cast<int>(c.passes));
    EXPECT_EQ(view.history[TrainingLabel::kNumOfExamples].size(), 0u);
  }
}

TEST_F(SignificanceTest, WithoutATrainingSetNothingIsTouched) {
  auto net = MakeNet(SimpleShape(2, {2}, 1), 5);
  auto table = testing_support::MemoryTable::FromNumbers(
      testing_support::FieldNames(SimpleShape(2, {2}, 1)), {});
  context_.table = &table;
  const std::vector<float> before = net->Parameters;
  std::fill(net->InputSignificance.begin(), net->InputSignificance.end(), 0.5f);

  EXPECT_FALSE(ComputeSignificance(*net, context_));
  EXPECT_EQ(net->Parameters, before);
  EXPECT_EQ(net->InputSignificance, std::vector<float>(2, 0.5f));
  EXPECT_EQ(net->SensMode, 0);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].caption, "Операция невозможна");
}

// Stands in for the significance window; counts what the core asks of it.
class CountingWindow : public NetWindowLink {
 public:
  void CloseForNet() override { ++closes; }
  void Repaint() override { ++repaints; }
  int closes = 0;
  int repaints = 0;
};

TEST_F(SignificanceTest, AnOpenSignificanceWindowFollowsEveryComputation) {
  auto net = RandomNet(3, {2}, 1, 21);
  CountingWindow window;
  net->InpSensWindow = &window;
  ASSERT_TRUE(ComputeSignificance(*net, context_));
  ASSERT_TRUE(ComputeSignificance(*net, context_));
  EXPECT_EQ(window.repaints, 2);
  net.reset();  // destroying the net closes its window
  EXPECT_EQ(window.closes, 1);
}

}  // namespace
}  // namespace velmar
