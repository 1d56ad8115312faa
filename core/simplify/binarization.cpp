#include "core/simplify/binarization.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/data/data_description.h"
#include "core/simplify/counters.h"

namespace velmar {
namespace {

constexpr std::array<float, 1> kLevels0 = {1.0f};
constexpr std::array<float, 2> kLevels1 = {1.0f, 0.5f};
constexpr std::array<float, 4> kLevels2 = {1.0f, 0.25f, 0.5f, 0.75f};
constexpr std::array<float, 10> kLevels3 = {1.0f, 0.1f, 0.2f, 0.3f, 0.4f,
                                            0.5f, 0.6f, 0.7f, 0.8f, 0.9f};

bool IsCandidate(int32_t flags) { return (flags & pfAdjustable) != 0 && (flags & pfFixed) == 0; }

bool IsBinarized(int32_t flags) { return (flags & pfFixed) != 0 && (flags & pfAdjustable) != 0; }

int CurrentSet(const EngineContext& context) { return context.options.BinaryWeightSet; }

// The first-order cost of moving w by `move`, rounded once to single precision.
float MoveCost(double move, float significance) {
  return static_cast<float>(std::fabs(move * static_cast<double>(significance)));
}

}  // namespace

std::span<const float> BinaryLevels(int set) {
  switch (set) {
    case 0:
      return kLevels0;
    case 1:
      return kLevels1;
    case 2:
      return kLevels2;
    case 3:
      return kLevels3;
    default:
      return {};
  }
}

bool BinarizeOneWeight(NeuralNet& net, EngineContext& context) {
  const std::span<const float> levels = BinaryLevels(CurrentSet(context));
  float best = kUnsetValue;
  int32_t chosen = -1;
  float chosen_value = 0;
  const int32_t count = std::min<int32_t>(
      {net.NumOfParameters, static_cast<int32_t>(net.Parameters.size()),
       static_cast<int32_t>(net.LowerBounds.size()), static_cast<int32_t>(net.UpperBounds.size())});
  for (int32_t p = 0; p < count; ++p) {
    if (!IsCandidate(net.ParamFlags[p])) continue;
    const double w = net.Parameters[p];
    const float s = net.ParamSignificance[p];
    // A level outside the parameter's bounds (the sign constraints of a
    // monotone net) would be clamped away by the next line search, leaving a
    // "binarized" weight that sits on no level.
    const auto allowed = [&](float value) {
      return value >= net.LowerBounds[p] && value <= net.UpperBounds[p];
    };
    for (float level : levels) {
      const float to_plus = MoveCost(w - level, s);
      if (to_plus < best && allowed(level)) {
        best = to_plus;
        chosen = p;
        chosen_value = level;
      }
      const float to_minus = MoveCost(w + level, s);
      if (to_minus < best && allowed(-level)) {
        best = to_minus;
        chosen = p;
        chosen_value = -level;
      }
    }
  }
  if (chosen < 0) return false;
  net.Parameters[chosen] = chosen_value;
  net.ParamFlags[chosen] =
      (net.ParamFlags[chosen] & pfBias) != 0 ? kBinarizedBiasFlags : kBinarizedSynapseFlags;
  return true;
}

void RecheckBinarized(NeuralNet& net, EngineContext& context) {
  const int set = CurrentSet(context);
  // A set number from a damaged project is no reason to release anything.
  if (set < 0 || set >= kNumOfBinaryWeightSets) return;
  const std::span<const float> levels = BinaryLevels(set);
  const int32_t count = std::min<int32_t>(net.NumOfParameters, net.Parameters.size());
  for (int32_t p = 0; p < count; ++p) {
    if (!IsBinarized(net.ParamFlags[p])) continue;
    const float modulus = std::fabs(net.Parameters[p]);
    if (std::find(levels.begin(), levels.end(), modulus) != levels.end()) continue;
    net.ParamFlags[p] = (net.ParamFlags[p] & pfBias) != 0 ? kBiasFlags : kSynapseFlags;
    AddToCount(net.NumOfBinSynapses, -1);
  }
}

}  // namespace velmar
