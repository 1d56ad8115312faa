#ifndef VELMAR_CORE_ENGINE_PROPAGATION_KERNELS_H_
#define VELMAR_CORE_ENGINE_PROPAGATION_KERNELS_H_

namespace velmar {

// The inner loops of the passes over a taskbook, for up to kKernelBatch
// examples at once so that a weight row (or a row of the direction) is read
// once for all of them. Weights and forward sources are float32 values held
// in double, so every product of a weighted sum is exact and a multiply-add
// rounds exactly like a multiply followed by an add. An example's gradient
// entry g·x is its float32 product, as Backward stores it, widened and then
// added. Every path adds in the same order, so all of them give the same bits:
// - a weighted sum runs in 8 interleaved lanes over the first 8·⌊k/8⌋
//   sources (lane u takes the sources s ≡ u mod 8 in order), the lanes are
//   combined as ((l0+l4)+(l1+l5))+((l2+l6)+(l3+l7)), and the remaining
//   sources, summed in order from 0, are added last;
// - an entry of the direction or of the signals sent back receives one term
//   per example, in example order, and within one example the terms of
//   successive rows in row order.
constexpr int kKernelBatch = 8;

struct PassKernels {
  const char* name;
  // sums[e][j] = float32 of Σ_s w[j·k + s]·x[e][s], for j < m and e < batch.
  void (*layer_sums)(const double* w, int k, int m, const double* const* x, float* const* sums,
                     int batch);
  // For each row j < m, then each example e < batch, with g = g[e][j]: unless
  // skip_zero is set and g is 0, d[j·k + s] += float32(g·x[e][s]) and, when
  // back is not null, back[e][s] += g·w[j·k + s], for s < k.
  void (*layer_back)(const double* w, int k, int m, const float* const* x, const float* const* g,
                     double* d, double* const* back, int batch, bool skip_zero);
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
