#include "core/simplify/pruning.h"

#include <algorithm>
#include <vector>

#include "core/base/number_text.h"
#include "core/base/training_view.h"
#include "core/data/data_description.h"
#include "core/engine/training_driver.h"
#include "core/simplify/binarization.h"
#include "core/simplify/counters.h"
#include "core/simplify/significance.h"

namespace velmar {
namespace {

constexpr int kStateMaskBits = 16;

bool HasInputSynapse(const NeuralNet& net, int input) {
  for (int j = 0; j < net.LayerSize(0); ++j) {
    if (!IsSynapseRemoved(net, 0, j, input)) return true;
  }
  return false;
}

bool HasOutgoingSynapse(const NeuralNet& net, int layer, int neuron) {
  const int next = layer + 1;
  for (int t = 0; t < net.LayerSize(next); ++t) {
    if (!IsSynapseRemoved(net, next, t, neuron)) return true;
  }
  return false;
}

bool HasIncomingSynapse(const NeuralNet& net, int layer, int neuron) {
  for (int s = 0; s < net.FanIn(layer); ++s) {
    if (!IsSynapseRemoved(net, layer, neuron, s)) return true;
  }
  return false;
}

int32_t RemoveOutgoingSynapses(NeuralNet& net, int layer, int neuron, StepTally& tally) {
  const int next = layer + 1;
  int32_t count = 0;
  for (int t = 0; t < net.LayerSize(next); ++t) {
    if (IsSynapseRemoved(net, next, t, neuron)) continue;
    RemoveSynapse(net, next, t, neuron, &tally.removed_binarized);
    ++count;
  }
  return count;
}

bool MakeStep(NeuralNet& net, int32_t mode, EngineContext& context, StepTally& tally) {
  switch (mode) {
    case kPruneInputs:
      return PruneInputStep(net, tally);
    case kPruneSynapses:
      return PruneSynapseStep(net, tally);
    case kBinarizeWeights:
      return BinarizeOneWeight(net, context);
    case kPruneUniform:
      return UniformStep(net, tally);
    case kPruneBiases:
      return PruneBiasStep(net, tally);
    case kPruneNeurons:
      return PruneNeuronStep(net, tally);
    default:
      return false;
  }
}

void CountAcceptedStep(NeuralNet& net, int32_t mode, const StepTally& tally) {
  switch (mode) {
    case kPruneInputs:
    case kPruneNeurons:
      AddToCount(net.NumOfPrunedSynapses, tally.removed_synapses);
      AddToCount(net.RunPrunedSynapses, tally.removed_synapses);
      break;
    case kPruneSynapses:
    case kPruneUniform:
    case kPruneBiases:
      AddToCount(net.NumOfPrunedSynapses, 1);
      AddToCount(net.RunPrunedSynapses, 1);
      break;
    case kBinarizeWeights:
      AddToCount(net.NumOfBinSynapses, 1);
      AddToCount(net.RunBinSynapses, 1);
      break;
    default:
      break;
  }
}

void RetireInput(NeuralNet& net, EngineContext& context) {
  AddToCount(net.NumOfPrunedInputs, 1);
  AddToCount(net.RunPrunedInputs, 1);
  RebuildAndTrain(net, context);
}

// Retires the field state that input signal `input` codes, if it still feeds
// the net. Fields are walked as the coding lays signals out.
void RetireInputSignal(NeuralNet& net, EngineContext& context, int input) {
  int32_t first = 0;
  for (FieldDescription& field : net.Desc.Fields) {
    // Output and non-numeric fields put no input signals out.
    if (field.Usage == FieldUsage::Output || field.Usage == FieldUsage::NotNumeric) continue;
    const int32_t width = field.IsDiscrete != 0 ? field.NumOfDiscreteStates : 1;
    if (width > 0 && input < first + width) {
      if (input < first || field.Usage != FieldUsage::Input) return;
      if (field.IsDiscrete == 0) {
        field.Usage = FieldUsage::NotUsed;
        RetireInput(net, context);
        return;
      }
      // The mask has bits for the first 16 states only; later states are
      // never retired on their own.
      const int state = input - first;
      if (state >= kStateMaskBits || (field.StateMask & (1u << state)) == 0) return;
      field.StateMask &= ~(1u << state);
      field.StateMask &= (1u << kStateMaskBits) - 1;
      const int states = std::min<int32_t>(field.NumOfDiscreteStates, 32);
      const uint32_t live = states >= 32 ? ~0u : (1u << states) - 1;
      if ((field.StateMask & live) == 0) field.Usage = FieldUsage::NotUsed;
      RetireInput(net, context);
      return;
    }
    first += std::max<int32_t>(width, 0);
  }
}

}  // namespace

void Simplify(NeuralNet& net, int32_t mode, EngineContext& context) {
  if (!PrepareTaskBook(net, context)) return;
  TrainingView& view = context.view;

  net.RunPrunedInputs = 0;
  net.RunPrunedSynapses = 0;
  net.RunBinSynapses = 0;
  net.RunPrunedNeurons = 0;
  net.InPruning = 1;
  view.SetCaption("Упрощение " + net.Desc.Name);
  view.Show(true);

  std::vector<float> saved_parameters(net.Parameters.size());
  std::vector<int32_t> saved_flags(net.ParamFlags.size());
  net.StopFlag = 0;
  RecheckBinarized(net, context);
  for (;;) {
    StepTally tally;
    ShowCounters(net, view);
    std::copy(net.Parameters.begin(), net.Parameters.end(), saved_parameters.begin());
    std::copy(net.ParamFlags.begin(), net.ParamFlags.end(), saved_flags.begin());
    // Without a taskbook there is nothing to retrain against.
    if (!ComputeSignificance(net, context)) break;
    if (!MakeStep(net, mode, context, tally)) break;
    TrainNetwork(net, context);
    if (net.Stuck != 0 || net.StopFlag != 0) {
      std::copy(saved_parameters.begin(), saved_parameters.end(), net.Parameters.begin());
      std::copy(saved_flags.begin(), saved_flags.end(), net.ParamFlags.begin());
      break;
    }
    CountAcceptedStep(net, mode, tally);
    RemoveDeadElements(net, context, tally);
    if (tally.removed_binarized != 0) {
      // The run counter never goes below zero: weights binarized in earlier
      // runs may be the ones removed.
      if (net.RunBinSynapses > 0) {
        net.RunBinSynapses = std::max(0, net.RunBinSynapses - tally.removed_binarized);
      }
      AddToCount(net.NumOfBinSynapses, -int64_t{tally.removed_binarized});
    }
  }
  net.StopFlag = 1;
  net.InPruning = 0;
  view.SetStopButton(StopButtonState::kFinished);
}

bool PruneInputStep(NeuralNet& net, StepTally& tally) {
  float best = kUnsetValue;
  int chosen = -1;
  for (int i = 0; i < net.FanIn(0); ++i) {
    if (!HasInputSynapse(net, i)) continue;
    if (net.InputSignificance[i] < best) {
      best = net.InputSignificance[i];
      chosen = i;
    }
  }
  if (chosen < 0) return false;
  int32_t count = 0;
  for (int j = 0; j < net.LayerSize(0); ++j) {
    if (IsSynapseRemoved(net, 0, j, chosen)) continue;
    RemoveSynapse(net, 0, j, chosen, &tally.removed_binarized);
    ++count;
  }
  tally.removed_synapses += count;
  return count > 0;
}

bool PruneSynapseStep(NeuralNet& net, StepTally& tally) {
  float best = kUnsetValue;
  int chosen_layer = -1, chosen_target = 0, chosen_source = 0;
  for (int l = 0; l < net.NumOfLayers(); ++l) {
    for (int j = 0; j < net.LayerSize(l); ++j) {
      for (int k = 0; k < net.FanIn(l); ++k) {
        if (IsSynapseRemoved(net, l, j, k)) continue;
        const float s = SynapseSignificance(net, l, j, k);
        if (s < best) {
          best = s;
          chosen_layer = l;
          chosen_target = j;
          chosen_source = k;
        }
      }
    }
  }
  if (chosen_layer < 0) return false;
  RemoveSynapse(net, chosen_layer, chosen_target, chosen_source, &tally.removed_binarized);
  return true;
}

bool PruneBiasStep(NeuralNet& net, StepTally& tally) {
  float best = kUnsetValue;
  int chosen_layer = -1, chosen_neuron = 0;
  for (int l = 0; l < net.NumOfLayers(); ++l) {
    for (int j = 0; j < net.LayerSize(l); ++j) {
      if (IsBiasRemoved(net, l, j)) continue;
      const float s = BiasSignificance(net, l, j);
      if (s < best) {
        best = s;
        chosen_layer = l;
        chosen_neuron = j;
      }
    }
  }
  if (chosen_layer < 0) return false;
  RemoveBias(net, chosen_layer, chosen_neuron, &tally.removed_binarized);
  return true;
}

bool PruneNeuronStep(NeuralNet& net, StepTally& tally) {
  float best = kUnsetValue;
  int chosen_layer = -1, chosen_neuron = 0;
  int32_t q = 0;
  for (int l = 0; l < net.NumOfLayers(); ++l) {
    for (int j = 0; j < net.LayerSize(l); ++j, ++q) {
      const float s = net.NeuronSignificance[q];
      if (s != 0 && s < best) {
        best = s;
        chosen_layer = l;
        chosen_neuron = j;
      }
    }
  }
  if (chosen_layer < 0) return false;
  const int32_t count = RemoveOutgoingSynapses(net, chosen_layer, chosen_neuron, tally);
  tally.removed_synapses += count;
  return count > 0;
}

bool UniformStep(NeuralNet& net, StepTally& tally) {
  int32_t best_count = -1;
  float best_weakest = kUnsetValue;
  int chosen_layer = -1, chosen_target = 0, chosen_source = -1;
  for (int l = 0; l < net.NumOfLayers(); ++l) {
    for (int j = 0; j < net.LayerSize(l); ++j) {
      int32_t count = 0;
      float weakest = kUnsetValue;
      int weakest_source = -1;
      for (int k = 0; k < net.FanIn(l); ++k) {
        if (IsSynapseRemoved(net, l, j, k)) continue;
        ++count;
        const float s = SynapseSignificance(net, l, j, k);
        if (weakest_source < 0 || s < weakest) {
          weakest = s;
          weakest_source = k;
        }
      }
      if (count > best_count || (count == best_count && weakest < best_weakest)) {
        best_count = count;
        best_weakest = weakest;
        chosen_layer = l;
        chosen_target = j;
        chosen_source = weakest_source;
      }
    }
  }
  if (chosen_layer < 0 || chosen_source < 0 || net.NumOfSymptoms >= best_count) return false;
  RemoveSynapse(net, chosen_layer, chosen_target, chosen_source, &tally.removed_binarized);
  return true;
}

void RemoveDeadElements(NeuralNet& net, EngineContext& context, StepTally& tally) {
  // From the last hidden layer, so that a dead neuron's removal kills the
  // neurons feeding it within this same call.
  for (int l = net.NumOfLayers() - 1; l >= 0; --l) {
    for (int j = 0; j < net.LayerSize(l); ++j) {
      int32_t removed = 0;
      if (!HasOutgoingSynapse(net, l, j)) {
        for (int k = 0; k < net.FanIn(l); ++k) {
          if (IsSynapseRemoved(net, l, j, k)) continue;
          RemoveSynapse(net, l, j, k, &tally.removed_binarized);
          ++removed;
        }
        if (!IsBiasRemoved(net, l, j)) {
          RemoveBias(net, l, j, &tally.removed_binarized);
          ++removed;
        }
      } else if (!HasIncomingSynapse(net, l, j) && IsBiasRemoved(net, l, j)) {
        // The neuron puts out a constant 0.
        removed = RemoveOutgoingSynapses(net, l, j, tally);
      }
      AddToCount(net.NumOfPrunedSynapses, removed);
      AddToCount(net.RunPrunedSynapses, removed);
      if (removed > 0) {
        AddToCount(net.NumOfPrunedNeurons, 1);
        AddToCount(net.RunPrunedNeurons, 1);
      }
    }
  }
  for (int i = 0; i < net.FanIn(0); ++i) {
    if (!HasInputSynapse(net, i)) RetireInputSignal(net, context, i);
  }
}

PruningFigures CounterFigures(const NeuralNet& net) {
  PruningFigures figures;
  figures.inputs = {net.RunPrunedInputs, net.NumOfPrunedInputs, net.InitialInputs};
  figures.neurons = {net.RunPrunedNeurons, net.NumOfPrunedNeurons, net.NumOfHiddenNeurons};
  figures.synapses = {net.RunPrunedSynapses, net.NumOfPrunedSynapses, net.InitialSynapses};
  figures.binarized = {net.RunBinSynapses, net.NumOfBinSynapses,
                       SaturatedCount(int64_t{net.InitialSynapses} - net.NumOfPrunedSynapses)};
  return figures;
}

std::array<CounterLabel, 4> CounterLabels(const NeuralNet& net) {
  static constexpr const char* kCaptions[] = {
      "Удалено входов:", "Удалено нейронов:", "Удалено синапсов:", "Бинаризовано синапсов:"};
  TrainingProgress progress;
  progress.pruning = CounterFigures(net);
  const std::vector<LabelText> texts = ProgressTexts(progress, '.');
  std::array<CounterLabel, 4> labels;
  for (size_t i = 0; i < labels.size(); ++i) {
    labels[i] = {texts[i].label, kCaptions[i], texts[i].text};
  }
  return labels;
}

void ShowCounters(const NeuralNet& net, TrainingView& view) {
  TrainingProgress progress;
  progress.pruning = CounterFigures(net);
  view.ShowProgress(progress);
}

std::optional<int32_t> ParseNumOfSymptoms(std::string_view text) {
  const std::optional<int64_t> value = ParseIntegerText(text, kUniformDialogSyntax);
  if (!value || *value < 1 || *value > 100) return std::nullopt;
  return static_cast<int32_t>(*value);
}

bool AcceptNumOfSymptoms(NeuralNet& net, std::string_view text, Host& host) {
  const std::optional<int32_t> value = ParseNumOfSymptoms(text);
  if (!value) {
    host.ShowMessage(
        Message{"Неверное число приходящих на нейрон сигналов", "Ошибка", OwnerKind::kOther});
    return false;
  }
  net.NumOfSymptoms = *value;
  return true;
}

}  // namespace velmar
