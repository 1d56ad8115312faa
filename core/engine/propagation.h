#ifndef VELMAR_CORE_ENGINE_PROPAGATION_H_
#define VELMAR_CORE_ENGINE_PROPAGATION_H_

#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// f(A) = A / (c + |A|).
inline float Transfer(float a, float c) { return a / (c + (a < 0 ? -a : a)); }

// Signals and Outputs from CurInputs.
void Forward(NeuralNet& net);
// BackSignals, InputErrors and ExampleGradient from OutputErrors.
void Backward(NeuralNet& net);
// The passes over the taskbook below run on the program's thread pool
// (PassPool) with kernels chosen for this processor; the taskbook is cut into
// blocks of rows fixed by its row count, each summed in row order, and the
// block sums are added in block order, so the results are the same bits for
// any thread count and kernel path. A taskbook of at most 512 rows is one
// block, summed exactly as one example after the other.
//
// TrainingList error over the taskbook; refreshes ErrorSum and NumOfSolved.
// Lets pending user input through once at the end (context.host).
float EvaluateError(NeuralNet& net, EngineContext& context);
// The same, plus Direction and, in SensMode, the significance accumulators
// (context.options.SensitivityNorm picks the norm). Each example's gradient
// goes straight into Direction; ExampleGradient is written only by Backward,
// and InputErrors only in SensMode. In SensMode the running direction of the
// significance indicators is the sum of the blocks before plus the current
// block's own sum, and the pass runs on the calling thread.
float EvaluateGradient(NeuralNet& net, EngineContext& context);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_PROPAGATION_H_
