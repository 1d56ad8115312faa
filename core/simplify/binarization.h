#ifndef VELMAR_CORE_SIMPLIFY_BINARIZATION_H_
#define VELMAR_CORE_SIMPLIFY_BINARIZATION_H_

#include <span>

#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

constexpr int kNumOfBinaryWeightSets = 4;

// The positive levels of BinaryWeightSet `set` in table order (the order
// decides ties); empty for a set number outside 0..3.
std::span<const float> BinaryLevels(int set);

// Moves the candidate weight or bias whose move to a level of the project's
// set costs least (|move| * ParamSignificance, first strictly smaller wins) to
// that level and marks it binarized. Only levels within the parameter's
// bounds are tried. False when no candidate is left.
bool BinarizeOneWeight(NeuralNet& net, EngineContext& context);

// Makes trainable again every binarized parameter whose modulus is not a
// level of the project's current set, and takes it off NumOfBinSynapses.
void RecheckBinarized(NeuralNet& net, EngineContext& context);

}  // namespace velmar

#endif  // VELMAR_CORE_SIMPLIFY_BINARIZATION_H_
