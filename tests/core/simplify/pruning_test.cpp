#include "core/simplify/pruning.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/training_driver.h"
#include "core/simplify/binarization.h"
#include "core/simplify/significance.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

using testing_support::FieldSpec;
using testing_support::MakeNet;
using testing_support::NetShape;
using testing_support::SimpleShape;

// Every weight and bias 1 with accumulated gradient 1, so that every
// indicator ties until a test makes one smaller.
std::unique_ptr<NeuralNet> EvenNet(const NetShape& shape) {
  auto net = MakeNet(shape, 4);
  for (int32_t p = 0; p < net->NumOfParameters; ++p) {
    if ((net->ParamFlags[p] & pfCharacteristic) != 0) continue;
    net->Parameters[p] = 1;
    net->ParamSignificance[p] = 1;
  }
  return net;
}

class PruningStepTest : public testing::Test {
 protected:
  // 3 inputs, 2 hidden, 1 output: hidden weights 0..5 (j * 3 + k), hidden
  // [c, b] 6..9, output weights 10..11, output bias 12.
  std::unique_ptr<NeuralNet> net_ = EvenNet(SimpleShape(3, {2}, 1));
  StepTally tally_;
};

TEST_F(PruningStepTest, SynapseAndBiasStepsSearchHiddenLayersOnlyFirstOnTies) {
  net_->ParamSignificance[10] = 0;  // output synapse and bias: never candidates
  net_->ParamSignificance[12] = 0;
  ASSERT_TRUE(PruneSynapseStep(*net_, tally_));
  EXPECT_EQ(net_->ParamFlags[0], kRemovedSynapseFlags);
  net_->ParamSignificance[5] = 0.5f;
  ASSERT_TRUE(PruneSynapseStep(*net_, tally_));
  EXPECT_EQ(net_->ParamFlags[5], kRemovedSynapseFlags);
  EXPECT_EQ(net_->ParamFlags[10], kSynapseFlags);

  ASSERT_TRUE(PruneBiasStep(*net_, tally_));
  EXPECT_EQ(net_->ParamFlags[7], kRemovedBiasFlags);
  ASSERT_TRUE(PruneBiasStep(*net_, tally_));
  EXPECT_EQ(net_->ParamFlags[9], kRemovedBiasFlags);
  EXPECT_FALSE(PruneBiasStep(*net_, tally_));
  EXPECT_EQ(net_->ParamFlags[12], kBiasFlags);
}

TEST_F(PruningStepTest, InputStepTakesTheLeastSignificantConnectedInput) {
  net_->InputSignificance = {0.5f, 0.2f, 0.2f};
  ASSERT_TRUE(PruneInputStep(*net_, tally_));
  EXPECT_TRUE(IsSynapseRemoved(*net_, 0, 0, 1));
  EXPECT_TRUE(IsSynapseRemoved(*net_, 0, 1, 1));
  EXPECT_EQ(tally_.removed_synapses, 2);

  ASSERT_TRUE(PruneInputStep(*net_, tally_));  // input 1 is no candidate any more
  EXPECT_TRUE(IsSynapseRemoved(*net_, 0, 0, 2));
  EXPECT_EQ(tally_.removed_synapses, 4);

  RemoveSynapse(*net_, 0, 0, 0);
  ASSERT_TRUE(PruneInputStep(*net_, tally_));  // only what is left is counted
  EXPECT_EQ(tally_.removed_synapses, 5);
  EXPECT_FALSE(PruneInputStep(*net_, tally_));
}

TEST_F(PruningStepTest, NeuronStepSkipsZeroIndicatorsAndCutsOnlyOutgoingSynapses) {
  net_->NeuronSignificance = {0.0f, 0.3f};
  ASSERT_TRUE(PruneNeuronStep(*net_, tally_));
  EXPECT_EQ(tally_.removed_synapses, 1);
  EXPECT_EQ(net_->ParamFlags[11], kRemovedSynapseFlags);
  EXPECT_EQ(net_->ParamFlags[10], kSynapseFlags);
  EXPECT_EQ(net_->ParamFlags[5], kSynapseFlags);  // incoming ones go in the clean-up
  net_->NeuronSignificance = {0.0f, 0.0f};
  EXPECT_FALSE(PruneNeuronStep(*net_, tally_));
}

TEST_F(PruningStepTest, UniformStepThinsTheWidestNeuronDownToN) {
  net_->NumOfSymptoms = 3;  // the fan-in: nothing to do
  EXPECT_FALSE(UniformStep(*net_, tally_));

  net_->NumOfSymptoms = 2;
  net_->ParamSignificance[4] = 0.1f;  // equal widths: the weaker neuron 1 goes first
  ASSERT_TRUE(UniformStep(*net_, tally_));
  EXPECT_EQ(net_->ParamFlags[4], kRemovedSynapseFlags);
  ASSERT_TRUE(UniformStep(*net_, tally_));  // now neuron 0 is the widest
  EXPECT_EQ(net_->ParamFlags[0], kRemovedSynapseFlags);
  EXPECT_FALSE(UniformStep(*net_, tally_));
}

// 2 inputs, hidden (2, 2), 1 output: layer 0 weights 0..3 (j * 2 + k), [c, b]
// 4..7; layer 1 weights 8..11, [c, b] 12..15; output weights 16, 17, bias 18.
// Every indicator is 1 unless a case says otherwise; 1.5 * 0.33333334f and
// 3 * 0.33333334f are just above 0.5 and 1 in double but equal to them in
// single precision, where indicators are compared.
TEST(PruningStepOrderTest, TakesTheSmallestIndicatorFirstInLayerTargetSourceOrder) {
  using Step = bool (*)(NeuralNet&, StepTally&);
  struct Setting {
    int32_t param;
    float value;
    float significance;
  };
  struct Case {
    const char* what;
    Step step;
    std::vector<Setting> settings;
    std::vector<float> neuron_significance;  // empty: all 1
    std::vector<int32_t> expected_removed;
  };
  const float third = 1.0f / 3.0f;
  const Case cases[] = {
      {"synapse: the first layer before the second",
       &PruneSynapseStep,
       {{9, 1, 0.5f}, {3, 1, 0.5f}},
       {},
       {3}},
      {"synapse: target before source", &PruneSynapseStep, {{2, 1, 0.5f}, {1, 1, 0.5f}}, {}, {1}},
      {"synapse: outputs and biases are no candidates",
       &PruneSynapseStep,
       {{16, 1, 0}, {5, 1, 0}, {11, 1, 0.5f}},
       {},
       {11}},
      {"synapse: equal in single precision",
       &PruneSynapseStep,
       {{0, third, 3}, {1, 1, 1}},
       {},
       {0}},
      {"bias: hidden layers in order", &PruneBiasStep, {{15, 1, 0.5f}, {13, 1, 0.5f}}, {}, {13}},
      {"bias: the output bias is no candidate",
       &PruneBiasStep,
       {{18, 1, 0}, {7, 1, 0.5f}},
       {},
       {7}},
      {"bias: equal in single precision",
       &PruneBiasStep,
       {{7, third, 1.5f}, {13, 1, 0.5f}},
       {},
       {7}},
      {"neuron: a zero indicator is skipped", &PruneNeuronStep, {}, {0, 0.3f, 0.3f, 0.2f}, {17}},
      {"neuron: first layer's neuron cut from the second layer",
       &PruneNeuronStep,
       {},
       {0.5f, 0.3f, 0.3f, 0.4f},
       {9, 11}},
      {"uniform: equal widths, weaker neuron",
       &UniformStep,
       {{0, 1, 2}, {1, 1, 2}, {2, 1, 2}, {3, 1, 0.5f}, {8, 1, 0.7f}},
       {},
       {3}},
      {"uniform: weakest equal in single precision, first neuron",
       &UniformStep,
       {{0, 1, 2},
        {1, third, 3},
        {2, 1, 2},
        {3, 1, 1},
        {8, 1, 2},
        {9, 1, 2},
        {10, 1, 2},
        {11, 1, 2}},
       {},
       {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto net = EvenNet(SimpleShape(2, {2, 2}, 1));
    net->NumOfSymptoms = 1;
    for (const Setting& setting : c.settings) {
      net->Parameters[setting.param] = setting.value;
      net->ParamSignificance[setting.param] = setting.significance;
    }
    if (!c.neuron_significance.empty()) net->NeuronSignificance = c.neuron_significance;
    const std::vector<int32_t> before = net->ParamFlags;
    StepTally tally;
    ASSERT_TRUE(c.step(*net, tally));
    std::vector<int32_t> removed;
    for (int32_t p = 0; p < net->NumOfParameters; ++p) {
      if (net->ParamFlags[p] != before[p]) removed.push_back(p);
    }
    EXPECT_EQ(removed, c.expected_removed);
  }
}

TEST(PruningStepOrderTest, UniformPrefersTheWidestNeuronOverAWeakerSynapse) {
  auto net = EvenNet(SimpleShape(2, {2, 2}, 1));
  net->NumOfSymptoms = 1;
  RemoveSynapse(*net, 1, 0, 0);       // layer-1 neuron 0 keeps one synapse
  net->ParamSignificance[9] = 0.01f;  // its weakest by far
  net->ParamSignificance[11] = 0.5f;  // layer-1 neuron 1: two synapses
  net->ParamSignificance[0] = 0.6f;
  StepTally tally;
  ASSERT_TRUE(UniformStep(*net, tally));
  EXPECT_EQ(net->ParamFlags[11], kRemovedSynapseFlags);
  EXPECT_EQ(net->ParamFlags[9], kSynapseFlags);
}

TEST(PruningStepOrderTest, UniformLeavesOutputNeuronsAlone) {
  // The output has three synapses, each hidden neuron two: were outputs
  // counted, the output would be the widest neuron.
  auto net = EvenNet(SimpleShape(2, {3}, 1));
  net->NumOfSymptoms = 2;
  StepTally tally;
  EXPECT_FALSE(UniformStep(*net, tally));
  net->NumOfSymptoms = 1;
  net->ParamSignificance[13] = 0.01f;  // the output's weakest synapse, weaker than any
  const std::vector<int32_t> before = net->ParamFlags;
  ASSERT_TRUE(UniformStep(*net, tally));
  EXPECT_EQ(net->ParamFlags[13], kSynapseFlags);
  EXPECT_EQ(net->ParamFlags[0], kRemovedSynapseFlags);
  int changed = 0;
  for (int32_t p = 0; p < net->NumOfParameters; ++p) changed += net->ParamFlags[p] != before[p];
  EXPECT_EQ(changed, 1);
}

class RemoveDeadElementsTest : public testing::Test {
 protected:
  ProjectOptions options_;
  testing_support::RecordingHost host_;
  NullTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
  StepTally tally_;
};

// 2 inputs, hidden (2, 2), 1 output: layer 0 weights 0..3 and [c, b] 4..7;
// layer 1 weights 8..11 and [c, b] 12..15; output weights 16, 17, bias 18.
TEST_F(RemoveDeadElementsTest, ANeuronOutputtingZeroIsCountedOnce) {
  auto net = EvenNet(SimpleShape(2, {2, 2}, 1));
  RemoveSynapse(*net, 1, 0, 0);
  RemoveSynapse(*net, 1, 0, 1);
  RemoveBias(*net, 1, 0);
  for (int call = 0; call < 2; ++call) RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(net->ParamFlags[16], kRemovedSynapseFlags);
  EXPECT_EQ(net->NumOfPrunedNeurons, 1);
  EXPECT_EQ(net->RunPrunedNeurons, 1);
  EXPECT_EQ(net->NumOfPrunedSynapses, 1);
  EXPECT_EQ(net->RunPrunedSynapses, 1);
}

TEST_F(RemoveDeadElementsTest, DeadNeuronsKillTheirFeedersInTheSameCall) {
  auto net = EvenNet(SimpleShape(2, {2, 2}, 1));
  net->ParamFlags[10] = kBinarizedSynapseFlags;
  RemoveSynapse(*net, 2, 0, 1);  // layer-1 neuron 1 feeds nothing
  RemoveSynapse(*net, 1, 0, 0);  // layer-0 neuron 0 then feeds nothing either
  RemoveDeadElements(*net, context_, tally_);
  for (int32_t p : {10, 11, 0, 1}) EXPECT_EQ(net->ParamFlags[p], kRemovedSynapseFlags) << p;
  for (int32_t p : {15, 5}) EXPECT_EQ(net->ParamFlags[p], kRemovedBiasFlags) << p;
  EXPECT_EQ(net->NumOfPrunedNeurons, 2);
  EXPECT_EQ(net->NumOfPrunedSynapses, 6);
  EXPECT_EQ(tally_.removed_binarized, 1);
  EXPECT_EQ(net->NumOfPrunedInputs, 0);  // both inputs still feed neuron 1 of layer 0
}

TEST_F(RemoveDeadElementsTest, RetiresStatesThenFieldsAndCountsEachOnce) {
  NetShape shape;
  FieldSpec discrete;
  discrete.states = 3;
  shape.inputs = {discrete, FieldSpec{}};
  shape.hidden = {2};
  shape.outputs = {FieldSpec{}};
  auto net = EvenNet(shape);  // signals 0..2: the states; 3: the continuous field
  auto strip = [&](int signal) {
    for (int j = 0; j < 2; ++j) RemoveSynapse(*net, 0, j, signal);
  };
  const FieldDescription& states = net->Desc.Fields[0];
  const FieldDescription& continuous = net->Desc.Fields[1];

  strip(1);
  RemoveDeadElements(*net, context_, tally_);
  RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(states.StateMask, 0xfffdu);
  EXPECT_EQ(states.Usage, FieldUsage::Input);
  EXPECT_EQ(net->NumOfPrunedInputs, 1);

  strip(0);
  strip(2);
  RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(states.StateMask, 0xfff8u);
  EXPECT_EQ(states.Usage, FieldUsage::NotUsed);
  EXPECT_EQ(net->NumOfPrunedInputs, 3);

  strip(3);
  RemoveDeadElements(*net, context_, tally_);
  RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(continuous.Usage, FieldUsage::NotUsed);
  EXPECT_EQ(net->NumOfPrunedInputs, 4);
  EXPECT_EQ(net->RunPrunedInputs, 4);
  EXPECT_EQ(net->NumOfPrunedNeurons, 0);  // the biases keep both neurons alive
}

TEST_F(RemoveDeadElementsTest, FieldsWithoutSignalsAreSkippedWhenFindingTheRetiredField) {
  // Signals belong to input and retired fields only, as the coding lays
  // them out; a field that is not numeric and an output before the inputs
  // have none.
  auto net = EvenNet(SimpleShape(2, {2}, 1));
  FieldDescription text_field = net->Desc.Fields[0];
  text_field.Name = "NOTE";
  text_field.Usage = FieldUsage::NotNumeric;
  FieldDescription output = net->Desc.Fields[2];
  net->Desc.Fields.insert(net->Desc.Fields.begin(), {text_field, output});
  for (int j = 0; j < 2; ++j) RemoveSynapse(*net, 0, j, 1);
  RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(net->Desc.Fields[0].Usage, FieldUsage::NotNumeric);
  EXPECT_EQ(net->Desc.Fields[2].Usage, FieldUsage::Input);
  EXPECT_EQ(net->Desc.Fields[3].Usage, FieldUsage::NotUsed);
  EXPECT_EQ(net->NumOfPrunedInputs, 1);
}

TEST_F(RemoveDeadElementsTest, StatesBeyondTheSixteenthAreNeverRetiredOnTheirOwn) {
  NetShape shape;
  FieldSpec many;
  many.states = 18;
  shape.inputs = {many};
  shape.hidden = {1};
  shape.outputs = {FieldSpec{}};
  auto net = EvenNet(shape);
  net->Desc.Fields[0].StateMask = 0xffffffffu;
  for (int s = 0; s < 16; ++s) RemoveSynapse(*net, 0, 0, s);
  RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(net->Desc.Fields[0].StateMask, 0u);
  EXPECT_EQ(net->Desc.Fields[0].Usage, FieldUsage::NotUsed);
  EXPECT_EQ(net->NumOfPrunedInputs, 16);

  RemoveSynapse(*net, 0, 0, 16);
  RemoveSynapse(*net, 0, 0, 17);
  RemoveDeadElements(*net, context_, tally_);
  EXPECT_EQ(net->NumOfPrunedInputs, 16);
}

TEST_F(RemoveDeadElementsTest, ARetiredInputLetsItsIncompleteRecordsInOnlyWhenExtending) {
  const NetShape shape = SimpleShape(2, {2}, 1);
  auto table = testing_support::MemoryTable::FromNumbers(
      testing_support::FieldNames(shape),
      {{0.5, 0.1, 0.2}, {std::nullopt, -0.3, 0.4}, {-0.5, 0.7, -0.2}});
  context_.table = &table;
  for (int32_t extend : {0, 1}) {
    SCOPED_TRACE(extend);
    options_.ExtendTaskbook = extend;
    auto net = EvenNet(shape);
    net->InPruning = 1;  // as inside a run: the training leaves the window alone
    ASSERT_TRUE(PrepareTaskBook(*net, context_));
    ASSERT_EQ(net->Book->Count(), 2u);
    for (int j = 0; j < 2; ++j) RemoveSynapse(*net, 0, j, 0);
    RemoveDeadElements(*net, context_, tally_);
    EXPECT_EQ(net->Desc.Fields[0].Usage, FieldUsage::NotUsed);
    ASSERT_NE(net->Book, nullptr);
    EXPECT_EQ(net->Book->Count(), extend ? 3u : 2u);
  }
}

TEST(PruningCountersTest, ShowsRunTotalAndOfFigures) {
  NeuralNet net;
  net.InitialInputs = 4;
  net.InitialSynapses = 40;
  net.NumOfHiddenNeurons = 5;
  net.RunPrunedSynapses = 3;
  net.NumOfPrunedSynapses = 8;
  net.NumOfBinSynapses = 2;
  net.RunPrunedInputs = 1;
  net.NumOfPrunedInputs = 1;
  testing_support::RecordingTrainingView view;
  ShowCounters(net, view);
  EXPECT_EQ(view.Label(TrainingLabel::kNumOfPrunedSynapses), "3 (8 из 40)");
  EXPECT_EQ(view.Label(TrainingLabel::kNumOfBinSynapses), "0 (2 из 32)");
  EXPECT_EQ(view.Label(TrainingLabel::kNumOfPrunedInputs), "1 (1 из 4)");
  EXPECT_EQ(view.Label(TrainingLabel::kNumOfPrunedNeurons), "0 (0 из 5)");
  EXPECT_EQ(FormatCounter(-1, 12, 0), "-1 (12 из 0)");
}

TEST(PruningCountersTest, TotalsFromADamagedProjectStopAtTheEndsOfTheirRange) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  ProjectOptions options;
  options.BinaryWeightSet = 0;
  SilentHost host;
  NullTrainingView view;
  EngineContext context{options, nullptr, host, view};
  auto net = EvenNet(SimpleShape(2, {2}, 1));
  net->NumOfPrunedSynapses = kMin;
  net->NumOfBinSynapses = kMin;
  net->Parameters[0] = 0.5f;
  net->ParamFlags[0] = kBinarizedSynapseFlags;  // off set 0: released
  RecheckBinarized(*net, context);
  EXPECT_EQ(net->NumOfBinSynapses, kMin);
  EXPECT_EQ(CounterLabels(*net)[3].text,
            "0 (" + std::to_string(kMin) + " из " + std::to_string(kMax) + ")");

  net->NumOfPrunedSynapses = kMax;
  net->NumOfPrunedNeurons = kMax;
  net->NumOfPrunedInputs = kMax;
  for (int j = 0; j < 2; ++j) RemoveSynapse(*net, 1, 0, j);  // output cut off: all dead
  StepTally tally;
  RemoveDeadElements(*net, context, tally);
  EXPECT_EQ(net->NumOfPrunedSynapses, kMax);
  EXPECT_EQ(net->NumOfPrunedNeurons, kMax);
  EXPECT_EQ(net->NumOfPrunedInputs, kMax);
  EXPECT_EQ(net->RunPrunedSynapses, 6);
  EXPECT_EQ(CounterLabels(*net)[3].text,
            "0 (" + std::to_string(kMin) + " из " + std::to_string(9 - kMax) + ")");
}

TEST(UniformDialogTest, AcceptsIntegersFromOneToHundredOnly) {
  struct Case {
    const char* text;
    int32_t expected;  // 0: refused
  };
  const Case cases[] = {{"1", 1},   {"100", 100}, {"7", 7},  {" 12", 12},
                        {"0", 0},   {"101", 0},   {"-3", 0}, {"", 0},
                        {"abc", 0}, {"3.5", 0},   {"4x", 0}, {"99999999999999999999", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    NeuralNet net;
    net.NumOfSymptoms = 3;
    testing_support::RecordingHost host;
    const bool accepted = AcceptNumOfSymptoms(net, c.text, host);
    EXPECT_EQ(accepted, c.expected != 0);
    EXPECT_EQ(net.NumOfSymptoms, accepted ? c.expected : 3);
    ASSERT_EQ(host.messages.size(), accepted ? 0u : 1u);
    if (!accepted) {
      EXPECT_EQ(host.messages[0].text, "Неверное число приходящих на нейрон сигналов");
      EXPECT_EQ(host.messages[0].caption, "Ошибка");
    }
  }
}

}  // namespace
}  // namespace velmar
