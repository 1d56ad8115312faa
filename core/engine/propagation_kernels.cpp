#include "core/engine/propagation_kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELMAR_X86_KERNELS 1
#endif

namespace velmar {
namespace {

// ---- Portable path --------------------------------------------------------

double CombineLanes(const double (&lane)[8]) {
  return ((lane[0] + lane[4]) + (lane[1] + lane[5])) + ((lane[2] + lane[6]) + (lane[3] + lane[7]));
}

void SumsPortable(const double* w, int k, int m, const double* const* x, float* const* sums,
                  int batch) {
  const int whole = k - k % 8;
  for (int j = 0; j < m; ++j) {
    const double* row = w + static_cast<long>(j) * k;
    for (int e = 0; e < batch; ++e) {
      const double* xe = x[e];
      double lane[8] = {};
      for (int s = 0; s < whole; s += 8) {
        for (int u = 0; u < 8; ++u) lane[u] += row[s + u] * xe[s + u];
      }
      double tail = 0;
      for (int s = whole; s < k; ++s) tail += row[s] * xe[s];
      sums[e][j] = static_cast<float>(CombineLanes(lane) + tail);
    }
  }
}

void BackPortable(const double* w, int k, int m, const float* const* x, const float* const* g,
                  double* d, double* const* back, int batch, bool skip_zero) {
  for (int j = 0; j < m; ++j) {
    const double* row = w + static_cast<long>(j) * k;
    double* drow = d + static_cast<long>(j) * k;
    for (int e = 0; e < batch; ++e) {
      const float ge = g[e][j];
      if (skip_zero && ge == 0) continue;
      const float* xe = x[e];
      for (int s = 0; s < k; ++s) drow[s] += static_cast<double>(ge * xe[s]);
      if (back != nullptr) {
        double* be = back[e];
        for (int s = 0; s < k; ++s) be[s] += static_cast<double>(ge) * row[s];
      }
    }
  }
}

constexpr PassKernels kPortable{"portable", &SumsPortable, &BackPortable};

#if VELMAR_X86_KERNELS

// Scalar end of a row: the sources past the last whole group of 8, in order.
// The products are exact, so contraction into a multiply-add changes nothing.
inline double TailSum(const double* row, const double* xe, int from, int k) {
  double tail = 0;
  for (int s = from; s < k; ++s) tail += row[s] * xe[s];
  return tail;
}

// ---- AVX2 + FMA -----------------------------------------------------------

#define VELMAR_AVX2 __attribute__((target("avx2,fma")))

VELMAR_AVX2 inline double CombineAvx2(__m256d lo, __m256d hi) {
  // (l0+l4, l1+l5, l2+l6, l3+l7), then pairs, then the two pair sums.
  const __m256d p = _mm256_add_pd(lo, hi);
  const __m256d q = _mm256_hadd_pd(p, p);
  return _mm_cvtsd_f64(_mm256_castpd256_pd128(q)) + _mm_cvtsd_f64(_mm256_extractf128_pd(q, 1));
}

// Rows j0 .. j0+R-1 for E examples; 2·R·E accumulators.
template <int R, int E>
VELMAR_AVX2 void SumsBlockAvx2(const double* w, int k, int j0, const double* const* x,
                               float* const* sums) {
  __m256d lo[R][E];
  __m256d hi[R][E];
  for (int r = 0; r < R; ++r) {
    for (int e = 0; e < E; ++e) lo[r][e] = hi[r][e] = _mm256_setzero_pd();
  }
  const int whole = k - k % 8;
  for (int s = 0; s < whole; s += 8) {
    for (int r = 0; r < R; ++r) {
      const double* row = w + static_cast<long>(j0 + r) * k + s;
      const __m256d w0 = _mm256_loadu_pd(row);
      const __m256d w1 = _mm256_loadu_pd(row + 4);
      for (int e = 0; e < E; ++e) {
        lo[r][e] = _mm256_fmadd_pd(w0, _mm256_loadu_pd(x[e] + s), lo[r][e]);
        hi[r][e] = _mm256_fmadd_pd(w1, _mm256_loadu_pd(x[e] + s + 4), hi[r][e]);
      }
    }
  }
  for (int r = 0; r < R; ++r) {
    const double* row = w + static_cast<long>(j0 + r) * k;
    for (int e = 0; e < E; ++e) {
      sums[e][j0 + r] =
          static_cast<float>(CombineAvx2(lo[r][e], hi[r][e]) + TailSum(row, x[e], whole, k));
    }
  }
}

template <int E>
VELMAR_AVX2 void SumsRowsAvx2(const double* w, int k, int m, const double* const* x,
                              float* const* sums) {
  // Enough independent chains to cover the latency of the multiply-add.
  constexpr int R = E >= 4 ? 1 : 4 / E;
  int j = 0;
  for (; j + R <= m; j += R) SumsBlockAvx2<R, E>(w, k, j, x, sums);
  for (; j < m; ++j) SumsBlockAvx2<1, E>(w, k, j, x, sums);
}

VELMAR_AVX2 void SumsAvx2(const double* w, int k, int m, const double* const* x, float* const* sums,
                          int batch) {
  int e = 0;
  for (; e + 4 <= batch; e += 4) SumsRowsAvx2<4>(w, k, m, x + e, sums + e);
  switch (batch - e) {
    case 3:
      SumsRowsAvx2<3>(w, k, m, x + e, sums + e);
      break;
    case 2:
      SumsRowsAvx2<2>(w, k, m, x + e, sums + e);
      break;
    case 1:
      SumsRowsAvx2<1>(w, k, m, x + e, sums + e);
      break;
    default:
      break;
  }
}

// One row for the examples listed in `which` (n of them), in list order.
VELMAR_AVX2 void BackRowAvx2(const double* row, int k, const float* const* x, const float* gs,
                             const int* which, int n, double* drow, double* const* back) {
  const int whole = k - k % 4;
  for (int s = 0; s < whole; s += 4) {
    __m256d dv = _mm256_loadu_pd(drow + s);
    for (int i = 0; i < n; ++i) {
      const __m128 p = _mm_mul_ps(_mm_set1_ps(gs[i]), _mm_loadu_ps(x[which[i]] + s));
      dv = _mm256_add_pd(dv, _mm256_cvtps_pd(p));
    }
    _mm256_storeu_pd(drow + s, dv);
    if (back != nullptr) {
      const __m256d wv = _mm256_loadu_pd(row + s);
      for (int i = 0; i < n; ++i) {
        double* be = back[which[i]] + s;
        _mm256_storeu_pd(be, _mm256_fmadd_pd(_mm256_set1_pd(gs[i]), wv, _mm256_loadu_pd(be)));
      }
    }
  }
  for (int s = whole; s < k; ++s) {
    for (int i = 0; i < n; ++i) {
      drow[s] += static_cast<double>(gs[i] * x[which[i]][s]);
      if (back != nullptr) back[which[i]][s] += static_cast<double>(gs[i]) * row[s];
    }
  }
}

VELMAR_AVX2 void BackAvx2(const double* w, int k, int m, const float* const* x,
                          const float* const* g, double* d, double* const* back, int batch,
                          bool skip_zero) {
  float gs[kKernelBatch];
  int which[kKernelBatch];
  for (int j = 0; j < m; ++j) {
    int n = 0;
    for (int e = 0; e < batch; ++e) {
      const float ge = g[e][j];
      if (skip_zero && ge == 0) continue;
      gs[n] = ge;
      which[n++] = e;
    }
    if (n == 0) continue;
    BackRowAvx2(w + static_cast<long>(j) * k, k, x, gs, which, n, d + static_cast<long>(j) * k,
                back);
  }
}

#undef VELMAR_AVX2

constexpr PassKernels kAvx2{"avx2", &SumsAvx2, &BackAvx2};

// ---- AVX-512 --------------------------------------------------------------

// Some intrinsics start from an "undefined" vector that GCC 12 reports as
// uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define VELMAR_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")))

VELMAR_AVX512 inline double CombineAvx512(__m512d v) {
  return CombineAvx2(_mm512_castpd512_pd256(v), _mm512_extractf64x4_pd(v, 1));
}

template <int R, int E>
VELMAR_AVX512 void SumsBlockAvx512(const double* w, int k, int j0, const double* const* x,
                                   float* const* sums) {
  __m512d acc[R][E];
  for (int r = 0; r < R; ++r) {
    for (int e = 0; e < E; ++e) acc[r][e] = _mm512_setzero_pd();
  }
  const int whole = k - k % 8;
  for (int s = 0; s < whole; s += 8) {
    __m512d xv[E];
    for (int e = 0; e < E; ++e) xv[e] = _mm512_loadu_pd(x[e] + s);
    for (int r = 0; r < R; ++r) {
      const __m512d wv = _mm512_loadu_pd(w + static_cast<long>(j0 + r) * k + s);
      for (int e = 0; e < E; ++e) acc[r][e] = _mm512_fmadd_pd(wv, xv[e], acc[r][e]);
    }
  }
  for (int r = 0; r < R; ++r) {
    const double* row = w + static_cast<long>(j0 + r) * k;
    for (int e = 0; e < E; ++e) {
      sums[e][j0 + r] = static_cast<float>(CombineAvx512(acc[r][e]) + TailSum(row, x[e], whole, k));
    }
  }
}

template <int E>
VELMAR_AVX512 void SumsRowsAvx512(const double* w, int k, int m, const double* const* x,
                                  float* const* sums) {
  constexpr int R = E >= 8 ? 1 : 8 / E;
  int j = 0;
  for (; j + R <= m; j += R) SumsBlockAvx512<R, E>(w, k, j, x, sums);
  for (; j < m; ++j) SumsBlockAvx512<1, E>(w, k, j, x, sums);
}

VELMAR_AVX512 void SumsAvx512(const double* w, int k, int m, const double* const* x,
                              float* const* sums, int batch) {
  int e = 0;
  for (; e + 8 <= batch; e += 8) SumsRowsAvx512<8>(w, k, m, x + e, sums + e);
  const int rest = batch - e;
  if (rest >= 4) {
    SumsRowsAvx512<4>(w, k, m, x + e, sums + e);
    e += 4;
  }
  switch (batch - e) {
    case 3:
      SumsRowsAvx512<3>(w, k, m, x + e, sums + e);
      break;
    case 2:
      SumsRowsAvx512<2>(w, k, m, x + e, sums + e);
      break;
    case 1:
      SumsRowsAvx512<1>(w, k, m, x + e, sums + e);
      break;
    default:
      break;
  }
}

VELMAR_AVX512 void BackRowAvx512(const double* row, int k, const float* const* x, const float* gs,
                                 const int* which, int n, double* drow, double* const* back) {
  const int whole = k - k % 8;
  for (int s = 0; s < whole; s += 8) {
    __m512d dv = _mm512_loadu_pd(drow + s);
    for (int i = 0; i < n; ++i) {
      const __m256 p = _mm256_mul_ps(_mm256_set1_ps(gs[i]), _mm256_loadu_ps(x[which[i]] + s));
      dv = _mm512_add_pd(dv, _mm512_cvtps_pd(p));
    }
    _mm512_storeu_pd(drow + s, dv);
    if (back != nullptr) {
      const __m512d wv = _mm512_loadu_pd(row + s);
      for (int i = 0; i < n; ++i) {
        double* be = back[which[i]] + s;
        _mm512_storeu_pd(be, _mm512_fmadd_pd(_mm512_set1_pd(gs[i]), wv, _mm512_loadu_pd(be)));
      }
    }
  }
  if (whole < k) {
    // The ragged end under a mask: lanes past k are neither read nor written.
    const __mmask8 mask = static_cast<__mmask8>((1u << (k - whole)) - 1);
    __m512d dv = _mm512_maskz_loadu_pd(mask, drow + whole);
    for (int i = 0; i < n; ++i) {
      const __m256 xv = _mm256_maskz_loadu_ps(mask, x[which[i]] + whole);
      dv = _mm512_add_pd(dv, _mm512_cvtps_pd(_mm256_mul_ps(_mm256_set1_ps(gs[i]), xv)));
    }
    _mm512_mask_storeu_pd(drow + whole, mask, dv);
    if (back != nullptr) {
      const __m512d wv = _mm512_maskz_loadu_pd(mask, row + whole);
      for (int i = 0; i < n; ++i) {
        double* be = back[which[i]] + whole;
        _mm512_mask_storeu_pd(
            be, mask, _mm512_fmadd_pd(_mm512_set1_pd(gs[i]), wv, _mm512_maskz_loadu_pd(mask, be)));
      }
    }
  }
}

VELMAR_AVX512 void BackAvx512(const double* w, int k, int m, const float* const* x,
                              const float* const* g, double* d, double* const* back, int batch,
                              bool skip_zero) {
  float gs[kKernelBatch];
  int which[kKernelBatch];
  for (int j = 0; j < m; ++j) {
    int n = 0;
    for (int e = 0; e < batch; ++e) {
      const float ge = g[e][j];
      if (skip_zero && ge == 0) continue;
      gs[n] = ge;
      which[n++] = e;
    }
    if (n == 0) continue;
    BackRowAvx512(w + static_cast<long>(j) * k, k, x, gs, which, n, d + static_cast<long>(j) * k,
                  back);
  }
}

#undef VELMAR_AVX512
#pragma GCC diagnostic pop

constexpr PassKernels kAvx512{"avx512", &SumsAvx512, &BackAvx512};

#endif  // VELMAR_X86_KERNELS

KernelPath WidestPath() {
#if VELMAR_X86_KERNELS
  if (const char* forced = std::getenv("VELMAR_KERNELS")) {
    if (std::strcmp(forced, "portable") == 0) return KernelPath::kPortable;
    if (std::strcmp(forced, "avx2") == 0 && KernelsFor(KernelPath::kAvx2)) return KernelPath::kAvx2;
    if (std::strcmp(forced, "avx512") == 0 && KernelsFor(KernelPath::kAvx512)) {
      return KernelPath::kAvx512;
    }
  }
  if (KernelsFor(KernelPath::kAvx512) != nullptr) return KernelPath::kAvx512;
  if (KernelsFor(KernelPath::kAvx2) != nullptr) return KernelPath::kAvx2;
#endif
  return KernelPath::kPortable;
}

std::atomic<const PassKernels*> g_active{nullptr};

}  // namespace

const PassKernels* KernelsFor(KernelPath path) {
  switch (path) {
    case KernelPath::kAuto:
      return KernelsFor(WidestPath());
    case KernelPath::kPortable:
      return &kPortable;
    case KernelPath::kAvx2:
#if VELMAR_X86_KERNELS
      if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return &kAvx2;
#endif
      return nullptr;
    case KernelPath::kAvx512:
#if VELMAR_X86_KERNELS
      if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
          __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw")) {
        return &kAvx512;
      }
#endif
      return nullptr;
  }
  return nullptr;
}

const PassKernels& ActiveKernels() {
  const PassKernels* active = g_active.load(std::memory_order_acquire);
  if (active == nullptr) {
    active = KernelsFor(KernelPath::kAuto);
    g_active.store(active, std::memory_order_release);
  }
  return *active;
}

bool UseKernels(KernelPath path) {
  const PassKernels* kernels = KernelsFor(path);
  if (kernels == nullptr) return false;
  g_active.store(kernels, std::memory_order_release);
  return true;
}

}  // namespace velmar
