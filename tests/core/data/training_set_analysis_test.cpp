#include "core/data/training_set_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/base/random.h"
#include "tests/support/recording_host.h"

namespace velmar {
namespace {

struct Row {
  int32_t record;
  std::vector<float> inputs;
  std::vector<float> targets;
};

TaskBook MakeBook(const std::vector<Row>& rows) {
  const int32_t ni = static_cast<int32_t>(rows.front().inputs.size());
  const int32_t no = static_cast<int32_t>(rows.front().targets.size());
  TaskBook book(ni, no, 1);
  for (const Row& row : rows) {
    book.Append(row.inputs, row.targets);
    book.SetRecordNumber(book.Count() - 1, row.record);
  }
  return book;
}

struct Case {
  const char* name;
  std::vector<Row> rows;
  std::vector<std::vector<int32_t>> conflicts;
  bool has_pair;
  int32_t first_record;
  int32_t second_record;
  float lipschitz;
};

// Small sets whose outcome follows by hand from the rules: which rows
// conflict, which rows are skipped as listed, and which pair is remembered.
TEST(TrainingSetAnalysisTest, ConflictsSkipsAndRememberedPair) {
  // clang-format off
  const std::vector<Case> cases = {
      {"equal rows are neither conflict nor pair",
       {{1, {0.5f, -1}, {1}}, {2, {0.5f, -1}, {1}}},
       {},
       false, 0, 0, 0},
      {"8 and 12 conflict with 3 and agree with each other",
       {{3, {1, -1}, {0.5f}}, {8, {1, -1}, {-0.5f}}, {12, {1, -1}, {-0.5f}}},
       {{3, 8, 12}},
       false, 0, 0, 0},
      {"12 repeats 3, so the pair 8 and 12 is never reported",
       {{3, {1, -1}, {0.5f}}, {8, {1, -1}, {-0.5f}}, {12, {1, -1}, {0.5f}}},
       {{3, 8}},
       false, 0, 0, 0},
      {"records 1 and 11, 2 and 21 are distinct entries",
       {{11, {0}, {0}}, {5, {0}, {1}}, {1, {2}, {0}}, {7, {2}, {1}},
        {21, {4}, {0}}, {6, {4}, {1}}, {2, {6}, {0}}, {9, {6}, {1}}},
       {{11, 5}, {1, 7}, {21, 6}, {2, 9}},
       true, 11, 7, 0.5f},
      {"a listed row gives no ratios",
       {{1, {0}, {0}}, {2, {0}, {1}}, {3, {1}, {-5}}},
       {{1, 2}},
       true, 1, 3, 5},
      {"the first of equal maxima wins",
       {{4, {0}, {0}}, {5, {1}, {2}}, {6, {-1}, {-2}}, {7, {2}, {4}}},
       {},
       true, 4, 5, 2},
      // The pair (2, 3) beats the best of row 1 by two float steps only; the
      // fast loop's filter must still let it through.
      {"a ratio a hair above the best still wins",
       {{1, {0}, {0}}, {2, {1}, {1}}, {3, {2}, {std::nextafter(2.0f, 3.0f)}}},
       {},
       true, 2, 3, 1.00000024f},
      {"a strictly larger ratio found later replaces the best",
       {{1, {0}, {0}}, {2, {1}, {1}}, {3, {1.5f}, {3}}},
       {},
       true, 2, 3, 4},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TaskBook book = MakeBook(c.rows);
    for (const TrainingSetAnalysis& result : {AnalysePairsPlainly(book), AnalysePairs(book)}) {
      EXPECT_EQ(result.conflicts, c.conflicts);
      EXPECT_EQ(result.has_pair, c.has_pair);
      EXPECT_EQ(result.first_record, c.first_record);
      EXPECT_EQ(result.second_record, c.second_record);
      EXPECT_EQ(result.lipschitz, c.lipschitz);
    }
  }
}

// Dx is a float32 sum rounded after every term: 1, then two squares of 0.6
// of the float step at 1, each rounding the sum up a step, give 1 + 2 steps;
// a sum kept wider and rounded once would give 1 + 1 step.
TEST(TrainingSetAnalysisTest, DistanceSumIsRoundedToFloatAfterEveryTerm) {
  const double step = std::ldexp(1.0, -23);
  const float small = static_cast<float>(std::sqrt(0.6 * step));
  const TaskBook book = MakeBook({{1, {1, small, small}, {1}}, {2, {0, 0, 0}, {0}}});
  const float expected_dx = 1.0f + 2 * static_cast<float>(step);
  const float expected_l = static_cast<float>(1.0 / std::sqrt(static_cast<double>(expected_dx)));
  for (PairKernel kernel :
       {PairKernel::kPlain, PairKernel::kSse2, PairKernel::kAvx2, PairKernel::kAvx512}) {
    if (!PairKernelAvailable(kernel)) continue;
    SCOPED_TRACE(static_cast<int>(kernel));
    const TrainingSetAnalysis result = AnalysePairs(book, kernel);
    EXPECT_EQ(result.pair_dx, expected_dx);
    EXPECT_EQ(result.lipschitz, expected_l);
  }
  EXPECT_EQ(AnalysePairsPlainly(book).pair_dx, expected_dx);
}

TEST(TrainingSetAnalysisTest, ReportTexts) {
  // Two records differing in one state of an unordered discrete input: two
  // signals change by 2, so Dx = 8.
  const TaskBook one_state = MakeBook({{1, {1, -1, -1, 0.25f}, {0}}, {2, {-1, 1, -1, 0.25f}, {1}}});
  const TrainingSetAnalysis analysis = AnalysePairs(one_state);
  EXPECT_EQ(analysis.pair_dx, 8.0f);
  EXPECT_EQ(TrainingSetReport(analysis, '.'),
            "Выборочная оценка константы Липшица:  0.3535534\n"
            "при норме разности векторов входных сигналов:  2.828427\n"
            "соответствует записям:  1, 2\n\n"
            "Конфликтных примеров нет");
  EXPECT_EQ(TrainingSetReport(analysis, ','),
            "Выборочная оценка константы Липшица:  0,3535534\n"
            "при норме разности векторов входных сигналов:  2,828427\n"
            "соответствует записям:  1, 2\n\n"
            "Конфликтных примеров нет");

  const TaskBook conflicts =
      MakeBook({{3, {1}, {0}}, {8, {1}, {1}}, {12, {1}, {1}}, {1, {2}, {0}}, {11, {2}, {1}}});
  EXPECT_EQ(TrainingSetReport(AnalysePairs(conflicts), '.'),
            "Выборочная оценка константы Липшица:  1\n"
            "при норме разности векторов входных сигналов:  1\n"
            "соответствует записям:  3, 11\n\n"
            "Конфликтные примеры:\n3, 8, 12\n1, 11");

  // No pair differs in both inputs and targets: said plainly, no unset pair.
  const TaskBook single = MakeBook({{5, {1, 2}, {3}}});
  EXPECT_EQ(TrainingSetReport(AnalysePairs(single), '.'),
            "Выборочная оценка константы Липшица:  0\n"
            "нет пар записей, различающихся и входными, и выходными сигналами\n\n"
            "Конфликтных примеров нет");
}

TEST(TrainingSetAnalysisTest, ShowsOneMessageUnderTheBusyCursor) {
  TaskBook book = MakeBook({{1, {0}, {0}}, {2, {1}, {1}}, {3, {2}, {3}}});
  testing_support::RecordingHost host;
  AnalyseTrainingSet(book, host);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "Анализ обучающего множества");
  EXPECT_EQ(host.messages[0].text, TrainingSetReport(AnalysePairsPlainly(book), '.'));
  EXPECT_EQ(host.cursors, (std::vector<CursorShape>{CursorShape::kBusy, CursorShape::kArrow}));
  // The walk ends on the last row, as returning to each row a leaves it.
  EXPECT_EQ(book.Position(), 3);
}

constexpr PairKernel kKernels[] = {PairKernel::kAuto, PairKernel::kPlain, PairKernel::kSse2,
                                   PairKernel::kAvx2, PairKernel::kAvx512};

// The fast loop must give the plain loop's result bit for bit: the same
// float sums, the same conflict groups, the same first pair among ties.
TEST(TrainingSetAnalysisTest, FastLoopMatchesThePlainLoop) {
  struct Shape {
    int rows, inputs, outputs;
    int levels;  // 0: continuous values; n: values drawn from n levels, so rows repeat
  };
  const Shape shapes[] = {{1, 3, 1, 0},   {2, 1, 1, 2},   {17, 5, 2, 0},   {40, 2, 1, 2},
                          {61, 23, 3, 0}, {150, 4, 2, 3}, {257, 20, 2, 0}, {300, 3, 1, 2},
                          {90, 7, 2, 5},  {33, 1, 1, 0}};
  Random15 random(12345);
  auto uniform = [&] { return static_cast<float>(random.Next()) / 32767.0f * 2 - 1; };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.rows << "x" << shape.inputs << "+" << shape.outputs
                                    << " levels " << shape.levels);
    std::vector<Row> rows;
    for (int r = 0; r < shape.rows; ++r) {
      Row row{static_cast<int32_t>(random.Next() % 50 + 1), {}, {}};
      auto value = [&] {
        if (shape.levels == 0) return uniform() * 3;
        return static_cast<float>(static_cast<int>(random.Next() % shape.levels)) * 2 - 1;
      };
      for (int k = 0; k < shape.inputs; ++k) row.inputs.push_back(value());
      for (int k = 0; k < shape.outputs; ++k) row.targets.push_back(value());
      // Some rows repeat an earlier row's inputs, to make conflicts.
      if (r > 0 && random.Next() % 4 == 0) row.inputs = rows[random.Next() % r].inputs;
      rows.push_back(row);
    }
    const TaskBook book = MakeBook(rows);
    const TrainingSetAnalysis plain = AnalysePairsPlainly(book);
    for (PairKernel kernel : kKernels) {
      if (!PairKernelAvailable(kernel)) continue;
      SCOPED_TRACE(static_cast<int>(kernel));
      const TrainingSetAnalysis fast = AnalysePairs(book, kernel);
      EXPECT_EQ(fast, plain);
      EXPECT_EQ(TrainingSetReport(fast, '.'), TrainingSetReport(plain, '.'));
    }
  }
}

}  // namespace
}  // namespace velmar
