#include "core/data/training_set_analysis.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <unordered_set>

#include "core/base/format_real.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

// Every sum below must round its product before adding it, exactly like the
// plain loop, so no multiply-add may be fused, whatever the target.
#if defined(__clang__)
#pragma clang fp contract(off)
#else
#pragma GCC optimize("fp-contract=off")
#endif

namespace velmar {
namespace {

// Dx and Dt as the user sees them defined: each difference and square in
// double, the running sum rounded to float32 after every term.
float SquaredDistance(const float* a, const float* b, int32_t count) {
  float sum = 0;
  for (int32_t i = 0; i < count; ++i) {
    const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    sum = static_cast<float>(static_cast<double>(sum) + d * d);
  }
  return sum;
}

// The order-dependent part of the analysis: the conflict list, which rows are
// skipped because they are listed, and the running best ratio. Both loops feed
// it the pairs of one row a in the order of b, the fast loop only those its
// filter lets through.
class PairJudge {
 public:
  explicit PairJudge(TrainingSetAnalysis& result) : result_(result) {}

  // False when row a is already listed and so is skipped altogether.
  bool BeginRow(int32_t record_a) {
    if (listed_.contains(record_a)) return false;
    record_a_ = record_a;
    group_ = -1;
    return true;
  }

  void Pair(int32_t record_b, float dx, float dt) {
    if (dx == 0 && dt > 0 && !listed_.contains(record_b)) {
      if (group_ < 0) {
        group_ = static_cast<int64_t>(result_.conflicts.size());
        result_.conflicts.push_back({record_a_});
        listed_.insert(record_a_);
      }
      result_.conflicts[static_cast<size_t>(group_)].push_back(record_b);
      listed_.insert(record_b);
    }
    if (dx > 0 && dt > 0) {
      const float r = static_cast<float>(std::sqrt(static_cast<double>(dt)) /
                                         std::sqrt(static_cast<double>(dx)));
      if (r > result_.lipschitz) {
        result_.lipschitz = r;
        result_.has_pair = true;
        result_.pair_dx = dx;
        result_.first_record = record_a_;
        result_.second_record = record_b;
        const double l = result_.lipschitz;
        // Any pair whose ratio can still round above the best satisfies
        // dt >= threshold * dx; the margin covers the roundings of the
        // square roots and the quotient many times over.
        threshold_ = l * l * (1 - 1e-9);
      }
    }
  }

  double threshold() const { return threshold_; }

 private:
  TrainingSetAnalysis& result_;
  std::unordered_set<int32_t> listed_;
  int32_t record_a_ = 0;
  int64_t group_ = -1;
  double threshold_ = 0;
};

// Pairs handled by one call of a block kernel: row a against the rows
// b0 .. b0 + kBlock - 1.
constexpr int kBlock = 32;

// The taskbook's signals column by column (inputs, then targets), widened to
// double, each column padded so that a block may run past the last row.
struct Columns {
  size_t stride = 0;
  int32_t inputs = 0;
  int32_t outputs = 0;
  std::vector<double> values;
  const double* Column(int32_t k) const { return values.data() + size_t(k) * stride; }
};

Columns Transpose(const TaskBook& book) {
  const uint32_t n = book.Count();
  Columns columns;
  columns.inputs = std::max(book.NumOfInputs(), 0);
  columns.outputs = std::max(book.NumOfOutputs(), 0);
  columns.stride = size_t{n} + kBlock;
  columns.values.assign(size_t(columns.inputs + columns.outputs) * columns.stride, 0.0);
  for (uint32_t row = 0; row < n; ++row) {
    const float* inputs = book.RowInputs(row);
    const float* targets = book.RowTargets(row);
    for (int32_t k = 0; k < columns.inputs; ++k) {
      columns.values[size_t(k) * columns.stride + row] = inputs[k];
    }
    for (int32_t k = 0; k < columns.outputs; ++k) {
      columns.values[size_t(columns.inputs + k) * columns.stride + row] = targets[k];
    }
  }
  return columns;
}

// A block kernel writes Dx and Dt of its kBlock pairs and returns the lanes
// (bit i for row b0 + i) that the judge must see: Dt > 0 and either Dx = 0
// or Dt >= threshold * Dx. Every kernel forms each square in double and
// rounds the running sum to float after every term, as SquaredDistance does;
// they differ only in how many pairs share one instruction.
using BlockKernel = uint32_t (*)(const Columns& columns, uint32_t a, uint32_t b0, double threshold,
                                 float* dx, float* dt);

uint32_t BlockPlain(const Columns& columns, uint32_t a, uint32_t b0, double threshold, float* dx,
                    float* dt) {
  uint32_t wanted = 0;
  for (int lane = 0; lane < kBlock; ++lane) {
    float sums[2] = {0, 0};
    for (int32_t k = 0; k < columns.inputs + columns.outputs; ++k) {
      const double* column = columns.Column(k);
      const double d = column[a] - column[b0 + lane];
      float& sum = sums[k < columns.inputs ? 0 : 1];
      sum = static_cast<float>(static_cast<double>(sum) + d * d);
    }
    dx[lane] = sums[0];
    dt[lane] = sums[1];
    const double x = sums[0];
    const double t = sums[1];
    if (t > 0 && (x == 0 || t >= threshold * x)) wanted |= uint32_t{1} << lane;
  }
  return wanted;
}

#if defined(__x86_64__) && defined(__GNUC__)

#define VELMAR_PRAGMA(text) _Pragma(#text)

// The body of the Sums kernels: into each of the COUNT vectors of sums[], the
// pairs of row a with the LANES rows from b + LANES * v, summed over columns
// first .. last - 1 and rounded to float after every term. W is the width in
// the intrinsics' names (_mm_, _mm256_, _mm512_); a macro and not a template,
// so that each copy compiles under its own function's target.
#define VELMAR_PAIR_SUMS(W, COUNT, LANES)                                                        \
  VELMAR_PRAGMA(GCC unroll COUNT)                                                                \
  for (int v = 0; v < COUNT; ++v) sums[v] = _mm##W##_setzero_pd();                               \
  for (int32_t k = first; k < last; ++k) {                                                       \
    const double* column = columns.Column(k);                                                    \
    const auto xa = _mm##W##_set1_pd(column[a]);                                                 \
    VELMAR_PRAGMA(GCC unroll COUNT)                                                              \
    for (int v = 0; v < COUNT; ++v) {                                                            \
      const auto d = _mm##W##_sub_pd(xa, _mm##W##_loadu_pd(column + b + LANES * v));             \
      sums[v] =                                                                                  \
          _mm##W##_cvtps_pd(_mm##W##_cvtpd_ps(_mm##W##_add_pd(sums[v], _mm##W##_mul_pd(d, d)))); \
    }                                                                                            \
  }

// Sixteen pairs at a time in eight registers: enough independent sums to
// cover the latency of add, narrow to float and widen back.
inline void SumsSse2(const Columns& columns, int32_t first, int32_t last, uint32_t a, uint32_t b,
                     __m128d (&sums)[8]) {
  VELMAR_PAIR_SUMS(, 8, 2);
}

uint32_t BlockSse2(const Columns& columns, uint32_t a, uint32_t b0, double threshold, float* dx,
                   float* dt) {
  uint32_t wanted = 0;
  const __m128d zero = _mm_setzero_pd();
  const __m128d limit = _mm_set1_pd(threshold);
  for (int half = 0; half < 2; ++half) {
    const uint32_t b = b0 + 16 * half;
    __m128d x[8];
    __m128d t[8];
    SumsSse2(columns, 0, columns.inputs, a, b, x);
    SumsSse2(columns, columns.inputs, columns.inputs + columns.outputs, a, b, t);
#pragma GCC unroll 8
    for (int v = 0; v < 8; ++v) {
      const int lane = 16 * half + 2 * v;
      _mm_storel_pi(reinterpret_cast<__m64*>(dx + lane), _mm_cvtpd_ps(x[v]));
      _mm_storel_pi(reinterpret_cast<__m64*>(dt + lane), _mm_cvtpd_ps(t[v]));
      const __m128d near =
          _mm_or_pd(_mm_cmpeq_pd(x[v], zero), _mm_cmpge_pd(t[v], _mm_mul_pd(limit, x[v])));
      const __m128d want = _mm_and_pd(_mm_cmpgt_pd(t[v], zero), near);
      wanted |= static_cast<uint32_t>(_mm_movemask_pd(want)) << lane;
    }
  }
  return wanted;
}

__attribute__((target("avx2"), always_inline)) inline void SumsAvx2(const Columns& columns,
                                                                    int32_t first, int32_t last,
                                                                    uint32_t a, uint32_t b,
                                                                    __m256d (&sums)[8]) {
  VELMAR_PAIR_SUMS(256, 8, 4);
}

__attribute__((target("avx2"))) uint32_t BlockAvx2(const Columns& columns, uint32_t a, uint32_t b0,
                                                   double threshold, float* dx, float* dt) {
  __m256d x[8];
  __m256d t[8];
  SumsAvx2(columns, 0, columns.inputs, a, b0, x);
  SumsAvx2(columns, columns.inputs, columns.inputs + columns.outputs, a, b0, t);
  uint32_t wanted = 0;
  const __m256d zero = _mm256_setzero_pd();
  const __m256d limit = _mm256_set1_pd(threshold);
#pragma GCC unroll 8
  for (int v = 0; v < 8; ++v) {
    _mm_storeu_ps(dx + 4 * v, _mm256_cvtpd_ps(x[v]));
    _mm_storeu_ps(dt + 4 * v, _mm256_cvtpd_ps(t[v]));
    const __m256d near = _mm256_or_pd(_mm256_cmp_pd(x[v], zero, _CMP_EQ_OQ),
                                      _mm256_cmp_pd(t[v], _mm256_mul_pd(limit, x[v]), _CMP_GE_OQ));
    const __m256d want = _mm256_and_pd(_mm256_cmp_pd(t[v], zero, _CMP_GT_OQ), near);
    wanted |= static_cast<uint32_t>(_mm256_movemask_pd(want)) << (4 * v);
  }
  return wanted;
}

// The widening and narrowing intrinsics start from an "undefined" vector that
// GCC 12 reports as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

__attribute__((target("avx512f"), always_inline)) inline void SumsAvx512(const Columns& columns,
                                                                         int32_t first,
                                                                         int32_t last, uint32_t a,
                                                                         uint32_t b,
                                                                         __m512d (&sums)[4]) {
  VELMAR_PAIR_SUMS(512, 4, 8);
}

__attribute__((target("avx512f"))) uint32_t BlockAvx512(const Columns& columns, uint32_t a,
                                                        uint32_t b0, double threshold, float* dx,
                                                        float* dt) {
  __m512d x[4];
  __m512d t[4];
  SumsAvx512(columns, 0, columns.inputs, a, b0, x);
  SumsAvx512(columns, columns.inputs, columns.inputs + columns.outputs, a, b0, t);
  uint32_t wanted = 0;
  const __m512d zero = _mm512_setzero_pd();
  const __m512d limit = _mm512_set1_pd(threshold);
#pragma GCC unroll 4
  for (int v = 0; v < 4; ++v) {
    _mm256_storeu_ps(dx + 8 * v, _mm512_cvtpd_ps(x[v]));
    _mm256_storeu_ps(dt + 8 * v, _mm512_cvtpd_ps(t[v]));
    const __mmask8 near = _mm512_cmp_pd_mask(x[v], zero, _CMP_EQ_OQ) |
                          _mm512_cmp_pd_mask(t[v], _mm512_mul_pd(limit, x[v]), _CMP_GE_OQ);
    const __mmask8 want = _mm512_cmp_pd_mask(t[v], zero, _CMP_GT_OQ) & near;
    wanted |= static_cast<uint32_t>(want) << (8 * v);
  }
  return wanted;
}

#pragma GCC diagnostic pop

#undef VELMAR_PAIR_SUMS
#undef VELMAR_PRAGMA

#endif

BlockKernel KernelFor(PairKernel kernel) {
#if defined(__x86_64__) && defined(__GNUC__)
  switch (kernel) {
    case PairKernel::kAuto:
      if (__builtin_cpu_supports("avx512f")) return &BlockAvx512;
      if (__builtin_cpu_supports("avx2")) return &BlockAvx2;
      return &BlockSse2;
    case PairKernel::kPlain:
      return &BlockPlain;
    case PairKernel::kSse2:
      return &BlockSse2;
    case PairKernel::kAvx2:
      return __builtin_cpu_supports("avx2") ? &BlockAvx2 : nullptr;
    case PairKernel::kAvx512:
      return __builtin_cpu_supports("avx512f") ? &BlockAvx512 : nullptr;
  }
  return nullptr;
#else
  return kernel == PairKernel::kAuto || kernel == PairKernel::kPlain ? &BlockPlain : nullptr;
#endif
}

TrainingSetAnalysis AnalysePairsWith(const TaskBook& book, BlockKernel kernel) {
  TrainingSetAnalysis result;
  PairJudge judge(result);
  const uint32_t n = book.Count();
  if (n < 2) return result;
  const Columns columns = Transpose(book);
  float dx[kBlock];
  float dt[kBlock];
  for (uint32_t a = 0; a + 1 < n; ++a) {
    if (!judge.BeginRow(book.RowRecordNumber(a))) continue;
    for (uint32_t b0 = a + 1; b0 < n; b0 += kBlock) {
      // Only pairs that may be a conflict or beat the best ratio go to the
      // judge, in the order of b; the rest cannot change the result.
      uint32_t wanted = kernel(columns, a, b0, judge.threshold(), dx, dt);
      const uint32_t lanes = std::min<uint32_t>(kBlock, n - b0);
      if (lanes < kBlock) wanted &= (uint32_t{1} << lanes) - 1;
      while (wanted != 0) {
        const int lane = std::countr_zero(wanted);
        wanted &= wanted - 1;
        judge.Pair(book.RowRecordNumber(b0 + static_cast<uint32_t>(lane)), dx[lane], dt[lane]);
      }
    }
  }
  return result;
}

}  // namespace

TrainingSetAnalysis AnalysePairsPlainly(const TaskBook& book) {
  TrainingSetAnalysis result;
  PairJudge judge(result);
  const uint32_t n = book.Count();
  for (uint32_t a = 0; a < n; ++a) {
    if (!judge.BeginRow(book.RowRecordNumber(a))) continue;
    for (uint32_t b = a + 1; b < n; ++b) {
      const float dx = SquaredDistance(book.RowInputs(a), book.RowInputs(b), book.NumOfInputs());
      const float dt = SquaredDistance(book.RowTargets(a), book.RowTargets(b), book.NumOfOutputs());
      judge.Pair(book.RowRecordNumber(b), dx, dt);
    }
  }
  return result;
}

bool PairKernelAvailable(PairKernel kernel) { return KernelFor(kernel) != nullptr; }

TrainingSetAnalysis AnalysePairs(const TaskBook& book, PairKernel kernel) {
  BlockKernel block = KernelFor(kernel);
  return AnalysePairsWith(book, block != nullptr ? block : KernelFor(PairKernel::kAuto));
}

std::string TrainingSetReport(const TrainingSetAnalysis& analysis, char decimal_separator) {
  std::string text = "Выборочная оценка константы Липшица:  ";
  text += FormatReal(analysis.lipschitz, decimal_separator);
  if (analysis.has_pair) {
    text += "\nпри норме разности векторов входных сигналов:  ";
    text += FormatReal(std::sqrt(static_cast<double>(analysis.pair_dx)), decimal_separator);
    text += "\nсоответствует записям:  ";
    text += std::to_string(analysis.first_record) + ", " + std::to_string(analysis.second_record);
  } else {
    text += "\nнет пар записей, различающихся и входными, и выходными сигналами";
  }
  text += "\n\n";
  if (analysis.conflicts.empty()) {
    text += "Конфликтных примеров нет";
  } else {
    text += "Конфликтные примеры:";
    for (const std::vector<int32_t>& group : analysis.conflicts) {
      text += '\n';
      for (size_t i = 0; i < group.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(group[i]);
      }
    }
  }
  return text;
}

void AnalyseTrainingSet(TaskBook& book, Host& host) {
  if (book.Count() == 0) return;
  std::string report;
  {
    BusyCursor busy(host);
    report = TrainingSetReport(AnalysePairs(book), host.DecimalSeparator());
    book.GoTo(book.Count());
  }
  host.ShowMessage(Message{report, kTrainingSetAnalysisCaption, OwnerKind::kProject});
}

}  // namespace velmar
