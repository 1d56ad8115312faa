#include "core/engine/line_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/engine/propagation.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

using testing_support::MakeNet;
using testing_support::RandomizeParameters;
using testing_support::RandomTaskBook;
using testing_support::RecordingHost;
using testing_support::RecordingTrainingView;
using testing_support::SimpleShape;

// A net whose only moving parameter (the output bias) starts at 0 with a
// unit direction, so its value is the trial step and a test can give the
// error as any function of the step.
class LineSearchTest : public testing::Test {
 protected:
  static constexpr int kProbe = 4;  // the output bias of a 1-1-1 net

  void SetUp() override {
    net_ = MakeNet(SimpleShape(1, {1}, 1), 3);
    net_->Book = RandomTaskBook(net_->Desc, 4, 5);
    std::fill(net_->Direction.begin(), net_->Direction.end(), 0.0f);
    net_->Direction[kProbe] = 1.0f;
    net_->Parameters[kProbe] = 0.0f;
    net_->LowerBounds[kProbe] = -1e30f;
    net_->UpperBounds[kProbe] = 1e30f;
    net_->Step = 1e-5f;
  }

  // Runs the search with `error(t)`, recording the trial steps.
  float Search(float f0, const std::function<float(double)>& error) {
    return LineSearch(*net_, f0, context_, [&] {
      const double t = net_->Parameters[kProbe];
      steps_.push_back(t);
      return error(t);
    });
  }

  // Replies with `values` in turn (the last one repeated). Each evaluation
  // also leaves its own figures: ErrorSum = the reply, NumOfSolved = its number.
  float SearchWithReplies(float f0, std::vector<float> values) {
    size_t next = 0;
    return Search(f0, [&](double) {
      const float v = values[std::min(next, values.size() - 1)];
      ++next;
      net_->ErrorSum = v;
      net_->NumOfSolved = static_cast<int32_t>(next);
      return v;
    });
  }

  ProjectOptions options_;
  RecordingHost host_;
  RecordingTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
  std::unique_ptr<NeuralNet> net_;
  std::vector<double> steps_;
};

// The vertex of the parabola through three points.
double Vertex(double a, double fa, double b, double fb, double c, double fc) {
  const double den = 2 * ((b - c) * fa + (c - a) * fb + (a - b) * fc);
  return ((b * b - c * c) * fa + (c * c - a * a) * fb + (a * a - b * b) * fc) / den;
}

TEST_F(LineSearchTest, BracketsAndRefinesByParabolas) {
  constexpr double kX = -1;  // stands for the first vertex in `second`
  struct Point {
    double t, f;
  };
  struct Case {
    float at_c;     // the error at 9e-5, which ends the expansion
    double vertex;  // of the parabola through 1e-5, 3e-5, 9e-5
    float at_vertex;
    Point second[3];  // the points of the second parabola
    float best;
    const char* step_label;
  };
  const Case cases[] = {
      {9, 4.4e-5, 6.5f, {{3e-5, 7}, {kX, 6.5}, {9e-5, 9}}, 6.5f, "4.4E-5"},
      {9, 4.4e-5, 7.5f, {{1e-5, 8}, {3e-5, 7}, {kX, 7.5}}, 7.0f, "3E-5"},
      {20, 2.75e-5, 6.5f, {{1e-5, 8}, {kX, 6.5}, {3e-5, 7}}, 6.5f, "2.75E-5"},
      {20, 2.75e-5, 7.5f, {{kX, 7.5}, {3e-5, 7}, {9e-5, 20}}, 7.0f, "3E-5"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message() << "f(9e-5)=" << t.at_c << " f(x)=" << t.at_vertex);
    SetUp();
    steps_.clear();
    const float best = SearchWithReplies(10.0f, {8.0f, 7.0f, t.at_c, t.at_vertex, 100.0f});
    ASSERT_EQ(steps_.size(), 5u);
    EXPECT_NEAR(steps_[0], 1e-5, 1e-11);
    EXPECT_NEAR(steps_[1], 3e-5, 1e-11);
    EXPECT_NEAR(steps_[2], 9e-5, 1e-11);
    EXPECT_NEAR(steps_[3], t.vertex, 1e-10);
    const double x = steps_[3];
    auto at = [x](const Point& p) { return p.t == kX ? x : p.t; };
    EXPECT_NEAR(steps_[4],
                Vertex(at(t.second[0]), t.second[0].f, at(t.second[1]), t.second[1].f,
                       at(t.second[2]), t.second[2].f),
                1e-10);

    EXPECT_EQ(best, t.best);
    EXPECT_EQ(net_->Parameters[kProbe], net_->Step);
    EXPECT_EQ(view_.Label(TrainingLabel::kStep), t.step_label);
    EXPECT_EQ(net_->NumOfTrainingCycles, 1);
    EXPECT_EQ(view_.Label(TrainingLabel::kNumOfTrainingCycles), "1");
    // The figures of the last evaluation stay, not those of the accepted step.
    EXPECT_EQ(net_->ErrorSum, 100.0f);
    EXPECT_EQ(net_->NumOfSolved, 5);
    EXPECT_EQ(view_.Label(TrainingLabel::kNumOfExamples), "5 из 4");
  }
}

TEST_F(LineSearchTest, FlatParabolaBelowOneTenBillionthIsNotRefined) {
  // Bracket 0, t, 3t with t = 1e-5 and errors 1, 1 - k*u, 1 - k*u + u
  // (u = 2^-24): the denominator of the vertex is 2t(2k + 1)u, just below
  // 1e-10 for k = 41 and just above it for k = 42.
  const float u = std::ldexp(1.0f, -24);
  struct Case {
    int k;
    size_t evaluations;
  };
  for (const Case c : {Case{41, 2}, Case{42, 4}}) {
    SCOPED_TRACE(c.k);
    SetUp();
    steps_.clear();
    const float f1 = 1.0f - static_cast<float>(c.k) * u;
    const float best = SearchWithReplies(1.0f, {f1, f1 + u, 2.0f});
    EXPECT_EQ(steps_.size(), c.evaluations);
    EXPECT_EQ(best, f1);
    EXPECT_EQ(net_->Step, 1e-5f);
  }
}

TEST_F(LineSearchTest, ContractsUntilAStepImprovesThenRefines) {
  const double first = 1e-5f;
  const double third = static_cast<float>(1e-5f / 3.0f);
  const double ninth = static_cast<float>(static_cast<float>(third) / 3.0f);
  struct Case {
    std::vector<float> replies;
    std::vector<double> steps;
    float best;
    const char* step_label;
  };
  const Case cases[] = {
      // f(1e-5) = 12 > f0, f(1e-5/3) = 9: the vertex 3.667e-6 is worse and
      // replaces C; the second parabola runs through 0, 1e-5/3 and the vertex.
      {{12, 9, 100}, {first, third, 3.6666665e-6, 1.6686791e-6}, 9.0f, "3.333333E-6"},
      // Two contractions; the vertex 1.389e-6 improves, the old B becomes A.
      {{12, 11, 9, 8, 100}, {first, third, ninth, 1.3888889e-6, 2.0277778e-6}, 8.0f, "1.388889E-6"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message() << "best " << t.best);
    SetUp();
    view_ = RecordingTrainingView();
    steps_.clear();
    EXPECT_EQ(SearchWithReplies(10.0f, t.replies), t.best);
    ASSERT_EQ(steps_.size(), t.steps.size());
    for (size_t i = 0; i < steps_.size(); ++i) {
      EXPECT_NEAR(steps_[i], t.steps[i], 1e-12) << "trial " << i;
    }
    EXPECT_EQ(view_.Label(TrainingLabel::kStep), t.step_label);
    EXPECT_EQ(net_->NumOfTrainingCycles, 1);
    EXPECT_EQ(net_->ErrorSum, 100.0f);
  }
}

TEST_F(LineSearchTest, NoDecreaseRestoresTheParametersAndCountsNoCycle) {
  struct Case {
    const char* what;
    std::function<float(double)> error;
    const char* step_label;
  };
  const Case cases[] = {
      {"every step worse", [](double t) { return static_cast<float>(10.0 + t); }, "Zero step"},
      {"level everywhere", [](double) { return 10.0f; }, "Infinite step"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    SetUp();
    view_ = RecordingTrainingView();
    net_->Parameters[kProbe] = 0.25f;
    net_->NumOfTrainingCycles = 7;
    EXPECT_EQ(Search(10.0f, t.error), 10.0f);
    EXPECT_EQ(net_->Parameters[kProbe], 0.25f);
    EXPECT_EQ(net_->Step, 0.0f);
    EXPECT_EQ(net_->NumOfTrainingCycles, 7);
    EXPECT_EQ(view_.Label(TrainingLabel::kStep), t.step_label);
    EXPECT_EQ(view_.Label(TrainingLabel::kNumOfTrainingCycles), "");
  }
}

TEST_F(LineSearchTest, ExpansionGivesUpBeyondTheLargestStep) {
  const float best = Search(10.0f, [](double t) { return static_cast<float>(10.0 - 1e-3 * t); });
  // Steps 1e-5 * 3^k up to the first beyond 1e5 (k = 21), then at most two parabolas.
  ASSERT_GE(steps_.size(), 22u);
  ASSERT_LE(steps_.size(), 24u);
  EXPECT_NEAR(steps_[21], 1e-5 * std::pow(3.0, 21), 1.0);
  const auto& shown = view_.history[TrainingLabel::kStep];
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "Infinite step");
  EXPECT_NE(shown[1], "Infinite step");
  EXPECT_LT(best, 10.0f);
  EXPECT_EQ(net_->NumOfTrainingCycles, 1);
}

TEST_F(LineSearchTest, LeftoverTinyOrUndefinedStepRestartsFromDefault) {
  const float leftovers[] = {1e-12f, 0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity()};
  for (float leftover : leftovers) {
    SCOPED_TRACE(leftover);
    steps_.clear();
    net_->Step = leftover;
    net_->Parameters[kProbe] = 0.0f;
    SearchWithReplies(10.0f, {11.0f});
    ASSERT_FALSE(steps_.empty());
    EXPECT_EQ(steps_[0], static_cast<double>(1e-5f));
  }
}

TEST_F(LineSearchTest, ShowsAverageErrorAndSolvedCount) {
  host_.separator = ',';
  view_.separator = ',';
  for (uint8_t sens : {0, 1}) {
    SCOPED_TRACE(static_cast<int>(sens));
    view_.labels.clear();
    net_->SensMode = sens;
    net_->Parameters[kProbe] = 0.0f;
    net_->Step = 1e-5f;
    LineSearch(*net_, 10.0f, context_, [&] {
      net_->NumOfSolved = 3;
      return net_->Parameters[kProbe] > 0 ? 7.0f : 10.0f;
    });
    EXPECT_EQ(view_.Label(TrainingLabel::kError), "1,75");  // 7 over 4 rows
    EXPECT_EQ(view_.Label(TrainingLabel::kNumOfExamples), sens ? "" : "3 из 4");
  }
}

// The counter comes from the project file; a stored maximum stays there.
TEST_F(LineSearchTest, CycleCounterStopsAtItsLargestValue) {
  const int32_t starts[] = {0, 41, std::numeric_limits<int32_t>::max() - 1,
                            std::numeric_limits<int32_t>::max()};
  const int32_t after[] = {1, 42, std::numeric_limits<int32_t>::max(),
                           std::numeric_limits<int32_t>::max()};
  for (size_t i = 0; i < std::size(starts); ++i) {
    SCOPED_TRACE(starts[i]);
    SetUp();
    net_->NumOfTrainingCycles = starts[i];
    SearchWithReplies(10.0f, {8.0f, 9.0f, 100.0f});
    EXPECT_EQ(net_->NumOfTrainingCycles, after[i]);
    EXPECT_EQ(view_.Label(TrainingLabel::kNumOfTrainingCycles), std::to_string(after[i]));
  }
}

TEST_F(LineSearchTest, AscentDirectionFindsZeroStepAndRestoresEverything) {
  auto net = MakeNet(SimpleShape(3, {4}, 2, 0.01f), 8);
  RandomizeParameters(*net, 9, 0.5f);
  net->Book = RandomTaskBook(net->Desc, 16, 10);
  net->NumOfTrainingCycles = 5;
  const float f0 = EvaluateGradient(*net, context_);
  for (float& d : net->Direction) d = -d;
  const std::vector<float> before = net->Parameters;
  net->Step = 1e-5f;
  host_.pending_input_calls = 0;

  EXPECT_EQ(LineSearch(*net, f0, context_), f0);
  EXPECT_EQ(net->Parameters, before);
  EXPECT_EQ(net->Step, 0.0f);
  EXPECT_EQ(net->NumOfTrainingCycles, 5);
  EXPECT_EQ(view_.Label(TrainingLabel::kStep), "Zero step");
  // 1e-5 and then every third down to the first step below 1e-10.
  EXPECT_EQ(host_.pending_input_calls, 12);
}

TEST_F(LineSearchTest, DescentDirectionLowersTheRealError) {
  auto net = MakeNet(SimpleShape(3, {4}, 2, 0.01f), 8);
  RandomizeParameters(*net, 9, 0.5f);
  net->Book = RandomTaskBook(net->Desc, 16, 10);
  const float f0 = EvaluateGradient(*net, context_);
  const std::vector<float> before = net->Parameters;
  net->Step = 1e-5f;
  const float best = LineSearch(*net, f0, context_);
  EXPECT_LT(best, f0);
  EXPECT_GT(net->Step, 0.0f);
  EXPECT_EQ(net->NumOfTrainingCycles, 1);
  // The net stands at the accepted step, whose error is the one returned.
  EXPECT_EQ(EvaluateError(*net, context_), best);
  for (int i = 0; i < net->NumOfParameters; ++i) {
    if ((net->ParamFlags[i] & pfTrainable) == 0) {
      EXPECT_EQ(net->Parameters[i], before[i]) << i;
    }
  }
}

TEST(MoveToTest, MovesOnlyTrainableParametersAndClampsEveryOne) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    float saved, direction;
    int32_t flags;
    float lower, upper, expected;
  };
  const Case cases[] = {
      {"synapse moves", 0.5f, 1.0f, kSynapseFlags, -1, 1, 0.75f},
      {"bias moves", -0.5f, -1.0f, kBiasFlags, -1, 1, -0.75f},
      {"characteristic stays", 0.1f, 5.0f, kCharacteristicFlags, 0.0001f, 1, 0.1f},
      {"removed synapse stays", 0.0f, 3.0f, kRemovedSynapseFlags, -1, 1, 0.0f},
      {"binarized synapse stays", 0.5f, 3.0f, kBinarizedSynapseFlags, -1, 1, 0.5f},
      {"at the upper bound, pointing out", 1.0f, 1.0f, kSynapseFlags, -1, 1, 1.0f},
      {"monotone sign kept", 0.05f, -1.0f, kSynapseFlags, 0, 1, 0.0f},
      {"not a number", 0.2f, nan, kSynapseFlags, -1, 1, -1.0f},
      {"fixed value out of bounds", 2.0f, 0.0f, kCharacteristicFlags, -1, 1, 1.0f},
  };
  NeuralNet net;
  for (const Case& c : cases) {
    net.SavedParameters.push_back(c.saved);
    net.Direction.push_back(c.direction);
    net.ParamFlags.push_back(c.flags);
    net.LowerBounds.push_back(c.lower);
    net.UpperBounds.push_back(c.upper);
  }
  net.NumOfParameters = static_cast<int32_t>(net.SavedParameters.size());
  net.Parameters.assign(net.SavedParameters.size(), 99.0f);
  MoveTo(net, 0.25f);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(net.Parameters[i], cases[i].expected) << cases[i].what;
  }
}

}  // namespace
}  // namespace velmar
