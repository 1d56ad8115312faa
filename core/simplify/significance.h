#ifndef VELMAR_CORE_SIMPLIFY_SIGNIFICANCE_H_
#define VELMAR_CORE_SIMPLIFY_SIGNIFICANCE_H_

#include <cstdint>

#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// Fills InputSignificance, NeuronSignificance and ParamSignificance from up to
// five gradient passes over the taskbook with a least-squares error over all
// outputs. Parameters come back bit for bit; input indicators are scaled so
// that the largest is 1 (all stay 0 when no example contributed). False, with
// the indicators untouched, when no taskbook could be built.
bool ComputeSignificance(NeuralNet& net, EngineContext& context);

// Elements are addressed by layer L (0 .. NumOfLayers, the last being the
// output layer), target j within L and source k within L's fan-in.
int32_t SynapseIndex(const NeuralNet& net, int layer, int target, int source);
int32_t BiasIndex(const NeuralNet& net, int layer, int neuron);

bool IsSynapseRemoved(const NeuralNet& net, int layer, int target, int source);
bool IsBiasRemoved(const NeuralNet& net, int layer, int neuron);

// Sets the parameter to 0 with flags exactly pfRemoved (plus pfBias for a
// bias). When the parameter was binarized, adds 1 to *removed_binarized.
void RemoveSynapse(NeuralNet& net, int layer, int target, int source,
                   int32_t* removed_binarized = nullptr);
void RemoveBias(NeuralNet& net, int layer, int neuron, int32_t* removed_binarized = nullptr);

// |ParamSignificance[p] * Parameters[p]| of the element's parameter.
float SynapseSignificance(const NeuralNet& net, int layer, int target, int source);
float BiasSignificance(const NeuralNet& net, int layer, int neuron);

}  // namespace velmar

#endif  // VELMAR_CORE_SIMPLIFY_SIGNIFICANCE_H_
