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

  // Architecture and coding.
  DataDescription Desc;            // layers, fields and how each field is coded
  int32_t NumOfSymptoms = 3;       // synapses kept per neuron by uniform simplification; not stored
  std::unique_ptr<TaskBook> Book;  // coded training set, built on first use; may be null
  std::vector<float> InputSignificance;  // per input signal, scaled so the largest is 1

  // Run state shared with the progress window.
  // Stop requested, or training finished (1 when idle). Set by the progress
  // window's button, possibly from another thread than the training's; the
  // methods and drivers test it between passes.
  std::atomic<uint8_t> StopFlag{1};
  uint8_t InPruning = 0;  // the training driver runs under the pruning driver

  // The net's own windows (not owned; cleared by the window when it closes).
  NetWindowLink* InpSensWindow = nullptr;  // input significance window
  NetWindowLink* TestWindow = nullptr;     // test window
  NetWindowLink* VerbalWindow = nullptr;   // verbal description window
  std::vector<std::string> InputNames;     // display name of each input signal

  // Layout and parameters.
  std::vector<int32_t> LayerMap;   // WeightStart, SumStart, NeuronStart, OutputStart per layer 0..L
  int32_t NumOfParameters = 0;     // length of Parameters and its parallel vectors
  int32_t NumOfSignals = 0;        // length of Signals and BackSignals
  std::vector<float> Parameters;   // weights, then [characteristic, bias] per neuron, per layer
  std::vector<float> LowerBounds;  // lower clamp of each parameter
  std::vector<float> UpperBounds;  // upper clamp of each parameter
  std::vector<int32_t> ParamFlags;  // pf* flag word of each parameter

  // Training state.
  uint8_t Stuck = 0;                // the last method run ended on a search without decrease
  uint8_t SensMode = 0;             // gradient passes accumulate significance indicators
  int32_t NumOfTrainingCycles = 0;  // line searches that lowered the error, over the net's life
  ErrorTermList AcceptanceList;     // error terms with the nominal tolerances: solved or not
  ErrorTermList TrainingList;       // error terms with the training tolerances: what is minimized

  // Sizes at build time, the "of" figures of the simplification counters.
  int32_t InitialInputs = 0;       // NumOfInputs
  int32_t InitialSynapses = 0;     // NumOfParameters - NumOfHiddenNeurons: synapses and biases
  int32_t NumOfHiddenNeurons = 0;  // neurons of the sigmoid layers

  // Simplification totals over the net's life (stored) and for the current run.
  int32_t NumOfPrunedInputs = 0;    // input signals retired
  int32_t NumOfPrunedSynapses = 0;  // synapses and biases removed
  int32_t NumOfBinSynapses = 0;     // weights and biases binarized and still binarized
  int32_t NumOfPrunedNeurons = 0;   // hidden neurons removed
  int32_t RunPrunedInputs = 0;      // the same four for the current run
  int32_t RunPrunedSynapses = 0;
  int32_t RunBinSynapses = 0;
  int32_t RunPrunedNeurons = 0;

  // The current example: views into the current row of Book, or into a
  // freshly coded record while testing.
  const float* CurInputs = nullptr;   // NumOfInputs input signals
  const float* CurTargets = nullptr;  // NumOfOutputs targets
  const float* CurWeights = nullptr;  // weight of each output field

  // Work vectors of the forward and backward passes.
  std::vector<float> Outputs;             // outputs of the last forward pass
  std::vector<float> OutputErrors;        // error signals at the outputs
  std::vector<float> InputErrors;         // back signals at the inputs
  std::vector<float> Signals;             // forward sums and neuron outputs
  std::vector<float> BackSignals;         // backward signals, parallel to Signals
  std::vector<float> ExampleGradient;     // gradient of one example
  std::vector<float> Direction;           // summed gradient, then the search direction
  std::vector<float> ParamSignificance;   // significance accumulator of each parameter
  std::vector<float> NeuronSignificance;  // significance accumulator of each hidden neuron
  std::vector<float> SavedParameters;     // base point of a line search; scratch of Perturb

  // Figures of the last pass.
  float Step = 0;           // step of the last line search
  float ErrorSum = 0;       // acceptance error summed over the taskbook
  int32_t NumOfSolved = 0;  // examples whose acceptance error is exactly 0

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
