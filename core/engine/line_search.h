#ifndef VELMAR_CORE_ENGINE_LINE_SEARCH_H_
#define VELMAR_CORE_ENGINE_LINE_SEARCH_H_

#include <functional>

#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// Parameters = SavedParameters + t * Direction over the trainable ones, then
// every parameter clamped to its bounds.
void MoveTo(NeuralNet& net, float t);
// One search along Direction from the current parameters; returns the lowest
// TrainingList error found (f0 when none was lower). Sends context.view the
// search's step (or the limit it met), cycles, error and solved count.
float LineSearch(NeuralNet& net, float f0, EngineContext& context);
// The same search with `evaluate` (the error at the current Parameters, also
// refreshing ErrorSum and NumOfSolved) in place of EvaluateError.
float LineSearch(NeuralNet& net, float f0, EngineContext& context,
                 const std::function<float()>& evaluate);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_LINE_SEARCH_H_
