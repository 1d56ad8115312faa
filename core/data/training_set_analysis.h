#ifndef VELMAR_CORE_DATA_TRAINING_SET_ANALYSIS_H_
#define VELMAR_CORE_DATA_TRAINING_SET_ANALYSIS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/base/host.h"
#include "core/data/task_book.h"

namespace velmar {

// What the analysis of a taskbook finds. Distances between two rows are the
// float32 sums of squared differences of their inputs (Dx) and of their
// targets (Dt), each square formed in double.
struct TrainingSetAnalysis {
  // The largest sqrt(Dt)/sqrt(Dx) over the pairs with Dx > 0 and Dt > 0
  // (0 when there is no such pair), and the first pair that reached it.
  float lipschitz = 0;
  bool has_pair = false;
  float pair_dx = 0;
  int32_t first_record = 0;
  int32_t second_record = 0;
  // Groups of conflicting records (equal inputs, different targets): the
  // first record of a group, then the records that conflict with it.
  std::vector<std::vector<int32_t>> conflicts;

  friend bool operator==(const TrainingSetAnalysis&, const TrainingSetAnalysis&) = default;
};

// How many pairs share one instruction in AnalysePairs: kAuto takes the
// widest the processor offers; the others exist so that each can be checked.
enum class PairKernel { kAuto, kPlain, kSse2, kAvx2, kAvx512 };
bool PairKernelAvailable(PairKernel kernel);

// Every pair of rows once, many pairs at a time; the result is exactly that
// of AnalysePairsPlainly. An unavailable kernel falls back to kAuto.
TrainingSetAnalysis AnalysePairs(const TaskBook& book, PairKernel kernel = PairKernel::kAuto);
// The straightforward double loop over the pairs, kept as the reference the
// fast loop is checked against.
TrainingSetAnalysis AnalysePairsPlainly(const TaskBook& book);

// The report shown to the user.
std::string TrainingSetReport(const TrainingSetAnalysis& analysis, char decimal_separator);

inline constexpr const char* kTrainingSetAnalysisCaption = "Анализ обучающего множества";

// Analyses `book` under the busy cursor and shows the report in a message
// box. Leaves the cursor on the last row; callers set it again before their
// next walk. Does nothing to a taskbook without rows.
void AnalyseTrainingSet(TaskBook& book, Host& host);

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_TRAINING_SET_ANALYSIS_H_
