#include "core/engine/propagation_kernels.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

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

__attribute__((always_inline)) inline void ActivateRows(const double* neuron, int m,
                                                        const double* sums, float* stored,
                                                        float* outputs, double* next,
                                                        double* const* own) {
  for (int j = 0; j < m; ++j) {
    const double c = neuron[2 * j];
    const double b = neuron[2 * j + 1];
    for (int e = 0; e < B; ++e) {
      const int i = B * j + e;
      stored[i] = static_cast<float>(sums[i]);
      const double a = b + static_cast<double>(stored[i]);
      outputs[i] = static_cast<float>(a / (c + __builtin_fabs(a)));
      next[i] = own[e][j] = static_cast<double>(outputs[i]);
    }
  }
}

__attribute__((always_inline)) inline void DeriveRows(const double* neuron, int m,
                                                      const float* sums, const float* u,
                                                      const bool* take,
                                                      double* const* characteristic, float* g,
                                                      double* gd) {
  for (int j = 0; j < m; ++j) {
    const double c = neuron[2 * j];
    const double b = neuron[2 * j + 1];
    for (int e = 0; e < B; ++e) {
      const int i = B * j + e;
      const double a = b + static_cast<double>(sums[i]);
      const double q = c + __builtin_fabs(a);
      const double h = static_cast<double>(u[i]) / (q * q);
      characteristic[e][j] = static_cast<double>(static_cast<float>(-a * h));
      g[i] = take[e] ? static_cast<float>(c * h) : 0.0f;
      gd[i] = static_cast<double>(g[i]);
    }
  }
}

__attribute__((always_inline)) inline void LoadInputsRows(const float* const* rows, int k,
                                                          double* const* own, double* x) {
  for (int s = 0; s < k; ++s) {
    for (int e = 0; e < B; ++e) x[B * s + e] = own[e][s] = rows[e][s];
  }
}

#define VELMAR_ROW_WRAPPERS(suffix, attributes)                                                    \
  attributes void Activate##suffix(const double* neuron, int m, const double* sums, float* stored, \
                                   float* outputs, double* next, double* const* own) {             \
    ActivateRows(neuron, m, sums, stored, outputs, next, own);                                     \
  }                                                                                                \
  attributes void Derive##suffix(const double* neuron, int m, const float* sums, const float* u,   \
                                 const bool* take, double* const* characteristic, float* g,        \
                                 double* gd) {                                                     \
    DeriveRows(neuron, m, sums, u, take, characteristic, g, gd);                                   \
  }                                                                                                \
  attributes void LoadInputs##suffix(const float* const* rows, int k, double* const* own,          \
                                     double* x) {                                                  \
    LoadInputsRows(rows, k, own, x);                                                               \
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

void DirectionPortable(int stride, int m, const double* const* x, const double* const* g, int n,
                       double* d) {
  for (int j = 0; j < m; ++j) {
    double* drow = d + Offset(j, stride);
    for (int i = 0; i < n; ++i) {
      const double v = g[i][B * j];
      const double* xi = x[i];
      for (int s = 0; s < stride; ++s) drow[s] += v * xi[s];
    }
  }
}

constexpr PassKernels kPortable{"portable",         &SumsPortable,       &BackPortable,
                                &DirectionPortable, &LoadInputsPortable, &ActivatePortable,
                                &DerivePortable};

// Rows per block when m rows go in blocks of at most `most`, as even as
// possible: ⌈m / ⌈m / most⌉⌉. Small layers take the first two cases, which
// spare an integer division each.
inline int EvenBlock(int m, int most) {
  if (m <= most) return m;
  if (m <= 2 * most) return (m + 1) / 2;
  const int blocks = (m + most - 1) / most;
  return (m + blocks - 1) / blocks;
}

// The most rows a block of c groups may take: acc sums.
inline int MostRows(int acc, int c) {
  int most = acc;
  switch (c) {
    case 1:
      break;
    case 2:
      most = acc / 2;
      break;
    case 3:
      most = acc / 3;
      break;
    default:
      most = acc / 4;
      break;
  }
  return most;
}

// The direction in register blocks of R rows by C groups of W entries (one
// vector each): the R·C sums stay in registers while the examples go by, so
// each source vector is read once for R rows and each signal once for C
// groups. A layer's groups are taken CB at a time, and its rows in blocks as
// even as ACC sums allow: ten rows of two groups go as 5 + 5 rather than
// 8 + 2, whose short block would wait on its few sums' multiply-adds. Each sum
// is a chain of one multiply-add per example, so a block needs many sums to
// keep the multipliers busy: a single row (an output, the characteristics)
// takes up to ONE groups at once.
#define VELMAR_DIRECTION_KERNEL(attributes, V, W, CB, ACC, ONE, Load, Store, Set1, Fma)            \
  template <int R, int C>                                                                          \
  attributes void DirectionBlock##W(int stride, int j0, int s0, const double* const* x,            \
                                    const double* const* g, int n, double* d) {                    \
    V acc[R][C];                                                                                   \
    for (int r = 0; r < R; ++r) {                                                                  \
      for (int c = 0; c < C; ++c) acc[r][c] = Load(d + Offset(j0 + r, stride) + s0 + W * c);       \
    }                                                                                              \
    /* n ≥ 1 (Direction##W returns before): a loop that may run no time */                       \
    /* makes the compiler keep the sums in memory around it. */                                    \
    int i = 0;                                                                                     \
    do {                                                                                           \
      V xv[C];                                                                                     \
      for (int c = 0; c < C; ++c) xv[c] = Load(x[i] + s0 + W * c);                                 \
      for (int r = 0; r < R; ++r) {                                                                \
        const V gv = Set1(g[i][B * (j0 + r)]);                                                     \
        for (int c = 0; c < C; ++c) acc[r][c] = Fma(gv, xv[c], acc[r][c]);                         \
      }                                                                                            \
    } while (++i < n);                                                                             \
    for (int r = 0; r < R; ++r) {                                                                  \
      for (int c = 0; c < C; ++c) Store(d + Offset(j0 + r, stride) + s0 + W * c, acc[r][c]);       \
    }                                                                                              \
  }                                                                                                \
  /* The blocks of 1 to 16 rows of C groups, and of one row of 1 to 8 */                           \
  /* groups. Direction##W never asks for more than ACC / C rows or ONE */                          \
  /* groups, so the blocks with more are not made (the 1 below is never */                         \
  /* used). */                                                                                     \
  using DirectionBlockKernel##W =                                                                  \
      void (*)(int, int, int, const double* const*, const double* const*, int, double*);           \
  template <int C, int... R>                                                                       \
  constexpr auto DirectionRowsTable##W(std::integer_sequence<int, R...>) {                         \
    return std::array<DirectionBlockKernel##W, sizeof...(R)>{                                      \
        &DirectionBlock##W<(ACC / C >= R + 1 ? R + 1 : 1), C>...};                                 \
  }                                                                                                \
  template <int... C>                                                                              \
  constexpr auto DirectionOneRowTable##W(std::integer_sequence<int, C...>) {                       \
    return std::array<DirectionBlockKernel##W, sizeof...(C)>{                                      \
        &DirectionBlock##W<1, (ONE >= C + 1 ? C + 1 : 1)>...};                                     \
  }                                                                                                \
  /* A block of `rows` rows from j0 and C groups from s0. */                                       \
  template <int C>                                                                                 \
  attributes void DirectionRows##W(int rows, int stride, int j0, int s0, const double* const* x,   \
                                   const double* const* g, int n, double* d) {                     \
    static constexpr auto kBlocks =                                                                \
        DirectionRowsTable##W<C>(std::make_integer_sequence<int, 16>());                           \
    kBlocks[rows - 1](stride, j0, s0, x, g, n, d);                                                 \
  }                                                                                                \
  /* One row of `groups` groups in one block. */                                                   \
  attributes void DirectionOneRow##W(int groups, const double* const* x, const double* const* g,   \
                                     int n, double* d) {                                           \
    static constexpr auto kBlocks = DirectionOneRowTable##W(std::make_integer_sequence<int, 8>()); \
    kBlocks[groups - 1](0, 0, 0, x, g, n, d);                                                      \
  }                                                                                                \
  attributes void Direction##W(int stride, int m, const double* const* x, const double* const* g,  \
                               int n, double* d) {                                                 \
    if (n == 0) return;                                                                            \
    const int groups = stride / W;                                                                 \
    if (m == 1 && groups <= ONE) return DirectionOneRow##W(groups, x, g, n, d);                    \
    for (int c0 = 0; c0 < groups; c0 += CB) {                                                      \
      const int c = groups - c0 < CB ? groups - c0 : CB;                                           \
      const int per_block = EvenBlock(m, MostRows(ACC, c));                                        \
      for (int j = 0; j < m; j += per_block) {                                                     \
        const int rows = m - j < per_block ? m - j : per_block;                                    \
        const int s0 = W * c0;                                                                     \
        switch (c) {                                                                               \
          case 1:                                                                                  \
            DirectionRows##W<1>(rows, stride, j, s0, x, g, n, d);                                  \
            break;                                                                                 \
          case 2:                                                                                  \
            DirectionRows##W<2>(rows, stride, j, s0, x, g, n, d);                                  \
            break;                                                                                 \
          case 3:                                                                                  \
            DirectionRows##W<3>(rows, stride, j, s0, x, g, n, d);                                  \
            break;                                                                                 \
          default:                                                                                 \
            DirectionRows##W<CB>(rows, stride, j, s0, x, g, n, d);                                 \
            break;                                                                                 \
        }                                                                                          \
      }                                                                                            \
    }                                                                                              \
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

VELMAR_DIRECTION_KERNEL(VELMAR_AVX2, __m256d, 4, 4, 8, 4, _mm256_loadu_pd, _mm256_storeu_pd,
                        _mm256_set1_pd, _mm256_fmadd_pd)

VELMAR_ROW_WRAPPERS(Avx2, VELMAR_AVX2)

constexpr PassKernels kAvx2{"avx2",          &SumsAvx2,     &BackAvx2,  &Direction4,
                            &LoadInputsAvx2, &ActivateAvx2, &DeriveAvx2};

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

// The sources past the last whole group of 8 of rows j0 .. j0+R-1, summed in
// order and added to the rows' lane sums `lanes` (null: no whole group).
template <int R>
VELMAR_AVX512 inline void StoreRowSums(const double* w, int stride, int k, int whole, int j0,
                                       const double* x, const __m512d* lanes, double* sums) {
  for (int r = 0; r < R; ++r) {
    const double* row = w + Offset(j0 + r, stride);
    __m512d tail = _mm512_setzero_pd();
    for (int s = whole; s < k; ++s) {
      tail = _mm512_fmadd_pd(_mm512_set1_pd(row[s]), _mm512_loadu_pd(x + B * s), tail);
    }
    const __m512d head = lanes != nullptr ? lanes[r] : _mm512_setzero_pd();
    _mm512_storeu_pd(sums + B * (j0 + r), _mm512_add_pd(head, tail));
  }
}

// Rows j0 .. j0+R-1 over each example's own sources: 8·R accumulators, each
// holding one example's eight lanes.
template <int R>
VELMAR_AVX512 void SumsRowsAvx512(const double* w, int stride, int k, int j0, const double* x,
                                  const double* const* xe, double* sums) {
  const int whole = k - k % 8;
  if (whole == 0) return StoreRowSums<R>(w, stride, k, whole, j0, x, nullptr, sums);
  // A loop that might not run would make the compiler keep the sums in
  // memory around it: this one runs at least once.
  __m512d acc[R][B];
  for (int r = 0; r < R; ++r) {
    for (int e = 0; e < B; ++e) acc[r][e] = _mm512_setzero_pd();
  }
  int s = 0;
  do {
    __m512d wv[R];
    for (int r = 0; r < R; ++r) {
      const double* at = w + Offset(j0 + r, stride) + s;
      wv[r] = _mm512_loadu_pd(at);
      // The same line of the rows that come next.
      _mm_prefetch(reinterpret_cast<const char*>(at + static_cast<long>(R) * stride), _MM_HINT_T0);
    }
    for (int e = 0; e < B; ++e) {
      __m512d xv = _mm512_loadu_pd(xe[e] + s);
      // One load for the R rows: left alone, the compiler folds it into
      // every multiply-add, and the loads become the bottleneck.
      asm("" : "+v"(xv));
      for (int r = 0; r < R; ++r) acc[r][e] = _mm512_fmadd_pd(wv[r], xv, acc[r][e]);
    }
  } while ((s += 8) < whole);
  __m512d lanes[R];
  for (int r = 0; r < R; ++r) lanes[r] = CombineLanes8(acc[r]);
  StoreRowSums<R>(w, stride, k, whole, j0, x, lanes, sums);
}

// SumsLanesAvx512 for rows of 8 to 15 sources, where each lane holds one
// product: lane u + 4 is added to lane u by a multiply-add, which rounds
// exactly like l_u + l_(u+4), since the products are exact.
template <int R>
VELMAR_AVX512 void SumsLanesOnce(const double* w, int stride, int k, int j0, const double* x,
                                 double* sums) {
  __m512d pair[R][4];
  for (int u = 0; u < 4; ++u) {
    __m512d xv = _mm512_loadu_pd(x + B * u);
    asm("" : "+v"(xv));  // one load for the R rows, as in SumsRowsAvx512
    for (int r = 0; r < R; ++r) {
      pair[r][u] =
          _mm512_fmadd_pd(_mm512_set1_pd(w[Offset(j0 + r, stride) + u]), xv, _mm512_setzero_pd());
    }
  }
  for (int u = 0; u < 4; ++u) {
    __m512d xv = _mm512_loadu_pd(x + B * (u + 4));
    asm("" : "+v"(xv));
    for (int r = 0; r < R; ++r) {
      pair[r][u] =
          _mm512_fmadd_pd(_mm512_set1_pd(w[Offset(j0 + r, stride) + u + 4]), xv, pair[r][u]);
    }
  }
  __m512d lanes[R];
  for (int r = 0; r < R; ++r) {
    const __m512d* p = pair[r];
    lanes[r] = _mm512_add_pd(_mm512_add_pd(p[0], p[1]), _mm512_add_pd(p[2], p[3]));
  }
  StoreRowSums<R>(w, stride, k, 8, j0, x, lanes, sums);
}

// Rows j0 .. j0+R-1 over the lane-major sources: one accumulator per lane
// and row, each holding the eight examples; cheaper than combining lanes
// across registers when a row has few sources.
template <int R>
VELMAR_AVX512 void SumsLanesAvx512(const double* w, int stride, int k, int j0, const double* x,
                                   double* sums) {
  const int whole = k - k % 8;
  if (whole == 0) return StoreRowSums<R>(w, stride, k, whole, j0, x, nullptr, sums);
  if (whole == 8) return SumsLanesOnce<R>(w, stride, k, j0, x, sums);
  __m512d lane[R][8];
  for (int r = 0; r < R; ++r) {
    for (int u = 0; u < 8; ++u) lane[r][u] = _mm512_setzero_pd();
  }
  int s = 0;
  do {  // at least once, as in SumsRowsAvx512
    for (int u = 0; u < 8; ++u) {
      __m512d xv = _mm512_loadu_pd(x + B * (s + u));
      asm("" : "+v"(xv));  // one load for the R rows, as in SumsRowsAvx512
      for (int r = 0; r < R; ++r) {
        lane[r][u] =
            _mm512_fmadd_pd(_mm512_set1_pd(w[Offset(j0 + r, stride) + s + u]), xv, lane[r][u]);
      }
    }
  } while ((s += 8) < whole);
  __m512d lanes[R];
  for (int r = 0; r < R; ++r) {
    const __m512d* l = lane[r];
    lanes[r] = _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(l[0], l[4]), _mm512_add_pd(l[1], l[5])),
                             _mm512_add_pd(_mm512_add_pd(l[2], l[6]), _mm512_add_pd(l[3], l[7])));
  }
  StoreRowSums<R>(w, stride, k, whole, j0, x, lanes, sums);
}

// Layers with fewer sources take the lane-major sums: below this their lane
// combination costs more than the broadcast weights do.
constexpr int kOwnSourcesFrom = 64;

// Rows three at a time, then the rest.
VELMAR_AVX512 void SumsAvx512(const double* w, int stride, int k, int m, const double* x,
                              const double* const* xe, double* sums) {
  int j = 0;
  if (k < kOwnSourcesFrom) {
    for (; j + 3 <= m; j += 3) SumsLanesAvx512<3>(w, stride, k, j, x, sums);
    if (j + 2 <= m) {
      SumsLanesAvx512<2>(w, stride, k, j, x, sums);
      j += 2;
    }
    if (j < m) SumsLanesAvx512<1>(w, stride, k, j, x, sums);
    return;
  }
  for (; j + 3 <= m; j += 3) SumsRowsAvx512<3>(w, stride, k, j, x, xe, sums);
  if (j + 2 <= m) {
    SumsRowsAvx512<2>(w, stride, k, j, x, xe, sums);
    j += 2;
  }
  if (j < m) SumsRowsAvx512<1>(w, stride, k, j, x, xe, sums);
}

template <int U>
VELMAR_AVX512 void BackSourcesAvx512(const double* w, int stride, int m, const double* g, int s0,
                                     float* back) {
  if (m <= 0) {
    for (int u = 0; u < U; ++u) _mm256_storeu_ps(back + B * (s0 + u), _mm256_setzero_ps());
    return;
  }
  // Past the return above the loop runs at least once, so the sums stay in
  // registers; with a path where it might not, the compiler kept them on the
  // stack and cleared them with a string store at every call.
  __m512d acc[U];
  for (int u = 0; u < U; ++u) acc[u] = _mm512_setzero_pd();
  int j = 0;
  do {
    const __m512d gv = _mm512_loadu_pd(g + B * j);
    const double* row = w + Offset(j, stride) + s0;
    // The rows are a stride apart: fetch a few ahead.
    if (j + 8 < m) _mm_prefetch(reinterpret_cast<const char*>(row + 8L * stride), _MM_HINT_T0);
    for (int u = 0; u < U; ++u) acc[u] = _mm512_fmadd_pd(gv, _mm512_set1_pd(row[u]), acc[u]);
  } while (++j < m);
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

VELMAR_DIRECTION_KERNEL(VELMAR_AVX512, __m512d, 8, 4, 16, 8, _mm512_loadu_pd, _mm512_storeu_pd,
                        _mm512_set1_pd, _mm512_fmadd_pd)

// rows[t] holds entry j0 + t of the eight examples; writes own[e][j0 + t]
// for t < count. Shuffles across the 128-bit lanes of a register are the
// dear part, so the rows are paired within lanes first, and the last round
// stores halves and quarters of registers instead of shuffling them
// together; a group of one or two rows needs no crossing shuffle at all.
__attribute__((always_inline)) VELMAR_AVX512 inline void StoreColumns(const __m512d* rows,
                                                                      int count, int j0,
                                                                      double* const* own) {
  // t[2p] lane i: rows 2p, 2p+1 of example 2i; t[2p+1] the same of 2i+1.
  __m512d t[8];
  if (count <= 2) {
    const __m512d even = _mm512_unpacklo_pd(rows[0], rows[1]);
    const __m512d odd = _mm512_unpackhi_pd(rows[0], rows[1]);
    const __mmask8 mask = count == 2 ? 0x3 : 0x1;
    _mm_mask_storeu_pd(own[0] + j0, mask, _mm512_castpd512_pd128(even));
    _mm_mask_storeu_pd(own[1] + j0, mask, _mm512_castpd512_pd128(odd));
    _mm_mask_storeu_pd(own[2] + j0, mask, _mm512_extractf64x2_pd(even, 1));
    _mm_mask_storeu_pd(own[3] + j0, mask, _mm512_extractf64x2_pd(odd, 1));
    _mm_mask_storeu_pd(own[4] + j0, mask, _mm512_extractf64x2_pd(even, 2));
    _mm_mask_storeu_pd(own[5] + j0, mask, _mm512_extractf64x2_pd(odd, 2));
    _mm_mask_storeu_pd(own[6] + j0, mask, _mm512_extractf64x2_pd(even, 3));
    _mm_mask_storeu_pd(own[7] + j0, mask, _mm512_extractf64x2_pd(odd, 3));
    return;
  }
  const int pairs = count <= 4 ? 2 : 4;
  for (int p = 0; p < pairs; ++p) {
    t[2 * p] = _mm512_unpacklo_pd(rows[2 * p], rows[2 * p + 1]);
    t[2 * p + 1] = _mm512_unpackhi_pd(rows[2 * p], rows[2 * p + 1]);
  }
  // Rows 4h .. 4h+3 of examples e (low half) and e + 4 (high half), from
  // the lanes i and i + 2 of two t.
  const __m512i low = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
  const __m512i high = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
  const __mmask8 first = count >= 4 ? 0xF : static_cast<__mmask8>((1u << count) - 1);
  const __mmask8 second = count >= 8 ? 0xF : static_cast<__mmask8>((1u << (count - 4)) - 1);
  for (int h = 0; h * 4 < count; ++h) {
    const __mmask8 mask = h == 0 ? first : second;
    const int at = j0 + 4 * h;
    const __m512d* th = t + 4 * h;
    const __m512d e04 = _mm512_permutex2var_pd(th[0], low, th[2]);
    const __m512d e26 = _mm512_permutex2var_pd(th[0], high, th[2]);
    const __m512d e15 = _mm512_permutex2var_pd(th[1], low, th[3]);
    const __m512d e37 = _mm512_permutex2var_pd(th[1], high, th[3]);
    _mm256_mask_storeu_pd(own[0] + at, mask, _mm512_castpd512_pd256(e04));
    _mm256_mask_storeu_pd(own[4] + at, mask, _mm512_extractf64x4_pd(e04, 1));
    _mm256_mask_storeu_pd(own[2] + at, mask, _mm512_castpd512_pd256(e26));
    _mm256_mask_storeu_pd(own[6] + at, mask, _mm512_extractf64x4_pd(e26, 1));
    _mm256_mask_storeu_pd(own[1] + at, mask, _mm512_castpd512_pd256(e15));
    _mm256_mask_storeu_pd(own[5] + at, mask, _mm512_extractf64x4_pd(e15, 1));
    _mm256_mask_storeu_pd(own[3] + at, mask, _mm512_castpd512_pd256(e37));
    _mm256_mask_storeu_pd(own[7] + at, mask, _mm512_extractf64x4_pd(e37, 1));
  }
}

// A layer's neurons in groups of eight: `neuron(j)` gives neuron j's values
// of the eight examples (storing what else it computes on the way), and each
// group is transposed into own. The neurons of up to four groups are computed
// before their transposes, so that the shuffles of one group run while the
// divider still works on the next.
//
// Inlined into its caller, so that the neuron's pointers stay in registers
// instead of being read again after every store.
template <class Neuron>
__attribute__((always_inline)) VELMAR_AVX512 inline void NeuronGroups(int m, double* const* own,
                                                                      const Neuron& neuron) {
  constexpr int kChunk = 32;
  for (int c0 = 0; c0 < m; c0 += kChunk) {
    const int n = m - c0 < kChunk ? m - c0 : kChunk;
    __m512d rows[kChunk + 7];
    int t = 0;
    do {  // at least once, as in SumsRowsAvx512
      rows[t] = neuron(c0 + t);
    } while (++t < n);
    // The last group's rows past n: seven fixed stores cost less than a
    // counted loop.
    for (int z = 0; z < 7; ++z) rows[t + z] = _mm512_setzero_pd();
    for (int g = 0; g < n; g += 8) StoreColumns(rows + g, n - g < 8 ? n - g : 8, c0 + g, own);
  }
}

struct ActivateNeuron {
  const double* neuron;
  const double* sums;
  float* stored;
  float* outputs;
  double* next;

  VELMAR_AVX512 __m512d operator()(int j) const {
    const __m512d c = _mm512_set1_pd(neuron[2 * j]);
    const __m512d b = _mm512_set1_pd(neuron[2 * j + 1]);
    const int i = B * j;
    const __m256 sf = _mm512_cvtpd_ps(_mm512_loadu_pd(sums + i));
    _mm256_storeu_ps(stored + i, sf);
    const __m512d a = _mm512_add_pd(b, _mm512_cvtps_pd(sf));
    const __m256 f = _mm512_cvtpd_ps(_mm512_div_pd(a, _mm512_add_pd(c, _mm512_abs_pd(a))));
    _mm256_storeu_ps(outputs + i, f);
    const __m512d wide = _mm512_cvtps_pd(f);
    _mm512_storeu_pd(next + i, wide);
    return wide;
  }
};

struct DeriveNeuron {
  const double* neuron;
  const float* sums;
  const float* u;
  __mmask8 keep;
  float* g;
  double* gd;

  // The characteristic's gradient; the signal goes to g and gd.
  VELMAR_AVX512 __m512d operator()(int j) const {
    const __m512d c = _mm512_set1_pd(neuron[2 * j]);
    const __m512d b = _mm512_set1_pd(neuron[2 * j + 1]);
    const int i = B * j;
    const __m512d a = _mm512_add_pd(b, _mm512_cvtps_pd(_mm256_loadu_ps(sums + i)));
    const __m512d q = _mm512_add_pd(c, _mm512_abs_pd(a));
    const __m512d hv = _mm512_div_pd(_mm512_cvtps_pd(_mm256_loadu_ps(u + i)), _mm512_mul_pd(q, q));
    const __m512d minus_a = _mm512_xor_pd(a, _mm512_set1_pd(-0.0));
    const __m256 gv = _mm256_maskz_mov_ps(keep, _mm512_cvtpd_ps(_mm512_mul_pd(c, hv)));
    _mm256_storeu_ps(g + i, gv);
    _mm512_storeu_pd(gd + i, _mm512_cvtps_pd(gv));
    return _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_mul_pd(minus_a, hv)));
  }
};

VELMAR_AVX512 void ActivateAvx512(const double* neuron, int m, const double* sums, float* stored,
                                  float* outputs, double* next, double* const* own) {
  NeuronGroups(m, own, ActivateNeuron{neuron, sums, stored, outputs, next});
}

VELMAR_AVX512 void DeriveAvx512(const double* neuron, int m, const float* sums, const float* u,
                                const bool* take, double* const* characteristic, float* g,
                                double* gd) {
  __mmask8 keep = 0;
  for (int e = 0; e < B; ++e) keep |= static_cast<__mmask8>(take[e] ? 1u << e : 0u);
  NeuronGroups(m, characteristic, DeriveNeuron{neuron, sums, u, keep, g, gd});
}

VELMAR_AVX512 void LoadInputsAvx512(const float* const* rows, int k, double* const* own,
                                    double* x) {
  for (int s0 = 0; s0 < k; s0 += 8) {
    // The last group reads and writes only the inputs there are.
    const __mmask8 mask = k - s0 >= 8 ? 0xFF : static_cast<__mmask8>((1u << (k - s0)) - 1);
    __m512d wide[8];
    double* to[8];
    for (int e = 0; e < B; ++e) {
      wide[e] = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(mask, rows[e] + s0));
      _mm512_mask_storeu_pd(own[e] + s0, mask, wide[e]);
    }
    for (int t = 0; t < 8; ++t) to[t] = x + B * (s0 + t);
    StoreColumns(wide, B, 0, to);
  }
}

#undef VELMAR_AVX2
#undef VELMAR_AVX512
#pragma GCC diagnostic pop

constexpr PassKernels kAvx512{"avx512",          &SumsAvx512,     &BackAvx512,  &Direction8,
                              &LoadInputsAvx512, &ActivateAvx512, &DeriveAvx512};

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
