#include "core/engine/propagation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "core/base/thread_pool.h"
#include "core/engine/propagation_kernels.h"

namespace velmar {
namespace {

// Every sum runs in double over float32 data. A product of two float32 values
// is exact in double, so only the additions round, in a fixed order (see
// propagation_kernels.h). The passes over a taskbook cut it into fixed blocks
// of rows that depend on the row count only; each block is summed in row
// order and the block sums are added in block order, so any number of
// threads gives the same bits.

constexpr int kLanes = 8;

// Σ w[s]·x[s] in the lane order of the kernels.
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

inline int LayerCount(const NeuralNet& net) { return net.Desc.NumOfLayers; }

inline int Neurons(const NeuralNet& net, int l) {
  return l < LayerCount(net) ? net.Desc.NumOfNeurons[l] : net.Desc.NumOfOutputs;
}

inline int Sources(const NeuralNet& net, int l) {
  return l == 0 ? net.Desc.NumOfInputs : net.Desc.NumOfNeurons[l - 1];
}

// Offset of layer l's source vector within a vector of all sources in double
// (the inputs, then every sigmoid layer's outputs).
inline int SourceOffset(const NeuralNet& net, int l) {
  if (l == 0) return 0;
  return net.Desc.NumOfInputs + net.SumStart(l - 1) / 2;
}

inline size_t SourceCount(const NeuralNet& net) {
  return static_cast<size_t>(net.Desc.NumOfInputs) +
         static_cast<size_t>(std::max(net.NumOfHiddenNeurons, 0));
}

inline size_t WidestFanIn(const NeuralNet& net) {
  size_t widest = static_cast<size_t>(net.Desc.NumOfInputs);
  for (int l = 0; l < net.Desc.NumOfLayers && l < kMaxLayers; ++l) {
    widest = std::max<size_t>(widest, static_cast<size_t>(net.Desc.NumOfNeurons[l]));
  }
  return widest;
}

template <typename Vector>
inline void Grow(Vector& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

// Sigmoid outputs of layer l from the stored sums, into `outputs` (float32)
// and `next` (the same values in double, the next layer's sources).
inline void Activate(const float* neuron, const float* sums, int m, float* outputs, double* next) {
  for (int j = 0; j < m; ++j) {
    const double c = neuron[2 * j];
    const double a = static_cast<double>(neuron[2 * j + 1]) + static_cast<double>(sums[j]);
    outputs[j] = static_cast<float>(a / (c + std::fabs(a)));
    next[j] = static_cast<double>(outputs[j]);
  }
}

// ---- One example on the net's own vectors (Forward, Backward) ------------

struct PassScratch {
  std::vector<double> sources;
  std::vector<double> back;

  void Fit(const NeuralNet& net) {
    Grow(sources, SourceCount(net));
    Grow(back, WidestFanIn(net));
  }
};

thread_local PassScratch g_scratch;

void ForwardPass(NeuralNet& net, PassScratch& scratch) {
  const int layers = LayerCount(net);
  const float* params = net.Parameters.data();
  float* signals = net.Signals.data();
  double* sources = scratch.sources.data();
  for (int s = 0; s < net.Desc.NumOfInputs; ++s) sources[s] = net.CurInputs[s];
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
    Activate(params + net.NeuronStart(l), sums, m, signals + net.OutputStart(l),
             sources + SourceOffset(net, l + 1));
  }
}

// BackSignals, InputErrors and ExampleGradient from OutputErrors.
void BackwardPass(NeuralNet& net, PassScratch& scratch) {
  const int layers = LayerCount(net);
  const float* params = net.Parameters.data();
  float* back_signals = net.BackSignals.data();
  float* gradient = net.ExampleGradient.data();
  double* back = scratch.back.data();
  // Row j of a layer whose rows start at w0: the example's gradient g·x and
  // g sent back through the weights.
  auto row = [&](int w0, int j, int k, float g, const float* x) {
    const float* w = params + w0 + size_t(j) * k;
    float* e = gradient + w0 + size_t(j) * k;
    for (int s = 0; s < k; ++s) e[s] = g * x[s];
    for (int s = 0; s < k; ++s) back[s] += static_cast<double>(g) * static_cast<double>(w[s]);
  };
  for (int l = layers; l >= 0; --l) {
    const int k = Sources(net, l);
    const int m = Neurons(net, l);
    const int n0 = net.NeuronStart(l);
    const float* x = l == 0 ? net.CurInputs : net.Signals.data() + net.OutputStart(l - 1);
    float* sums = back_signals + net.SumStart(l);
    std::fill(back, back + k, 0.0);
    for (int j = 0; j < m; ++j) {
      if (l == layers) {
        sums[j] = net.OutputErrors[j];
        gradient[n0 + j] = sums[j];
      } else {
        const double c = params[n0 + 2 * j];
        const double a = static_cast<double>(params[n0 + 2 * j + 1]) +
                         static_cast<double>(net.Signals[net.SumStart(l) + j]);
        const double q = c + std::fabs(a);
        const double g = static_cast<double>(back_signals[net.OutputStart(l) + j]) / (q * q);
        gradient[n0 + 2 * j] = static_cast<float>(-a * g);
        sums[j] = static_cast<float>(c * g);
        gradient[n0 + 2 * j + 1] = sums[j];
      }
      row(net.WeightStart(l), j, k, sums[j], x);
    }
    float* target = l > 0 ? back_signals + net.OutputStart(l - 1) : net.InputErrors.data();
    for (int s = 0; s < k; ++s) target[s] = static_cast<float>(back[s]);
  }
}

// ---- Passes over the taskbook ---------------------------------------------

// Rows of a block: at least kMinBlockRows, at most kMaxBlocks blocks.
constexpr uint32_t kMinBlockRows = 512;
constexpr uint32_t kMaxBlocks = 32;
// Below this many multiply-adds per pass (a tenth to half a millisecond on one
// core) waking the threads costs more than they give.
constexpr double kMinThreadedWork = 1e6;
constexpr int kBatch = kKernelBatch;

uint32_t BlockRows(uint32_t rows) {
  uint32_t per_block = std::max(kMinBlockRows, (rows + kMaxBlocks - 1) / kMaxBlocks);
  return (per_block + kBatch - 1) / kBatch * kBatch;
}

// Vectors on 64-byte boundaries, so that the kernels' loads do not straddle
// cache lines.
template <typename T>
struct AlignedAllocator {
  using value_type = T;
  static constexpr std::align_val_t kAlign{64};
  AlignedAllocator() = default;
  template <typename U>
  AlignedAllocator(const AlignedAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlign)); }
  void deallocate(T* p, size_t) { ::operator delete(p, kAlign); }
  template <typename U>
  bool operator==(const AlignedAllocator<U>&) const {
    return true;
  }
};
template <typename T>
using AlignedVector = std::vector<T, AlignedAllocator<T>>;

inline int RoundUp8(int n) { return (n + 7) / 8 * 8; }

// Where the passes keep a layer's weights, direction and sources: every
// weight row and every segment starts on a multiple of 8 entries. A row has
// room after its k weights for the neuron's bias, whose source is a constant
// 1 in each example's own sources, so that the direction kernel adds the
// bias's entry (g·1 = g) with the weights'. The characteristics of every
// sigmoid layer follow all rows, each layer's in a segment of a multiple of
// 8, so that their direction is one row for the whole net.
struct LayerPlan {
  int k = 0, m = 0;
  int stride = 0;          // entries from one weight row to the next (> k)
  int weights = 0;         // first weight
  int characteristic = 0;  // first characteristic (sigmoid layers), within their segment
  int sources = 0;         // first source within a source vector
};

struct PassPlan {
  LayerPlan layer[kMaxLayers + 1];
  int layers = 0;
  size_t params = 0;             // entries of a padded parameter vector
  size_t sources = 0;            // entries of a padded source vector
  int characteristics = 0;       // where they start in a parameter vector
  int characteristic_count = 0;  // their padded entries
  std::vector<int32_t> index;    // padded position of each parameter
  // Counts up whenever the layout changes: what was laid out for an earlier
  // one is laid out again.
  uint64_t generation = 0;
  std::vector<int32_t> shape;  // the sizes the layout was made for

  void Fit(const NeuralNet& net) {
    // Training and pruning run thousands of passes on one shape; a small
    // taskbook feels the cost of laying it out again every time.
    const int32_t sizes[] = {net.Desc.NumOfInputs, net.Desc.NumOfOutputs, net.Desc.NumOfLayers,
                             net.NumOfParameters, net.NumOfSignals};
    thread_local std::vector<int32_t> now;
    now.assign(std::begin(sizes), std::end(sizes));
    for (int l = 0; l < LayerCount(net) && l < kMaxLayers; ++l) {
      now.push_back(net.Desc.NumOfNeurons[l]);
    }
    if (generation > 0 && now == shape) return;
    shape = now;
    ++generation;
    layers = LayerCount(net);
    int at = 0;
    characteristic_count = 0;
    int source = 0;
    for (int l = 0; l <= layers; ++l) {
      LayerPlan& p = layer[l];
      p.k = Sources(net, l);
      p.m = Neurons(net, l);
      p.stride = RoundUp8(p.k + 1);
      p.weights = at;
      at += p.m * p.stride;
      p.characteristic = characteristic_count;
      if (l < layers) characteristic_count += RoundUp8(p.m);
      p.sources = source;
      source += p.stride;
    }
    characteristics = at;
    params = static_cast<size_t>(at + characteristic_count);
    sources = static_cast<size_t>(source);
    index.resize(static_cast<size_t>(net.NumOfParameters));
    for (int l = 0; l <= layers; ++l) {
      const LayerPlan& p = layer[l];
      const int n0 = net.NeuronStart(l);
      for (int j = 0; j < p.m; ++j) {
        const int row = p.weights + j * p.stride;
        for (int s = 0; s < p.k; ++s) index[net.WeightStart(l) + j * p.k + s] = row + s;
        if (l == layers) {
          index[n0 + j] = row + p.k;
        } else {
          index[n0 + 2 * j] = characteristics + p.characteristic + j;
          index[n0 + 2 * j + 1] = row + p.k;
        }
      }
    }
  }
};

// The vectors of kBatch examples in flight on one thread. "Lane-major"
// vectors hold entry i of example e at [kBatch·i + e], "own" vectors one
// example's entries each (see propagation_kernels.h); lanes past the examples
// of a short batch hold harmless values that nobody reads.
//
// The direction of a batch is added together with the next batch's, so that
// each entry of the direction is loaded and stored once for both: what it
// needs (the own sources, the signals of every layer and the examples that
// take part) is kept in one of two slots.
constexpr int kSlots = 2;

struct BatchSlot {
  AlignedVector<double> own_sources;     // own, padded source layout, the bias slots 1
  AlignedVector<double> rows;            // lane-major: every layer's signals in double
  AlignedVector<double> characteristic;  // own: the characteristics' gradients, padded
  int which[kBatch] = {};                // the examples with training error, in order
  int n = 0;
};

struct BatchWork {
  BatchSlot slot[kSlots];
  AlignedVector<double> sources;       // lane-major, padded source layout
  AlignedVector<float> signals;        // lane-major: like NeuralNet::Signals
  AlignedVector<float> back_signals;   // lane-major: like NeuralNet::BackSignals
  AlignedVector<double> sums;          // lane-major: one layer's weighted sums
  AlignedVector<float> input_errors;   // lane-major: the signals sent back to the inputs
  AlignedVector<float> outputs;        // lane-major: the network outputs
  AlignedVector<float> output_errors;  // lane-major: their descent signals
  std::vector<float> own_outputs;      // one example's outputs (chains other than twins)
  std::vector<float> own_errors;       // and their signals
  size_t source_count = 0, output_count = 0, characteristic_count = 0;

  uint64_t generation = 0;  // of the plan the vectors below were laid out for
  // Where each slot's examples' own vectors start: the passes add a layer's
  // offset to these for every layer, so they are worked out once.
  double* own_at[kSlots][kBatch] = {};
  double* characteristic_at[kSlots][kBatch] = {};

  void Fit(const NeuralNet& net, const PassPlan& plan) {
    if (generation == plan.generation) return;
    generation = plan.generation;
    source_count = plan.sources;
    output_count = static_cast<size_t>(net.Desc.NumOfOutputs);
    const size_t widest = std::max(WidestFanIn(net), output_count);
    const size_t signal_count = static_cast<size_t>(net.NumOfSignals);
    characteristic_count = static_cast<size_t>(plan.characteristic_count);
    for (BatchSlot& s : slot) {
      Grow(s.own_sources, kBatch * source_count);
      Grow(s.rows, kBatch * signal_count);
      Grow(s.characteristic, kBatch * characteristic_count);
      std::fill(s.characteristic.begin(), s.characteristic.begin() + kBatch * characteristic_count,
                0.0);
      // The kernels read whole groups of 8: the gaps must hold finite
      // values, and the bias slots 1. Nothing else writes there.
      std::fill(s.own_sources.begin(), s.own_sources.begin() + kBatch * source_count, 0.0);
      for (int e = 0; e < kBatch; ++e) {
        double* own = s.own_sources.data() + e * source_count;
        for (int l = 0; l <= plan.layers; ++l) own[plan.layer[l].sources + plan.layer[l].k] = 1;
      }
    }
    Grow(sources, kBatch * source_count);
    Grow(signals, kBatch * signal_count);
    Grow(back_signals, kBatch * signal_count);
    Grow(sums, kBatch * widest);
    Grow(input_errors, kBatch * static_cast<size_t>(net.Desc.NumOfInputs));
    Grow(outputs, kBatch * output_count);
    Grow(output_errors, kBatch * output_count);
    Grow(own_outputs, output_count);
    Grow(own_errors, output_count);
    for (int t = 0; t < kSlots; ++t) {
      for (int e = 0; e < kBatch; ++e) {
        own_at[t][e] = slot[t].own_sources.data() + e * source_count;
        characteristic_at[t][e] = slot[t].characteristic.data() + e * characteristic_count;
      }
    }
  }
  double* OwnSources(int s, int e) { return own_at[s][e]; }
  double* Characteristic(int s, int e) { return characteristic_at[s][e]; }
};

struct BlockTotals {
  double total = 0;
  double error_sum = 0;
  int32_t solved = 0;
};

// Significance accumulators of a pass in SensMode (in double).
struct Significance {
  bool maximum = false;
  std::vector<double> params, inputs, neurons;
  AlignedVector<double> prefix;  // the direction of the blocks before the current one
  bool has_prefix = false;
};

// Everything one pass needs, kept per calling thread and only grown.
struct PassState {
  PassPlan plan;
  AlignedVector<double> weights;  // the parameters in double, padded layout
  // The sigmoid neurons' (characteristic, bias) pairs in double, where the
  // net keeps them, for the kernels to broadcast straight from memory.
  AlignedVector<double> neurons;
  AlignedVector<double> directions;  // one direction per block, padded layout
  std::vector<BlockTotals> totals;
  std::vector<BatchWork> work;  // one per pool thread
  Significance significance;
};

thread_local PassState g_pass;

struct PassJob {
  NeuralNet& net;
  const TaskBook& book;
  const PassKernels& kernels;
  PassState& state;
  uint32_t block_rows;
  bool gradient;
  bool sens;
  bool twins;  // the chains pass ToleranceTwins: errors of a batch at once
};

// Forward pass of `batch` consecutive rows from `first`, keeping the own
// sources in `slot`.
void ForwardBatch(const PassJob& job, BatchWork& work, int slot, uint32_t first, int batch) {
  const NeuralNet& net = job.net;
  const PassPlan& plan = job.state.plan;
  const int layers = plan.layers;
  const int inputs = net.Desc.NumOfInputs;
  const double* weights = job.state.weights.data();
  const float* params = net.Parameters.data();
  double* sources = work.sources.data();
  // Lanes past a short batch repeat its last example; nobody reads them.
  const float* rows[kBatch];
  double* own[kBatch];
  for (int e = 0; e < kBatch; ++e) {
    rows[e] = job.book.RowInputs(first + static_cast<uint32_t>(std::min(e, batch - 1)));
    own[e] = work.OwnSources(slot, e);
  }
  job.kernels.load_inputs(rows, inputs, own, sources);
  const double* sums = work.sums.data();
  for (int l = 0; l <= layers; ++l) {
    const LayerPlan& p = plan.layer[l];
    for (int e = 0; e < kBatch; ++e) own[e] = work.OwnSources(slot, e) + p.sources;
    job.kernels.layer_sums(weights + p.weights, p.stride, p.k, p.m, sources + kBatch * p.sources,
                           own, work.sums.data());
    if (l == layers) {
      const float* bias = params + net.NeuronStart(l);
      float* outputs = work.outputs.data();
      for (int j = 0; j < p.m; ++j) {
        const double b = bias[j];
        for (int e = 0; e < kBatch; ++e) {
          const int i = kBatch * j + e;
          outputs[i] = static_cast<float>(static_cast<double>(static_cast<float>(sums[i])) + b);
        }
      }
      break;
    }
    float* outputs = work.signals.data() + kBatch * net.OutputStart(l);
    const int to = plan.layer[l + 1].sources;
    double* next[kBatch];
    for (int e = 0; e < kBatch; ++e) next[e] = work.OwnSources(slot, e) + to;
    job.kernels.activate(job.state.neurons.data() + net.NeuronStart(l), p.m, sums,
                         work.signals.data() + kBatch * net.SumStart(l), outputs,
                         sources + kBatch * to, next);
  }
}

// Backward pass of the examples `which[0..n)` of the batch in `slot`: the
// signals of every layer and the characteristics' gradients go to the slot,
// for AddDirection. In SensMode (one example at a time) InputErrors are
// written too.
void BackwardBatch(const PassJob& job, BatchWork& work, int slot, const int* which, int n) {
  NeuralNet& net = job.net;
  const PassPlan& plan = job.state.plan;
  const int layers = plan.layers;
  const double* weights = job.state.weights.data();
  bool taking[kBatch] = {};
  for (int i = 0; i < n; ++i) taking[which[i]] = true;
  // The output signals of the examples not taken are zero: a mask of all
  // ones or zeros, so that the loop below has no branch.
  uint32_t keep[kBatch];
  for (int e = 0; e < kBatch; ++e) keep[e] = taking[e] ? ~0u : 0u;
  double* characteristic[kBatch];
  for (int l = layers; l >= 0; --l) {
    const LayerPlan& p = plan.layer[l];
    const int m = p.m;
    float* g = work.back_signals.data() + kBatch * net.SumStart(l);
    double* rows = work.slot[slot].rows.data() + kBatch * net.SumStart(l);
    if (l == layers) {
      const float* errors = work.output_errors.data();
      for (int j = 0; j < m; ++j) {
        for (int e = 0; e < kBatch; ++e) {
          const int i = kBatch * j + e;
          uint32_t bits;
          std::memcpy(&bits, errors + i, sizeof bits);
          bits &= keep[e];
          std::memcpy(g + i, &bits, sizeof bits);
          rows[i] = static_cast<double>(g[i]);
        }
      }
    } else {
      for (int e = 0; e < kBatch; ++e) {
        characteristic[e] = work.Characteristic(slot, e) + p.characteristic;
      }
      job.kernels.derive(job.state.neurons.data() + net.NeuronStart(l), m,
                         work.signals.data() + kBatch * net.SumStart(l),
                         work.back_signals.data() + kBatch * net.OutputStart(l), taking,
                         characteristic, g, rows);
    }
    if (l > 0) {
      job.kernels.layer_back(weights + p.weights, p.stride, p.k, m, rows,
                             work.back_signals.data() + kBatch * net.OutputStart(l - 1));
    } else if (job.sens) {
      float* back = work.input_errors.data();
      job.kernels.layer_back(weights + p.weights, p.stride, p.k, m, rows, back);
      for (int s = 0; s < p.k; ++s) net.InputErrors[s] = back[kBatch * s + which[0]];
    }
  }
}

// Adds the terms of the examples kept in the first `slots` slots, slot by
// slot and each slot's examples in order.
void AddDirection(const PassJob& job, BatchWork& work, int slots, double* direction) {
  const NeuralNet& net = job.net;
  const PassPlan& plan = job.state.plan;
  // The examples' own vectors and signals, each layer's found by an offset,
  // and their characteristics' gradients.
  const double* own[kSlots * kBatch];
  const double* rows[kSlots * kBatch];
  const double* characteristic[kSlots * kBatch];
  int n = 0;
  for (int s = 0; s < slots; ++s) {
    const BatchSlot& kept = work.slot[s];
    for (int i = 0; i < kept.n; ++i, ++n) {
      own[n] = work.OwnSources(s, kept.which[i]);
      rows[n] = kept.rows.data() + kept.which[i];
      characteristic[n] = work.Characteristic(s, kept.which[i]);
    }
  }
  const double* x[kSlots * kBatch];
  const double* g[kSlots * kBatch];
  for (int l = plan.layers; l >= 0; --l) {
    const LayerPlan& p = plan.layer[l];
    const long signals = kBatch * static_cast<long>(net.SumStart(l));
    for (int i = 0; i < n; ++i) {
      x[i] = own[i] + p.sources;
      g[i] = rows[i] + signals;
    }
    job.kernels.layer_direction(p.stride, p.m, x, g, n, direction + p.weights);
  }
  if (plan.characteristic_count == 0) return;
  // The characteristics' "signal": each example's own value is added as is.
  static constexpr double kOne = 1;
  for (int i = 0; i < n; ++i) g[i] = &kOne;
  job.kernels.layer_direction(plan.characteristic_count, 1, characteristic, g, n,
                              direction + plan.characteristics);
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

// After one example of a SensMode pass: the running direction is the sum of
// the blocks before (in block order) plus the current block's own sum.
void AccumulateSignificance(const PassJob& job, BatchWork& work, int lane, const double* partial) {
  const NeuralNet& net = job.net;
  Significance& sig = job.state.significance;
  const std::vector<int32_t>& index = job.state.plan.index;
  for (size_t i = 0; i < index.size(); ++i) {
    const double own = partial[index[i]];
    const double sum = sig.has_prefix ? sig.prefix[index[i]] + own : own;
    Take(sig.params[i], static_cast<float>(sum), sig.maximum);
  }
  const double* inputs = work.OwnSources(0, lane);
  for (int s = 0; s < net.Desc.NumOfInputs; ++s) {
    Take(sig.inputs[s], net.InputErrors[s] * static_cast<float>(inputs[s]), sig.maximum);
  }
  const float* signals = work.signals.data() + lane;
  const float* back_signals = work.back_signals.data() + lane;
  int q = 0;
  for (int l = 0; l < LayerCount(net); ++l) {
    const int o = net.OutputStart(l);
    for (int j = 0; j < Neurons(net, l); ++j, ++q) {
      Take(sig.neurons[q], signals[kBatch * (o + j)] * back_signals[kBatch * (o + j)], sig.maximum);
    }
  }
}

// Both error chains of the batch's examples; their descent signals go to
// work.output_errors in a gradient pass.
void EvaluateBatchErrors(const PassJob& job, BatchWork& work, uint32_t first, int batch,
                         ExampleErrors* errors) {
  const NeuralNet& net = job.net;
  float* signals = job.gradient ? work.output_errors.data() : nullptr;
  if (job.twins) {
    static_assert(kErrorLanes == kBatch);
    // Lanes past a short batch repeat its last example; nobody reads them.
    const float* targets[kBatch];
    const float* weights[kBatch];
    for (int e = 0; e < kBatch; ++e) {
      const uint32_t row = first + static_cast<uint32_t>(std::min(e, batch - 1));
      targets[e] = job.book.RowTargets(row);
      weights[e] = job.book.RowWeights(row);
    }
    ToleranceTwinLanes(net.AcceptanceList, net.TrainingList, work.outputs.data(), targets, weights,
                       signals, errors);
    return;
  }
  const int m = static_cast<int>(work.output_count);
  float* y = work.own_outputs.data();
  float* g = work.own_errors.data();
  for (int e = 0; e < batch; ++e) {
    for (int j = 0; j < m; ++j) y[j] = work.outputs[kBatch * j + e];
    errors[e] =
        EvaluateErrorLists(net.AcceptanceList, net.TrainingList, y, job.book.RowTargets(first + e),
                           job.book.RowWeights(first + e), signals ? g : nullptr);
    if (signals == nullptr) continue;
    for (int j = 0; j < m; ++j) signals[kBatch * j + e] = g[j];
  }
}

// One block of rows on one thread.
void RunBlock(const PassJob& job, uint32_t block, int thread) {
  PassState& state = job.state;
  BatchWork& work = state.work[thread];
  const size_t params = state.plan.params;
  double* direction = nullptr;
  if (job.gradient) {
    direction = state.directions.data() + block * params;
    std::fill(direction, direction + params, 0.0);
  }
  BlockTotals totals;
  const uint32_t first = block * job.block_rows;
  const uint32_t end = std::min(job.book.Count(), first + job.block_rows);
  int kept = 0;  // slots holding a batch whose direction is still to be added
  for (uint32_t row = first; row < end; row += kBatch) {
    const int batch = static_cast<int>(std::min<uint32_t>(kBatch, end - row));
    ForwardBatch(job, work, kept, row, batch);
    ExampleErrors batch_errors[kBatch];
    EvaluateBatchErrors(job, work, row, batch, batch_errors);
    int* which = work.slot[kept].which;
    int n = 0;
    for (int e = 0; e < batch; ++e) {
      const ExampleErrors& errors = batch_errors[e];
      if (errors.acceptance == 0.0f) {
        ++totals.solved;
      } else {
        totals.error_sum += errors.acceptance;
      }
      if (!job.gradient) {
        totals.total += errors.training;
        continue;
      }
      if (errors.training == 0.0f) continue;
      totals.total += errors.training;
      which[n++] = e;
    }
    work.slot[kept].n = n;
    if (n == 0) continue;
    if (!job.sens) {
      BackwardBatch(job, work, kept, which, n);
      if (++kept == kSlots) {
        AddDirection(job, work, kept, direction);
        kept = 0;
      }
      continue;
    }
    // The significance indicators need the running direction after every
    // example: one backward pass at a time.
    int list[kBatch];
    std::copy_n(which, n, list);
    for (int i = 0; i < n; ++i) {
      work.slot[0].which[0] = list[i];
      work.slot[0].n = 1;
      BackwardBatch(job, work, 0, list + i, 1);
      AddDirection(job, work, 1, direction);
      AccumulateSignificance(job, work, list[i], direction);
    }
  }
  if (kept > 0) AddDirection(job, work, kept, direction);
  state.totals[block] = totals;
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

double Synapses(const NeuralNet& net) {
  double total = 0;
  for (int l = 0; l <= LayerCount(net); ++l) {
    total += static_cast<double>(Sources(net, l)) * static_cast<double>(Neurons(net, l));
  }
  return total;
}

template <typename T>
void Load(std::vector<double>& to, const std::vector<T>& from, size_t n) {
  to.assign(n, 0.0);
  std::copy_n(from.begin(), std::min(n, from.size()), to.begin());
}

template <typename T>
void Store(std::vector<T>& to, const double* from, size_t n) {
  n = std::min(to.size(), n);
  for (size_t i = 0; i < n; ++i) to[i] = static_cast<T>(from[i]);
}

// The parameters into the padded layout (`weights`), and the sigmoid
// neurons' pairs into `neurons` at the net's own places: what plan.index
// maps, a row at a time, so that the weights are copied by vectors.
void LoadParameters(const NeuralNet& net, const PassPlan& plan, double* weights, double* neurons) {
  const float* params = net.Parameters.data();
  for (int l = 0; l <= plan.layers; ++l) {
    const LayerPlan& p = plan.layer[l];
    const float* from = params + net.WeightStart(l);
    const float* neuron = params + net.NeuronStart(l);
    for (int j = 0; j < p.m; ++j, from += p.k) {
      double* row = weights + p.weights + j * p.stride;
      for (int s = 0; s < p.k; ++s) row[s] = from[s];
      if (l == plan.layers) {
        row[p.k] = neuron[j];
        continue;
      }
      weights[plan.characteristics + p.characteristic + j] = neuron[2 * j];
      row[p.k] = neuron[2 * j + 1];
      neurons[net.NeuronStart(l) + 2 * j] = neuron[2 * j];
      neurons[net.NeuronStart(l) + 2 * j + 1] = neuron[2 * j + 1];
    }
  }
}

// The direction from the padded layout back to the net's, rounded to float32.
void StoreDirection(const NeuralNet& net, const PassPlan& plan, const double* sum,
                    float* direction) {
  for (int l = 0; l <= plan.layers; ++l) {
    const LayerPlan& p = plan.layer[l];
    float* to = direction + net.WeightStart(l);
    float* neuron = direction + net.NeuronStart(l);
    for (int j = 0; j < p.m; ++j, to += p.k) {
      const double* row = sum + p.weights + j * p.stride;
      for (int s = 0; s < p.k; ++s) to[s] = static_cast<float>(row[s]);
      if (l == plan.layers) {
        neuron[j] = static_cast<float>(row[p.k]);
        continue;
      }
      neuron[2 * j] = static_cast<float>(sum[plan.characteristics + p.characteristic + j]);
      neuron[2 * j + 1] = static_cast<float>(row[p.k]);
    }
  }
}

// Runs every block of `book` and leaves the per-block results in g_pass.
// Returns the number of blocks.
uint32_t RunBlocks(NeuralNet& net, TaskBook& book, bool gradient, bool sens) {
  PassState& state = g_pass;
  PassPlan& plan = state.plan;
  const uint64_t laid_out = plan.generation;
  plan.Fit(net);
  const uint32_t rows = book.Count();
  const uint32_t block_rows = BlockRows(rows);
  const uint32_t blocks = (rows + block_rows - 1) / block_rows;
  Grow(state.weights, plan.params);
  // The padding stays 0 from one pass to the next: only the parameters move.
  if (plan.generation != laid_out) {
    std::fill(state.weights.begin(), state.weights.begin() + plan.params, 0.0);
  }
  Grow(state.neurons, plan.index.size());
  LoadParameters(net, plan, state.weights.data(), state.neurons.data());
  if (gradient) Grow(state.directions, blocks * plan.params);
  Grow(state.totals, blocks);

  ThreadPool* pool = nullptr;
  int threads = 1;
  if (!sens && blocks > 1 && Synapses(net) * rows >= kMinThreadedWork) {
    pool = &PassPool();
    threads = std::min<int>(pool->Threads(), static_cast<int>(blocks));
  }
  if (state.work.size() < static_cast<size_t>(threads)) state.work.resize(threads);
  for (int t = 0; t < threads; ++t) state.work[t].Fit(net, plan);

  PassJob job{net,
              book,
              ActiveKernels(),
              state,
              block_rows,
              gradient,
              sens,
              ToleranceTwins(net.AcceptanceList, net.TrainingList)};
  if (sens) {
    // One thread, block after block, so that the running direction is known
    // after every example.
    Significance& sig = state.significance;
    Grow(sig.prefix, plan.params);
    sig.has_prefix = false;
    for (uint32_t b = 0; b < blocks; ++b) {
      RunBlock(job, b, 0);
      const double* partial = state.directions.data() + b * plan.params;
      for (size_t i = 0; i < plan.params; ++i) {
        sig.prefix[i] = sig.has_prefix ? sig.prefix[i] + partial[i] : partial[i];
      }
      sig.has_prefix = true;
    }
  } else if (pool == nullptr) {
    for (uint32_t b = 0; b < blocks; ++b) RunBlock(job, b, 0);
  } else {
    auto task = [&job](int block, int thread) {
      RunBlock(job, static_cast<uint32_t>(block), thread);
    };
    pool->Run(static_cast<int>(blocks), threads, task);
  }
  return blocks;
}

// The block totals added in block order, into the net's figures.
double StoreTotals(NeuralNet& net, const PassState& state, uint32_t blocks) {
  BlockTotals sum = state.totals[0];
  for (uint32_t b = 1; b < blocks; ++b) {
    sum.total += state.totals[b].total;
    sum.error_sum += state.totals[b].error_sum;
    sum.solved += state.totals[b].solved;
  }
  net.ErrorSum = static_cast<float>(sum.error_sum);
  net.NumOfSolved = sum.solved;
  return sum.total;
}

// The views point at the last row afterwards, as after walking the book.
void PointAtLastRow(NeuralNet& net, TaskBook& book) {
  book.GoTo(book.Count());
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
  BackwardPass(net, g_scratch);
}

float EvaluateError(NeuralNet& net, EngineContext& context) {
  double total = 0;
  net.ErrorSum = 0;
  net.NumOfSolved = 0;
  if (TaskBook* book = UsableBook(net)) {
    const uint32_t blocks = RunBlocks(net, *book, false, false);
    total = StoreTotals(net, g_pass, blocks);
    PointAtLastRow(net, *book);
  }
  LetInputThrough(context);
  return static_cast<float>(total);
}

float EvaluateGradient(NeuralNet& net, EngineContext& context) {
  double total = 0;
  net.ErrorSum = 0;
  net.NumOfSolved = 0;
  const size_t params = static_cast<size_t>(net.NumOfParameters);
  const bool sens = net.SensMode != 0;
  PassState& state = g_pass;
  Significance& sig = state.significance;
  if (sens) {
    sig.maximum = context.options.SensitivityNorm == 1;
    Load(sig.params, net.ParamSignificance, params);
    Load(sig.inputs, net.InputSignificance, static_cast<size_t>(net.Desc.NumOfInputs));
    Load(sig.neurons, net.NeuronSignificance, static_cast<size_t>(net.NumOfHiddenNeurons));
  }
  TaskBook* book = UsableBook(net);
  if (book == nullptr) {
    std::fill(net.Direction.begin(), net.Direction.end(), 0.0f);
  } else {
    const uint32_t blocks = RunBlocks(net, *book, true, sens);
    total = StoreTotals(net, state, blocks);
    const size_t padded = state.plan.params;
    double* sum = state.directions.data();
    for (uint32_t b = 1; b < blocks; ++b) {
      const double* block = state.directions.data() + b * padded;
      for (size_t i = 0; i < padded; ++i) sum[i] += block[i];
    }
    if (net.Direction.size() >= params) {
      StoreDirection(net, state.plan, sum, net.Direction.data());
    } else {
      for (size_t i = 0; i < net.Direction.size(); ++i) {
        net.Direction[i] = static_cast<float>(sum[state.plan.index[i]]);
      }
    }
    PointAtLastRow(net, *book);
  }
  if (sens) {
    Store(net.ParamSignificance, sig.params.data(), sig.params.size());
    Store(net.InputSignificance, sig.inputs.data(), sig.inputs.size());
    Store(net.NeuronSignificance, sig.neurons.data(), sig.neurons.size());
  }
  LetInputThrough(context);
  return static_cast<float>(total);
}

}  // namespace velmar
