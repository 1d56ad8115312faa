#include "core/data/training_set_analysis.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>

#include "core/base/format_real.h"

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

// Lanes of one vector and the vectors handled together: enough independent
// sums to cover the latency of add, round to float and widen back.
constexpr int kLanes = 8;
constexpr int kVectors = 2;
constexpr int kBlock = kLanes * kVectors;

typedef double VecD __attribute__((vector_size(kLanes * sizeof(double))));
typedef float VecF __attribute__((vector_size(kLanes * sizeof(float))));

// Vectors are passed by reference: passing them by value changes with the
// instruction set, and the compiler warns about that.
inline void LoadD(const double* p, VecD& v) { std::memcpy(&v, p, sizeof v); }

// The same rounding as static_cast<float> of each lane, then back to double.
inline void RoundToFloat(VecD& v) {
  v = __builtin_convertvector(__builtin_convertvector(v, VecF), VecD);
}

// The taskbook's signals column by column (inputs, then targets), widened to
// double, each column padded so that a block may run past the last row.
struct Columns {
  int32_t stride = 0;
  std::vector<double> values;
  const double* Column(int32_t k) const { return values.data() + size_t(k) * size_t(stride); }
};

Columns Transpose(const TaskBook& book) {
  const uint32_t n = book.Count();
  const int32_t ni = book.NumOfInputs();
  const int32_t no = book.NumOfOutputs();
  Columns columns;
  columns.stride = static_cast<int32_t>(n) + kBlock;
  columns.values.assign(size_t(ni + no) * size_t(columns.stride), 0.0);
  for (uint32_t row = 0; row < n; ++row) {
    const float* inputs = book.RowInputs(row);
    const float* targets = book.RowTargets(row);
    for (int32_t k = 0; k < ni; ++k) {
      columns.values[size_t(k) * size_t(columns.stride) + row] = inputs[k];
    }
    for (int32_t k = 0; k < no; ++k) {
      columns.values[size_t(ni + k) * size_t(columns.stride) + row] = targets[k];
    }
  }
  return columns;
}

// Squared distances from row a to the kBlock rows from b0, over the columns
// [first, last).
inline void BlockDistances(const Columns& columns, int32_t first, int32_t last, uint32_t a,
                           uint32_t b0, VecD (&sums)[kVectors]) {
  for (int v = 0; v < kVectors; ++v) sums[v] = VecD{};
  for (int32_t k = first; k < last; ++k) {
    const double* column = columns.Column(k);
    const double xa = column[a];
    for (int v = 0; v < kVectors; ++v) {
      VecD x;
      LoadD(column + b0 + v * kLanes, x);
      const VecD d = xa - x;
      sums[v] += d * d;
      RoundToFloat(sums[v]);
    }
  }
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
      const float dt =
          SquaredDistance(book.RowTargets(a), book.RowTargets(b), book.NumOfOutputs());
      judge.Pair(book.RowRecordNumber(b), dx, dt);
    }
  }
  return result;
}

TrainingSetAnalysis AnalysePairs(const TaskBook& book) {
  TrainingSetAnalysis result;
  PairJudge judge(result);
  const uint32_t n = book.Count();
  if (n < 2) return result;
  const int32_t ni = book.NumOfInputs();
  const int32_t no = book.NumOfOutputs();
  const Columns columns = Transpose(book);

  for (uint32_t a = 0; a + 1 < n; ++a) {
    if (!judge.BeginRow(book.RowRecordNumber(a))) continue;
    for (uint32_t b0 = a + 1; b0 < n; b0 += kBlock) {
      VecD dx[kVectors];
      VecD dt[kVectors];
      BlockDistances(columns, 0, ni, a, b0, dx);
      BlockDistances(columns, ni, ni + no, a, b0, dt);
      // Only pairs that may be a conflict or beat the best ratio go to the
      // judge; everything else is decided here, lane by lane.
      const double threshold = judge.threshold();
      for (int v = 0; v < kVectors; ++v) {
        const auto wanted =
            (dt[v] > 0) & ((dx[v] == 0) | (dt[v] >= threshold * dx[v]));
        for (int lane = 0; lane < kLanes; ++lane) {
          if (wanted[lane] == 0) continue;
          const uint32_t b = b0 + static_cast<uint32_t>(v * kLanes + lane);
          if (b >= n) break;
          judge.Pair(book.RowRecordNumber(b), static_cast<float>(dx[v][lane]),
                     static_cast<float>(dt[v][lane]));
        }
      }
    }
  }
  return result;
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
