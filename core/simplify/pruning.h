#ifndef VELMAR_CORE_SIMPLIFY_PRUNING_H_
#define VELMAR_CORE_SIMPLIFY_PRUNING_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/host.h"
#include "core/base/training_view.h"
#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// The simplification modes; each selects the step of one iteration.
enum SimplificationMode : int32_t {
  kPruneInputs = 1,
  kPruneSynapses = 2,
  kBinarizeWeights = 4,
  kPruneUniform = 8,
  kPruneBiases = 16,
  kPruneNeurons = 32,
};

// What one iteration removed, for the run's counters.
struct StepTally {
  int32_t removed_synapses = 0;   // synapses removed by an input or neuron step
  int32_t removed_binarized = 0;  // removed parameters that had been binarized
};

// Runs a whole simplification of `net` in `mode`: per iteration the
// indicators, one step, retraining; the first step after which the net no
// longer solves its taskbook (or a stop request) is undone and ends the run.
// Drives context.view; an unknown mode makes no step.
void Simplify(NeuralNet& net, int32_t mode, EngineContext& context);

// The steps; each returns true when it changed the net. Only hidden layers
// are searched; ties go to the first element in layer, target, source order.
bool PruneInputStep(NeuralNet& net, StepTally& tally);
bool PruneSynapseStep(NeuralNet& net, StepTally& tally);
bool PruneBiasStep(NeuralNet& net, StepTally& tally);
bool PruneNeuronStep(NeuralNet& net, StepTally& tally);
bool UniformStep(NeuralNet& net, StepTally& tally);

// After an accepted step: drops dead hidden neurons (from the last layer),
// then retires input signals left without synapses into the first layer,
// clearing their StateMask bits or making their fields NotUsed.
void RemoveDeadElements(NeuralNet& net, EngineContext& context, StepTally& tally);

// The four simplification counters of the progress window.
PruningFigures CounterFigures(const NeuralNet& net);
// The four counter labels of the progress window with their texts, in the
// window's order: inputs, neurons, synapses, binarized.
struct CounterLabel {
  TrainingLabel label = TrainingLabel::kNumOfPrunedInputs;
  const char* caption = "";  // the label beside it in the window
  std::string text;
};
std::array<CounterLabel, 4> CounterLabels(const NeuralNet& net);
// Sends the four counters to the progress window.
void ShowCounters(const NeuralNet& net, TrainingView& view);

// The uniform simplification dialog's OK: an integer from 1 to 100 becomes
// the net's NumOfSymptoms; anything else is reported through `host` and
// refused (the caller shows the net's current value again).
bool AcceptNumOfSymptoms(NeuralNet& net, std::string_view text, Host& host);
// The integer that text reads as, when it is one from 1 to 100.
std::optional<int32_t> ParseNumOfSymptoms(std::string_view text);

}  // namespace velmar

#endif  // VELMAR_CORE_SIMPLIFY_PRUNING_H_
