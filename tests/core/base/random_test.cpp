#include "core/base/random.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

TEST(Random15Test, FollowsTheLinearCongruence) {
  Random15 random(0);
  // state 1 -> 1 >> 16 = 0; state 22695478 -> 346 ...
  EXPECT_EQ(random.Next(), 0);
  EXPECT_EQ(random.state(), 1u);
  EXPECT_EQ(random.Next(), static_cast<int>((22695478u >> 16) & 0x7FFF));
  uint32_t state = 22695478u;
  for (int i = 0; i < 1000; ++i) {
    state = state * 22695477u + 1u;
    const int value = random.Next();
    ASSERT_EQ(value, static_cast<int>((state >> 16) & 0x7FFF));
    ASSERT_GE(value, 0);
    ASSERT_LE(value, Random15::kMax);
  }
}

TEST(Random15Test, UniformTenthStaysInRange) {
  Random15 random(12345);
  for (int i = 0; i < 10000; ++i) {
    const float v = random.NextUniformTenth();
    ASSERT_GE(v, -0.1f);
    ASSERT_LE(v, 0.1f);
  }
}

TEST(Random15Test, SameSecondGivesTheSameFill) {
  FixedClock clock(1700000000);
  auto fill = [&] {
    Random15 random;
    random.SeedFromClock(clock);
    std::vector<float> v(50);
    for (float& x : v) x = random.NextUniformTenth();
    return v;
  };
  const auto first = fill();
  EXPECT_EQ(first, fill());
  clock.Set(1700000001);
  EXPECT_NE(first, fill());
}

TEST(ClockTest, CurrentClockCanBeFixedAndRestored) {
  FixedClock fixed(42);
  SetCurrentClock(&fixed);
  EXPECT_EQ(CurrentClock().NowSeconds(), 42);
  SetCurrentClock(nullptr);
  EXPECT_GT(CurrentClock().NowSeconds(), 1600000000);
}

}  // namespace
}  // namespace velmar
