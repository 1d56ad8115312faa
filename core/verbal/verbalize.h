#ifndef VELMAR_CORE_VERBAL_VERBALIZE_H_
#define VELMAR_CORE_VERBAL_VERBALIZE_H_

#include <span>
#include <string>
#include <vector>

#include "core/engine/neural_net.h"

namespace velmar {

// The weighted sum of neuron `neuron` of hidden layer `layer` (0-based), or of
// output `neuron` when `layer` is NumOfLayers, in terms of `names`, the names
// of the layer's sources: "x1-x2+0.5*x3-0.25". Zero weights and a zero bias
// are left out, so the text is empty for a neuron without any.
std::string WeightedSumText(const NeuralNet& net, int layer, int neuron,
                            std::span<const std::string> names, char decimal_separator);

// The verbal description of what `net` computes, one entry per line of text
// (a tab starts the indented lines). Reads only the net; never fails.
std::vector<std::string> VerbalizeNet(const NeuralNet& net, char decimal_separator);

// A double in general format with 15 significant digits, laid out as
// FormatReal lays out its 7: fixed notation for decimal exponents -3..15.
std::string FormatGeneral15(double x, char decimal_separator);

}  // namespace velmar

#endif  // VELMAR_CORE_VERBAL_VERBALIZE_H_
