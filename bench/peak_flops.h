#ifndef VELMAR_BENCH_PEAK_FLOPS_H_
#define VELMAR_BENCH_PEAK_FLOPS_H_

// The single-core double-precision peak of this machine, as reachable by code
// built with the same compiler flags as the kernels it is compared with: a
// multiply-add over many independent accumulators, so that the loop is bound
// by the arithmetic units' throughput and not by the latency of one chain.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace velmar::bench {

namespace peak_internal {

inline volatile double g_sink = 0;

template <int N>
inline void MultiplyAddRun(int64_t iterations) {
  // Loaded through a volatile so the compiler cannot fold the loop away.
  volatile double m_in = 0.9999999;
  volatile double a_in = 1e-9;
  const double m = m_in;
  const double a = a_in;
  alignas(64) double acc[N];
  for (int i = 0; i < N; ++i) acc[i] = 1.0 + i * 1e-3;
  for (int64_t it = 0; it < iterations; ++it) {
    for (int i = 0; i < N; ++i) {
#if defined(__FMA__)
      acc[i] = std::fma(acc[i], m, a);
#else
      acc[i] = acc[i] * m + a;
#endif
    }
  }
  double sum = 0;
  for (int i = 0; i < N; ++i) sum += acc[i];
  g_sink = sum;
}

// Seconds of processor time used by this thread, so that a busy machine
// does not pass for a slow one (the benchmarks report processor time too).
inline double ThreadSeconds() {
#if defined(CLOCK_THREAD_CPUTIME_ID)
  timespec ts{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) == 0) {
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
  }
#endif
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Flops per second of one run of about `seconds`.
template <int N>
inline double MultiplyAddRate(double seconds) {
  int64_t iterations = 1 << 14;
  for (;;) {
    const double start = ThreadSeconds();
    MultiplyAddRun<N>(iterations);
    const double elapsed = ThreadSeconds() - start;
    if (elapsed >= seconds || iterations > (int64_t{1} << 40)) {
      return 2.0 * N * static_cast<double>(iterations) / elapsed;
    }
    const double grow = elapsed > 0 ? std::min(100.0, 1.2 * seconds / elapsed) : 100.0;
    iterations = static_cast<int64_t>(static_cast<double>(iterations) * std::max(2.0, grow));
  }
}

}  // namespace peak_internal

// The best rate over a few accumulator counts (the best count depends on the
// vector width and the number of registers), each measured for about
// `seconds_per_try` and repeated three times.
inline double MeasurePeakFlops(double seconds_per_try = 0.05) {
  using namespace peak_internal;
  double best = 0;
  for (int repeat = 0; repeat < 3; ++repeat) {
    best = std::max(best, MultiplyAddRate<8>(seconds_per_try));
    best = std::max(best, MultiplyAddRate<16>(seconds_per_try));
    best = std::max(best, MultiplyAddRate<32>(seconds_per_try));
    best = std::max(best, MultiplyAddRate<64>(seconds_per_try));
  }
  return best;
}

}  // namespace velmar::bench

#endif  // VELMAR_BENCH_PEAK_FLOPS_H_
