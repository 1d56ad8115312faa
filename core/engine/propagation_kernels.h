#ifndef VELMAR_CORE_ENGINE_PROPAGATION_KERNELS_H_
#define VELMAR_CORE_ENGINE_PROPAGATION_KERNELS_H_

namespace velmar {

// The inner loops of the passes over a taskbook. They work on kKernelBatch
// examples at once, so that every weight is read once for all of them. Two
// layouts are used: "lane-major" vectors hold entry i of example e at
// [kKernelBatch·i + e] (the forward sources and sums, the signals sent back),
// and "own" vectors hold one example's sources in double, padded with zeros
// to a multiple of 8 entries.
//
// Weights, sources and signals are float32 values held in double, so every
// product is exact, and a multiply-add rounds exactly like a multiply
// followed by an add. Every path adds in the same order, so all of them give
// the same bits:
// - a weighted sum runs in 8 interleaved lanes over the first 8·⌊k/8⌋
//   sources (lane u takes the sources s ≡ u mod 8 in order), the lanes are
//   combined as ((l0+l4)+(l1+l5))+((l2+l6)+(l3+l7)), and the remaining
//   sources, summed in order from 0, are added last;
// - a signal sent back is summed over the rows in row order from 0;
// - an entry of the direction receives one exact product g·x per example, in
//   example order. (The example's own gradient, which Backward stores, is
//   that product rounded to float32; the direction sums the products
//   unrounded, like every other sum here, so that the sum runs on
//   multiply-adds.)
constexpr int kKernelBatch = 8;

struct PassKernels {
  const char* name;
  // Row j of a layer's weights (or of the direction) starts at j·stride.
  //
  // sums[8j + e] = Σ_s w[j·stride + s]·x[8s + e], for j < m and every lane
  // e. xe[e] holds the same sources as x, example e's on their own.
  void (*layer_sums)(const double* w, int stride, int k, int m, const double* x,
                     const double* const* xe, double* sums);
  // back[8s + e] = float32 of Σ_j g[8j + e]·w[j·stride + s] (rows in
  // order), for s < k and every lane e; g holds float32 values.
  void (*layer_back)(const double* w, int stride, int k, int m, const double* g, float* back);
  // For each row j < m and each example i < n in order:
  // d[j·stride + s] += g[i][8j]·x[i][s] for s < stride. x[i] is the
  // example's own sources, zero from k to the stride, so that the padding of
  // d stays finite; g[i] points at its lane of a lane-major vector of
  // signals.
  void (*layer_direction)(int stride, int m, const double* const* x, const double* const* g, int n,
                          double* d);
  // Eight examples' inputs (float32 rows of k values) in both layouts:
  // own[e][s] = x[8s + e] = rows[e][s] for s < k. own[e] is not written past
  // k; x holds k rounded up to 8 groups of 8, whose entries past 8k may be
  // overwritten.
  void (*load_inputs)(const float* const* rows, int k, double* const* own, double* x);
  // The sigmoid layer's outputs from its sums, for j < m and every lane e
  // (i = 8j + e), with c, b = neuron[2j], neuron[2j + 1] (float32 values
  // held in double, so that they are broadcast straight from memory): stored[i] =
  // float32(sums[i]), A = b + stored[i], outputs[i] = float32(A / (c + |A|)),
  // next[i] = own[e][j] = outputs[i].
  void (*activate)(const double* neuron, int m, const double* sums, float* stored, float* outputs,
                   double* next, double* const* own);
  // The sigmoid layer's derivatives, for j < m and every lane e, from the
  // stored sums and the signals u at the outputs: A as above, q = c + |A|,
  // h = u[i] / q², characteristic[e][j] = float32(-A·h), and g[i] = gd[i] =
  // float32(c·h) for the lanes with take[e] set, 0 for the others.
  void (*derive)(const double* neuron, int m, const float* sums, const float* u, const bool* take,
                 double* const* characteristic, float* g, double* gd);
};

enum class KernelPath { kAuto, kPortable, kAvx2, kAvx512 };

// The kernels of `path`, or null when this processor or build lacks it.
// kAuto is the widest the processor offers; the environment variable
// VELMAR_KERNELS (portable, avx2, avx512) overrides it, for tests and
// measurements.
const PassKernels* KernelsFor(KernelPath path);
// The kernels the passes use: kAuto until UseKernels picks another path.
const PassKernels& ActiveKernels();
// Makes the passes use `path`; false (and no change) when it is not available.
// Call it while no pass runs.
bool UseKernels(KernelPath path);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_PROPAGATION_KERNELS_H_
