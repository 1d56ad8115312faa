#include "core/engine/training_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/format_real.h"
#include "core/base/random.h"
#include "core/engine/propagation.h"
#include "core/engine/test_network.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

using testing_support::MemoryTable;
using testing_support::RecordingHost;
using testing_support::RecordingTrainingView;

constexpr const char* kEmptyBookText =
    "В файле данных нет записей либо из-за наличия пропусков в данных невозможно "
    "сформировать непустую обучающую выборку";

class TrainingDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCurrentClock(&clock_);
    shape_ = testing_support::SimpleShape(2, {3}, 1, 0.1f);
    net_ = testing_support::MakeNet(shape_, 7);
    testing_support::RandomizeParameters(*net_, 11, 0.5f);
  }
  void TearDown() override { SetCurrentClock(nullptr); }

  // A table whose outputs are what the net answers now: every example solved.
  MemoryTable SolvedTable(int rows) {
    Random15 random(3);
    std::vector<std::vector<std::optional<double>>> values;
    for (int r = 0; r < rows; ++r) {
      float inputs[2];
      for (float& x : inputs) x = static_cast<float>(random.Next() * 2.0 / Random15::kMax - 1.0);
      net_->CurInputs = inputs;
      Forward(*net_);
      values.push_back({inputs[0], inputs[1], net_->Outputs[0]});
    }
    net_->CurInputs = nullptr;
    return MemoryTable::FromNumbers(testing_support::FieldNames(shape_), values);
  }

  int Count(TrainingLabel label, const std::string& text) const {
    auto it = view_.history.find(label);
    if (it == view_.history.end()) return 0;
    return static_cast<int>(std::count(it->second.begin(), it->second.end(), text));
  }

  FixedClock clock_{1000};
  testing_support::NetShape shape_;
  std::unique_ptr<NeuralNet> net_;
  ProjectOptions options_;
  RecordingHost host_;
  RecordingTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
};

TEST_F(TrainingDriverTest, EmptyTaskBookIsRefusedWithoutOpeningTheWindow) {
  struct Case {
    const char* name;
    bool with_table;
    std::vector<std::vector<std::optional<double>>> rows;
  };
  const Case cases[] = {
      {"no table", false, {}},
      {"no records", true, {}},
      {"every output missing", true, {{0.1, 0.2, std::nullopt}, {0.3, 0.4, std::nullopt}}},
      {"every record has a gap", true, {{std::nullopt, 0.2, 0.5}, {0.3, std::nullopt, 0.5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.messages.clear();
    MemoryTable table = MemoryTable::FromNumbers(testing_support::FieldNames(shape_), c.rows);
    context_.table = c.with_table ? &table : nullptr;
    net_->Book.reset();
    const std::vector<float> before = net_->Parameters;
    TrainingReport report;
    TrainNetwork(*net_, context_, report);
    EXPECT_FALSE(report.trained);
    EXPECT_EQ(net_->Book, nullptr);
    EXPECT_EQ(net_->Parameters, before);
    EXPECT_EQ(view_.show_count, 0);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text, kEmptyBookText);
    EXPECT_EQ(host_.messages[0].caption, "Операция невозможна");
  }
}

TEST_F(TrainingDriverTest, SolvedTaskBookEndsAfterOnePassWithEveryMethod) {
  MemoryTable table = SolvedTable(12);
  context_.table = &table;
  for (int32_t method = 0; method < 4; ++method) {
    SCOPED_TRACE(method);
    options_.TrainingMethod = method;
    net_->Book.reset();
    host_.pending_input_calls = 0;
    const std::vector<float> before = net_->Parameters;
    TrainingReport report;
    TrainNetwork(*net_, context_, report);
    EXPECT_TRUE(report.trained);
    EXPECT_EQ(report.runs, 1);
    EXPECT_EQ(report.perturbations, 0);
    EXPECT_EQ(host_.pending_input_calls, 1);
    EXPECT_EQ(net_->Parameters, before);
    EXPECT_EQ(view_.caption, "Обучение Test");
    EXPECT_TRUE(view_.visible);
    EXPECT_FALSE(view_.pruning_labels_visible);
    EXPECT_EQ(view_.Label(TrainingLabel::kError), "0");
    EXPECT_EQ(view_.Label(TrainingLabel::kNumOfExamples), "12 из 12");
    EXPECT_EQ(view_.button, "Готово");
    EXPECT_EQ(net_->StopFlag, 1);
    EXPECT_FLOAT_EQ(net_->Step, 1e-5f);
  }
}

TEST_F(TrainingDriverTest, FourStuckRunsGetExactlyThreePerturbations) {
  // Nothing can move, so every search fails.
  for (int32_t& flags : net_->ParamFlags) flags &= ~pfTrainable;
  net_->Book = testing_support::RandomTaskBook(net_->Desc, 20, 5);
  for (int32_t method = 0; method < 4; ++method) {
    SCOPED_TRACE(method);
    options_.TrainingMethod = method;
    view_.history.clear();
    TrainingReport report;
    TrainNetwork(*net_, context_, report);
    EXPECT_EQ(report.runs, 4);
    EXPECT_EQ(report.perturbations, 3);
    EXPECT_EQ(Count(TrainingLabel::kStep, "Infinite step"), 4);
    EXPECT_EQ(net_->Stuck, 1);
    EXPECT_EQ(view_.button, "Готово");
    EXPECT_NE(view_.Label(TrainingLabel::kNumOfExamples), "20 из 20");
  }
}

TEST_F(TrainingDriverTest, UnknownMethodTrainsAndPerturbsNothing) {
  net_->Book = testing_support::RandomTaskBook(net_->Desc, 20, 5);
  const std::vector<float> before = net_->Parameters;
  for (const int32_t method : {-1, 4, 1000}) {
    SCOPED_TRACE(method);
    options_.TrainingMethod = method;
    TrainingReport report;
    TrainNetwork(*net_, context_, report);
    EXPECT_EQ(report.runs, 0);
    EXPECT_EQ(report.perturbations, 0);
    EXPECT_EQ(net_->Parameters, before);
    EXPECT_EQ(view_.button, "Готово");
    EXPECT_NE(view_.Label(TrainingLabel::kNumOfExamples), "20 из 20");
  }
}

TEST_F(TrainingDriverTest, StuckRunIsPerturbedAtLevelOneThousandth) {
  // All weights and biases 0 over two examples with the same inputs and the
  // targets +1 and -1: the gradient is 0, so the first run is stuck at once.
  for (int32_t i = 0; i < net_->NumOfParameters; ++i) {
    if ((net_->ParamFlags[i] & pfTrainable) != 0) net_->Parameters[i] = 0;
  }
  net_->Book =
      testing_support::MakeTaskBook(net_->Desc, {{0.5f, -0.5f}, {0.5f, -0.5f}}, {{1.0f}, {-1.0f}});
  // The generator reseeded from second 1000 gives these first values of
  // r * 0.2 / 32767 - 0.1.
  const float u[16] = {0.013681448f,   -0.014169744f, -0.064629048f, -0.0074617756f,
                       -0.0047822506f, 0.066997282f,  0.095696889f,  -0.031308938f,
                       0.051133763f,   -0.048020873f, 0.069280066f,  0.055546738f,
                       -0.073021635f,  -0.029233681f, 0.061235391f,  0.050077822f};
  ASSERT_EQ(net_->NumOfParameters, 16);
  std::vector<float> perturbed;
  host_.on_pending_input = [&] {
    if (!perturbed.empty()) return;
    for (int32_t i = 0; i < net_->NumOfParameters; ++i) {
      if ((net_->ParamFlags[i] & pfTrainable) != 0 && net_->Parameters[i] != 0) {
        perturbed = net_->Parameters;
        net_->StopFlag = 1;  // enough seen
        return;
      }
    }
  };
  options_.TrainingMethod = 2;
  TrainingReport report;
  TrainNetwork(*net_, context_, report);
  EXPECT_EQ(report.perturbations, 1);
  ASSERT_EQ(perturbed.size(), 16u);
  for (int32_t i = 0; i < 16; ++i) {
    const bool trainable = (net_->ParamFlags[i] & pfTrainable) != 0;
    EXPECT_EQ(perturbed[i], trainable ? 0.001f * u[i] : 0.1f) << i;
  }
}

TEST_F(TrainingDriverTest, StopRequestEndsTheRunWithoutPerturbing) {
  net_->Book = testing_support::RandomTaskBook(net_->Desc, 40, 9);
  options_.TrainingMethod = 0;
  int stop_call = 0;
  std::vector<StopButtonOutcome> outcomes;
  host_.on_pending_input = [&] {
    if (host_.pending_input_calls == 3 || host_.pending_input_calls == 4) {
      outcomes.push_back(PressStopButton(*net_, view_, view_.button_state));
      if (stop_call == 0) stop_call = host_.pending_input_calls;
      EXPECT_EQ(view_.button, "Секундочку...");
      EXPECT_EQ(net_->StopFlag, 1);
    }
  };
  TrainingReport report;
  TrainNetwork(*net_, context_, report);
  EXPECT_EQ(outcomes, (std::vector<StopButtonOutcome>{StopButtonOutcome::kStopRequested,
                                                      StopButtonOutcome::kIgnored}));
  EXPECT_EQ(report.runs, 1);
  EXPECT_EQ(report.perturbations, 0);
  // The run ends within the line search under way when the stop came.
  EXPECT_LT(host_.pending_input_calls - stop_call, 60);
  EXPECT_EQ(view_.button, "Готово");
  EXPECT_EQ(net_->StopFlag, 1);
  EXPECT_TRUE(view_.visible);

  EXPECT_EQ(PressStopButton(*net_, view_, view_.button_state), StopButtonOutcome::kClosed);
  EXPECT_FALSE(view_.visible);
}

TEST_F(TrainingDriverTest, PruningModeLeavesTheWindowToThePruningDriver) {
  MemoryTable table = SolvedTable(5);
  context_.table = &table;
  ASSERT_TRUE(PrepareTaskBook(*net_, context_));
  net_->InPruning = 1;
  net_->StopFlag = 0;
  view_.caption = "Упрощение";
  TrainingReport report;
  TrainNetwork(*net_, context_, report);
  EXPECT_TRUE(report.trained);
  EXPECT_EQ(view_.show_count, 0);
  EXPECT_EQ(view_.caption, "Упрощение");
  EXPECT_EQ(view_.button, "");
  EXPECT_EQ(net_->StopFlag, 0);
  EXPECT_EQ(view_.Label(TrainingLabel::kNumOfExamples), "5 из 5");

  // Without a taskbook the pruning driver's call trains nothing and says nothing.
  net_->Book.reset();
  TrainNetwork(*net_, context_, report);
  EXPECT_FALSE(report.trained);
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(TrainingDriverTest, RebuildAndTrainOnlyWithTheExtendOption) {
  MemoryTable table = SolvedTable(6);
  context_.table = &table;
  net_->InPruning = 1;
  net_->Book = testing_support::RandomTaskBook(net_->Desc, 2, 1);
  const TaskBook* old_book = net_->Book.get();

  options_.ExtendTaskbook = 0;
  RebuildAndTrain(*net_, context_);
  EXPECT_EQ(net_->Book.get(), old_book);
  EXPECT_TRUE(view_.history.empty());

  options_.ExtendTaskbook = 1;
  RebuildAndTrain(*net_, context_);
  ASSERT_NE(net_->Book, nullptr);
  EXPECT_EQ(net_->Book->Count(), 6u);
  EXPECT_EQ(view_.Label(TrainingLabel::kNumOfExamples), "6 из 6");
}

TEST_F(TrainingDriverTest, PrepareKeepsAnExistingTaskBook) {
  net_->Book = testing_support::RandomTaskBook(net_->Desc, 3, 1);
  const TaskBook* book = net_->Book.get();
  context_.table = nullptr;
  EXPECT_TRUE(PrepareTaskBook(*net_, context_));
  EXPECT_EQ(net_->Book.get(), book);
  EXPECT_TRUE(host_.messages.empty());
}

// examples/iris.csv as a table x1..x4 (measurements), y1 (class 1..3), and
// the shape of a small net over it; nothing when the file is missing.
constexpr int kIrisHidden = 6;
constexpr int64_t kIrisSeed = 1;
struct Iris {
  testing_support::NetShape shape;
  std::vector<std::vector<std::optional<double>>> rows;
};
std::optional<Iris> LoadIris() {
  std::ifstream in(std::string(VELMAR_EXAMPLES) + "/iris.csv");
  if (!in) return std::nullopt;
  Iris iris;
  iris.shape.inputs.assign(4, testing_support::FieldSpec{});
  for (auto& f : iris.shape.inputs) {
    f.min_value = 1e30f;
    f.max_value = -1e30f;
  }
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::stringstream cells(line);
    std::vector<std::optional<double>> row;
    std::string cell;
    while (std::getline(cells, cell, ',')) row.push_back(std::stod(cell));
    if (row.size() != 5) continue;
    for (int i = 0; i < 4; ++i) {
      iris.shape.inputs[i].min_value = std::min(iris.shape.inputs[i].min_value, float(*row[i]));
      iris.shape.inputs[i].max_value = std::max(iris.shape.inputs[i].max_value, float(*row[i]));
    }
    row[4] = *row[4] + 1;
    iris.rows.push_back(row);
  }
  iris.shape.hidden = {kIrisHidden};
  testing_support::FieldSpec out;
  out.states = 3;
  out.gap = 0.1f;
  iris.shape.outputs = {out};
  return iris;
}

TEST(TrainingDriverIrisTest, EveryMethodLearnsIrisFromAFixedSeed) {
  const std::optional<Iris> iris = LoadIris();
  if (!iris) GTEST_SKIP() << "examples/iris.csv is missing";
  MemoryTable table =
      MemoryTable::FromNumbers(testing_support::FieldNames(iris->shape), iris->rows);
  FixedClock clock(kIrisSeed);
  SetCurrentClock(&clock);
  for (int32_t method = 0; method < 4; ++method) {
    SCOPED_TRACE(method);
    auto net = testing_support::MakeNet(iris->shape, kIrisSeed);
    ProjectOptions options;
    options.TrainingMethod = method;
    RecordingHost host;
    RecordingTrainingView view;
    EngineContext context{options, &table, host, view};
    TrainingReport report;
    TrainNetwork(*net, context, report);
    EXPECT_EQ(view.Label(TrainingLabel::kNumOfExamples), "150 из 150")
        << "cycles " << net->NumOfTrainingCycles << ", runs " << report.runs;
    TestGrid grid;
    ASSERT_TRUE(TestNetwork(*net, context, grid));
    ASSERT_EQ(grid.Summary.size(), 1u);
    // The label and the test both describe the net as it stands.
    EvaluateError(*net, context);
    EXPECT_EQ(net->NumOfSolved, 150);
    EXPECT_EQ(grid.Summary[0].Correct, 150);
  }
  SetCurrentClock(nullptr);
}

// Three examples want the output at +1 and one at -1; with an accuracy of
// 1.03 the acceptance holds only for outputs within 0.03 of 0, while the
// stricter training tolerance puts its minimum near 0.04, where the -1
// example is out of tolerance. A line search can try a point in the
// accepted band last and still settle on the minimum.
TEST_F(TrainingDriverTest, FiguresAndVerdictAreThoseOfTheFinalParameters) {
  struct Case {
    int32_t method;
    float start;
  };
  const Case cases[] = {{1, 0.75f}, {1, 0.7f}, {0, 0.75f}, {0, -0.5f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.method << ", start " << c.start);
    auto net = testing_support::MakeNet(testing_support::SimpleShape(1, {1}, 1, 1.03f));
    for (int32_t i = 0; i < net->NumOfParameters; ++i) {
      if ((net->ParamFlags[i] & pfTrainable) != 0) net->Parameters[i] = 0;
      net->ParamFlags[i] &= ~pfTrainable;
    }
    const int32_t bias = net->NeuronStart(net->NumOfLayers());
    net->Parameters[bias] = c.start;
    net->ParamFlags[bias] |= pfTrainable;
    net->Book = testing_support::MakeTaskBook(net->Desc, {{0.0f}, {0.0f}, {0.0f}, {0.0f}},
                                              {{1.0f}, {1.0f}, {1.0f}, {-1.0f}});
    options_.TrainingMethod = c.method;
    TrainingReport report;
    TrainNetwork(*net, context_, report);
    const std::string error = view_.Label(TrainingLabel::kError);
    const std::string examples = view_.Label(TrainingLabel::kNumOfExamples);
    const int32_t stuck = net->Stuck;

    EvaluateError(*net, context_);
    EXPECT_EQ(net->NumOfSolved, 3);
    EXPECT_EQ(examples, "3 из 4");
    EXPECT_EQ(error, FormatReal(net->ErrorSum / 4.0, '.'));
    // A net that does not solve its taskbook never ends as if it did.
    EXPECT_EQ(stuck, 1);
    EXPECT_EQ(report.runs, 4);
    EXPECT_EQ(report.perturbations, 3);
  }
}
}  // namespace
}  // namespace velmar
