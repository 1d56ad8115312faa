#include "core/simplify/binarization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/base/random.h"
#include "core/simplify/significance.h"
#include "tests/support/net_builders.h"

namespace velmar {
namespace {

using testing_support::MakeNet;
using testing_support::SimpleShape;

// 2 inputs, one hidden layer of 2, 1 output: parameters 0..3 hidden weights,
// 4..7 [c, b] pairs, 8..9 output weights, 10 output bias.
class BinarizationTest : public testing::Test {
 protected:
  void SetUp() override {
    net_ = MakeNet(SimpleShape(2, {2}, 1), 9);
    for (int32_t p = 0; p < net_->NumOfParameters; ++p) {
      if ((net_->ParamFlags[p] & pfCharacteristic) != 0) continue;
      net_->Parameters[p] = 0.05f * float(p + 1) + 0.01f;  // on no level
      net_->ParamSignificance[p] = 10.0f;
    }
  }

  std::unique_ptr<NeuralNet> net_;
  ProjectOptions options_;
  SilentHost host_;
  NullTrainingView view_;
  EngineContext context_{options_, nullptr, host_, view_};
};

TEST_F(BinarizationTest, ChoosesTheCheapestMoveWithTiesToTheFirstCandidateAndLevel) {
  struct Case {
    const char* what;
    int set;
    int32_t param;  // gets `value` and `significance`; the others cost more
    float value;
    float significance;
    float expected_value;
    int32_t expected_flags;
  };
  const Case cases[] = {
      {"a weight on a level costs 0 and keeps its value", 1, 2, 0.5f, 10.0f, 0.5f, 5},
      {"a negative weight on a level", 1, 9, -0.5f, 10.0f, -0.5f, 5},
      {"zero gradient modulus: +1 whatever the value", 0, 3, -0.9f, 0.0f, 1.0f, 5},
      {"a zero weight is as far from +1 as from -1: +1", 0, 1, 0.0f, 0.01f, 1.0f, 5},
      {"halfway between 0.25 and 0.5: the earlier level", 2, 0, 0.375f, 0.01f, 0.25f, 5},
      {"hidden bias", 1, 5, 1.0f, 10.0f, 1.0f, 21},
      {"output bias", 3, 10, -0.3f, 10.0f, -0.3f, 21},
      {"output synapse", 3, 8, 0.7f, 10.0f, 0.7f, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    options_.BinaryWeightSet = c.set;
    net_->Parameters[c.param] = c.value;
    net_->ParamSignificance[c.param] = c.significance;
    const std::vector<float> before = net_->Parameters;
    const std::vector<int32_t> flags_before = net_->ParamFlags;

    ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
    EXPECT_EQ(net_->Parameters[c.param], c.expected_value);
    EXPECT_EQ(net_->ParamFlags[c.param], c.expected_flags);
    for (int32_t p = 0; p < net_->NumOfParameters; ++p) {
      if (p == c.param) continue;
      EXPECT_EQ(net_->Parameters[p], before[p]) << p;
      EXPECT_EQ(net_->ParamFlags[p], flags_before[p]) << p;
    }
  }
}

TEST_F(BinarizationTest, LevelTablesInTheirOrder) {
  // A weight without gradient costs 0 at every level and takes the first
  // level of its set, +1, in every set.
  for (int set = 0; set < 4; ++set) {
    SCOPED_TRACE(set);
    SetUp();
    options_.BinaryWeightSet = set;
    net_->Parameters[3] = -0.3f;
    net_->ParamSignificance[3] = 0.0f;
    ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
    EXPECT_EQ(net_->Parameters[3], 1.0f);
  }
  // Halfway between two levels: the one earlier in the table wins.
  struct Tie {
    int set;
    float value;
    float expected;
  };
  const Tie ties[] = {
      {1, 0.75f, 1.0f}, {1, -0.75f, -1.0f},  // 1 comes before 0.5
      {3, 0.95f, 1.0f},                      // 1 comes before 0.9
      {3, 0.75f, 0.7f}, {3, -0.75f, -0.7f},  // 0.7 before 0.8
  };
  for (const Tie& t : ties) {
    SCOPED_TRACE(testing::Message() << t.set << " " << t.value);
    SetUp();
    options_.BinaryWeightSet = t.set;
    net_->Parameters[8] = t.value;
    net_->ParamSignificance[8] = 0.01f;
    ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
    EXPECT_EQ(net_->Parameters[8], t.expected);
  }
  // Every level of the finest set: a weight already on it stays there.
  const float tenths[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
  for (const float level : tenths) {
    SCOPED_TRACE(level);
    SetUp();
    options_.BinaryWeightSet = 3;
    for (float& s : net_->ParamSignificance) s = 1000.0f;
    net_->Parameters[9] = -level;
    net_->ParamSignificance[9] = 1.0f;
    ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
    EXPECT_EQ(net_->Parameters[9], -level);
    EXPECT_EQ(net_->ParamFlags[9], kBinarizedSynapseFlags);
  }
}

TEST_F(BinarizationTest, AmongZeroCostCandidatesTheFirstInParameterOrderWins) {
  net_->ParamSignificance[7] = 0;
  net_->ParamSignificance[2] = 0;
  ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
  EXPECT_EQ(net_->ParamFlags[2], kBinarizedSynapseFlags);
  EXPECT_EQ(net_->ParamFlags[7], kBiasFlags);
}

TEST_F(BinarizationTest, CostsThatDifferOnlyBeyondSinglePrecisionTieAndTheFirstWins) {
  // |0.25 - 1| * 1.3333334f is a little above 1 in double but 1 in float32,
  // the same as |0 - 1| * 1 of the later parameter.
  options_.BinaryWeightSet = 0;
  net_->Parameters[1] = 0.25f;
  net_->ParamSignificance[1] = 4.0f / 3.0f;
  net_->Parameters[2] = 0.0f;
  net_->ParamSignificance[2] = 1.0f;
  ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
  EXPECT_EQ(net_->ParamFlags[1], kBinarizedSynapseFlags);
  EXPECT_EQ(net_->Parameters[1], 1.0f);
  EXPECT_EQ(net_->ParamFlags[2], kSynapseFlags);
}

TEST_F(BinarizationTest, NeverMovesAWeightToALevelItsBoundsForbid) {
  // A monotone net's inhibiting weights are held at or below 0; a level of
  // the wrong sign would be clamped to 0 by the next line search.
  struct Case {
    const char* what;
    float value;
    float significance;
    float lower, upper;
    float expected;
  };
  const Case cases[] = {
      {"inhibiting weight at 0: -1, although +1 is tried first", 0.0f, 0.01f, -1, 0, -1.0f},
      {"inhibiting weight without gradient", -0.2f, 0.0f, -1, 0, -1.0f},
      {"exciting weight at 0 keeps +1", 0.0f, 0.01f, 0, 1, 1.0f},
      {"free weight at 0 keeps +1", 0.0f, 0.01f, -1, 1, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    options_.BinaryWeightSet = 0;
    net_->Parameters[8] = c.value;
    net_->ParamSignificance[8] = c.significance;
    net_->LowerBounds[8] = c.lower;
    net_->UpperBounds[8] = c.upper;
    ASSERT_TRUE(BinarizeOneWeight(*net_, context_));
    EXPECT_EQ(net_->ParamFlags[8], kBinarizedSynapseFlags);
    EXPECT_EQ(net_->Parameters[8], c.expected);
  }
  // A weight no level fits is no candidate at all.
  SetUp();
  for (int32_t p = 0; p < net_->NumOfParameters; ++p) {
    net_->LowerBounds[p] = 0.1f;
    net_->UpperBounds[p] = 0.2f;
  }
  options_.BinaryWeightSet = 1;
  EXPECT_FALSE(BinarizeOneWeight(*net_, context_));
}

TEST_F(BinarizationTest, SkipsCharacteristicsRemovedAndBinarizedAndEndsWithoutCandidates) {
  // Characteristics cost nothing here but are never candidates.
  net_->ParamSignificance[4] = 0;
  int binarized = 0;
  while (BinarizeOneWeight(*net_, context_)) {
    ++binarized;
    if (binarized == 1) RemoveSynapse(*net_, 0, 1, 1);  // parameter 3
  }
  EXPECT_EQ(binarized, 8);  // 11 parameters - 2 characteristics - 1 removed
  for (int32_t p = 0; p < net_->NumOfParameters; ++p) {
    const int32_t f = net_->ParamFlags[p];
    if (p == 4 || p == 6) {
      EXPECT_EQ(f, kCharacteristicFlags);
    } else if (p == 3) {
      EXPECT_EQ(f, kRemovedSynapseFlags);
    } else {
      EXPECT_TRUE(f == kBinarizedSynapseFlags || f == kBinarizedBiasFlags) << p;
      EXPECT_EQ(std::fabs(net_->Parameters[p]), 1.0f) << p;
    }
  }
}

TEST_F(BinarizationTest, RecheckReleasesWhatIsOffTheNewSetAndKeepsTheRest) {
  options_.BinaryWeightSet = 2;
  const float values[] = {0.25f, -0.5f, 0.75f, -1.0f};
  const int32_t params[] = {0, 5, 9, 10};  // synapse, hidden bias, output synapse, output bias
  for (int i = 0; i < 4; ++i) {
    net_->Parameters[params[i]] = values[i];
    net_->ParamFlags[params[i]] =
        (net_->ParamFlags[params[i]] & pfBias) ? kBinarizedBiasFlags : kBinarizedSynapseFlags;
  }
  net_->NumOfBinSynapses = 4;

  RecheckBinarized(*net_, context_);  // same set: nothing moves
  EXPECT_EQ(net_->NumOfBinSynapses, 4);

  options_.BinaryWeightSet = 0;
  RecheckBinarized(*net_, context_);
  EXPECT_EQ(net_->NumOfBinSynapses, 1);
  EXPECT_EQ(net_->ParamFlags[0], kSynapseFlags);
  EXPECT_EQ(net_->ParamFlags[5], kBiasFlags);
  EXPECT_EQ(net_->ParamFlags[9], kSynapseFlags);
  EXPECT_EQ(net_->ParamFlags[10], kBinarizedBiasFlags);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(net_->Parameters[params[i]], values[i]);
}

TEST_F(BinarizationTest, RemovingCountsOnlyBinarizedParameters) {
  int32_t removed_binarized = 0;
  net_->ParamFlags[2] = kBinarizedSynapseFlags;
  net_->ParamFlags[10] = kBinarizedBiasFlags;
  RemoveSynapse(*net_, 0, 1, 0, &removed_binarized);  // parameter 2
  RemoveSynapse(*net_, 0, 0, 1, &removed_binarized);  // parameter 1
  RemoveBias(*net_, 1, 0, &removed_binarized);        // parameter 10
  RemoveBias(*net_, 0, 1, &removed_binarized);        // parameter 7
  EXPECT_EQ(removed_binarized, 2);
  for (int32_t p : {1, 2}) {
    EXPECT_EQ(net_->Parameters[p], 0.0f);
    EXPECT_EQ(net_->ParamFlags[p], kRemovedSynapseFlags);
  }
  for (int32_t p : {7, 10}) {
    EXPECT_EQ(net_->Parameters[p], 0.0f);
    EXPECT_EQ(net_->ParamFlags[p], kRemovedBiasFlags);
  }
  EXPECT_TRUE(IsSynapseRemoved(*net_, 0, 1, 0));
  EXPECT_TRUE(IsBiasRemoved(*net_, 1, 0));
  EXPECT_FALSE(IsBiasRemoved(*net_, 0, 0));
}

}  // namespace
}  // namespace velmar
