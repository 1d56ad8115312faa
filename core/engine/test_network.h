#ifndef VELMAR_CORE_ENGINE_TEST_NETWORK_H_
#define VELMAR_CORE_ENGINE_TEST_NETWORK_H_

#include <filesystem>
#include <string>
#include <vector>

#include "core/base/status.h"
#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// The result grid of a test run: row 0 is the header; column 0 holds the row
// number; every output field has four columns from 4a+1: the actual value,
// the forecast, the confidence or the error, and the verdict code ("", "0"
// correct, "1" uncertain, "2" wrong, "3" nothing to compare with).
struct TestFieldSummary {
  std::string Name;
  bool Discrete = false;
  long long Correct = 0, Uncertain = 0, Wrong = 0, Total = 0;
  long long Compared = 0;              // continuous: records with an actual value
  double MeanError = 0, MaxError = 0;  // continuous, when Compared > 0
};

struct TestGrid {
  std::string Caption;  // "Тестирование " + the network's name
  int ColumnCount = 0;
  std::vector<std::vector<std::string>> Rows;  // each ColumnCount cells
  int FixedRows = 0;                           // 1 once the grid is complete
  int Records = 0;                             // table records tested
  std::vector<TestFieldSummary> Summary;       // one per output field

  const std::string& Cell(int column, int row) const { return Rows[row][column]; }
};

enum class CellColour { kBlack, kBlue, kRed, kGreen };

// The colour of a cell as its group's verdict code gives it.
CellColour TestCellColour(const TestGrid& grid, int column, int row);
// Verdict columns are never drawn.
bool IsVerdictColumn(int column);
// Whether a column is widened to fit its texts; verdict columns and the row
// number column stay at width 0.
bool IsWidenedColumn(int column);

// Runs the network over every record of context.table and builds the grid.
// Returns false (and leaves `grid` empty) when no table is open or the
// description does not fit it; the mismatch is reported through the host.
// The table is left on the record it was on.
bool TestNetwork(NeuralNet& net, EngineContext& context, TestGrid& grid);

// The grid as saved text: per row, every cell except the row number and the
// verdict columns, each followed by a tab; rows end with "\n".
std::string TestGridText(const TestGrid& grid);
// Writes TestGridText to `path`, atomically.
Status SaveTestText(const TestGrid& grid, const std::filesystem::path& path);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_TEST_NETWORK_H_
