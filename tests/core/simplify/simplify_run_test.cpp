#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/base/random.h"
#include "core/engine/training_driver.h"
#include "core/simplify/binarization.h"
#include "core/simplify/pruning.h"
#include "tests/core/simplify/simplify_test_support.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

using testing_support::CountFlags;
using testing_support::UnsolvedExamples;

// What a step and its undo may touch, besides the indicators and the
// training figures.
struct NetState {
  std::vector<float> parameters, lower, upper;
  std::vector<int32_t> flags;
  DataDescription desc;
  std::vector<int32_t> counters;

  static NetState Of(const NeuralNet& net) {
    return {net.Parameters,
            net.LowerBounds,
            net.UpperBounds,
            net.ParamFlags,
            net.Desc,
            {net.NumOfPrunedInputs, net.NumOfPrunedSynapses, net.NumOfBinSynapses,
             net.NumOfPrunedNeurons, net.RunPrunedInputs, net.RunPrunedSynapses, net.RunBinSynapses,
             net.RunPrunedNeurons}};
  }
  bool operator==(const NetState&) const = default;
};

// A progress view that checks, each time the counters are shown (at the
// start of every iteration, so after every accepted step), that the net
// still solves its whole taskbook, and keeps the state it saw last.
class CheckingView : public testing_support::RecordingTrainingView {
 public:
  void SetLabel(TrainingLabel label, const std::string& text) override {
    RecordingTrainingView::SetLabel(label, text);
    if (label == TrainingLabel::kNumOfPrunedNeurons && net != nullptr && net->Book != nullptr) {
      ++checks;
      if (UnsolvedExamples(*net) != 0) ++failed_checks;
    }
    if (label == TrainingLabel::kNumOfBinSynapses && net != nullptr)
      last_shown = NetState::Of(*net);
  }
  NeuralNet* net = nullptr;
  int checks = 0;
  int failed_checks = 0;
  NetState last_shown;
};

class IrisNetTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCurrentClock(&clock_);
    const testing_support::IrisSubset iris =
        testing_support::LoadIrisSubset(std::string(VELMAR_EXAMPLES) + "/iris.csv");
    ASSERT_GT(iris.rows.size(), 20u);
    table_ = testing_support::MemoryTable::FromNumbers(testing_support::FieldNames(iris.shape),
                                                       iris.rows);
    net_ = testing_support::MakeNet(iris.shape, 17);
    context_.table = &table_;
    TrainNetwork(*net_, context_);
    ASSERT_NE(net_->Book, nullptr);
    ASSERT_EQ(UnsolvedExamples(*net_), 0) << "the example net did not learn its taskbook";
    view_.net = net_.get();
  }
  void TearDown() override { SetCurrentClock(nullptr); }

  FixedClock clock_{20240501};
  testing_support::MemoryTable table_;
  ProjectOptions options_;
  testing_support::RecordingHost host_;
  CheckingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
  std::unique_ptr<NeuralNet> net_;
};

class SimplifyRunTest : public IrisNetTest, public testing::WithParamInterface<int32_t> {};

TEST_P(SimplifyRunTest, EveryAcceptedStepStillSolvesTheTaskbook) {
  const int32_t mode = GetParam();
  options_.BinaryWeightSet = 1;
  net_->NumOfSymptoms = 2;
  Simplify(*net_, mode, context_);

  EXPECT_EQ(view_.caption, "Упрощение " + net_->Desc.Name);
  EXPECT_TRUE(view_.pruning_labels_visible);
  EXPECT_EQ(view_.button, "Готово");
  EXPECT_EQ(net_->StopFlag, 1);
  EXPECT_EQ(net_->InPruning, 0);
  EXPECT_GE(view_.checks, 2) << "no step was accepted";
  EXPECT_EQ(view_.failed_checks, 0);
  EXPECT_EQ(UnsolvedExamples(*net_), 0);
  // The last iteration made no step or had its step undone: the net is as
  // the counters last showed it, bounds, fields and counters included.
  EXPECT_TRUE(NetState::Of(*net_) == view_.last_shown);

  // Every per-parameter array stays in step with the flags and the counters.
  for (int32_t p = 0; p < net_->NumOfParameters; ++p) {
    const int32_t f = net_->ParamFlags[p];
    if (f == kRemovedSynapseFlags || f == kRemovedBiasFlags) {
      EXPECT_EQ(net_->Parameters[p], 0.0f);
    }
    if (f == kBinarizedSynapseFlags || f == kBinarizedBiasFlags) {
      const float m = std::fabs(net_->Parameters[p]);
      EXPECT_TRUE(m == 1.0f || m == 0.5f) << p;
    }
  }
  const int removed = CountFlags(*net_, {kRemovedSynapseFlags, kRemovedBiasFlags});
  EXPECT_EQ(net_->NumOfPrunedSynapses, removed);
  EXPECT_EQ(net_->RunPrunedSynapses, removed);
  EXPECT_EQ(net_->NumOfBinSynapses,
            CountFlags(*net_, {kBinarizedSynapseFlags, kBinarizedBiasFlags}));
  int not_used = 0;
  for (const FieldDescription& f : net_->Desc.Fields) not_used += f.Usage == FieldUsage::NotUsed;
  EXPECT_EQ(net_->NumOfPrunedInputs, not_used);
  if (mode == kPruneUniform) {
    for (int j = 0; j < net_->LayerSize(0); ++j) {
      int live = 0;
      for (int k = 0; k < net_->FanIn(0); ++k) {
        live += (net_->ParamFlags[net_->WeightStart(0) + j * net_->FanIn(0) + k] & pfRemoved) == 0;
      }
      EXPECT_LE(live, 2);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllModes, SimplifyRunTest,
                         testing::Values(kPruneInputs, kPruneSynapses, kBinarizeWeights,
                                         kPruneUniform, kPruneBiases, kPruneNeurons));

class SimplifyStopTest : public IrisNetTest {};

TEST_F(SimplifyStopTest, StopInTheFirstIterationLeavesTheNetAsItWas) {
  const std::vector<float> parameters = net_->Parameters;
  const std::vector<int32_t> flags = net_->ParamFlags;
  const DataDescription desc = net_->Desc;
  host_.on_pending_input = [&] { net_->StopFlag = 1; };

  Simplify(*net_, kPruneSynapses, context_);
  EXPECT_EQ(net_->Parameters, parameters);
  EXPECT_EQ(net_->ParamFlags, flags);
  EXPECT_EQ(net_->Desc, desc);
  EXPECT_EQ(net_->NumOfPrunedSynapses, 0);
  EXPECT_EQ(net_->RunPrunedSynapses, 0);
  EXPECT_EQ(view_.Label(TrainingLabel::kNumOfPrunedSynapses), "0 (0 из 35)");
  EXPECT_EQ(view_.button, "Готово");
}

TEST_F(SimplifyStopTest, UniformWithNAtLeastTheFanInMakesNoStep) {
  const std::vector<float> parameters = net_->Parameters;
  net_->NumOfSymptoms = 4;
  Simplify(*net_, kPruneUniform, context_);
  EXPECT_EQ(net_->Parameters, parameters);
  EXPECT_EQ(view_.button, "Готово");
  for (TrainingLabel label :
       {TrainingLabel::kNumOfPrunedInputs, TrainingLabel::kNumOfPrunedSynapses,
        TrainingLabel::kNumOfBinSynapses, TrainingLabel::kNumOfPrunedNeurons}) {
    EXPECT_EQ(view_.Label(label).substr(0, 2), "0 ");
  }
}

TEST_F(SimplifyStopTest, BinarizedWeightsSurviveALaterRunUnlessTheSetChanges) {
  options_.BinaryWeightSet = 2;
  Simplify(*net_, kBinarizeWeights, context_);
  const int binarized = net_->NumOfBinSynapses;
  ASSERT_GT(binarized, 0);
  int on_one = 0;
  for (int32_t p = 0; p < net_->NumOfParameters; ++p) {
    const int32_t f = net_->ParamFlags[p];
    on_one += (f == kBinarizedSynapseFlags || f == kBinarizedBiasFlags) &&
              std::fabs(net_->Parameters[p]) == 1.0f;
  }
  options_.BinaryWeightSet = 0;
  net_->NumOfSymptoms = 100;  // a run that makes no step
  Simplify(*net_, kPruneUniform, context_);
  EXPECT_EQ(net_->NumOfBinSynapses, on_one);
  EXPECT_EQ(CountFlags(*net_, {kBinarizedSynapseFlags, kBinarizedBiasFlags}), on_one);
}

TEST_F(SimplifyStopTest, RemovingBinarizedWeightsTakesThemOffTheTotalButNotBelowZeroInTheRun) {
  options_.BinaryWeightSet = 1;
  Simplify(*net_, kBinarizeWeights, context_);
  const int binarized = net_->NumOfBinSynapses;
  ASSERT_GT(binarized, 0);

  Simplify(*net_, kPruneSynapses, context_);
  const int still_binarized = CountFlags(*net_, {kBinarizedSynapseFlags, kBinarizedBiasFlags});
  ASSERT_LT(still_binarized, binarized) << "the run removed no binarized weight";
  EXPECT_EQ(net_->NumOfBinSynapses, still_binarized);
  EXPECT_EQ(net_->RunBinSynapses, 0);
  const std::string of = std::to_string(net_->InitialSynapses - net_->NumOfPrunedSynapses);
  EXPECT_EQ(view_.Label(TrainingLabel::kNumOfBinSynapses),
            "0 (" + std::to_string(still_binarized) + " из " + of + ")");
}

}  // namespace
}  // namespace velmar
