#include "core/data/task_book.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"

namespace velmar {
namespace {

using testing_support::FieldNames;
using testing_support::FieldSpec;
using testing_support::MakeDescription;
using testing_support::MemoryTable;
using testing_support::NetShape;
using testing_support::RecordingHost;

using Rows = std::vector<std::vector<std::optional<double>>>;

TEST(TaskBookTest, GrowsByHundredRowsAndKeepsEveryRow) {
  TaskBook book(2, 1, 1);
  EXPECT_EQ(book.RowWidth(), 5);
  struct Step {
    int rows;
    uint32_t capacity;
    int free_rows;
  };
  const Step steps[] = {{1, 100, 99}, {100, 100, 0}, {101, 200, 99}, {250, 300, 50}};
  int appended = 0;
  for (const Step& step : steps) {
    for (; appended < step.rows; ++appended) {
      const float v = static_cast<float>(appended);
      book.Append(std::vector<float>{v, -v}, std::vector<float>{v * 0.5f});
      book.SetRecordNumber(book.Count() - 1, appended + 7);
    }
    EXPECT_EQ(book.Count(), static_cast<uint32_t>(step.rows));
    EXPECT_EQ(book.Capacity(), step.capacity) << step.rows << " rows";
    EXPECT_EQ(book.FreeRows(), step.free_rows) << step.rows << " rows";
  }
  // Growing keeps the old rows; weights start at zero; record numbers survive.
  for (uint32_t r = 0; r < book.Count(); ++r) {
    ASSERT_EQ(book.RowInputs(r)[0], static_cast<float>(r));
    ASSERT_EQ(book.RowInputs(r)[1], -static_cast<float>(r));
    ASSERT_EQ(book.RowTargets(r)[0], static_cast<float>(r) * 0.5f);
    ASSERT_EQ(book.RowWeights(r)[0], 0.0f);
    ASSERT_EQ(book.RowRecordNumber(r), static_cast<int32_t>(r) + 7);
  }
  // The cursor stayed on the first row while appending.
  EXPECT_EQ(book.Position(), 1);
}

TEST(TaskBookTest, CursorEdges) {
  TaskBook empty(1, 1, 1);
  EXPECT_FALSE(empty.Next());
  EXPECT_FALSE(empty.GoTo(1));
  EXPECT_TRUE(empty.Inputs().empty());
  EXPECT_TRUE(empty.Weights().empty());

  TaskBook book(1, 1, 1);
  for (int i = 0; i < 3; ++i) {
    book.Append(std::vector<float>{float(i)}, std::vector<float>{0});
  }
  book.First();
  EXPECT_TRUE(book.Next());
  EXPECT_TRUE(book.Next());
  EXPECT_EQ(book.Position(), 3);
  EXPECT_FALSE(book.Next());  // stays on the last row
  EXPECT_EQ(book.Position(), 3);
  EXPECT_EQ(book.Inputs()[0], 2.0f);

  const int64_t refused[] = {0, -1, 4, int64_t{1} << 33};
  for (int64_t n : refused) {
    EXPECT_FALSE(book.GoTo(n)) << n;
    EXPECT_EQ(book.Position(), 3) << n;
  }
  ASSERT_TRUE(book.GoTo(2));
  const int32_t remembered = book.Position();
  book.First();
  ASSERT_TRUE(book.GoTo(remembered));
  EXPECT_EQ(book.Inputs()[0], 1.0f);
}

// A table "x1" (input), "y1" (continuous output), "y2" (discrete output of
// three states) with classes counted 60, 30 and 10.
struct WeightsFixture {
  NetShape shape;
  DataDescription desc;
  MemoryTable table;

  explicit WeightsFixture(bool ordered) {
    FieldSpec continuous;
    FieldSpec discrete;
    discrete.states = 3;
    discrete.ordered = ordered;
    shape.inputs = {FieldSpec{}};
    shape.hidden = {2};
    shape.outputs = {continuous, discrete};
    desc = MakeDescription(shape);
    Rows rows;
    for (int i = 0; i < 100; ++i) {
      const int state = i < 60 ? 1 : i < 90 ? 2 : 3;
      rows.push_back({0.01 * i, 0.5, double(state)});
    }
    table = MemoryTable::FromNumbers(FieldNames(shape), rows);
  }
};

TEST(TaskBookTest, ExampleWeightsFollowClassFrequencies) {
  for (bool ordered : {false, true}) {
    SCOPED_TRACE(ordered ? "ordered" : "one-hot");
    WeightsFixture f(ordered);
    RecordingHost host;
    TaskBook book;
    BuildTaskBook(book, f.table, f.desc, false, host);
    ASSERT_EQ(book.Count(), 100u);
    EXPECT_EQ(f.desc.Fields[2].ClassCounts, (std::vector<int32_t>{60, 30, 10}));
    const float expected[] = {1.0f, static_cast<float>(1.0 + std::log(2.0)),
                              static_cast<float>(1.0 + std::log(6.0))};
    const uint32_t row_of_state[] = {0, 60, 90};
    for (int s = 0; s < 3; ++s) {
      const float* w = book.RowWeights(row_of_state[s]);
      EXPECT_EQ(w[0], 1.0f) << "continuous output, state " << s + 1;
      EXPECT_EQ(w[1], expected[s]) << "state " << s + 1;
    }
    EXPECT_NEAR(book.RowWeights(99)[1], 2.792f, 1e-3f);
  }
}

TEST(TaskBookTest, ContinuousOutputsAloneGetUnitWeightsAndNoCounters) {
  NetShape shape = testing_support::SimpleShape(1, {2}, 2);
  DataDescription desc = MakeDescription(shape);
  MemoryTable table =
      MemoryTable::FromNumbers(FieldNames(shape), {{0.1, 0.2, 0.3}, {0.4, 0.5, 0.6}});
  RecordingHost host;
  TaskBook book;
  BuildTaskBook(book, table, desc, false, host);
  ASSERT_EQ(book.Count(), 2u);
  for (uint32_t r = 0; r < 2; ++r) {
    EXPECT_EQ(book.RowWeights(r)[0], 1.0f);
    EXPECT_EQ(book.RowWeights(r)[1], 1.0f);
  }
  for (const FieldDescription& field : desc.Fields) EXPECT_TRUE(field.ClassCounts.empty());
}

TEST(TaskBookTest, BuildSkipsUnusableRecordsAndRestoresTheTable) {
  NetShape shape = testing_support::SimpleShape(2, {2}, 1);
  shape.outputs[0].states = 2;  // states 1 and 2
  DataDescription desc = MakeDescription(shape);
  const Rows rows = {
      {0.5, -0.5, 1},            // record 1
      {std::nullopt, 0.0, 2},    // null input: dropped
      {0.5, -0.5, 1},            // record 3, a duplicate of record 1
      {0.0, 0.0, std::nullopt},  // null output: dropped
      {0.0, 0.0, 7},             // outside every state: dropped
      {1.0, 1.0, 2},             // record 6
  };
  MemoryTable table = MemoryTable::FromNumbers(FieldNames(shape), rows);
  table.MoveTo(4);
  std::vector<bool> suspended;
  table.SetViewListener([&](bool s) { suspended.push_back(s); });
  RecordingHost host;
  TaskBook book;
  BuildTaskBook(book, table, desc, false, host);

  ASSERT_EQ(book.Count(), 3u);
  const int32_t records[] = {1, 3, 6};
  for (uint32_t r = 0; r < 3; ++r) EXPECT_EQ(book.RowRecordNumber(r), records[r]);
  for (int i = 0; i < book.NumOfInputs() + book.NumOfOutputs(); ++i) {
    EXPECT_EQ(book.RowInputs(0)[i], book.RowInputs(1)[i]) << "duplicate rows, cell " << i;
  }
  EXPECT_EQ(book.RowTargets(2)[0], -1.0f);
  EXPECT_EQ(book.RowTargets(2)[1], 1.0f);
  EXPECT_EQ(table.Position(), 4);
  EXPECT_FALSE(table.ViewsSuspended());
  EXPECT_TRUE(suspended.empty()) << "read by row, the views have nothing to miss";
  EXPECT_TRUE(host.messages.empty());
  ASSERT_EQ(host.cursors.size(), 2u);
  EXPECT_EQ(host.cursors.front(), CursorShape::kBusy);
  EXPECT_EQ(host.cursors.back(), CursorShape::kArrow);
}

TEST(TaskBookTest, MissingFieldLeavesTheBookEmpty) {
  NetShape shape = testing_support::SimpleShape(1, {2}, 1);
  DataDescription desc = MakeDescription(shape);
  MemoryTable table = MemoryTable::FromNumbers({"x1", "other"}, {{0.1, 0.2}});
  RecordingHost host;
  TaskBook book(1, 1, 1);
  book.Append(std::vector<float>{1}, std::vector<float>{1});
  BuildTaskBook(book, table, desc, false, host);
  EXPECT_EQ(book.Count(), 0u);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "Несовместимый файл данных");
  ASSERT_FALSE(host.cursors.empty());
  EXPECT_EQ(host.cursors.back(), CursorShape::kArrow);
}

}  // namespace
}  // namespace velmar
