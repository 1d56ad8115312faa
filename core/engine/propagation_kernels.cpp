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

constexpr int B = kKernelBatch;

inline long Offset(int row, int k) { return static_cast<long>(row) * k; }

// ---- Shared by every path --------------------------------------------------
// Element by element and correctly rounded, so any vector width gives the
// same bits; each path's wrapper compiles them for its own instruction set.

__attribute__((always_inline)) inline void ActivateRows(const float* neuron, int m,
                                                        const double* sums, float* stored,
                                                        float* outputs, double* next) {
  for (int j = 0; j < m; ++j) {
    const double c = neuron[2 * j];
    const double b = neuron[2 * j + 1];
    for (int e = 0; e < B; ++e) {
      const int i = B * j + e;
      stored[i] = static_cast<float>(sums[i]);
      const double a = b + static_cast<double>(stored[i]);
      outputs[i] = static_cast<float>(a / (c + __builtin_fabs(a)));
      next[i] = static_cast<double>(outputs[i]);
    }
  }
}

__attribute__((always_inline)) inline void DeriveRows(const float* neuron, int m, const float* sums,
                                                      const float* u, const bool* take,
                                                      float* characteristic, float* g, double* gd) {
  for (int j = 0; j < m; ++j) {
    const double c = neuron[2 * j];
    const double b = neuron[2 * j + 1];
    for (int e = 0; e < B; ++e) {
      const int i = B * j + e;
      const double a = b + static_cast<double>(sums[i]);
      const double q = c + __builtin_fabs(a);
      const double h = static_cast<double>(u[i]) / (q * q);
      characteristic[i] = static_cast<float>(-a * h);
      g[i] = take[e] ? static_cast<float>(c * h) : 0.0f;
      gd[i] = static_cast<double>(g[i]);
    }
  }
}

#define VELMAR_ROW_WRAPPERS(suffix, attributes)                                                   \
  attributes void Activate##suffix(const float* neuron, int m, const double* sums, float* stored, \
                                   float* outputs, double* next) {                                \
    ActivateRows(neuron, m, sums, stored, outputs, next);                                         \
  }                                                                                               \
  attributes void Derive##suffix(const float* neuron, int m, const float* sums, const float* u,   \
                                 const bool* take, float* characteristic, float* g, double* gd) { \
    DeriveRows(neuron, m, sums, u, take, characteristic, g, gd);                                  \
  }

// ---- Portable path --------------------------------------------------------

VELMAR_ROW_WRAPPERS(Portable, )

// One example's weighted sum in the lane order.
inline double DotPortable(const double* row, const double* x, int k) {
  double lane[8] = {};
  const int whole = k - k % 8;
  for (int s = 0; s < whole; s += 8) {
    for (int u = 0; u < 8; ++u) lane[u] += row[s + u] * x[s + u];
  }
  double tail = 0;
  for (int s = whole; s < k; ++s) tail += row[s] * x[s];
  return (((lane[0] + lane[4]) + (lane[1] + lane[5])) +
          ((lane[2] + lane[6]) + (lane[3] + lane[7]))) +
         tail;
}

void SumsPortable(const double* w, int stride, int k, int m, const double*, const double* const* xe,
                  double* sums) {
  for (int j = 0; j < m; ++j) {
    const double* row = w + Offset(j, stride);
    for (int e = 0; e < B; ++e) sums[B * j + e] = DotPortable(row, xe[e], k);
  }
}

void BackPortable(const double* w, int stride, int k, int m, const double* g, float* back) {
  // Sources in groups, so that the group's sums stay in the cache while the
  // rows go by.
  constexpr int kGroup = 32;
  for (int s0 = 0; s0 < k; s0 += kGroup) {
    const int n = k - s0 < kGroup ? k - s0 : kGroup;
    double acc[kGroup][B] = {};
    for (int j = 0; j < m; ++j) {
      const double* row = w + Offset(j, stride) + s0;
      const double* gj = g + B * j;
      for (int s = 0; s < n; ++s) {
        for (int e = 0; e < B; ++e) acc[s][e] += gj[e] * row[s];
      }
    }
    for (int s = 0; s < n; ++s) {
      for (int e = 0; e < B; ++e) back[B * (s0 + s) + e] = static_cast<float>(acc[s][e]);
    }
  }
}

void DirectionPortable(int k, int stride, int m, const float* const* x, const float* g,
                       const int* which, int n, double* d, bool skip_zero) {
  for (int j = 0; j < m; ++j) {
    double* drow = d + Offset(j, stride);
    for (int i = 0; i < n; ++i) {
      const float v = g[B * j + which[i]];
      if (skip_zero && v == 0) continue;
      const float* xi = x[i];
      for (int s = 0; s < k; ++s) drow[s] += static_cast<double>(v * xi[s]);
    }
  }
}

constexpr PassKernels kPortable{
    "portable",     0, &SumsPortable, &BackPortable, &DirectionPortable, &ActivatePortable,
    &DerivePortable};

// The examples of one row of the direction that take part, their sources and
// signals; returns their number.
inline int RowTerms(const float* const* x, const float* g, const int* which, int n, int j,
                    bool skip_zero, const float** xs, float* gs) {
  int c = 0;
  for (int i = 0; i < n; ++i) {
    const float v = g[B * j + which[i]];
    if (skip_zero && v == 0) continue;
    xs[c] = x[i];
    gs[c++] = v;
  }
  return c;
}

#if VELMAR_X86_KERNELS

// Some intrinsics start from an "undefined" vector that GCC 12 reports as
// uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// ---- AVX2 + FMA: lanes 0-3 and 4-7 as two halves ---------------------------

#define VELMAR_AVX2 __attribute__((target("avx2,fma")))

VELMAR_AVX2 void SumsAvx2(const double* w, int stride, int k, int m, const double* x,
                          const double* const*, double* sums) {
  const int whole = k - k % 8;
  for (int j = 0; j < m; ++j) {
    const double* row = w + Offset(j, stride);
    for (int h = 0; h < B; h += 4) {
      __m256d lane[8];
      for (int u = 0; u < 8; ++u) lane[u] = _mm256_setzero_pd();
      for (int s = 0; s < whole; s += 8) {
        for (int u = 0; u < 8; ++u) {
          lane[u] = _mm256_fmadd_pd(_mm256_set1_pd(row[s + u]),
                                    _mm256_loadu_pd(x + B * (s + u) + h), lane[u]);
        }
      }
      __m256d tail = _mm256_setzero_pd();
      for (int s = whole; s < k; ++s) {
        tail = _mm256_fmadd_pd(_mm256_set1_pd(row[s]), _mm256_loadu_pd(x + B * s + h), tail);
      }
      const __m256d sum = _mm256_add_pd(
          _mm256_add_pd(_mm256_add_pd(lane[0], lane[4]), _mm256_add_pd(lane[1], lane[5])),
          _mm256_add_pd(_mm256_add_pd(lane[2], lane[6]), _mm256_add_pd(lane[3], lane[7])));
      _mm256_storeu_pd(sums + B * j + h, _mm256_add_pd(sum, tail));
    }
  }
}

// U sources from s0, all rows, one half.
template <int U>
VELMAR_AVX2 void BackSourcesAvx2(const double* w, int stride, int m, const double* g, int s0, int h,
                                 float* back) {
  __m256d acc[U];
  for (int u = 0; u < U; ++u) acc[u] = _mm256_setzero_pd();
  for (int j = 0; j < m; ++j) {
    const __m256d gv = _mm256_loadu_pd(g + B * j + h);
    const double* row = w + Offset(j, stride) + s0;
    for (int u = 0; u < U; ++u) acc[u] = _mm256_fmadd_pd(gv, _mm256_set1_pd(row[u]), acc[u]);
  }
  for (int u = 0; u < U; ++u) _mm_storeu_ps(back + B * (s0 + u) + h, _mm256_cvtpd_ps(acc[u]));
}

VELMAR_AVX2 void BackAvx2(const double* w, int stride, int k, int m, const double* g, float* back) {
  for (int h = 0; h < B; h += 4) {
    int s = 0;
    for (; s + 8 <= k; s += 8) BackSourcesAvx2<8>(w, stride, m, g, s, h, back);
    if (s + 4 <= k) {
      BackSourcesAvx2<4>(w, stride, m, g, s, h, back);
      s += 4;
    }
    for (; s < k; ++s) BackSourcesAvx2<1>(w, stride, m, g, s, h, back);
  }
}

template <int N>
VELMAR_AVX2 void DirectionRowAvx2(int k, const float* const* xs, const float* gs, double* drow) {
  __m128 gv[N];
  for (int i = 0; i < N; ++i) gv[i] = _mm_set1_ps(gs[i]);
  int s = 0;
  for (; s + 16 <= k; s += 16) {
    __m256d dv[4];
    for (int c = 0; c < 4; ++c) dv[c] = _mm256_loadu_pd(drow + s + 4 * c);
    for (int i = 0; i < N; ++i) {
      for (int c = 0; c < 4; ++c) {
        const __m128 p = _mm_mul_ps(gv[i], _mm_loadu_ps(xs[i] + s + 4 * c));
        dv[c] = _mm256_add_pd(dv[c], _mm256_cvtps_pd(p));
      }
    }
    for (int c = 0; c < 4; ++c) _mm256_storeu_pd(drow + s + 4 * c, dv[c]);
  }
  for (; s + 4 <= k; s += 4) {
    __m256d dv = _mm256_loadu_pd(drow + s);
    for (int i = 0; i < N; ++i) {
      dv = _mm256_add_pd(dv, _mm256_cvtps_pd(_mm_mul_ps(gv[i], _mm_loadu_ps(xs[i] + s))));
    }
    _mm256_storeu_pd(drow + s, dv);
  }
  for (; s < k; ++s) {
    double v = drow[s];
    for (int i = 0; i < N; ++i) v += static_cast<double>(gs[i] * xs[i][s]);
    drow[s] = v;
  }
}

VELMAR_AVX2 void DirectionAvx2(int k, int stride, int m, const float* const* x, const float* g,
                               const int* which, int n, double* d, bool skip_zero) {
  const float* xs[B];
  float gs[B];
  for (int j = 0; j < m; ++j) {
    double* drow = d + Offset(j, stride);
    // All of a row's terms in one sweep: a second sweep would read back what
    // the first has just stored.
    switch (RowTerms(x, g, which, n, j, skip_zero, xs, gs)) {
      case 8:
        DirectionRowAvx2<8>(k, xs, gs, drow);
        break;
      case 7:
        DirectionRowAvx2<7>(k, xs, gs, drow);
        break;
      case 6:
        DirectionRowAvx2<6>(k, xs, gs, drow);
        break;
      case 5:
        DirectionRowAvx2<5>(k, xs, gs, drow);
        break;
      case 4:
        DirectionRowAvx2<4>(k, xs, gs, drow);
        break;
      case 3:
        DirectionRowAvx2<3>(k, xs, gs, drow);
        break;
      case 2:
        DirectionRowAvx2<2>(k, xs, gs, drow);
        break;
      case 1:
        DirectionRowAvx2<1>(k, xs, gs, drow);
        break;
      default:
        break;
    }
  }
}

VELMAR_AVX2 inline __m256d AbsAvx2(__m256d v) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v); }

VELMAR_AVX2 void ActivateAvx2(const float* neuron, int m, const double* sums, float* stored,
                              float* outputs, double* next) {
  for (int j = 0; j < m; ++j) {
    const __m256d c = _mm256_set1_pd(neuron[2 * j]);
    const __m256d b = _mm256_set1_pd(neuron[2 * j + 1]);
    for (int h = 0; h < B; h += 4) {
      const int i = B * j + h;
      const __m128 sf = _mm256_cvtpd_ps(_mm256_loadu_pd(sums + i));
      _mm_storeu_ps(stored + i, sf);
      const __m256d a = _mm256_add_pd(b, _mm256_cvtps_pd(sf));
      const __m128 f = _mm256_cvtpd_ps(_mm256_div_pd(a, _mm256_add_pd(c, AbsAvx2(a))));
      _mm_storeu_ps(outputs + i, f);
      _mm256_storeu_pd(next + i, _mm256_cvtps_pd(f));
    }
  }
}

VELMAR_AVX2 void DeriveAvx2(const float* neuron, int m, const float* sums, const float* u,
                            const bool* take, float* characteristic, float* g, double* gd) {
  alignas(16) int32_t bits[B];
  for (int e = 0; e < B; ++e) bits[e] = take[e] ? -1 : 0;
  const __m128 keep[2] = {
      _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(bits))),
      _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(bits + 4)))};
  for (int j = 0; j < m; ++j) {
    const __m256d c = _mm256_set1_pd(neuron[2 * j]);
    const __m256d b = _mm256_set1_pd(neuron[2 * j + 1]);
    for (int h = 0; h < B; h += 4) {
      const int i = B * j + h;
      const __m256d a = _mm256_add_pd(b, _mm256_cvtps_pd(_mm_loadu_ps(sums + i)));
      const __m256d q = _mm256_add_pd(c, AbsAvx2(a));
      const __m256d hv = _mm256_div_pd(_mm256_cvtps_pd(_mm_loadu_ps(u + i)), _mm256_mul_pd(q, q));
      const __m256d minus_a = _mm256_xor_pd(a, _mm256_set1_pd(-0.0));
      _mm_storeu_ps(characteristic + i, _mm256_cvtpd_ps(_mm256_mul_pd(minus_a, hv)));
      const __m128 gv = _mm_and_ps(_mm256_cvtpd_ps(_mm256_mul_pd(c, hv)), keep[h / 4]);
      _mm_storeu_ps(g + i, gv);
      _mm256_storeu_pd(gd + i, _mm256_cvtps_pd(gv));
    }
  }
}

constexpr PassKernels kAvx2{"avx2",         1 << 30,       &SumsAvx2,  &BackAvx2,
                            &DirectionAvx2, &ActivateAvx2, &DeriveAvx2};

// ---- AVX-512: the eight lanes in one register ----------------------------

#define VELMAR_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx2,fma")))

// The eight lane sums of each of eight examples (acc[e], lane u in element u)
// combined into one vector of eight example sums, in the order
// ((l0+l4)+(l1+l5))+((l2+l6)+(l3+l7)).
VELMAR_AVX512 inline __m512d CombineLanes8(const __m512d* acc) {
  __m512d pairs[4];  // examples 2i and 2i+1: l0+l4 .. l3+l7 of each
  for (int i = 0; i < 4; ++i) {
    const __m512d lo = _mm512_shuffle_f64x2(acc[2 * i], acc[2 * i + 1], 0x44);
    const __m512d hi = _mm512_shuffle_f64x2(acc[2 * i], acc[2 * i + 1], 0xEE);
    pairs[i] = _mm512_add_pd(lo, hi);
  }
  // Per 128-bit lane: (p0, p1) and (p2, p3) of two examples, added pairwise.
  const __m512d q0 =
      _mm512_add_pd(_mm512_unpacklo_pd(pairs[0], pairs[1]), _mm512_unpackhi_pd(pairs[0], pairs[1]));
  const __m512d q1 =
      _mm512_add_pd(_mm512_unpacklo_pd(pairs[2], pairs[3]), _mm512_unpackhi_pd(pairs[2], pairs[3]));
  // q0 = [e0 a, e2 a, e0 b, e2 b, e1 a, e3 a, e1 b, e3 b] with a = p0+p1,
  // b = p2+p3; q1 the same for examples 4..7.
  const __m512i a_index = _mm512_set_epi64(13, 9, 12, 8, 5, 1, 4, 0);
  const __m512i b_index = _mm512_set_epi64(15, 11, 14, 10, 7, 3, 6, 2);
  return _mm512_add_pd(_mm512_permutex2var_pd(q0, a_index, q1),
                       _mm512_permutex2var_pd(q0, b_index, q1));
}

// Rows j0 .. j0+R-1 over each example's own sources: 8·R accumulators, each
// holding one example's eight lanes.
template <int R>
VELMAR_AVX512 void SumsRowsAvx512(const double* w, int stride, int k, int j0, const double* x,
                                  const double* const* xe, double* sums) {
  __m512d acc[R][B];
  for (int r = 0; r < R; ++r) {
    for (int e = 0; e < B; ++e) acc[r][e] = _mm512_setzero_pd();
  }
  const int whole = k - k % 8;
  for (int s = 0; s < whole; s += 8) {
    __m512d wv[R];
    for (int r = 0; r < R; ++r) {
      const double* at = w + Offset(j0 + r, stride) + s;
      wv[r] = _mm512_loadu_pd(at);
      // The same line of the rows that come next.
      _mm_prefetch(reinterpret_cast<const char*>(at + static_cast<long>(R) * stride), _MM_HINT_T0);
    }
    for (int e = 0; e < B; ++e) {
      const __m512d xv = _mm512_loadu_pd(xe[e] + s);
      for (int r = 0; r < R; ++r) acc[r][e] = _mm512_fmadd_pd(wv[r], xv, acc[r][e]);
    }
  }
  for (int r = 0; r < R; ++r) {
    const double* row = w + Offset(j0 + r, stride);
    __m512d tail = _mm512_setzero_pd();
    for (int s = whole; s < k; ++s) {
      tail = _mm512_fmadd_pd(_mm512_set1_pd(row[s]), _mm512_loadu_pd(x + B * s), tail);
    }
    _mm512_storeu_pd(sums + B * (j0 + r), _mm512_add_pd(CombineLanes8(acc[r]), tail));
  }
}

// Rows j0 .. j0+R-1 over the lane-major sources: one accumulator per lane
// and row, each holding the eight examples; cheaper than combining lanes
// across registers when a row has few sources.
template <int R>
VELMAR_AVX512 void SumsLanesAvx512(const double* w, int stride, int k, int j0, const double* x,
                                   double* sums) {
  __m512d lane[R][8];
  for (int r = 0; r < R; ++r) {
    for (int u = 0; u < 8; ++u) lane[r][u] = _mm512_setzero_pd();
  }
  const int whole = k - k % 8;
  for (int s = 0; s < whole; s += 8) {
    for (int u = 0; u < 8; ++u) {
      const __m512d xv = _mm512_loadu_pd(x + B * (s + u));
      for (int r = 0; r < R; ++r) {
        lane[r][u] =
            _mm512_fmadd_pd(_mm512_set1_pd(w[Offset(j0 + r, stride) + s + u]), xv, lane[r][u]);
      }
    }
  }
  for (int r = 0; r < R; ++r) {
    const double* row = w + Offset(j0 + r, stride);
    __m512d tail = _mm512_setzero_pd();
    for (int s = whole; s < k; ++s) {
      tail = _mm512_fmadd_pd(_mm512_set1_pd(row[s]), _mm512_loadu_pd(x + B * s), tail);
    }
    const __m512d* l = lane[r];
    const __m512d sum =
        _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(l[0], l[4]), _mm512_add_pd(l[1], l[5])),
                      _mm512_add_pd(_mm512_add_pd(l[2], l[6]), _mm512_add_pd(l[3], l[7])));
    _mm512_storeu_pd(sums + B * (j0 + r), _mm512_add_pd(sum, tail));
  }
}

// Layers with fewer sources take the lane-major sums.
constexpr int kOwnSourcesFrom = 32;

VELMAR_AVX512 void SumsAvx512(const double* w, int stride, int k, int m, const double* x,
                              const double* const* xe, double* sums) {
  int j = 0;
  if (k < kOwnSourcesFrom) {
    for (; j + 2 <= m; j += 2) SumsLanesAvx512<2>(w, stride, k, j, x, sums);
    if (j < m) SumsLanesAvx512<1>(w, stride, k, j, x, sums);
    return;
  }
  for (; j + 2 <= m; j += 2) SumsRowsAvx512<2>(w, stride, k, j, x, xe, sums);
  if (j < m) SumsRowsAvx512<1>(w, stride, k, j, x, xe, sums);
}

template <int U>
VELMAR_AVX512 void BackSourcesAvx512(const double* w, int stride, int m, const double* g, int s0,
                                     float* back) {
  __m512d acc[U];
  for (int u = 0; u < U; ++u) acc[u] = _mm512_setzero_pd();
  for (int j = 0; j < m; ++j) {
    const __m512d gv = _mm512_loadu_pd(g + B * j);
    const double* row = w + Offset(j, stride) + s0;
    // The rows are a stride apart: fetch a few ahead.
    if (j + 8 < m) _mm_prefetch(reinterpret_cast<const char*>(row + 8L * stride), _MM_HINT_T0);
    for (int u = 0; u < U; ++u) acc[u] = _mm512_fmadd_pd(gv, _mm512_set1_pd(row[u]), acc[u]);
  }
  for (int u = 0; u < U; ++u) _mm256_storeu_ps(back + B * (s0 + u), _mm512_cvtpd_ps(acc[u]));
}

VELMAR_AVX512 void BackAvx512(const double* w, int stride, int k, int m, const double* g,
                              float* back) {
  int s = 0;
  for (; s + 8 <= k; s += 8) BackSourcesAvx512<8>(w, stride, m, g, s, back);
  switch (k - s) {
    case 7:
      BackSourcesAvx512<7>(w, stride, m, g, s, back);
      break;
    case 6:
      BackSourcesAvx512<6>(w, stride, m, g, s, back);
      break;
    case 5:
      BackSourcesAvx512<5>(w, stride, m, g, s, back);
      break;
    case 4:
      BackSourcesAvx512<4>(w, stride, m, g, s, back);
      break;
    case 3:
      BackSourcesAvx512<3>(w, stride, m, g, s, back);
      break;
    case 2:
      BackSourcesAvx512<2>(w, stride, m, g, s, back);
      break;
    case 1:
      BackSourcesAvx512<1>(w, stride, m, g, s, back);
      break;
    default:
      break;
  }
}

template <int N>
VELMAR_AVX512 void DirectionRowAvx512(int k, const float* const* xs, const float* gs,
                                      double* drow) {
  __m256 gv[N];
  for (int i = 0; i < N; ++i) gv[i] = _mm256_set1_ps(gs[i]);
  int s = 0;
  for (; s + 32 <= k; s += 32) {
    __m512d dv[4];
    for (int c = 0; c < 4; ++c) dv[c] = _mm512_loadu_pd(drow + s + 8 * c);
    for (int i = 0; i < N; ++i) {
      for (int c = 0; c < 4; ++c) {
        const __m256 p = _mm256_mul_ps(gv[i], _mm256_loadu_ps(xs[i] + s + 8 * c));
        dv[c] = _mm512_add_pd(dv[c], _mm512_cvtps_pd(p));
      }
    }
    for (int c = 0; c < 4; ++c) _mm512_storeu_pd(drow + s + 8 * c, dv[c]);
  }
  for (; s < k; s += 8) {
    // The last group may be ragged: lanes past k are neither read nor written.
    const __mmask8 mask = k - s >= 8 ? 0xFF : static_cast<__mmask8>((1u << (k - s)) - 1);
    __m512d dv = _mm512_maskz_loadu_pd(mask, drow + s);
    for (int i = 0; i < N; ++i) {
      const __m256 p = _mm256_mul_ps(gv[i], _mm256_maskz_loadu_ps(mask, xs[i] + s));
      dv = _mm512_add_pd(dv, _mm512_cvtps_pd(p));
    }
    _mm512_mask_storeu_pd(drow + s, mask, dv);
  }
}

VELMAR_AVX512 void DirectionAvx512(int k, int stride, int m, const float* const* x, const float* g,
                                   const int* which, int n, double* d, bool skip_zero) {
  const float* xs[B];
  float gs[B];
  for (int j = 0; j < m; ++j) {
    double* drow = d + Offset(j, stride);
    // All of a row's terms in one sweep: a second sweep would read back what
    // the first has just stored.
    switch (RowTerms(x, g, which, n, j, skip_zero, xs, gs)) {
      case 8:
        DirectionRowAvx512<8>(k, xs, gs, drow);
        break;
      case 7:
        DirectionRowAvx512<7>(k, xs, gs, drow);
        break;
      case 6:
        DirectionRowAvx512<6>(k, xs, gs, drow);
        break;
      case 5:
        DirectionRowAvx512<5>(k, xs, gs, drow);
        break;
      case 4:
        DirectionRowAvx512<4>(k, xs, gs, drow);
        break;
      case 3:
        DirectionRowAvx512<3>(k, xs, gs, drow);
        break;
      case 2:
        DirectionRowAvx512<2>(k, xs, gs, drow);
        break;
      case 1:
        DirectionRowAvx512<1>(k, xs, gs, drow);
        break;
      default:
        break;
    }
  }
}

VELMAR_AVX512 void ActivateAvx512(const float* neuron, int m, const double* sums, float* stored,
                                  float* outputs, double* next) {
  for (int j = 0; j < m; ++j) {
    const __m512d c = _mm512_set1_pd(neuron[2 * j]);
    const __m512d b = _mm512_set1_pd(neuron[2 * j + 1]);
    const int i = B * j;
    const __m256 sf = _mm512_cvtpd_ps(_mm512_loadu_pd(sums + i));
    _mm256_storeu_ps(stored + i, sf);
    const __m512d a = _mm512_add_pd(b, _mm512_cvtps_pd(sf));
    const __m256 f = _mm512_cvtpd_ps(_mm512_div_pd(a, _mm512_add_pd(c, _mm512_abs_pd(a))));
    _mm256_storeu_ps(outputs + i, f);
    _mm512_storeu_pd(next + i, _mm512_cvtps_pd(f));
  }
}

VELMAR_AVX512 void DeriveAvx512(const float* neuron, int m, const float* sums, const float* u,
                                const bool* take, float* characteristic, float* g, double* gd) {
  __mmask8 keep = 0;
  for (int e = 0; e < B; ++e) keep |= static_cast<__mmask8>(take[e] ? 1u << e : 0u);
  for (int j = 0; j < m; ++j) {
    const __m512d c = _mm512_set1_pd(neuron[2 * j]);
    const __m512d b = _mm512_set1_pd(neuron[2 * j + 1]);
    const int i = B * j;
    const __m512d a = _mm512_add_pd(b, _mm512_cvtps_pd(_mm256_loadu_ps(sums + i)));
    const __m512d q = _mm512_add_pd(c, _mm512_abs_pd(a));
    const __m512d hv = _mm512_div_pd(_mm512_cvtps_pd(_mm256_loadu_ps(u + i)), _mm512_mul_pd(q, q));
    const __m512d minus_a = _mm512_xor_pd(a, _mm512_set1_pd(-0.0));
    _mm256_storeu_ps(characteristic + i, _mm512_cvtpd_ps(_mm512_mul_pd(minus_a, hv)));
    const __m256 gv = _mm256_maskz_mov_ps(keep, _mm512_cvtpd_ps(_mm512_mul_pd(c, hv)));
    _mm256_storeu_ps(g + i, gv);
    _mm512_storeu_pd(gd + i, _mm512_cvtps_pd(gv));
  }
}

#undef VELMAR_AVX2
#undef VELMAR_AVX512
#pragma GCC diagnostic pop

constexpr PassKernels kAvx512{"avx512",         kOwnSourcesFrom, &SumsAvx512,  &BackAvx512,
                              &DirectionAvx512, &ActivateAvx512, &DeriveAvx512};

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
          __builtin_cpu_supports("avx512vl")) {
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
