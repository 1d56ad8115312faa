#ifndef VELMAR_BENCH_PEAK_FLOPS_H_
#define VELMAR_BENCH_PEAK_FLOPS_H_

// The honest single-core double-precision peak of this processor: the widest
// multiply-add it offers (AVX-512, else AVX2 with FMA, else SSE2 multiply and
// add), chosen at run time whatever flags the benchmarks are built with, over
// enough independent accumulators that the loop is bound by the arithmetic
// units' throughput and not by the latency of one chain.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELMAR_BENCH_X86 1
#endif

namespace velmar::bench {

struct Peak {
  double flops = 0;  // per second
  std::string isa;   // the instruction set that reached it
};

namespace peak_internal {

inline volatile double g_sink = 0;

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

// kN accumulators of kWidth doubles each; 2 flops per lane per step.
constexpr int kN = 12;

#if VELMAR_BENCH_X86
// GCC 12 reports the "undefined" start of some intrinsics as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The loop every vector width runs: kN chains of acc = acc * m + a on VEC
// (SET1 broadcasts, MUL_ADD is the width's multiply-add, ADD sums the chains
// into `sum` at the end). A macro and not a template, so that each copy is
// compiled under its own function's target.
#define VELMAR_PEAK_LOOP(VEC, SET1, MUL_ADD, ADD)                                         \
  volatile double m_in = 0.9999999, a_in = 1e-9;                                          \
  const VEC m = SET1(m_in), a = SET1(a_in);                                               \
  VEC acc[kN];                                                                            \
  for (int i = 0; i < kN; ++i) acc[i] = SET1(1.0 + i * 1e-3);                             \
  for (int64_t it = 0; it < iterations; ++it) {                                           \
    _Pragma("GCC unroll 12") for (int i = 0; i < kN; ++i) acc[i] = MUL_ADD(acc[i], m, a); \
  }                                                                                       \
  VEC sum = acc[0];                                                                       \
  for (int i = 1; i < kN; ++i) sum = ADD(sum, acc[i])

#define VELMAR_PEAK_SSE2_MUL_ADD(x, m, a) _mm_add_pd(_mm_mul_pd(x, m), a)

__attribute__((target("avx512f"), noinline)) inline void RunAvx512(int64_t iterations) {
  VELMAR_PEAK_LOOP(__m512d, _mm512_set1_pd, _mm512_fmadd_pd, _mm512_add_pd);
  g_sink = _mm512_reduce_add_pd(sum);
}

__attribute__((target("avx2,fma"), noinline)) inline void RunAvx2(int64_t iterations) {
  VELMAR_PEAK_LOOP(__m256d, _mm256_set1_pd, _mm256_fmadd_pd, _mm256_add_pd);
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, sum);
  g_sink = lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

__attribute__((noinline)) inline void RunSse2(int64_t iterations) {
  VELMAR_PEAK_LOOP(__m128d, _mm_set1_pd, VELMAR_PEAK_SSE2_MUL_ADD, _mm_add_pd);
  alignas(16) double lanes[2];
  _mm_store_pd(lanes, sum);
  g_sink = lanes[0] + lanes[1];
}

#undef VELMAR_PEAK_SSE2_MUL_ADD
#undef VELMAR_PEAK_LOOP
#pragma GCC diagnostic pop
#endif

// The plain loop, for processors the vector paths do not cover.
__attribute__((noinline)) inline void RunPlain(int64_t iterations) {
  volatile double m_in = 0.9999999, a_in = 1e-9;
  const double m = m_in, a = a_in;
  double acc[kN];
  for (int i = 0; i < kN; ++i) acc[i] = 1.0 + i * 1e-3;
  for (int64_t it = 0; it < iterations; ++it) {
    for (int i = 0; i < kN; ++i) acc[i] = acc[i] * m + a;
  }
  double sum = 0;
  for (int i = 0; i < kN; ++i) sum += acc[i];
  g_sink = sum;
}

// Flops per second of one run of about `seconds`.
template <typename Run>
inline double Rate(Run run, int width, double seconds) {
  int64_t iterations = 1 << 14;
  for (;;) {
    const double start = ThreadSeconds();
    run(iterations);
    const double elapsed = ThreadSeconds() - start;
    if (elapsed >= seconds || iterations > (int64_t{1} << 40)) {
      return 2.0 * kN * width * static_cast<double>(iterations) / elapsed;
    }
    const double grow = elapsed > 0 ? std::min(100.0, 1.2 * seconds / elapsed) : 100.0;
    iterations = static_cast<int64_t>(static_cast<double>(iterations) * std::max(2.0, grow));
  }
}

}  // namespace peak_internal

// The best of three runs of about `seconds_per_try` each with the widest
// multiply-add this processor has.
inline Peak MeasurePeakFlops(double seconds_per_try = 0.1) {
  using namespace peak_internal;
  Peak peak;
  void (*run)(int64_t) = &RunPlain;
  int width = 1;
  peak.isa = "scalar";
#if VELMAR_BENCH_X86
  if (__builtin_cpu_supports("avx512f")) {
    run = &RunAvx512, width = 8, peak.isa = "AVX-512";
  } else if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    run = &RunAvx2, width = 4, peak.isa = "AVX2+FMA";
  } else {
    run = &RunSse2, width = 2, peak.isa = "SSE2";
  }
#endif
  for (int repeat = 0; repeat < 3; ++repeat) {
    peak.flops = std::max(peak.flops, Rate(run, width, seconds_per_try));
  }
  return peak;
}

}  // namespace velmar::bench

#endif  // VELMAR_BENCH_PEAK_FLOPS_H_
