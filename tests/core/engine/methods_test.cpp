#include "core/engine/methods.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/format_real.h"
#include "core/engine/propagation.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

using testing_support::FieldNames;
using testing_support::FieldSpec;
using testing_support::MakeNet;
using testing_support::MakeTaskBook;
using testing_support::MemoryTable;
using testing_support::NetShape;
using testing_support::RandomTaskBook;
using testing_support::RecordingHost;
using testing_support::RecordingTrainingView;
using testing_support::SimpleShape;

const char* const kMethodNames[] = {"steepest descent", "ParTan", "conjugate gradients", "BFGS"};

// Runs one method as the training driver would start it, with a budget of
// passes after which the stop button is "pressed".
class MethodsTest : public testing::Test {
 protected:
  void SetUp() override {}

  // Fresh recorders, the method chosen, the net ready for a run.
  void Prepare(NeuralNet& net, int method) {
    host_ = RecordingHost();
    view_ = RecordingTrainingView();
    options_.TrainingMethod = method;
    net.StopFlag = 0;
    net.Stuck = 0;
    net.Step = 1e-5f;
  }

  void Run(NeuralNet& net, int method, int budget = 100000) {
    Prepare(net, method);
    host_.on_pending_input = [&net, this, budget] {
      if (host_.pending_input_calls >= budget) net.StopFlag = 1;
    };
    RunMethod(net, context_);
  }

  ProjectOptions options_;
  RecordingHost host_;
  RecordingTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
};

std::unique_ptr<NeuralNet> XorNet(int hidden, int seed) {
  auto net = MakeNet(SimpleShape(2, {hidden}, 1, 0.2f), seed);
  net->Book = MakeTaskBook(net->Desc, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}}, {{-1}, {1}, {1}, {-1}});
  return net;
}

TEST_F(MethodsTest, EveryMethodEndsAtOnceOnASolvedBook) {
  for (int method = 0; method < 4; ++method) {
    SCOPED_TRACE(kMethodNames[method]);
    auto net = MakeNet(SimpleShape(2, {3}, 1, 0.1f), 4);
    // Targets equal to the net's own outputs.
    std::vector<std::vector<float>> inputs = {{0.1f, 0.2f}, {-0.5f, 0.9f}, {1, -1}};
    std::vector<std::vector<float>> targets;
    for (const auto& x : inputs) {
      net->CurInputs = x.data();
      Forward(*net);
      targets.push_back({net->Outputs[0]});
    }
    net->Book = MakeTaskBook(net->Desc, inputs, targets);
    const std::vector<float> before = net->Parameters;
    Run(*net, method);
    EXPECT_EQ(host_.pending_input_calls, 1);
    EXPECT_EQ(net->Parameters, before);
    EXPECT_EQ(net->Stuck, 0);
    EXPECT_EQ(net->NumOfSolved, 3);
  }
}

TEST_F(MethodsTest, EveryMethodSolvesXorAndLeavesFixedParametersAlone) {
  constexpr int kRemoved = 1;     // the weight from input 2 to neuron 1
  constexpr int kBinarized = 16;  // the output weight from neuron 1
  for (int method = 0; method < 4; ++method) {
    // Seeds from which no method meets a local minimum; escaping those is the
    // training driver's business (perturbation).
    for (int seed : {1, 3, 5, 6}) {
      SCOPED_TRACE(testing::Message() << kMethodNames[method] << ", seed " << seed);
      auto net = XorNet(4, seed);
      net->Parameters[kRemoved] = 0;
      net->ParamFlags[kRemoved] = kRemovedSynapseFlags;
      net->Parameters[kBinarized] = 0.5f;
      net->ParamFlags[kBinarized] = kBinarizedSynapseFlags;
      const std::vector<float> before = net->Parameters;
      Run(*net, method, 20000);
      EXPECT_EQ(net->StopFlag, 0) << "budget exhausted";
      EXPECT_EQ(net->Stuck, 0);
      EXPECT_EQ(net->ErrorSum, 0.0f);
      EXPECT_EQ(net->NumOfSolved, 4);
      for (int i = 0; i < net->NumOfParameters; ++i) {
        if ((net->ParamFlags[i] & pfTrainable) == 0) {
          ASSERT_EQ(net->Parameters[i], before[i]) << "parameter " << i;
        }
      }
      EXPECT_GT(net->NumOfTrainingCycles, 0);
    }
  }
}

// examples/iris.csv: a line "150,4,<class names>", then four measurements
// and the class index 0..2 per line.
MemoryTable LoadIris(NetShape& shape) {
  std::ifstream in(VELMAR_EXAMPLES "/iris.csv");
  std::string line;
  std::getline(in, line);
  std::vector<std::vector<std::optional<double>>> rows;
  std::vector<double> low(4, 1e300), high(4, -1e300);
  while (std::getline(in, line)) {
    std::stringstream cells(line);
    std::string cell;
    std::vector<std::optional<double>> row;
    while (std::getline(cells, cell, ',')) row.push_back(std::stod(cell));
    if (row.size() != 5) continue;
    for (int i = 0; i < 4; ++i) {
      low[i] = std::min(low[i], *row[i]);
      high[i] = std::max(high[i], *row[i]);
    }
    row[4] = *row[4] + 1;  // states are numbered from 1
    rows.push_back(row);
  }
  shape = NetShape();
  for (int i = 0; i < 4; ++i) {
    FieldSpec input;
    input.min_value = static_cast<float>(low[i]);
    input.max_value = static_cast<float>(high[i]);
    shape.inputs.push_back(input);
  }
  FieldSpec species;
  species.states = 3;
  species.gap = 0.1f;
  shape.outputs = {species};
  shape.hidden = {5};
  return MemoryTable::FromNumbers(FieldNames(shape), rows);
}

TEST_F(MethodsTest, EveryMethodSolvesIris) {
  NetShape shape;
  MemoryTable table = LoadIris(shape);
  ASSERT_EQ(table.RecordCount(), 150);
  // The first-order methods are slow on this table; fewer seeds keep the suite fast.
  const std::vector<int> seeds[] = {{1, 2}, {2, 3}, {1, 2, 3}, {1, 2, 3}};
  for (int method = 0; method < 4; ++method) {
    for (int seed : seeds[method]) {
      SCOPED_TRACE(testing::Message() << kMethodNames[method] << ", seed " << seed);
      auto net = MakeNet(shape, seed);
      net->Book = std::make_unique<TaskBook>();
      BuildTaskBook(*net->Book, table, net->Desc, false, host_);
      ASSERT_EQ(net->Book->Count(), 150u);
      Run(*net, method, 60000);
      EXPECT_EQ(net->StopFlag, 0) << "budget exhausted";
      EXPECT_EQ(net->Stuck, 0);
      EXPECT_EQ(net->NumOfSolved, 150);
      EXPECT_EQ(view_.Label(TrainingLabel::kNumOfExamples), "150 из 150");
    }
  }
}

TEST_F(MethodsTest, StopRequestEndsWithinOneSearch) {
  for (int method = 0; method < 4; ++method) {
    for (int stop_at : {3, 4, 5, 9}) {
      SCOPED_TRACE(testing::Message() << kMethodNames[method] << ", stop at pass " << stop_at);
      auto net = MakeNet(SimpleShape(3, {4}, 1, 0.001f), 6);
      net->Book = RandomTaskBook(net->Desc, 30, 7);
      int searches_at_stop = -1;
      Prepare(*net, method);
      host_.on_pending_input = [&] {
        if (host_.pending_input_calls == stop_at) {
          net->StopFlag = 1;
          searches_at_stop = static_cast<int>(view_.history[TrainingLabel::kError].size());
        }
      };
      RunMethod(*net, context_);
      ASSERT_GE(searches_at_stop, 0) << "the method ended before the stop";
      const int searches = static_cast<int>(view_.history[TrainingLabel::kError].size());
      EXPECT_LE(searches - searches_at_stop, 1) << "a search started after the stop";
      EXPECT_EQ(net->StopFlag, 1);
    }
  }
}

// A single sigmoid neuron cannot represent XOR, so every run ends stuck. The
// conjugate methods may set Stuck only when their restart, a steepest-descent
// search from the step 1e-5, fails; a failing conjugate search only restarts.
TEST_F(MethodsTest, ConjugateMethodsGetStuckOnlyWhenTheRestartFails) {
  for (int method : {2, 3}) {
    int recovered = 0;
    for (int seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE(testing::Message() << kMethodNames[method] << ", seed " << seed);
      auto net = XorNet(1, seed);
      net->Desc.Fields[2].Gap = 0.01f;
      BuildErrorLists(*net);
      std::vector<float> steps;
      Prepare(*net, method);
      host_.on_pending_input = [&] { steps.push_back(net->Step); };
      RunMethod(*net, context_);
      ASSERT_EQ(net->Stuck, 1);
      // The last search and the gradient pass before it ran from the restart step.
      ASSERT_GE(steps.size(), 2u);
      EXPECT_EQ(steps[steps.size() - 1], 1e-5f);
      EXPECT_EQ(steps[steps.size() - 2], 1e-5f);
      const auto& shown = view_.history[TrainingLabel::kStep];
      for (size_t i = 0; i + 1 < shown.size(); ++i) {
        if (shown[i] == "Zero step" && shown[i + 1] != "Zero step") ++recovered;
      }
    }
    EXPECT_GT(recovered, 0) << kMethodNames[method]
                            << ": no failing search was followed by a successful one";
  }
}

// Each acceleration search runs with Step 1.0; afterwards the next descent
// resumes from the step its predecessor found (the one it showed).
TEST_F(MethodsTest, ParTanAccelerationKeepsTheDescentStep) {
  auto net = XorNet(3, 3);
  struct Pass {
    float step;
    std::string shown;  // the last Step label at the time
  };
  std::vector<Pass> passes;
  Prepare(*net, 1);
  host_.on_pending_input = [&] {
    const auto& shown = view_.history[TrainingLabel::kStep];
    passes.push_back({net->Step, shown.empty() ? std::string() : shown.back()});
  };
  RunMethod(*net, context_);
  ASSERT_EQ(net->ErrorSum, 0.0f);
  int checked = 0;
  for (size_t i = 1; i < passes.size(); ++i) {
    if (passes[i].step != 1.0f || passes[i - 1].step == 1.0f) continue;
    size_t j = i;
    while (j < passes.size() && passes[j].step == 1.0f) ++j;
    if (j == passes.size()) break;
    EXPECT_EQ(FormatReal(passes[j].step), passes[i].shown) << "pass " << j;
    ++checked;
  }
  EXPECT_GT(checked, 2);
}

// What a method had in hand at one pass over the taskbook.
struct PassRecord {
  std::vector<float> direction;
  std::vector<float> parameters;
  float step;
  size_t searches;  // searches finished before this pass
};

double TrainableDot(const NeuralNet& net, const std::vector<double>& u,
                    const std::vector<double>& v) {
  double sum = 0;
  for (int32_t i = 0; i < net.NumOfParameters; ++i) {
    if ((net.ParamFlags[i] & pfTrainable) != 0) sum += u[i] * v[i];
  }
  return sum;
}

// Every search of the conjugate methods goes along the direction built from
// this pass's gradient g, the previous one and the previous search
// direction D, with inner products over trainable parameters only; a search
// along g itself from the step 1e-5 is a restart.
TEST_F(MethodsTest, ConjugateDirectionsFollowTheirFormulas) {
  for (int method : {2, 3}) {
    SCOPED_TRACE(kMethodNames[method]);
    auto net = MakeNet(SimpleShape(3, {4}, 1, 0.001f), 6);
    net->Book = RandomTaskBook(net->Desc, 30, 7);
    // Not trainable, yet with a gradient entry that must not count.
    net->ParamFlags[1] = kBinarizedSynapseFlags;
    Prepare(*net, method);
    std::vector<PassRecord> passes;
    host_.on_pending_input = [&] {
      passes.push_back({net->Direction, net->Parameters, net->Step,
                        view_.history[TrainingLabel::kError].size()});
      if (passes.size() >= 400) net->StopFlag = 1;
    };
    RunMethod(*net, context_);

    // A gradient pass opens the run or follows the end of a search.
    std::vector<size_t> gradient_passes;
    for (size_t i = 0; i < passes.size(); ++i) {
      if (i == 0 || passes[i].searches > passes[i - 1].searches) gradient_passes.push_back(i);
    }
    auto wide = [](const std::vector<float>& v) { return std::vector<double>(v.begin(), v.end()); };
    int checked = 0;
    for (size_t k = 1; k < gradient_passes.size(); ++k) {
      const size_t now = gradient_passes[k];
      const size_t before = gradient_passes[k - 1];
      if (now + 1 >= passes.size()) break;  // the last pass: no search followed
      const std::vector<double> g = wide(passes[now].direction);
      const std::vector<double> gp = wide(passes[before].direction);
      const std::vector<double> d = wide(passes[before + 1].direction);
      const std::vector<float>& searched = passes[now + 1].direction;
      if (searched == passes[now].direction) {
        EXPECT_EQ(passes[now].step, 1e-5f) << "a restart at pass " << now;
        continue;
      }
      std::vector<double> y(g.size());
      for (size_t i = 0; i < g.size(); ++i) y[i] = g[i] - gp[i];
      std::vector<double> expected(g.size());
      if (method == 2) {
        const double beta = -TrainableDot(*net, y, g) / TrainableDot(*net, y, d);
        for (size_t i = 0; i < g.size(); ++i) expected[i] = g[i] + beta * d[i];
      } else {
        const double t = passes[now].step;
        const double a = TrainableDot(*net, y, d), b = TrainableDot(*net, d, g);
        const double c = TrainableDot(*net, y, g), dd = TrainableDot(*net, y, y);
        const double ky = -b / a;
        const double kd = ((dd / a + t) * b - c) / a;
        for (size_t i = 0; i < g.size(); ++i) expected[i] = g[i] + ky * y[i] + kd * d[i];
      }
      double scale = 0;
      for (double e : expected) scale = std::max(scale, std::fabs(e));
      for (size_t i = 0; i < g.size(); ++i) {
        ASSERT_NEAR(searched[i], expected[i], 1e-4 * scale)
            << "pass " << now << ", parameter " << i;
      }
      ++checked;
    }
    EXPECT_GT(checked, 10);
  }
}

// Each acceleration search runs along Y − P from P, where Y is the point the
// descent search just reached (the first trial, at Step 1.0) and P the
// previous descent point, or the start for the first acceleration.
TEST_F(MethodsTest, ParTanAcceleratesFromThePreviousDescentPoint) {
  auto net = MakeNet(SimpleShape(3, {4}, 1, 0.001f), 6);
  net->Book = RandomTaskBook(net->Desc, 30, 7);
  const std::vector<float> start = net->Parameters;
  Prepare(*net, 1);
  std::vector<PassRecord> passes;
  host_.on_pending_input = [&] {
    passes.push_back(
        {net->Direction, net->Parameters, net->Step, view_.history[TrainingLabel::kError].size()});
    if (passes.size() >= 300) net->StopFlag = 1;
  };
  RunMethod(*net, context_);

  std::vector<float> base = start;
  int checked = 0;
  for (size_t i = 1; i < passes.size(); ++i) {
    if (passes[i].step != 1.0f || passes[i - 1].step == 1.0f) continue;
    const std::vector<float>& y = passes[i].parameters;
    for (int p = 0; p < net->NumOfParameters; ++p) {
      ASSERT_NEAR(passes[i].direction[p], y[p] - base[p], 1e-6f)
          << "acceleration at pass " << i << ", parameter " << p;
    }
    base = y;
    ++checked;
  }
  EXPECT_GT(checked, 5);
}

// A row whose input is undefined makes every error NaN; the methods must
// take that as no decrease instead of searching forever.
TEST_F(MethodsTest, UndefinedErrorCountsAsStuck) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int method = 0; method < 4; ++method) {
    SCOPED_TRACE(kMethodNames[method]);
    NetShape shape = SimpleShape(2, {2}, 0);
    FieldSpec ordered;
    ordered.states = 2;
    ordered.ordered = true;
    shape.outputs = {ordered};
    auto net = MakeNet(shape, 2);
    net->Book = MakeTaskBook(net->Desc, {{0.5f, 0.5f}, {nan, 0.0f}}, {{1, 1}, {1, -1}});
    Run(*net, method, 1000);
    EXPECT_EQ(net->StopFlag, 0) << "ran until the budget was spent";
    EXPECT_EQ(net->Stuck, 1);
  }
}

TEST_F(MethodsTest, UnknownMethodRunsNothing) {
  auto net = XorNet(2, 1);
  const std::vector<float> before = net->Parameters;
  Run(*net, 4);
  EXPECT_EQ(host_.pending_input_calls, 0);
  EXPECT_EQ(net->Parameters, before);
}

}  // namespace
}  // namespace velmar
