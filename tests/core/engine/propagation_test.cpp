#include "core/engine/propagation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"

namespace velmar {
namespace {

using testing_support::FieldSpec;
using testing_support::MakeNet;
using testing_support::MakeTaskBook;
using testing_support::NetShape;
using testing_support::RandomizeParameters;
using testing_support::RandomTaskBook;
using testing_support::RecordingHost;
using testing_support::SimpleShape;

class PropagationTest : public testing::Test {
 protected:
  void SetUp() override {}

  ProjectOptions options_;
  RecordingHost host_;
  NullTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
};

// One input, one sigmoid neuron, one linear output: Parameters are
// [w, c, b, v, output bias].
TEST_F(PropagationTest, TransferAndItsDerivatives) {
  struct Case {
    float a, c, f, df_da, df_dc;
  };
  const Case cases[] = {
      {0.3f, 0.1f, 0.75f, 0.625f, -1.875f},
      {-0.3f, 0.1f, -0.75f, 0.625f, 1.875f},
      {0.0f, 0.5f, 0.0f, 2.0f, 0.0f},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message() << "A=" << t.a << " c=" << t.c);
    auto net = MakeNet(SimpleShape(1, {1}, 1));
    const float x = 2.0f;
    const float b = 0.1f;
    const float w = (t.a - b) / x;
    net->Parameters = {w, t.c, b, 1.0f, 0.25f};
    net->CurInputs = &x;
    Forward(*net);
    EXPECT_FLOAT_EQ(net->Signals[net->OutputStart(0)], t.f);
    EXPECT_FLOAT_EQ(net->Outputs[0], t.f + 0.25f);
    EXPECT_FLOAT_EQ(Transfer(t.a, t.c), t.f);

    net->OutputErrors[0] = 1.0f;
    Backward(*net);
    const std::vector<float>& g = net->ExampleGradient;
    EXPECT_FLOAT_EQ(g[1], t.df_dc);
    EXPECT_FLOAT_EQ(g[2], t.df_da);
    EXPECT_FLOAT_EQ(g[0], t.df_da * x);
    EXPECT_FLOAT_EQ(g[3], t.f);
    EXPECT_FLOAT_EQ(g[4], 1.0f);
    EXPECT_FLOAT_EQ(net->InputErrors[0], t.df_da * w);
  }
}

struct GradientCase {
  std::string name;
  NetShape shape;
};

std::vector<GradientCase> GradientCases() {
  std::vector<GradientCase> cases;
  cases.push_back({"one layer", SimpleShape(3, {4}, 1, 0.02f)});
  cases.push_back({"two layers, two outputs", SimpleShape(2, {3, 2}, 2, 0.05f)});
  NetShape monotone = SimpleShape(4, {3, 2}, 1, 0.02f);
  monotone.monotone = true;
  cases.push_back({"monotone", monotone});
  NetShape ordered = SimpleShape(3, {4}, 0);
  FieldSpec classes;
  classes.states = 3;
  classes.ordered = true;
  classes.gap = 0.3f;
  ordered.outputs = {classes, FieldSpec{}};
  ordered.characteristic = 0.4f;
  cases.push_back({"ordered classes and a continuous output", ordered});
  cases.push_back({"three layers", SimpleShape(2, {3, 3, 2}, 1, 0.01f)});
  cases.push_back({"wide layers", SimpleShape(11, {17, 9}, 2, 0.01f)});
  return cases;
}

// Direction is minus one half of the gradient of the training error; check
// it against central differences of EvaluateError for every parameter,
// characteristics included.
TEST_F(PropagationTest, GradientMatchesCentralDifferences) {
  int seed = 0;
  for (const GradientCase& test : GradientCases()) {
    SCOPED_TRACE(test.name);
    auto net = MakeNet(test.shape, 100 + seed);
    RandomizeParameters(*net, 7 + seed, 0.8f);
    net->Book = RandomTaskBook(net->Desc, 12, 31 + seed);
    ++seed;

    EvaluateGradient(*net, context_);
    const std::vector<float> direction = net->Direction;
    float largest = 0;
    for (float d : direction) largest = std::max(largest, std::fabs(d));
    ASSERT_GT(largest, 1e-2f) << "the gradient vanished; the check would prove nothing";

    for (int i = 0; i < net->NumOfParameters; ++i) {
      const float p = net->Parameters[i];
      const float up = p + 1e-3f;
      const float down = p - 1e-3f;
      net->Parameters[i] = up;
      const double e_up = EvaluateError(*net, context_);
      net->Parameters[i] = down;
      const double e_down = EvaluateError(*net, context_);
      net->Parameters[i] = p;
      const double numeric = (e_up - e_down) / (static_cast<double>(up) - down);
      const double analytic = -2.0 * direction[i];
      EXPECT_NEAR(analytic, numeric, 2e-3 + 1e-2 * std::fabs(numeric)) << "parameter " << i;
    }
  }
}

TEST_F(PropagationTest, EveryPassLetsInputThroughOnceAndAgreesOnTheFigures) {
  auto net = MakeNet(SimpleShape(2, {3}, 1, 0.2f), 5);
  net->Book = RandomTaskBook(net->Desc, 20, 9);
  const float error = EvaluateError(*net, context_);
  EXPECT_EQ(host_.pending_input_calls, 1);
  const float error_sum = net->ErrorSum;
  const int32_t solved = net->NumOfSolved;
  const float total = EvaluateGradient(*net, context_);
  EXPECT_EQ(host_.pending_input_calls, 2);
  EXPECT_EQ(total, error);
  EXPECT_EQ(net->ErrorSum, error_sum);
  EXPECT_EQ(net->NumOfSolved, solved);
  EXPECT_GT(error, 0.0f);

  // The acceptance figures, row by row.
  double acceptance = 0;
  int32_t zero = 0;
  for (uint32_t r = 0; r < net->Book->Count(); ++r) {
    net->CurInputs = net->Book->RowInputs(r);
    Forward(*net);
    const float v = EvaluateErrorList(net->AcceptanceList, net->Outputs.data(),
                                      net->Book->RowTargets(r), net->Book->RowWeights(r), nullptr);
    if (v == 0.0f) {
      ++zero;
    } else {
      acceptance += v;
    }
  }
  EXPECT_EQ(net->NumOfSolved, zero);
  EXPECT_FLOAT_EQ(net->ErrorSum, static_cast<float>(acceptance));

  // No book, or one made for another layout: nothing to walk, input still let through.
  net->Book.reset();
  EXPECT_EQ(EvaluateGradient(*net, context_), 0.0f);
  EXPECT_EQ(EvaluateError(*net, context_), 0.0f);
  EXPECT_EQ(host_.pending_input_calls, 4);
  net->Book = RandomTaskBook(MakeNet(SimpleShape(5, {3}, 1))->Desc, 20, 9);
  EXPECT_EQ(EvaluateGradient(*net, context_), 0.0f);
  EXPECT_EQ(EvaluateError(*net, context_), 0.0f);
  EXPECT_EQ(net->NumOfSolved, 0);
  EXPECT_EQ(host_.pending_input_calls, 6);
}

// Passes over different nets share work space; results must not depend on
// what ran before.
TEST_F(PropagationTest, ResultsAreRepeatableBitForBit) {
  auto small = MakeNet(SimpleShape(3, {4, 2}, 2, 0.05f), 1);
  auto large = MakeNet(SimpleShape(30, {20, 20}, 5, 0.05f), 2);
  small->Book = RandomTaskBook(small->Desc, 30, 3);
  large->Book = RandomTaskBook(large->Desc, 30, 4);
  const float first = EvaluateGradient(*small, context_);
  const std::vector<float> direction = small->Direction;
  EvaluateGradient(*large, context_);
  EvaluateError(*large, context_);
  EXPECT_EQ(EvaluateGradient(*small, context_), first);
  EXPECT_EQ(small->Direction, direction);
}

// Runs one example through Forward, the training list and Backward.
void RunExample(NeuralNet& net, const TaskBook& book, uint32_t row) {
  net.CurInputs = book.RowInputs(row);
  net.CurTargets = book.RowTargets(row);
  net.CurWeights = book.RowWeights(row);
  Forward(net);
  EvaluateErrorList(net.TrainingList, net.Outputs.data(), net.CurTargets, net.CurWeights,
                    net.OutputErrors.data());
  Backward(net);
}

void ClearSignificance(NeuralNet& net) {
  std::fill(net.ParamSignificance.begin(), net.ParamSignificance.end(), 0.0f);
  std::fill(net.InputSignificance.begin(), net.InputSignificance.end(), 0.0f);
  std::fill(net.NeuronSignificance.begin(), net.NeuronSignificance.end(), 0.0f);
}

TEST_F(PropagationTest, SolvedTrainingExampleAddsNothing) {
  auto net = MakeNet(SimpleShape(2, {3}, 1, 0.1f), 11);
  RandomizeParameters(*net, 12, 0.5f);
  const std::vector<float> x_a = {0.3f, -0.2f};
  net->CurInputs = x_a.data();
  Forward(*net);
  const std::vector<float> exact = {net->Outputs[0]};
  auto with_solved = MakeTaskBook(net->Desc, {x_a, {0.7f, 0.1f}}, {exact, {0.9f}});
  auto without = MakeTaskBook(net->Desc, {{0.7f, 0.1f}}, {{0.9f}});

  net->SensMode = 1;
  ClearSignificance(*net);
  net->Book = std::move(without);
  EvaluateGradient(*net, context_);
  const std::vector<float> direction = net->Direction;
  const std::vector<float> params = net->ParamSignificance;
  const std::vector<float> inputs = net->InputSignificance;
  const std::vector<float> neurons = net->NeuronSignificance;
  const int32_t solved = net->NumOfSolved;

  ClearSignificance(*net);
  net->Book = std::move(with_solved);
  EvaluateGradient(*net, context_);
  EXPECT_EQ(net->Direction, direction);
  EXPECT_EQ(net->ParamSignificance, params);
  EXPECT_EQ(net->InputSignificance, inputs);
  EXPECT_EQ(net->NeuronSignificance, neurons);
  EXPECT_EQ(net->NumOfSolved, solved + 1);
}

// Each stored figure of a pass is the float32 rounding of a double sum of
// every example's own values: for Direction, the exact products g·x of the
// weights and ExampleGradient for the rest (see DirectionTerms), the
// running Direction (as stored) and the single-precision products for the
// significance indicators. The oracle walks the rows through the public
// Forward and Backward, one example at a time.
TEST_F(PropagationTest, PassFiguresAreRoundedSumsOfEachExamplesValues) {
  int seed = 0;
  for (const GradientCase& test : GradientCases()) {
    SCOPED_TRACE(test.name);
    auto net = MakeNet(test.shape, 300 + seed);
    RandomizeParameters(*net, 301 + seed, 0.8f);
    net->Book = RandomTaskBook(net->Desc, 25, 302 + seed);
    ++seed;
    const TaskBook& book = *net->Book;
    const size_t params = static_cast<size_t>(net->NumOfParameters);
    std::vector<double> direction(params, 0), param_sig(params, 0);
    std::vector<double> input_sig(net->Desc.NumOfInputs, 0);
    std::vector<double> neuron_sig(net->NumOfHiddenNeurons, 0);
    double total = 0, error_sum = 0;
    int32_t solved = 0;
    for (uint32_t r = 0; r < book.Count(); ++r) {
      net->CurInputs = book.RowInputs(r);
      net->CurTargets = book.RowTargets(r);
      net->CurWeights = book.RowWeights(r);
      Forward(*net);
      const float v = EvaluateErrorList(net->AcceptanceList, net->Outputs.data(), net->CurTargets,
                                        net->CurWeights, nullptr);
      if (v == 0.0f) {
        ++solved;
      } else {
        error_sum += v;
      }
      const float e = EvaluateErrorList(net->TrainingList, net->Outputs.data(), net->CurTargets,
                                        net->CurWeights, net->OutputErrors.data());
      if (e == 0.0f) continue;
      total += e;
      Backward(*net);
      const std::vector<double> term = testing_support::DirectionTerms(*net);
      for (size_t i = 0; i < params; ++i) {
        direction[i] += term[i];
        param_sig[i] += std::fabs(static_cast<float>(direction[i]));
      }
      for (size_t s = 0; s < input_sig.size(); ++s) {
        input_sig[s] += std::fabs(net->InputErrors[s] * net->CurInputs[s]);
      }
      size_t q = 0;
      for (int l = 0; l < net->NumOfLayers(); ++l) {
        for (int j = 0; j < net->Desc.NumOfNeurons[l]; ++j, ++q) {
          const int o = net->OutputStart(l) + j;
          neuron_sig[q] += std::fabs(net->Signals[o] * net->BackSignals[o]);
        }
      }
    }
    ASSERT_GT(total, 0.0);

    options_.SensitivityNorm = 0;
    net->SensMode = 1;
    ClearSignificance(*net);
    EXPECT_EQ(EvaluateGradient(*net, context_), static_cast<float>(total));
    EXPECT_EQ(net->ErrorSum, static_cast<float>(error_sum));
    EXPECT_EQ(net->NumOfSolved, solved);
    for (size_t i = 0; i < params; ++i) {
      ASSERT_EQ(net->Direction[i], static_cast<float>(direction[i])) << "parameter " << i;
      ASSERT_EQ(net->ParamSignificance[i], static_cast<float>(param_sig[i])) << "parameter " << i;
    }
    for (size_t s = 0; s < input_sig.size(); ++s) {
      ASSERT_EQ(net->InputSignificance[s], static_cast<float>(input_sig[s])) << "input " << s;
    }
    for (size_t q = 0; q < neuron_sig.size(); ++q) {
      ASSERT_EQ(net->NeuronSignificance[q], static_cast<float>(neuron_sig[q])) << "neuron " << q;
    }
  }
}

TEST_F(PropagationTest, SignificanceFollowsTheNorm) {
  auto net = MakeNet(SimpleShape(3, {4, 2}, 1, 0.01f), 21);
  RandomizeParameters(*net, 22, 0.7f);
  auto book = RandomTaskBook(net->Desc, 2, 23);

  // What each example contributes, example by example.
  std::vector<float> input_terms[2], neuron_terms[2];
  for (uint32_t r = 0; r < 2; ++r) {
    RunExample(*net, *book, r);
    for (int s = 0; s < net->Desc.NumOfInputs; ++s) {
      input_terms[r].push_back(std::fabs(net->InputErrors[s] * book->RowInputs(r)[s]));
    }
    for (int l = 0; l < net->NumOfLayers(); ++l) {
      for (int j = 0; j < net->Desc.NumOfNeurons[l]; ++j) {
        const int o = net->OutputStart(l) + j;
        neuron_terms[r].push_back(std::fabs(net->Signals[o] * net->BackSignals[o]));
      }
    }
  }
  // The running direction after the first and after both examples.
  net->Book =
      MakeTaskBook(net->Desc, {std::vector<float>(book->RowInputs(0), book->RowInputs(0) + 3)},
                   {std::vector<float>(book->RowTargets(0), book->RowTargets(0) + 1)});
  EvaluateGradient(*net, context_);
  const std::vector<float> after_first = net->Direction;
  net->Book = std::move(book);
  EvaluateGradient(*net, context_);
  const std::vector<float> after_both = net->Direction;

  for (int norm : {0, 1}) {
    SCOPED_TRACE(norm == 0 ? "sum" : "maximum");
    options_.SensitivityNorm = norm;
    auto combine = [norm](float a, float b) { return norm == 0 ? a + b : std::max(a, b); };
    net->SensMode = 1;
    ClearSignificance(*net);
    EvaluateGradient(*net, context_);
    for (int i = 0; i < net->NumOfParameters; ++i) {
      const float expected = combine(std::fabs(after_first[i]), std::fabs(after_both[i]));
      ASSERT_NEAR(net->ParamSignificance[i], expected, 1e-6f * (1 + expected)) << i;
    }
    for (size_t s = 0; s < input_terms[0].size(); ++s) {
      const float expected = combine(input_terms[0][s], input_terms[1][s]);
      ASSERT_NEAR(net->InputSignificance[s], expected, 1e-6f * (1 + expected)) << s;
    }
    for (size_t q = 0; q < neuron_terms[0].size(); ++q) {
      const float expected = combine(neuron_terms[0][q], neuron_terms[1][q]);
      ASSERT_NEAR(net->NeuronSignificance[q], expected, 1e-6f * (1 + expected)) << q;
    }
    // The indicators carry over from pass to pass.
    const std::vector<float> once = net->ParamSignificance;
    EvaluateGradient(*net, context_);
    for (int i = 0; i < net->NumOfParameters; ++i) {
      const float expected = norm == 0 ? 2 * once[i] : once[i];
      ASSERT_NEAR(net->ParamSignificance[i], expected, 1e-6f * (1 + expected)) << i;
    }
  }
  // Outside significance mode nothing is accumulated.
  net->SensMode = 0;
  ClearSignificance(*net);
  EvaluateGradient(*net, context_);
  for (float v : net->ParamSignificance) ASSERT_EQ(v, 0.0f);
}

}  // namespace
}  // namespace velmar
