#ifndef VELMAR_CORE_ENGINE_METHODS_H_
#define VELMAR_CORE_ENGINE_METHODS_H_

#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// The four optimization methods; each runs until every example is solved,
// StopFlag is set, or a search brings no decrease (then Stuck = 1).
void SteepestDescent(NeuralNet& net, EngineContext& context);
void ModifiedParTan(NeuralNet& net, EngineContext& context);
void ConjugateGradients(NeuralNet& net, EngineContext& context);
void MemorylessBfgs(NeuralNet& net, EngineContext& context);
// Dispatches on context.options.TrainingMethod; any other value runs nothing
// and returns false.
bool RunMethod(NeuralNet& net, EngineContext& context);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_METHODS_H_
