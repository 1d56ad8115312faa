#include "core/data/error_terms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace velmar {
namespace {

struct TermCase {
  const char* what;
  EstimateKind kind;
  float p;
  float w;
  std::vector<float> y, t;
  float error;
  std::vector<float> g;
};

float Evaluate(const TermCase& c, std::vector<float>& g) {
  const OutputEstimate term{static_cast<int32_t>(c.y.size()), c.p, c.kind};
  g.assign(c.y.size(), 123.0f);
  return EvaluateTerm(term, c.y.data(), c.t.data(), g.data(), c.w);
}

TEST(ErrorTermTest, KindsOnWorkedExamples) {
  using K = EstimateKind;
  const TermCase cases[] = {
      {"least squares",
       K::LeastSquaresEstimate,
       0.7f,
       2.0f,
       {0.5f, -1.0f},
       {1.0f, 1.0f},
       2.0f * (0.25f + 4.0f),
       {1.0f, 4.0f}},
      {"tolerance exceeded", K::ToleranceEstimate, 0.1f, 1.0f, {0.3f}, {0.0f}, 0.04f, {-0.2f}},
      {"tolerance exceeded, weighted",
       K::ToleranceEstimate,
       0.1f,
       3.0f,
       {0.3f},
       {0.0f},
       0.12f,
       {-0.6f}},
      {"tolerance upwards", K::ToleranceEstimate, 0.1f, 1.0f, {-0.5f}, {0.0f}, 0.16f, {0.4f}},
      {"within tolerance", K::ToleranceEstimate, 0.1f, 1.0f, {0.05f}, {0.0f}, 0.0f, {0.0f}},
      {"ordered",
       K::OrderedClassEstimate,
       0.1f,
       1.0f,
       {0.3f, -0.05f},
       {1, -1},
       0.0025f,
       {0.0f, -0.05f}},
      {"ordered target +1 short of margin",
       K::OrderedClassEstimate,
       0.5f,
       2.0f,
       {0.25f},
       {1},
       2.0f * 0.0625f,
       {0.5f}},
      {"ordered margin met",
       K::OrderedClassEstimate,
       0.1f,
       1.0f,
       {0.1f, -0.1f},
       {1, -1},
       0.0f,
       {0.0f, 0.0f}},
      {"winner pulls two together",
       K::WinnerClassEstimate,
       0.2f,
       1.0f,
       {0.5f, 0.6f, -0.9f},
       {1, -1, -1},
       0.045f,
       {0.15f, -0.15f, 0.0f}},
      {"winner already ahead",
       K::WinnerClassEstimate,
       0.2f,
       1.0f,
       {0.9f, 0.6f, -0.9f},
       {1, -1, -1},
       0.0f,
       {0.0f, 0.0f, 0.0f}},
      {"winner ahead by exactly the margin",
       K::WinnerClassEstimate,
       0.5f,
       1.0f,
       {0.25f, -0.25f},
       {1, -1},
       0.0f,
       {0.0f, 0.0f}},
      {"overlapping states: the last +1 is the target",
       K::WinnerClassEstimate,
       0.1f,
       1.0f,
       {0.2f, 0.6f, 0.0f},
       {1, 1, -1},
       0.0f,
       {0.0f, 0.0f, 0.0f}},
      {"winner far behind: all pulled to the mean",
       K::WinnerClassEstimate,
       0.0f,
       1.0f,
       {-1.0f, 0.5f, 0.5f},
       {1, -1, -1},
       1.5f,
       {1.0f, -0.5f, -0.5f}},
  };
  for (const TermCase& c : cases) {
    std::vector<float> g;
    const float error = Evaluate(c, g);
    EXPECT_NEAR(error, c.error, 1e-6f) << c.what;
    for (size_t i = 0; i < c.g.size(); ++i) EXPECT_NEAR(g[i], c.g[i], 1e-6f) << c.what << " g" << i;
  }
}

TEST(ErrorTermTest, DescentDirectionIsMinusHalfTheDerivative) {
  // A finite difference of the error along each output must match -2 g.
  using K = EstimateKind;
  const TermCase cases[] = {
      {"least squares", K::LeastSquaresEstimate, 0, 1.5f, {0.2f, -0.4f}, {1, -1}, 0, {}},
      {"tolerance", K::ToleranceEstimate, 0.05f, 1.0f, {0.3f, -0.6f}, {0.0f, 0.1f}, 0, {}},
      {"ordered", K::OrderedClassEstimate, 0.2f, 0.5f, {0.1f, 0.3f, -0.7f}, {1, -1, -1}, 0, {}},
  };
  for (const TermCase& c : cases) {
    std::vector<float> g;
    Evaluate(c, g);
    for (size_t i = 0; i < c.y.size(); ++i) {
      const float h = 1e-3f;
      TermCase plus = c, minus = c;
      plus.y[i] += h;
      minus.y[i] -= h;
      std::vector<float> unused;
      const float slope = (Evaluate(plus, unused) - Evaluate(minus, unused)) / (2 * h);
      EXPECT_NEAR(-0.5f * slope, g[i], 2e-3f) << c.what << " output " << i;
    }
  }
}

TEST(ErrorTermTest, UndefinedOutputsNeverCountAsSolved) {
  // A network that overflows gives NaN outputs; an error of exactly 0 would
  // report such an example as solved.
  using K = EstimateKind;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const TermCase cases[] = {
      {"tolerance", K::ToleranceEstimate, 0.1f, 1.0f, {nan}, {0.0f}, 0, {}},
      {"ordered", K::OrderedClassEstimate, 0.1f, 1.0f, {0.5f, nan}, {1, -1}, 0, {}},
      {"winner, other output undefined",
       K::WinnerClassEstimate,
       0.2f,
       1.0f,
       {0.9f, nan, -0.9f},
       {1, -1, -1},
       0,
       {}},
      {"winner, target undefined",
       K::WinnerClassEstimate,
       0.2f,
       1.0f,
       {nan, 0.1f, -0.9f},
       {1, -1, -1},
       0,
       {}},
  };
  for (const TermCase& c : cases) {
    std::vector<float> g;
    const float error = Evaluate(c, g);
    EXPECT_TRUE(std::isnan(error)) << c.what << ": " << error;
    for (size_t i = 0; i < g.size(); ++i) EXPECT_EQ(g[i], 0.0f) << c.what << " g" << i;
  }
}

TEST(ErrorTermTest, NoDirectionWrittenWithoutVector) {
  const float y[] = {0.5f, 0.6f, -0.9f};
  const float t[] = {1, -1, -1};
  const OutputEstimate term{3, 0.2f, EstimateKind::WinnerClassEstimate};
  EXPECT_NEAR(EvaluateTerm(term, y, t, nullptr, 1.0f), 0.045f, 1e-6f);
}

TEST(ErrorListTest, SlicesFollowTheWidthsAndWeights) {
  const ErrorTermList list = {
      {1, 0.1f, EstimateKind::ToleranceEstimate},
      {3, 0.2f, EstimateKind::WinnerClassEstimate},
      {2, 0.1f, EstimateKind::OrderedClassEstimate},
  };
  const float y[] = {0.3f, 0.5f, 0.6f, -0.9f, 0.3f, -0.05f};
  const float t[] = {0.0f, 1, -1, -1, 1, -1};
  const float w[] = {2.0f, 1.0f, 10.0f};
  std::vector<float> g(6, 99.0f);
  const float error = EvaluateErrorList(list, y, t, w, g.data());
  EXPECT_NEAR(error, 2 * 0.04f + 0.045f + 10 * 0.0025f, 1e-6f);
  const std::vector<float> expected = {-0.4f, 0.15f, -0.15f, 0.0f, 0.0f, -0.5f};
  for (size_t i = 0; i < g.size(); ++i) EXPECT_NEAR(g[i], expected[i], 1e-6f) << i;

  const float solved_y[] = {0.05f, 0.9f, 0.2f, -0.9f, 0.5f, -0.5f};
  EXPECT_EQ(EvaluateErrorList(list, solved_y, t, w, nullptr), 0.0f)
      << "a solved example has an error of exactly 0";
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Chains of continuous outputs only, with a zero-width term, and outputs that
// are awkward for them: undefined ones, zeros of either sign and differences
// exactly at either tolerance (with the first output's target 0).
struct AwkwardTolerances {
  ErrorTermList accept = {{1, 0.25f, EstimateKind::ToleranceEstimate},
                          {0, 0.1f, EstimateKind::ToleranceEstimate},
                          {2, 0.5f, EstimateKind::ToleranceEstimate}};
  ErrorTermList train;
  std::vector<std::vector<float>> outputs;

  AwkwardTolerances() {
    train = accept;
    for (OutputEstimate& term : train) term.Parameter *= 0.9090909090909091f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float pa = accept[0].Parameter;
    const float pt = train[0].Parameter;
    outputs = {{0.5f, 0.5f, -0.5f},   {0.75f, 1.0f, 0.0f}, {0.25f, nan, 0.2f}, {nan, 0.1f, 0.1f},
               {-0.3f, 0.7f, -0.45f}, {0.2f, -1.0f, 1.0f}, {-pa, 1, -1},       {-pt, 0.5f, -0.5f},
               {pt, 1.5f, -1.5f},     {0.0f, -0.0f, 0.0f}};
  }
};

// Both chains in one call give the bits of each chain on its own: on
// chains of continuous outputs only (walked together) and on mixed chains.
TEST(ErrorListTest, BothChainsInOneCallGiveEachChainsBits) {
  const AwkwardTolerances tolerances;
  ErrorTermList mixed_accept = tolerances.accept;
  mixed_accept[2].Kind = EstimateKind::OrderedClassEstimate;
  ErrorTermList mixed_train = tolerances.train;
  mixed_train[2].Kind = EstimateKind::OrderedClassEstimate;
  const float t[] = {0.0f, 1.0f, -1.0f};
  const float w[] = {2.0f, 3.0f, 0.5f};
  for (int mixed = 0; mixed < 2; ++mixed) {
    const ErrorTermList& accept = mixed ? mixed_accept : tolerances.accept;
    const ErrorTermList& train = mixed ? mixed_train : tolerances.train;
    for (const std::vector<float>& y : tolerances.outputs) {
      std::vector<float> g(3, 7.0f), want_g(3, 7.0f);
      const ExampleErrors both = EvaluateErrorLists(accept, train, y.data(), t, w, g.data());
      EXPECT_TRUE(SameBits(both.acceptance, EvaluateErrorList(accept, y.data(), t, w, nullptr)));
      EXPECT_TRUE(SameBits(both.training, EvaluateErrorList(train, y.data(), t, w, want_g.data())));
      for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameBits(g[i], want_g[i])) << mixed << " " << i;
    }
  }
}

// Eight examples at once give each example's bits of the one-example call,
// with and without signals: every awkward output in every lane position, each
// example with its own targets and weights.
TEST(ErrorListTest, EightLanesGiveEachExamplesBits) {
  const AwkwardTolerances tolerances;
  const ErrorTermList& accept = tolerances.accept;
  const ErrorTermList& train = tolerances.train;
  ASSERT_TRUE(ToleranceTwins(accept, train));
  ErrorTermList other = train;
  other[2].Kind = EstimateKind::OrderedClassEstimate;
  EXPECT_FALSE(ToleranceTwins(accept, other));
  const std::vector<std::vector<float>>& outputs = tolerances.outputs;
  const std::vector<std::vector<float>> targets = {{0.0f, 1.0f, -1.0f}, {-0.0f, 0.5f, 1.0f}};
  const std::vector<std::vector<float>> weights = {{2.0f, 3.0f, 0.5f}, {1.0f, 0.0f, 4.0f}};
  constexpr int L = kErrorLanes;
  const int count = static_cast<int>(outputs.size());
  for (int shift = 0; shift < count; ++shift) {
    std::vector<float> y(3 * L);
    const float* t[L];
    const float* w[L];
    for (int e = 0; e < L; ++e) {
      const int example = (e + shift) % count;
      for (int i = 0; i < 3; ++i) y[L * i + e] = outputs[example][i];
      t[e] = targets[example % 2].data();
      w[e] = weights[(example / 2) % 2].data();
    }
    std::vector<float> g(3 * L, 7.0f);
    ExampleErrors lanes[L], silent[L];
    ToleranceTwinLanes(accept, train, y.data(), t, w, g.data(), lanes);
    ToleranceTwinLanes(accept, train, y.data(), t, w, nullptr, silent);
    for (int e = 0; e < L; ++e) {
      const float* own_y = outputs[(e + shift) % count].data();
      std::vector<float> want_g(3, 7.0f);
      const ExampleErrors want =
          EvaluateErrorLists(accept, train, own_y, t[e], w[e], want_g.data());
      EXPECT_TRUE(SameBits(lanes[e].acceptance, want.acceptance)) << shift << " " << e;
      EXPECT_TRUE(SameBits(lanes[e].training, want.training)) << shift << " " << e;
      EXPECT_TRUE(SameBits(silent[e].acceptance, want.acceptance)) << shift << " " << e;
      EXPECT_TRUE(SameBits(silent[e].training, want.training)) << shift << " " << e;
      for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SameBits(g[L * i + e], want_g[i])) << shift << " " << e;
      }
    }
  }
}

FieldDescription OutputField(float min, float max, float gap, bool discrete, bool ordered) {
  FieldDescription f;
  f.Name = "Y";
  f.Usage = FieldUsage::Output;
  f.MinValue = min;
  f.MaxValue = max;
  f.Gap = gap;
  f.IsDiscrete = discrete;
  f.Predecessor = ordered;
  f.NumOfDiscreteStates = discrete ? 3 : 0;
  return f;
}

TEST(MakeErrorListsTest, ParametersPerKindOfOutput) {
  struct Case {
    const char* what;
    FieldDescription field;
    EstimateKind kind;
    int width;
    float acceptance, training;
  };
  const Case cases[] = {
      {"continuous", OutputField(0, 10, 0.5f, false, false), EstimateKind::ToleranceEstimate, 1,
       0.1f, 0.1f * 0.9090909090909091f},
      {"continuous, constant field", OutputField(7, 7, 0.5f, false, false),
       EstimateKind::ToleranceEstimate, 1, 1.0f, 0.9090909f},
      {"ordered", OutputField(1, 3, 0.3f, true, true), EstimateKind::OrderedClassEstimate, 3, 0.3f,
       0.4f},
      {"winner", OutputField(1, 3, 0.3f, true, false), EstimateKind::WinnerClassEstimate, 3, 0.6f,
       0.7f},
      {"winner with gap 0", OutputField(1, 3, 0.0f, true, false), EstimateKind::WinnerClassEstimate,
       3, 0.0f, 0.1f},
  };
  for (const Case& c : cases) {
    DataDescription d;
    FieldDescription input;
    input.Name = "X";
    input.Usage = FieldUsage::Input;
    d.Fields = {input, c.field};
    ErrorTermList acceptance = {{9, 9, EstimateKind::LeastSquaresEstimate}};
    ErrorTermList training;
    MakeErrorLists(d, acceptance, training);
    ASSERT_EQ(acceptance.size(), 1u) << c.what;
    ASSERT_EQ(training.size(), 1u) << c.what;
    EXPECT_EQ(acceptance[0].Kind, c.kind) << c.what;
    EXPECT_EQ(training[0].Kind, c.kind) << c.what;
    EXPECT_EQ(acceptance[0].Width, c.width) << c.what;
    EXPECT_FLOAT_EQ(acceptance[0].Parameter, c.acceptance) << c.what;
    EXPECT_FLOAT_EQ(training[0].Parameter, c.training) << c.what;
  }
}

TEST(MakeErrorListsTest, AcceptanceGivesTheContinuousExample) {
  // Gap 0.5 on [0, 10]: target 0.0 and output 0.3 cost 0.04 in acceptance.
  DataDescription d;
  d.Fields = {OutputField(0, 10, 0.5f, false, false)};
  ErrorTermList acceptance, training;
  MakeErrorLists(d, acceptance, training);
  const float y = 0.3f, t = 0.0f, w = 1.0f;
  float g = 0;
  EXPECT_NEAR(EvaluateErrorList(acceptance, &y, &t, &w, &g), 0.04f, 1e-6f);
  EXPECT_NEAR(g, -0.2f, 1e-6f);
  EXPECT_GT(EvaluateErrorList(training, &y, &t, &w, nullptr), 0.04f)
      << "the training tolerance is stricter";
}

TEST(LeastSquaresListTest, OneNodeOverAllOutputs) {
  const ErrorTermList list = LeastSquaresList(4);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Width, 4);
  EXPECT_EQ(list[0].Kind, EstimateKind::LeastSquaresEstimate);
  const float y[] = {0, 0, 0, 0};
  const float t[] = {1, -1, 1, 0.5f};
  const float w = 0.5f;
  EXPECT_FLOAT_EQ(EvaluateErrorList(list, y, t, &w, nullptr), 0.5f * 3.25f);
}

}  // namespace
}  // namespace velmar
