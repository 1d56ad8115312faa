#include "core/engine/perturb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/base/random.h"
#include "tests/support/recording_host.h"

namespace velmar {
namespace {

using testing_support::RecordingHost;

struct ParamCase {
  float value;
  float lower;
  float upper;
  int32_t flags;
};

// One parameter of every kind the perturbation must tell apart.
const std::vector<ParamCase> kParams = {
    {0.5f, -1e30f, 1e30f, kSynapseFlags},       {-0.3f, -1e30f, 1e30f, kBiasFlags},
    {0.95f, -1e30f, 1.0f, kSynapseFlags},  // near its upper bound
    {0.0f, 0.0f, 1e30f, kSynapseFlags},    // monotone: never negative
    {0.0f, -1e30f, 0.0f, kSynapseFlags},   // monotone: never positive
    {0.1f, 0.1f, 0.1f, kCharacteristicFlags},   {0.0f, 0.0f, 0.0f, kRemovedSynapseFlags},
    {0.0f, 0.0f, 0.0f, kRemovedBiasFlags},      {1.0f, 1.0f, 1.0f, kBinarizedSynapseFlags},
    {-1.0f, -1.0f, -1.0f, kBinarizedBiasFlags},
};

std::unique_ptr<NeuralNet> MakeNet(const std::vector<ParamCase>& params) {
  auto owner = std::make_unique<NeuralNet>();
  NeuralNet& net = *owner;
  for (const ParamCase& p : params) {
    net.Parameters.push_back(p.value);
    net.LowerBounds.push_back(p.lower);
    net.UpperBounds.push_back(p.upper);
    net.ParamFlags.push_back(p.flags);
  }
  net.NumOfParameters = static_cast<int32_t>(params.size());
  net.SavedParameters.assign(params.size(), 0.0f);
  return owner;
}

class PerturbTest : public testing::Test {
 protected:
  void SetUp() override { SetCurrentClock(&clock_); }
  void TearDown() override { SetCurrentClock(nullptr); }
  FixedClock clock_{1234567};
};

TEST_F(PerturbTest, MovesOnlyTrainableParametersByTheReseededVector) {
  for (const float level : {0.001f, 0.37f, 1.0f}) {
    SCOPED_TRACE(level);
    auto owner = MakeNet(kParams);
    NeuralNet& net = *owner;
    Perturb(net, level);
    // r * 0.2 / 32767 - 0.1 worked by hand for the values r of second 1234567.
    const float u[] = {-0.019180883f, 0.059123509f, -0.075054169f, 0.0093417158f, -0.048442028f,
                       -0.060216069f, 0.08700522f,  -0.042619098f, -0.064305551f, 0.040299691f};
    ASSERT_EQ(std::size(u), kParams.size());
    for (size_t i = 0; i < kParams.size(); ++i) {
      const ParamCase& p = kParams[i];
      const float r = u[i];
      EXPECT_EQ(net.SavedParameters[i], r) << i;
      const float moved = net.Parameters[i];
      EXPECT_GE(moved, p.lower) << i;
      EXPECT_LE(moved, p.upper) << i;
      if ((p.flags & pfTrainable) == 0) {
        EXPECT_EQ(moved, p.value) << "parameter " << i << " must not move";
        continue;
      }
      EXPECT_LE(std::fabs(moved - p.value), 0.1f * level + 1e-6f) << i;
      const float expected = std::clamp(p.value + level * r, p.lower, p.upper);
      EXPECT_EQ(moved, expected) << i;
    }
  }
}

TEST_F(PerturbTest, LevelZeroOnlyClampsWhatLiesOutsideItsBounds) {
  auto owner = MakeNet({{2.0f, -1.0f, 1.0f, kSynapseFlags},
                        {-5.0f, -1.0f, 1.0f, kCharacteristicFlags},
                        {std::numeric_limits<float>::quiet_NaN(), -0.5f, 0.5f, kBiasFlags},
                        {0.25f, -1.0f, 1.0f, kSynapseFlags}});
  NeuralNet& net = *owner;
  Perturb(net, 0.0f);
  EXPECT_EQ(net.Parameters, (std::vector<float>{1.0f, -1.0f, -0.5f, 0.25f}));
}

TEST_F(PerturbTest, SameSecondGivesTheSameShiftAndAnotherSecondAnother) {
  const std::vector<ParamCase> params(40, ParamCase{0.0f, -1.0f, 1.0f, kSynapseFlags});
  auto first = MakeNet(params);
  auto second = MakeNet(params);
  Perturb(*first, 0.5f);
  Perturb(*second, 0.5f);
  EXPECT_EQ(first->Parameters, second->Parameters);
  clock_.Set(1234568);
  auto third = MakeNet(params);
  Perturb(*third, 0.5f);
  EXPECT_NE(first->Parameters, third->Parameters);
}

TEST(ParseBumpLevelTest, AcceptsLevelsFromZeroToOneOnly) {
  struct Case {
    const char* text;
    char separator;
    bool accepted;
    float value;
  };
  const Case cases[] = {
      {"0", '.', true, 0.0f},     {"1", '.', true, 1.0f},     {"0.01", '.', true, 0.01f},
      {"0,25", ',', true, 0.25f}, {" 0.5 ", '.', true, 0.5f}, {"1e-1", '.', true, 0.1f},
      {"-0.5", '.', false, 0},    {"1.5", '.', false, 0},     {"1.0000001", '.', false, 0},
      {"abc", '.', false, 0},     {"", '.', false, 0},        {"0.5x", '.', false, 0},
      {"nan", '.', false, 0},     {"0,5", '.', false, 0},     {"+0.5", '.', true, 0.5f},
      {"+-0.5", '.', false, 0},   {"+", '.', false, 0},       {"++1", '.', false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RecordingHost host;
    host.separator = c.separator;
    const std::optional<float> level = ParseBumpLevel(c.text, host);
    ASSERT_EQ(level.has_value(), c.accepted);
    if (c.accepted) {
      EXPECT_FLOAT_EQ(*level, c.value);
      EXPECT_TRUE(host.messages.empty());
    } else {
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].text, "Уровень возмущений должен лежать в диапазоне от 0 до 1");
      EXPECT_EQ(host.messages[0].caption, "Неверное значение");
    }
  }
}

TEST(ParseBumpLevelTest, DefaultTextUsesTheSeparator) {
  EXPECT_EQ(DefaultBumpLevelText('.'), "0.01");
  EXPECT_EQ(DefaultBumpLevelText(','), "0,01");
}

}  // namespace
}  // namespace velmar
