// The --json documents of info, test and significance: each is one valid JSON
// document carrying the same figures as the texts for people.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/json_value.h"
#include "tests/support/temp_dir.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::JsonValue;

std::vector<std::vector<std::string>> ReadTabLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::string cell;
    for (char c : line) {
      if (c == '\t') {
        cells.push_back(cell);
        cell.clear();
      } else {
        cell += c;
      }
    }
    lines.push_back(cells);
  }
  return lines;
}

JsonValue ParseOrFail(const std::string& text) {
  JsonValue value;
  std::string error;
  EXPECT_TRUE(JsonValue::Parse(text, value, &error)) << error << "\n" << text.substr(0, 400);
  return value;
}

class JsonCliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::FreshTempDir("json_cli");
    project_ = (dir_ / "p.vmp").string();
    table_ = (fs::path(VELMAR_EXAMPLES) / "iris.dbf").string();
    // Two output fields of both kinds, so that both summaries have rows.
    ASSERT_EQ(
        RunCommand({"new", project_, "--data", table_, "--output", "CLASS", "--output", "PETAL_WID",
                    "--discrete", "CLASS", "--layers", "1", "--neurons", "3", "--seed", "5"})
            .code,
        kExitOk);
  }

  fs::path dir_;
  std::string project_, table_;
};

TEST_F(JsonCliTest, InfoListsNetworksFieldsLayersAndCounters) {
  const CliRun run = RunCommand({"info", project_, "--json"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const JsonValue doc = ParseOrFail(run.out);
  EXPECT_EQ(doc["options"]["training_method"].as_double(), 2);
  ASSERT_EQ(doc["networks"].size(), 1u);
  const JsonValue& net = doc["networks"][0];
  EXPECT_EQ(net["name"].as_string(), "Network1");
  EXPECT_EQ(net["layers"].size(), 1u);
  EXPECT_EQ(net["layers"][0]["neurons"].as_double(), 3);
  EXPECT_EQ(net["layers"][0]["characteristic"].text(), "0.1");
  EXPECT_EQ(net["inputs"].as_double(), 3);
  EXPECT_EQ(net["outputs"].as_double(), 4);
  ASSERT_EQ(net["fields"].size(), 5u);
  const JsonValue& cls = net["fields"][4];
  EXPECT_EQ(cls["usage"].as_string(), "output");
  EXPECT_TRUE(cls["discrete"].as_bool());
  EXPECT_EQ(cls["states"].size(), 3u);
  EXPECT_EQ(net["fields"][3]["usage"].as_string(), "output");
  EXPECT_EQ(net["input_names"][0].as_string(), "SEPAL_LEN");
  EXPECT_EQ(net["counters"]["training_cycles"].as_double(), 0);
}

TEST_F(JsonCliTest, TestCellsAndSummariesMatchTheSavedGrid) {
  const fs::path grid_file = dir_ / "grid.txt";
  const CliRun run =
      RunCommand({"test", project_, "--data", table_, "-o", grid_file.string(), "--json"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const JsonValue doc = ParseOrFail(run.out);
  ASSERT_EQ(doc["records"].as_double(), 150);
  ASSERT_EQ(doc["rows"].size(), 150u);
  ASSERT_EQ(doc["fields"].size(), 2u);

  // The saved grid: actual, forecast, confidence/error per field, per row.
  const auto lines = ReadTabLines(grid_file);
  ASSERT_GT(lines.size(), 150u);
  for (size_t r = 0; r < 150; ++r) {
    const JsonValue& cells = doc["rows"][r]["cells"];
    for (size_t a = 0; a < 2; ++a) {
      EXPECT_EQ(cells[a]["actual"].as_string(), lines[r + 1][3 * a]);
      EXPECT_EQ(cells[a]["forecast"].as_string(), lines[r + 1][3 * a + 1]);
      const char* third = a == 0 ? "error" : "confidence";  // PETAL_WID comes first
      EXPECT_EQ(cells[a][third].as_string(), lines[r + 1][3 * a + 2]) << r;
    }
  }

  // Both summaries add up: per-class counts sum to the field's totals.
  const JsonValue& summary = doc["summary"];
  ASSERT_EQ(summary.size(), 2u);
  for (const JsonValue& s : summary.items()) {
    EXPECT_EQ(s["correct"].as_double() + s["uncertain"].as_double() + s["wrong"].as_double(),
              s["total"].as_double());
  }
  EXPECT_EQ(summary[0]["total"].as_double(), 150);
  ASSERT_EQ(doc["class_summary"].size(), 1u);
  const JsonValue& classes = doc["class_summary"][0]["classes"];
  ASSERT_EQ(classes.size(), 3u);
  double correct = 0, wrong = 0, total = 0;
  for (const JsonValue& c : classes.items()) {
    correct += c["correct"].as_double();
    wrong += c["wrong"].as_double();
    total += c["total"].as_double();
  }
  EXPECT_EQ(correct, summary[1]["correct"].as_double());
  EXPECT_EQ(wrong, summary[1]["wrong"].as_double());
  EXPECT_EQ(total, 150);
}

TEST_F(JsonCliTest, SignificanceRowsFollowTheInputs) {
  const CliRun text = RunCommand({"significance", project_, "--data", table_});
  ASSERT_EQ(text.code, kExitOk) << text.err;
  const CliRun run = RunCommand({"significance", project_, "--data", table_, "--json"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const JsonValue doc = ParseOrFail(run.out);
  const JsonValue& rows = doc["inputs"];
  ASSERT_EQ(rows.size(), 3u);
  std::string rebuilt;
  for (const JsonValue& row : rows.items()) {
    rebuilt += row["name"].as_string() + "\t" + row["significance"].text() + "\n";
  }
  EXPECT_EQ(rebuilt, text.out);
  EXPECT_EQ(RunCommand({"significance", project_, "--data", table_, "--json", "-o", "x"}).code,
            kExitUsage);
}

}  // namespace
}  // namespace velmar::cli
