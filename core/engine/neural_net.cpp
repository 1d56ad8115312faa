#include "core/engine/neural_net.h"

#include <algorithm>
#include <cmath>

#include "core/base/random.h"

namespace velmar {

namespace {

void CloseWindow(NetWindowLink*& link) {
  // Clear our side first, so that the window's own close handler finds
  // nothing left to clear.
  NetWindowLink* window = link;
  link = nullptr;
  if (window) window->CloseForNet();
}

}  // namespace

NeuralNet::~NeuralNet() {
  CloseWindow(TestWindow);
  CloseWindow(VerbalWindow);
  CloseWindow(InpSensWindow);
}

int32_t NeuralNet::LayerSize(int l) const {
  if (l < Desc.NumOfLayers) return Desc.NumOfNeurons[l];
  return Desc.NumOfOutputs;
}

int32_t NeuralNet::FanIn(int l) const { return l == 0 ? Desc.NumOfInputs : LayerSize(l - 1); }

Status ValidateNetShape(const DataDescription& desc) {
  if (desc.NumOfLayers < 1 || desc.NumOfLayers > kMaxLayers) {
    return Status::Invalid("число слоев нейронов должно быть от 1 до 10");
  }
  for (int l = 0; l < desc.NumOfLayers; ++l) {
    if (desc.NumOfNeurons[l] < 1 || desc.NumOfNeurons[l] > kMaxNeuronsPerLayer) {
      return Status::Invalid("число нейронов должно находиться в интервале от 1 до 100");
    }
  }
  int64_t inputs = 0;
  int64_t outputs = 0;
  for (const FieldDescription& field : desc.Fields) {
    if (field.NumOfDiscreteStates < 0 || field.NumOfDiscreteStates > kMaxStates) {
      return Status::Invalid("неверное число дискретных состояний поля " + field.Name);
    }
    if (field.IsDiscrete && field.NumOfDiscreteStates < 1) {
      return Status::Invalid("у дискретного поля " + field.Name + " нет состояний");
    }
    if (field.Usage == FieldUsage::Input || field.Usage == FieldUsage::NotUsed) {
      inputs += FieldWidth(field);
    } else if (field.Usage == FieldUsage::Output) {
      outputs += FieldWidth(field);
    }
  }
  if (desc.NumOfFields != static_cast<int64_t>(desc.Fields.size())) {
    return Status::Invalid("число полей сети не совпадает с описанием полей");
  }
  if (desc.NumOfInputs < 1 || desc.NumOfInputs != inputs) {
    return Status::Invalid("число входов сети не совпадает с описанием полей");
  }
  if (desc.NumOfOutputs < 1 || desc.NumOfOutputs != outputs) {
    return Status::Invalid("число выходов сети не совпадает с описанием полей");
  }
  return Status::Ok();
}

void BuildNet(NeuralNet& net) {
  DataDescription& desc = net.Desc;
  desc.FieldColumn.assign(desc.Fields.size(), -1);

  net.TestWindow = nullptr;
  net.InpSensWindow = nullptr;
  net.VerbalWindow = nullptr;
  net.NumOfSymptoms = 3;
  net.SensMode = 0;
  net.InPruning = 0;
  net.StopFlag = 1;
  net.Book.reset();
  net.AcceptanceList.clear();
  net.TrainingList.clear();
  net.NumOfPrunedInputs = 0;
  net.NumOfPrunedSynapses = 0;
  net.NumOfBinSynapses = 0;
  net.NumOfPrunedNeurons = 0;
  net.InitialInputs = desc.NumOfInputs;

  // The layout: one contiguous parameter vector and one signal vector, with
  // four offsets per layer. Counts out of range are clamped so that a bad
  // description gives a degenerate layout rather than a wild one; readers of
  // stored descriptions check them first with ValidateNetShape.
  const int layers = std::clamp<int32_t>(desc.NumOfLayers, 0, kMaxLayers);
  auto size_of = [&desc, layers](int l) -> int64_t {
    return std::max<int32_t>(l < layers ? desc.NumOfNeurons[l] : desc.NumOfOutputs, 0);
  };
  net.LayerMap.assign(4 * (layers + 1), 0);
  int64_t weight_start = 0;
  int64_t sum_start = 0;
  int64_t hidden = 0;
  for (int l = 0; l <= layers; ++l) {
    const int64_t k = l == 0 ? std::max<int32_t>(desc.NumOfInputs, 0) : size_of(l - 1);
    const int64_t m = size_of(l);
    const int64_t neuron_start = weight_start + k * m;
    const int64_t output_start = sum_start + m;
    net.LayerMap[4 * l] = static_cast<int32_t>(weight_start);
    net.LayerMap[4 * l + 1] = static_cast<int32_t>(sum_start);
    net.LayerMap[4 * l + 2] = static_cast<int32_t>(neuron_start);
    net.LayerMap[4 * l + 3] = static_cast<int32_t>(output_start);
    if (l < layers) {
      hidden += m;
      weight_start = neuron_start + 2 * m;
      sum_start = output_start + m;
    } else {
      net.NumOfParameters = static_cast<int32_t>(neuron_start + m);
      net.NumOfSignals = static_cast<int32_t>(output_start);
    }
  }
  net.NumOfHiddenNeurons = static_cast<int32_t>(hidden);
  net.InitialSynapses = net.NumOfParameters - net.NumOfHiddenNeurons;

  const size_t params = static_cast<size_t>(net.NumOfParameters);
  const size_t signals = static_cast<size_t>(net.NumOfSignals);
  const size_t inputs = static_cast<size_t>(std::max<int32_t>(desc.NumOfInputs, 0));
  const size_t outputs = static_cast<size_t>(std::max<int32_t>(desc.NumOfOutputs, 0));
  net.Parameters.assign(params, 0.0f);
  net.LowerBounds.assign(params, -1.0f);
  net.UpperBounds.assign(params, 1.0f);
  net.ParamFlags.assign(params, kSynapseFlags);
  net.ExampleGradient.assign(params, 0.0f);
  net.Direction.assign(params, 0.0f);
  net.ParamSignificance.assign(params, 0.0f);
  net.InputSignificance.assign(inputs, 0.0f);
  net.NeuronSignificance.assign(static_cast<size_t>(hidden), 0.0f);
  net.SavedParameters.assign(params, 0.0f);
  net.Outputs.assign(outputs, 0.0f);
  net.OutputErrors.assign(outputs, 0.0f);
  net.InputErrors.assign(inputs, 0.0f);
  net.Signals.assign(signals, 0.0f);
  net.BackSignals.assign(signals, 0.0f);
  net.CurInputs = nullptr;
  net.CurTargets = nullptr;
  net.CurWeights = nullptr;

  BuildErrorLists(net);
  net.InputNames = InputSignalNames(desc);
}

void CreateNet(NeuralNet& net, DataDescription desc) {
  net.Desc = std::move(desc);
  net.NumOfTrainingCycles = 0;
  BuildNet(net);

  Random15 random;
  random.SeedFromClock(CurrentClock());
  for (float& p : net.Parameters) p = random.NextUniformTenth();

  for (int l = 0; l < net.NumOfLayers(); ++l) {
    const int32_t start = net.NeuronStart(l);
    for (int32_t j = 0; j < net.LayerSize(l); ++j) {
      const int32_t c = start + 2 * j;
      net.Parameters[c] = net.Desc.Characteristic[l];
      net.LowerBounds[c] = 0.0001f;
      net.ParamFlags[c] = kCharacteristicFlags;
      net.ParamFlags[c + 1] = kBiasFlags;
    }
  }
  const int out = net.NumOfLayers();
  for (int32_t j = 0; j < net.LayerSize(out); ++j) {
    net.ParamFlags[net.NeuronStart(out) + j] = kBiasFlags;
  }

  if (net.Desc.IsMonotonical) MakeMonotone(net);
}

void MakeMonotone(NeuralNet& net) {
  auto make_positive = [&net](int32_t i) {
    net.LowerBounds[i] = 0.0f;
    net.Parameters[i] = std::fabs(net.Parameters[i]);
  };
  auto make_negative = [&net](int32_t i) {
    net.UpperBounds[i] = 0.0f;
    net.Parameters[i] = -std::fabs(net.Parameters[i]);
  };

  const int32_t first_weights = net.FanIn(0) * net.LayerSize(0);
  for (int32_t i = 0; i < first_weights; ++i) make_positive(net.WeightStart(0) + i);

  // Later layers alternate: the first half of the neurons is excited by the
  // first half of the sources and inhibited by the rest, the other half the
  // other way round, so the net can still express both directions.
  for (int l = 1; l <= net.NumOfLayers(); ++l) {
    const int32_t fan_in = net.FanIn(l);
    const int32_t neurons = net.LayerSize(l);
    const int32_t first_sources = (fan_in + 1) / 2;
    const int32_t first_neurons = (neurons + 1) / 2;
    for (int32_t j = 0; j < neurons; ++j) {
      for (int32_t s = 0; s < fan_in; ++s) {
        const int32_t i = net.WeightStart(l) + j * fan_in + s;
        if ((j < first_neurons) == (s < first_sources)) {
          make_positive(i);
        } else {
          make_negative(i);
        }
      }
    }
  }
}

void ResetCharacteristics(NeuralNet& net) {
  for (int l = 0; l < net.NumOfLayers(); ++l) {
    const int32_t start = net.NeuronStart(l);
    for (int32_t j = 0; j < net.LayerSize(l); ++j) {
      net.Parameters[start + 2 * j] = net.Desc.Characteristic[l];
    }
  }
}

void BuildErrorLists(NeuralNet& net) {
  MakeErrorLists(net.Desc, net.AcceptanceList, net.TrainingList);
}

}  // namespace velmar
