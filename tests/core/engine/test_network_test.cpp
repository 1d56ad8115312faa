#include "core/engine/test_network.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/format_real.h"
#include "core/engine/engine_context.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"

namespace velmar {
namespace {

using testing_support::FieldSpec;
using testing_support::MemoryTable;
using testing_support::NetShape;
using testing_support::RecordingHost;
using Row = std::vector<std::string>;

// One input x1; y1 continuous over [0, 10]; y2 discrete with the states 1, 2, 3.
NetShape Shape(float y1_gap, float y2_gap, bool y2_ordered) {
  NetShape shape;
  shape.inputs = {FieldSpec{}};
  shape.hidden = {2};
  FieldSpec y1;
  y1.gap = y1_gap;
  y1.min_value = 0;
  y1.max_value = 10;
  FieldSpec y2;
  y2.states = 3;
  y2.gap = y2_gap;
  y2.ordered = y2_ordered;
  shape.outputs = {y1, y2};
  return shape;
}

// Zero weights make every output equal to its bias, whatever the inputs.
void SetConstantOutputs(NeuralNet& net, const std::vector<float>& outputs) {
  for (int32_t i = 0; i < net.NumOfParameters; ++i) {
    if ((net.ParamFlags[i] & pfTrainable) != 0) net.Parameters[i] = 0;
  }
  const int32_t start = net.NeuronStart(net.NumOfLayers());
  for (size_t j = 0; j < outputs.size(); ++j) net.Parameters[start + j] = outputs[j];
}

MemoryTable MakeTable(const std::vector<std::vector<std::optional<double>>>& rows) {
  return MemoryTable::FromNumbers({"x1", "y1", "y2"}, rows);
}

struct TestRun {
  bool ok = false;
  TestGrid grid;
  RecordingHost host;
};

void RunTest(NeuralNet& net, Table& table, TestRun& run) {
  ProjectOptions options;
  NullTrainingView view;
  EngineContext context{options, &table, run.host, view};
  run.ok = TestNetwork(net, context, run.grid);
}

TEST(TestNetworkTest, RecordsVerdictsAndSummaries) {
  auto net = testing_support::MakeNet(Shape(0.5f, 0.4f, false));
  SetConstantOutputs(*net, {0.2f, 0.9f, -0.1f, -0.8f});
  MemoryTable table = MakeTable({
      {0.0, 6.5, 1.0},           // within accuracy; right class, certain
      {std::nullopt, 7.0, 3.0},  // inputs cannot be coded
      {0.0, std::nullopt, 2.0},  // no actual value, so no targets at all
      {0.0, 9.0, 9.0},           // error 3 > 0.5; 9 lies in no state
      {0.0, 6.0, 2.0},           // exact; wrong class
  });
  table.MoveTo(2);
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);
  const std::vector<Row> expected = {
      {"№", "y1", "Прогноз сети", "Ошибка", "", "y2", "Прогноз сети", "Уверенность", ""},
      {"1", "6.5", "6", "0.5", "0", "Класс 1", "Класс 1", "100%", ""},
      {"2", "7", "", "", "", "Класс 3", "", "", ""},
      {"3", "", "6", "", "3", "Класс 2", "Класс 1", "100%", "3"},
      {"4", "9", "6", "3", "2", "", "Класс 1", "100%", "3"},
      {"5", "6", "6", "0", "0", "Класс 2", "Класс 1", "100%", "2"},
      {"", "", "", "", "", "", "", "", ""},
      {"", "", "Правильно:", "2 (66.66667%)", "", "", "Правильно:", "1 (50%)", ""},
      {"", "", "", "", "", "", "Неуверенно:", "0 (0%)", "1"},
      {"", "", "Неправильно:", "1 (33.33333%)", "2", "", "Неправильно:", "1 (50%)", "2"},
      {"", "", "Всего:", "3", "", "", "Всего:", "2", ""},
      {"", "", "Ср.ошибка:", "1.166667", "", "", "", "", ""},
      {"", "", "Макс.ошибка:", "3", "", "", "", "", ""},
      {"", "", "", "", "", "Класс1:", "Правильно:", "1 (100%)", ""},
      {"", "", "", "", "", "", "Неуверенно:", "0 (0%)", "1"},
      {"", "", "", "", "", "", "Неправильно:", "0 (0%)", "2"},
      {"", "", "", "", "", "", "Всего:", "1", ""},
      {"", "", "", "", "", "Класс2:", "Правильно:", "0 (0%)", ""},
      {"", "", "", "", "", "", "Неуверенно:", "0 (0%)", "1"},
      {"", "", "", "", "", "", "Неправильно:", "1 (100%)", "2"},
      {"", "", "", "", "", "", "Всего:", "1", ""},
      {"", "", "", "", "", "Класс3:", "Правильно:", "0 (0%)", ""},
      {"", "", "", "", "", "", "Неуверенно:", "0 (0%)", "1"},
      {"", "", "", "", "", "", "Неправильно:", "0 (0%)", "2"},
      {"", "", "", "", "", "", "Всего:", "0", ""},
  };
  const TestGrid& grid = run.grid;
  EXPECT_EQ(grid.Caption, "Тестирование Test");
  EXPECT_EQ(grid.ColumnCount, 9);
  EXPECT_EQ(grid.FixedRows, 1);
  EXPECT_EQ(grid.Records, 5);
  ASSERT_EQ(grid.Rows.size(), expected.size());
  for (size_t r = 0; r < expected.size(); ++r) EXPECT_EQ(grid.Rows[r], expected[r]) << "row " << r;

  // The table is back where it was and shows its records again.
  EXPECT_EQ(table.Position(), 2);
  EXPECT_FALSE(table.ViewsSuspended());

  // Colours follow the group's verdict; the actual value stays black.
  EXPECT_EQ(TestCellColour(grid, 2, 4), CellColour::kRed);
  EXPECT_EQ(TestCellColour(grid, 3, 4), CellColour::kRed);
  EXPECT_EQ(TestCellColour(grid, 1, 4), CellColour::kBlack);
  EXPECT_EQ(TestCellColour(grid, 6, 4), CellColour::kGreen);
  EXPECT_EQ(TestCellColour(grid, 6, 3), CellColour::kGreen);
  EXPECT_EQ(TestCellColour(grid, 7, 5), CellColour::kRed);
  EXPECT_EQ(TestCellColour(grid, 2, 1), CellColour::kBlack);
  EXPECT_EQ(TestCellColour(grid, 7, 8), CellColour::kBlue);
  EXPECT_EQ(TestCellColour(grid, 0, 4), CellColour::kBlack);
}

TEST(TestNetworkTest, ForecastConfidenceAndVerdictOfOneRecord) {
  struct Case {
    const char* name;
    float y1_gap, y2_gap;
    bool ordered;
    std::vector<float> outputs;  // y1, then the three of y2
    double y2_actual;
    Row y1_cells;  // forecast, error, code
    Row y2_cells;  // forecast, confidence, code
  };
  const Case cases[] = {
      {"within accuracy",
       0.5f,
       0.4f,
       false,
       {0.2f, 0.9f, -0.1f, -0.8f},
       1,
       {"6", "0.5", "0"},
       {"Класс 1", "100%", ""}},
      {"beyond accuracy",
       0.4f,
       0.4f,
       false,
       {0.2f, 0.9f, -0.1f, -0.8f},
       1,
       {"6", "0.5", "2"},
       {"Класс 1", "100%", ""}},
      {"uncertain winner",
       0.5f,
       0.4f,
       false,
       {0.2f, 0.3f, 0.1f, -0.8f},
       1,
       {"6", "0.5", "0"},
       {"Класс 1", "25%", "1"}},
      {"first of equal winners",
       0.5f,
       0.4f,
       false,
       {0.2f, 0.5f, 0.5f, -0.8f},
       2,
       {"6", "0.5", "0"},
       {"Класс 1", "0%", "2"}},
      {"ordered, none positive",
       0.5f,
       0.4f,
       true,
       {0.2f, -0.5f, -0.6f, -0.9f},
       2,
       {"6", "0.5", "0"},
       {"Класс неизвестен", "100%", "2"}},
      {"ordered, last positive",
       0.5f,
       0.4f,
       true,
       {0.2f, 0.8f, 0.1f, -0.9f},
       2,
       {"6", "0.5", "0"},
       {"Класс 2", "25%", "1"}},
      {"zero reliability",
       0.5f,
       0.0f,
       false,
       {0.2f, 0.1f, 0.0f, -0.1f},
       1,
       {"6", "0.5", "0"},
       {"Класс 1", "100%", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto net = testing_support::MakeNet(Shape(c.y1_gap, c.y2_gap, c.ordered));
    SetConstantOutputs(*net, c.outputs);
    MemoryTable table = MakeTable({{0.0, 6.5, c.y2_actual}});
    TestRun run;
    RunTest(*net, table, run);
    ASSERT_TRUE(run.ok);
    const Row& row = run.grid.Rows[1];
    EXPECT_EQ(Row(row.begin() + 2, row.begin() + 5), c.y1_cells);
    EXPECT_EQ(Row(row.begin() + 6, row.begin() + 9), c.y2_cells);
  }
}

TEST(TestNetworkTest, MeanErrorWithoutComparedRecordsIsNotADivisionByZero) {
  NetShape shape = Shape(0.5f, 0.4f, false);
  shape.outputs.pop_back();  // y1 only
  auto net = testing_support::MakeNet(shape);
  SetConstantOutputs(*net, {0.2f});
  MemoryTable table = MemoryTable::FromNumbers({"x1", "y1"}, {{0.0, std::nullopt}});
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);
  const std::vector<Row> expected_tail = {
      {"", "", "Ср.ошибка:", "нет данных", ""},
      {"", "", "Макс.ошибка:", "нет данных", ""},
  };
  ASSERT_GE(run.grid.Rows.size(), 2u);
  EXPECT_EQ(std::vector<Row>(run.grid.Rows.end() - 2, run.grid.Rows.end()), expected_tail);
  // Without a discrete output there is neither an uncertain row nor a class summary.
  EXPECT_EQ(run.grid.Rows.size(), 2u + 1 + 5);
  for (const Row& row : run.grid.Rows) {
    for (const std::string& cell : row) {
      EXPECT_EQ(cell.find("nan"), std::string::npos);
      EXPECT_EQ(cell.find("NaN"), std::string::npos);
    }
  }
}

TEST(TestNetworkTest, MeanErrorIsTheWideQuotientOfTheStoredSum) {
  // Three errors of 5.335 each: their float32 sum over three is 5.335001
  // when divided in float32, 5.335 when divided in double.
  NetShape shape = Shape(10.0f, 0.4f, false);
  shape.outputs.pop_back();
  auto net = testing_support::MakeNet(shape);
  SetConstantOutputs(*net, {0.0f});
  MemoryTable table =
      MemoryTable::FromNumbers({"x1", "y1"}, {{0.0, 10.335}, {0.0, 10.335}, {0.0, 10.335}});
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.grid.Rows[1], (Row{"1", "10.335", "5", "5.335", "0"}));
  const std::vector<Row> expected_tail = {
      {"", "", "Ср.ошибка:", "5.335", ""},
      {"", "", "Макс.ошибка:", "5.335", ""},
  };
  EXPECT_EQ(std::vector<Row>(run.grid.Rows.end() - 2, run.grid.Rows.end()), expected_tail);
  ASSERT_EQ(run.grid.Summary.size(), 1u);
  EXPECT_EQ(FormatReal(run.grid.Summary[0].MeanError, '.'), "5.335");
}

TEST(TestNetworkTest, ErrorOfDecimalActualValuesIsTakenFromTheShownText) {
  // Forecast 6 against decimal actual values that float32 cannot hold: the
  // errors are the decimal differences, and 6.4 lies within a Gap of 0.4.
  NetShape shape = Shape(0.4f, 0.4f, false);
  shape.outputs.pop_back();
  auto net = testing_support::MakeNet(shape);
  SetConstantOutputs(*net, {0.2f});
  MemoryTable table =
      MemoryTable::FromNumbers({"x1", "y1"}, {{0.0, 6.4}, {0.0, 6.3}, {0.0, 5.7}, {0.0, 7.1}});
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(TestGridText(run.grid),
            "y1\tПрогноз сети\tОшибка\t\n"
            "6.4\t6\t0.4\t\n"
            "6.3\t6\t0.3\t\n"
            "5.7\t6\t-0.3\t\n"
            "7.1\t6\t1.1\t\n"
            "\t\t\t\n"
            "\tПравильно:\t3 (75%)\t\n"
            "\tНеправильно:\t1 (25%)\t\n"
            "\tВсего:\t4\t\n"
            "\tСр.ошибка:\t0.525\t\n"
            "\tМакс.ошибка:\t1.1\t\n");
  EXPECT_EQ(TestCellColour(run.grid, 2, 1), CellColour::kBlack);
  EXPECT_EQ(TestCellColour(run.grid, 2, 4), CellColour::kRed);
}

TEST(TestNetworkTest, NaNForecastsAreWrongAndSaySo) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const bool ordered : {false, true}) {
    SCOPED_TRACE(ordered);
    auto net = testing_support::MakeNet(Shape(0.5f, 0.4f, ordered));
    SetConstantOutputs(*net, {nan, nan, 0.5f, -0.8f});
    MemoryTable table = MakeTable({{0.0, 6.0, 2.0}});
    TestRun run;
    RunTest(*net, table, run);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.grid.Rows[1],
              (Row{"1", "6", "NaN", "NaN", "2", "Класс 2", "Класс неизвестен", "0%", "2"}));
    EXPECT_EQ(run.grid.Summary[0].Correct, 0);
    EXPECT_EQ(run.grid.Summary[0].Wrong, 1);
    EXPECT_EQ(run.grid.Summary[1].Correct, 0);
    EXPECT_EQ(run.grid.Summary[1].Wrong, 1);
    EXPECT_EQ(run.grid.Rows[3][3], "0 (0%)");
    EXPECT_EQ(run.grid.Rows[7][3], "NaN");  // no mean error hides the NaN
    EXPECT_EQ(run.grid.Rows[8][3], "NaN");
  }
}

TEST(TestNetworkTest, ErrorsNearTheFloatLimitDoNotOverflowTheMean) {
  NetShape shape = Shape(0.5f, 0.4f, false);
  shape.outputs.pop_back();
  shape.outputs[0].min_value = -3.4e38f;
  shape.outputs[0].max_value = 3.4e38f;
  auto net = testing_support::MakeNet(shape);
  SetConstantOutputs(*net, {0.0f});
  MemoryTable table = MemoryTable::FromNumbers({"x1", "y1"}, {{0.0, 3.3e38}, {0.0, 3.3e38}});
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);
  const std::vector<Row> expected_tail = {
      {"", "", "Ср.ошибка:", "3.3E38", ""},
      {"", "", "Макс.ошибка:", "3.3E38", ""},
  };
  EXPECT_EQ(std::vector<Row>(run.grid.Rows.end() - 2, run.grid.Rows.end()), expected_tail);
}

TEST(TestNetworkTest, WalkOverTheTableShowsTheBusyCursor) {
  auto net = testing_support::MakeNet(Shape(0.5f, 0.4f, false));
  MemoryTable table = MakeTable({{0.0, 6.5, 1.0}});
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.host.cursors, (std::vector<CursorShape>{CursorShape::kBusy, CursorShape::kArrow}));
}

TEST(TestNetworkTest, ClassSummaryRunsOverTheMostStatesOfAnyOutputField) {
  // A continuous output keeps the number of distinct values it had; the class
  // summary has a block of four rows for each state up to the largest count,
  // filled only where a discrete field has that state.
  struct Case {
    int continuous_states;
    size_t blocks;
  };
  const Case cases[] = {{0, 3}, {2, 3}, {5, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.continuous_states);
    auto net = testing_support::MakeNet(Shape(0.5f, 0.4f, false));
    net->Desc.Fields[1].NumOfDiscreteStates = c.continuous_states;
    SetConstantOutputs(*net, {0.2f, 0.9f, -0.1f, -0.8f});
    MemoryTable table = MakeTable({{0.0, 6.5, 1.0}});
    TestRun run;
    RunTest(*net, table, run);
    ASSERT_TRUE(run.ok);
    const size_t summary_end = 1 + 1 + 1 + 6;  // header, record, empty row, six summary rows
    ASSERT_EQ(run.grid.Rows.size(), summary_end + 4 * c.blocks);
    for (size_t block = 0; block < c.blocks; ++block) {
      const Row& first = run.grid.Rows[summary_end + 4 * block];
      if (block < 3) {
        EXPECT_EQ(first[5], "Класс" + std::to_string(block + 1) + ":");
        continue;
      }
      for (size_t r = 0; r < 4; ++r) {
        EXPECT_EQ(run.grid.Rows[summary_end + 4 * block + r], Row(9)) << block << " " << r;
      }
    }
  }
}

TEST(TestNetworkTest, RefusesATableWithoutTheNetworksFields) {
  auto net = testing_support::MakeNet(Shape(0.5f, 0.4f, false));
  MemoryTable table = MemoryTable::FromNumbers({"x1", "y1"}, {{0.0, 1.0}});
  TestRun run;
  RunTest(*net, table, run);
  EXPECT_FALSE(run.ok);
  EXPECT_TRUE(run.grid.Rows.empty());
  ASSERT_EQ(run.host.messages.size(), 1u);
  EXPECT_EQ(run.host.messages[0].text, "В файле данных нет поля y2");

  ProjectOptions options;
  NullTrainingView view;
  EngineContext no_table{options, nullptr, run.host, view};
  TestGrid grid;
  EXPECT_FALSE(TestNetwork(*net, no_table, grid));
}

TEST(TestNetworkTest, SavedTextLeavesOutRowNumbersAndVerdicts) {
  auto net = testing_support::MakeNet(Shape(0.5f, 0.4f, false));
  SetConstantOutputs(*net, {0.2f, 0.9f, -0.1f, -0.8f});
  MemoryTable table = MakeTable({{0.0, 6.5, 1.0}, {0.0, 8.0, 2.0}});
  TestRun run;
  RunTest(*net, table, run);
  ASSERT_TRUE(run.ok);

  const std::string text = TestGridText(run.grid);
  std::istringstream lines(text);
  std::string line;
  size_t count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6) << line;
    EXPECT_EQ(line.back(), '\t') << line;
  }
  EXPECT_EQ(count, run.grid.Rows.size());
  EXPECT_EQ(text.rfind("y1\tПрогноз сети\tОшибка\ty2\tПрогноз сети\tУверенность\t\n"
                       "6.5\t6\t0.5\tКласс 1\tКласс 1\t100%\t\n"
                       "8\t6\t2\tКласс 2\tКласс 1\t100%\t\n",
                       0),
            0u)
      << text;

  const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / "velmar_test.txt";
  ASSERT_TRUE(SaveTestText(run.grid, path).ok());
  std::ifstream in(path, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, text);
  std::filesystem::remove(path);

  EXPECT_FALSE(SaveTestText(run.grid, "/nonexistent-velmar-dir/out.txt").ok());
}

TEST(TestNetworkTest, ColumnVisibilityFollowsTheGroups) {
  const bool widened[] = {false, true, true, true, false, true, true, true, false};
  for (int column = 0; column < 9; ++column) {
    EXPECT_EQ(IsWidenedColumn(column), widened[column]) << column;
    EXPECT_EQ(IsVerdictColumn(column), column > 0 && column % 4 == 0) << column;
  }
}

}  // namespace
}  // namespace velmar
