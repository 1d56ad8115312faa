#include "core/engine/propagation.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velmar {
namespace {

// Every sum runs in double over float32 data. A product of two float32 values
// is exact in double, so only the additions round, in a fixed order. What goes
// into a sum over examples is each example's own value as stored (float32),
// so a pass gives the float32 rounding of exactly that sum.

constexpr int kLanes = 8;

// Σ w[s]·x[s]; kLanes partial sums, each in index order, combined pairwise.
inline double Dot(const float* w, const double* x, int n) {
  double acc[kLanes] = {};
  int s = 0;
  for (; s + kLanes <= n; s += kLanes) {
    for (int u = 0; u < kLanes; ++u) acc[u] += static_cast<double>(w[s + u]) * x[s + u];
  }
  double tail = 0;
  for (; s < n; ++s) tail += static_cast<double>(w[s]) * x[s];
  return (((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7]))) + tail;
}

// back[s] += g·w[s]: one neuron's share of the signals sent back to its sources.
inline void AddBack(double* back, double g, const float* w, int n) {
  for (int s = 0; s < n; ++s) back[s] += g * static_cast<double>(w[s]);
}

// dir[s] += g·x[s] and back[s] += g·w[s] in one sweep over the neuron's row.
// The product g·x[s] is taken in float32: it is the example's gradient entry.
inline void AddRowAndBack(double* dir, double* back, float g, const float* w, const float* x,
                          int n) {
  const double wide = g;
  for (int s = 0; s < n; ++s) {
    dir[s] += g * x[s];
    back[s] += wide * static_cast<double>(w[s]);
  }
}

inline void AddRow(double* dir, float g, const float* x, int n) {
  for (int s = 0; s < n; ++s) dir[s] += g * x[s];
}

// Work space of the passes, kept per thread and grown only when a larger
// network comes along, so that a pass allocates nothing once warmed up.
struct PassScratch {
  std::vector<double> sources;  // each layer's source vector in double, layer after layer
  std::vector<double> back;     // signals sent back to one layer's sources
  std::vector<double> direction;
  std::vector<double> param_significance;
  std::vector<double> input_significance;
  std::vector<double> neuron_significance;

  void Fit(const NeuralNet& net) {
    const size_t inputs = static_cast<size_t>(net.Desc.NumOfInputs);
    const size_t hidden = static_cast<size_t>(std::max(net.NumOfHiddenNeurons, 0));
    if (sources.size() < inputs + hidden) sources.resize(inputs + hidden);
    size_t widest = inputs;
    for (int l = 0; l < net.Desc.NumOfLayers && l < kMaxLayers; ++l) {
      widest = std::max<size_t>(widest, static_cast<size_t>(net.Desc.NumOfNeurons[l]));
    }
    if (back.size() < widest) back.resize(widest);
  }
};

thread_local PassScratch g_scratch;

// Offset of layer l's source vector within PassScratch::sources.
inline int SourceOffset(const NeuralNet& net, int l) {
  if (l == 0) return 0;
  return net.Desc.NumOfInputs + net.SumStart(l - 1) / 2;
}

inline int LayerCount(const NeuralNet& net) { return net.Desc.NumOfLayers; }

inline int Neurons(const NeuralNet& net, int l) {
  return l < LayerCount(net) ? net.Desc.NumOfNeurons[l] : net.Desc.NumOfOutputs;
}

inline int Sources(const NeuralNet& net, int l) {
  return l == 0 ? net.Desc.NumOfInputs : net.Desc.NumOfNeurons[l - 1];
}

// A = b + S of a sigmoid neuron, from the stored (float32) sum.
inline double Activation(const NeuralNet& net, int l, int j) {
  return static_cast<double>(net.Parameters[net.NeuronStart(l) + 2 * j + 1]) +
         static_cast<double>(net.Signals[net.SumStart(l) + j]);
}

void ForwardPass(NeuralNet& net, PassScratch& scratch) {
  const int layers = LayerCount(net);
  const float* params = net.Parameters.data();
  float* signals = net.Signals.data();
  double* sources = scratch.sources.data();
  {
    const int k = net.Desc.NumOfInputs;
    for (int s = 0; s < k; ++s) sources[s] = static_cast<double>(net.CurInputs[s]);
  }
  for (int l = 0; l <= layers; ++l) {
    const int k = Sources(net, l);
    const int m = Neurons(net, l);
    const double* x = sources + SourceOffset(net, l);
    const float* w = params + net.WeightStart(l);
    float* sums = signals + net.SumStart(l);
    for (int j = 0; j < m; ++j) sums[j] = static_cast<float>(Dot(w + size_t(j) * k, x, k));
    if (l == layers) {
      const float* bias = params + net.NeuronStart(l);
      for (int j = 0; j < m; ++j) {
        net.Outputs[j] = static_cast<float>(static_cast<double>(sums[j]) + bias[j]);
      }
      break;
    }
    const float* neuron = params + net.NeuronStart(l);
    float* outputs = signals + net.OutputStart(l);
    double* next = sources + SourceOffset(net, l + 1);
    for (int j = 0; j < m; ++j) {
      const double c = neuron[2 * j];
      const double a = static_cast<double>(neuron[2 * j + 1]) + static_cast<double>(sums[j]);
      outputs[j] = static_cast<float>(a / (c + std::fabs(a)));
      next[j] = static_cast<double>(outputs[j]);
    }
  }
}

// Layer l's source vector as the forward pass left it.
inline const float* FloatSources(const NeuralNet& net, int l) {
  return l == 0 ? net.CurInputs : net.Signals.data() + net.OutputStart(l - 1);
}

// The backward pass in two flavours: kAccumulate adds the example's gradient
// straight into the double direction (the taskbook pass), otherwise it is
// written to ExampleGradient. `to_inputs` says whether InputErrors are needed.
template <bool kAccumulate>
void BackwardPass(NeuralNet& net, PassScratch& scratch, bool to_inputs) {
  const int layers = LayerCount(net);
  const float* params = net.Parameters.data();
  float* back_signals = net.BackSignals.data();
  float* gradient = net.ExampleGradient.data();
  double* direction = kAccumulate ? scratch.direction.data() : nullptr;
  double* back = scratch.back.data();

  // Gradient entry of parameter i.
  auto put = [&](int i, double value) {
    if constexpr (kAccumulate) {
      direction[i] += static_cast<float>(value);
    } else {
      gradient[i] = static_cast<float>(value);
    }
  };
  // The weights of neuron j of a layer whose rows start at `w0` with fan-in k;
  // sends g back through them when `send` is set.
  auto weights = [&](int w0, int j, int k, float g, const float* x, bool send) {
    const float* w = params + w0 + size_t(j) * k;
    if constexpr (kAccumulate) {
      double* d = direction + w0 + size_t(j) * k;
      if (send) {
        AddRowAndBack(d, back, g, w, x, k);
      } else {
        AddRow(d, g, x, k);
      }
    } else {
      float* e = gradient + w0 + size_t(j) * k;
      for (int s = 0; s < k; ++s) e[s] = g * x[s];
      if (send) AddBack(back, g, w, k);
    }
  };

  // The linear output layer.
  {
    const int l = layers;
    const int k = Sources(net, l);
    const int n = Neurons(net, l);
    const float* x = FloatSources(net, l);
    std::fill(back, back + k, 0.0);
    for (int j = 0; j < n; ++j) {
      const float delta = net.OutputErrors[j];
      back_signals[net.SumStart(l) + j] = delta;
      put(net.NeuronStart(l) + j, delta);
      weights(net.WeightStart(l), j, k, delta, x, true);
    }
    float* target = l > 0 ? back_signals + net.OutputStart(l - 1) : net.InputErrors.data();
    for (int s = 0; s < k; ++s) target[s] = static_cast<float>(back[s]);
  }

  for (int l = layers - 1; l >= 0; --l) {
    const int k = Sources(net, l);
    const int m = Neurons(net, l);
    const int n0 = net.NeuronStart(l);
    const float* x = FloatSources(net, l);
    const float* u = back_signals + net.OutputStart(l);
    float* sums = back_signals + net.SumStart(l);
    const bool send = l > 0 || to_inputs;
    if (send) std::fill(back, back + k, 0.0);
    for (int j = 0; j < m; ++j) {
      const double c = params[n0 + 2 * j];
      const double a = Activation(net, l, j);
      const double q = c + std::fabs(a);
      const double g = static_cast<double>(u[j]) / (q * q);
      put(n0 + 2 * j, -a * g);
      sums[j] = static_cast<float>(c * g);
      put(n0 + 2 * j + 1, sums[j]);
      if (sums[j] != 0.0f || !kAccumulate) weights(net.WeightStart(l), j, k, sums[j], x, send);
    }
    if (!send) continue;
    float* target = l > 0 ? back_signals + net.OutputStart(l - 1) : net.InputErrors.data();
    for (int s = 0; s < k; ++s) target[s] = static_cast<float>(back[s]);
  }
}

// Adds (sum of moduli) or keeps the larger (maximum modulus) of `value`,
// a single-precision value.
inline void Take(double& slot, float value, bool maximum) {
  const double v = std::fabs(value);
  if (maximum) {
    if (v > slot) slot = v;
  } else {
    slot += v;
  }
}

void AccumulateSignificance(const NeuralNet& net, PassScratch& scratch, bool maximum) {
  const size_t params = scratch.direction.size();
  for (size_t i = 0; i < params; ++i) {
    // The running direction as it would stand stored.
    Take(scratch.param_significance[i], static_cast<float>(scratch.direction[i]), maximum);
  }
  for (int s = 0; s < net.Desc.NumOfInputs; ++s) {
    Take(scratch.input_significance[s], net.InputErrors[s] * net.CurInputs[s], maximum);
  }
  int q = 0;
  for (int l = 0; l < LayerCount(net); ++l) {
    const int o = net.OutputStart(l);
    for (int j = 0; j < Neurons(net, l); ++j, ++q) {
      Take(scratch.neuron_significance[q], net.Signals[o + j] * net.BackSignals[o + j], maximum);
    }
  }
}

template <typename T>
void Load(std::vector<double>& to, const std::vector<T>& from) {
  to.assign(from.begin(), from.end());
}

template <typename T>
void Store(std::vector<T>& to, const std::vector<double>& from) {
  const size_t n = std::min(to.size(), from.size());
  for (size_t i = 0; i < n; ++i) to[i] = static_cast<T>(from[i]);
}

// A book made for another layout of inputs and outputs is not walked.
TaskBook* UsableBook(const NeuralNet& net) {
  TaskBook* book = net.Book.get();
  if (book == nullptr || book->Count() == 0) return nullptr;
  if (book->NumOfInputs() != net.Desc.NumOfInputs ||
      book->NumOfOutputs() != net.Desc.NumOfOutputs ||
      book->NumOfOutFields() < static_cast<int32_t>(net.TrainingList.size()) ||
      book->NumOfOutFields() < static_cast<int32_t>(net.AcceptanceList.size())) {
    return nullptr;
  }
  return book;
}

void PointAtRow(NeuralNet& net, const TaskBook& book) {
  net.CurInputs = book.Inputs().data();
  net.CurTargets = book.Targets().data();
  net.CurWeights = book.Weights().data();
}

void LetInputThrough(EngineContext& context) { context.host.ProcessPendingInput(); }

}  // namespace

void Forward(NeuralNet& net) {
  g_scratch.Fit(net);
  ForwardPass(net, g_scratch);
}

void Backward(NeuralNet& net) {
  g_scratch.Fit(net);
  BackwardPass<false>(net, g_scratch, true);
}

float EvaluateError(NeuralNet& net, EngineContext& context) {
  double total = 0;
  double error_sum = 0;
  int32_t solved = 0;
  TaskBook* book = UsableBook(net);
  if (book != nullptr) {
    PassScratch& scratch = g_scratch;
    scratch.Fit(net);
    book->First();
    do {
      PointAtRow(net, *book);
      ForwardPass(net, scratch);
      total += EvaluateErrorList(net.TrainingList, net.Outputs.data(), net.CurTargets,
                                 net.CurWeights, nullptr);
      const float v = EvaluateErrorList(net.AcceptanceList, net.Outputs.data(), net.CurTargets,
                                        net.CurWeights, nullptr);
      if (v == 0.0f) {
        ++solved;
      } else {
        error_sum += v;
      }
    } while (book->Next());
  }
  net.ErrorSum = static_cast<float>(error_sum);
  net.NumOfSolved = solved;
  LetInputThrough(context);
  return static_cast<float>(total);
}

float EvaluateGradient(NeuralNet& net, EngineContext& context) {
  double total = 0;
  double error_sum = 0;
  int32_t solved = 0;
  PassScratch& scratch = g_scratch;
  scratch.Fit(net);
  scratch.direction.assign(static_cast<size_t>(net.NumOfParameters), 0.0);
  const bool sens = net.SensMode != 0;
  const bool maximum = context.options.SensitivityNorm == 1;
  if (sens) {
    Load(scratch.param_significance, net.ParamSignificance);
    Load(scratch.input_significance, net.InputSignificance);
    Load(scratch.neuron_significance, net.NeuronSignificance);
    scratch.param_significance.resize(net.NumOfParameters);
    scratch.input_significance.resize(net.Desc.NumOfInputs);
    scratch.neuron_significance.resize(net.NumOfHiddenNeurons);
  }
  TaskBook* book = UsableBook(net);
  if (book != nullptr) {
    book->First();
    do {
      PointAtRow(net, *book);
      ForwardPass(net, scratch);
      const float v = EvaluateErrorList(net.AcceptanceList, net.Outputs.data(), net.CurTargets,
                                        net.CurWeights, nullptr);
      if (v == 0.0f) {
        ++solved;
      } else {
        error_sum += v;
      }
      const float e = EvaluateErrorList(net.TrainingList, net.Outputs.data(), net.CurTargets,
                                        net.CurWeights, net.OutputErrors.data());
      if (e == 0.0f) continue;
      total += e;
      // InputErrors are only read by the significance accumulation.
      BackwardPass<true>(net, scratch, sens);
      if (sens) AccumulateSignificance(net, scratch, maximum);
    } while (book->Next());
  }
  Store(net.Direction, scratch.direction);
  if (sens) {
    Store(net.ParamSignificance, scratch.param_significance);
    Store(net.InputSignificance, scratch.input_significance);
    Store(net.NeuronSignificance, scratch.neuron_significance);
  }
  net.ErrorSum = static_cast<float>(error_sum);
  net.NumOfSolved = solved;
  LetInputThrough(context);
  return static_cast<float>(total);
}

}  // namespace velmar
