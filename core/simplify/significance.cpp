#include "core/simplify/significance.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/data/error_terms.h"
#include "core/engine/line_search.h"
#include "core/engine/propagation.h"
#include "core/engine/training_driver.h"

namespace velmar {
namespace {

constexpr int kMaxSignificancePasses = 5;
constexpr float kSignificanceStep = 0.00001f;

float ParameterSignificance(const NeuralNet& net, int32_t p) {
  return std::fabs(net.ParamSignificance[p] * net.Parameters[p]);
}

void RemoveParameter(NeuralNet& net, int32_t p, int32_t flags, int32_t* removed_binarized) {
  if ((net.ParamFlags[p] & pfFixed) != 0 && removed_binarized != nullptr) ++*removed_binarized;
  net.Parameters[p] = 0;
  net.ParamFlags[p] = flags;
}

}  // namespace

bool ComputeSignificance(NeuralNet& net, EngineContext& context) {
  if (!PrepareTaskBook(net, context) || net.Book == nullptr) return false;
  net.SensMode = 1;
  const std::vector<float> saved = net.Parameters;
  std::fill(net.ParamSignificance.begin(), net.ParamSignificance.end(), 0.0f);
  std::fill(net.InputSignificance.begin(), net.InputSignificance.end(), 0.0f);
  std::fill(net.NeuronSignificance.begin(), net.NeuronSignificance.end(), 0.0f);

  // One least-squares term over all outputs replaces the net's own chain for
  // the duration; the acceptance chain still decides what counts as solved.
  ErrorTermList least_squares = LeastSquaresList(net.Desc.NumOfOutputs);
  std::swap(net.TrainingList, least_squares);
  net.Step = kSignificanceStep;
  for (int pass = 0; pass < kMaxSignificancePasses; ++pass) {
    const float e0 = EvaluateGradient(net, context);
    const float e1 = LineSearch(net, e0, context);
    if (net.StopFlag != 0 || e1 == e0) break;
  }
  std::swap(net.TrainingList, least_squares);

  net.Parameters = saved;
  net.SensMode = 0;

  float largest = 0;
  for (float v : net.InputSignificance) largest = std::max(largest, v);
  if (largest > 0) {
    for (float& v : net.InputSignificance) v /= largest;
  }
  if (net.InpSensWindow != nullptr) net.InpSensWindow->Repaint();
  return true;
}

int32_t SynapseIndex(const NeuralNet& net, int layer, int target, int source) {
  return net.WeightStart(layer) + target * net.FanIn(layer) + source;
}

int32_t BiasIndex(const NeuralNet& net, int layer, int neuron) {
  if (layer == net.NumOfLayers()) return net.NeuronStart(layer) + neuron;
  return net.NeuronStart(layer) + 2 * neuron + 1;
}

bool IsSynapseRemoved(const NeuralNet& net, int layer, int target, int source) {
  return (net.ParamFlags[SynapseIndex(net, layer, target, source)] & pfRemoved) != 0;
}

bool IsBiasRemoved(const NeuralNet& net, int layer, int neuron) {
  return (net.ParamFlags[BiasIndex(net, layer, neuron)] & pfRemoved) != 0;
}

void RemoveSynapse(NeuralNet& net, int layer, int target, int source, int32_t* removed_binarized) {
  RemoveParameter(net, SynapseIndex(net, layer, target, source), kRemovedSynapseFlags,
                  removed_binarized);
}

void RemoveBias(NeuralNet& net, int layer, int neuron, int32_t* removed_binarized) {
  RemoveParameter(net, BiasIndex(net, layer, neuron), kRemovedBiasFlags, removed_binarized);
}

float SynapseSignificance(const NeuralNet& net, int layer, int target, int source) {
  return ParameterSignificance(net, SynapseIndex(net, layer, target, source));
}

float BiasSignificance(const NeuralNet& net, int layer, int neuron) {
  return ParameterSignificance(net, BiasIndex(net, layer, neuron));
}

}  // namespace velmar
