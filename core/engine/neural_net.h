#ifndef VELMAR_CORE_ENGINE_NEURAL_NET_H_
#define VELMAR_CORE_ENGINE_NEURAL_NET_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/base/status.h"
#include "core/data/data_description.h"
#include "core/data/error_terms.h"
#include "core/data/task_book.h"

namespace velmar {

// ParamFlags bits.
constexpr int32_t pfFixed = 1;
constexpr int32_t pfTrainable = 2;
constexpr int32_t pfAdjustable = 4;
constexpr int32_t pfRemoved = 8;
constexpr int32_t pfBias = 16;
constexpr int32_t pfCharacteristic = 32;

// Flag words in use.
constexpr int32_t kSynapseFlags = pfTrainable | pfAdjustable;             // 6
constexpr int32_t kBiasFlags = pfTrainable | pfAdjustable | pfBias;       // 22
constexpr int32_t kCharacteristicFlags = pfFixed | pfCharacteristic;      // 33
constexpr int32_t kRemovedSynapseFlags = pfRemoved;                       // 8
constexpr int32_t kRemovedBiasFlags = pfRemoved | pfBias;                 // 24
constexpr int32_t kBinarizedSynapseFlags = pfFixed | pfAdjustable;        // 5
constexpr int32_t kBinarizedBiasFlags = pfFixed | pfAdjustable | pfBias;  // 21

// A window that belongs to a network (test, verbal description, input
// significance). The GUI implements it; destroying the network closes it, and
// the window clears the network's link when it closes by itself.
class NetWindowLink {
 public:
  virtual ~NetWindowLink() = default;
  virtual void CloseForNet() = 0;
  // Shows what the network holds now (the significance window follows every
  // computation of the indicators).
  virtual void Repaint() {}
};

// One layered feed-forward network with everything the engine needs: one
// flat float32 parameter vector with parallel bounds and flags, the layer
// table, work vectors, training state and simplification counters.
struct NeuralNet {
  NeuralNet() = default;
  NeuralNet(const NeuralNet&) = delete;
  NeuralNet& operator=(const NeuralNet&) = delete;
  ~NeuralNet();  // closes the net's windows

  DataDescription Desc;
  int32_t NumOfSymptoms = 3;
  std::unique_ptr<TaskBook> Book;
  std::vector<float> InputSignificance;
  // Set by the progress window's button, possibly from another thread than
  // the training's; the methods and drivers test it between passes.
  std::atomic<uint8_t> StopFlag{1};
  uint8_t InPruning = 0;
  NetWindowLink* InpSensWindow = nullptr;
  NetWindowLink* TestWindow = nullptr;
  NetWindowLink* VerbalWindow = nullptr;
  std::vector<std::string> InputNames;
  std::vector<int32_t> LayerMap;  // 4 entries per layer 0..L
  int32_t NumOfParameters = 0;
  int32_t NumOfSignals = 0;
  std::vector<float> Parameters;
  std::vector<float> LowerBounds;
  std::vector<float> UpperBounds;
  std::vector<int32_t> ParamFlags;
  uint8_t Stuck = 0;
  uint8_t SensMode = 0;
  int32_t NumOfTrainingCycles = 0;
  ErrorTermList AcceptanceList;
  ErrorTermList TrainingList;
  int32_t InitialInputs = 0;
  int32_t InitialSynapses = 0;
  int32_t NumOfHiddenNeurons = 0;
  int32_t NumOfPrunedInputs = 0;
  int32_t NumOfPrunedSynapses = 0;
  int32_t NumOfBinSynapses = 0;
  int32_t NumOfPrunedNeurons = 0;
  int32_t RunPrunedInputs = 0;
  int32_t RunPrunedSynapses = 0;
  int32_t RunBinSynapses = 0;
  int32_t RunPrunedNeurons = 0;
  const float* CurInputs = nullptr;  // view into the current example
  const float* CurTargets = nullptr;
  const float* CurWeights = nullptr;
  std::vector<float> Outputs;
  std::vector<float> OutputErrors;
  std::vector<float> InputErrors;
  std::vector<float> Signals;
  std::vector<float> BackSignals;
  std::vector<float> ExampleGradient;
  std::vector<float> Direction;
  std::vector<float> ParamSignificance;
  std::vector<float> NeuronSignificance;
  std::vector<float> SavedParameters;
  float Step = 0;
  float ErrorSum = 0;
  int32_t NumOfSolved = 0;

  // Layer l = 0..NumOfLayers (the last is the linear output layer).
  int32_t NumOfLayers() const { return Desc.NumOfLayers; }
  int32_t WeightStart(int l) const { return LayerMap[4 * l]; }
  int32_t SumStart(int l) const { return LayerMap[4 * l + 1]; }
  int32_t NeuronStart(int l) const { return LayerMap[4 * l + 2]; }
  int32_t OutputStart(int l) const { return LayerMap[4 * l + 3]; }
  // Neurons of layer l (the output layer has NumOfOutputs) and its fan-in.
  int32_t LayerSize(int l) const;
  int32_t FanIn(int l) const;
};

// Checks that a description read from outside gives a network that can be
// laid out: 1..10 layers of 1..100 neurons, at most 20 states per field, at
// least one input and one output, and input/output counts that match the
// widths of the fields. Call it before BuildNet on a stored description.
Status ValidateNetShape(const DataDescription& desc);

// Derives the layout from Desc and allocates every vector.
void BuildNet(NeuralNet& net);
// Takes `desc`, builds the net and fills the parameters from the generator
// reseeded from CurrentClock().
void CreateNet(NeuralNet& net, DataDescription desc);
void MakeMonotone(NeuralNet& net);
void ResetCharacteristics(NeuralNet& net);
void BuildErrorLists(NeuralNet& net);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_NEURAL_NET_H_
