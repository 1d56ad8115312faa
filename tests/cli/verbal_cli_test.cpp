#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "core/base/file_util.h"
#include "core/project/project.h"
#include "core/project/project_file.h"
#include "core/tables/table_factory.h"
#include "core/verbal/verbalize.h"
#include "tests/support/cli_run.h"
#include "tests/support/recording_host.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

// A dBase table of the columns X and Y with the given records.
void WriteTable(const fs::path& path, const std::vector<std::pair<double, double>>& records) {
  const std::vector<ColumnDef> columns = {{"X", FieldKind::kFloat, 'N', 8, 2},
                                          {"Y", FieldKind::kFloat, 'N', 8, 2}};
  std::unique_ptr<Table> table;
  ASSERT_TRUE(CreateTable(path, TableFormat{TableFamily::kDbase, 0}, columns, 1251, table).ok());
  for (const auto& [x, y] : records) {
    ASSERT_TRUE(table->Append().ok());
    ASSERT_TRUE(table->SetValue(0, x).ok());
    ASSERT_TRUE(table->SetValue(1, y).ok());
    ASSERT_TRUE(table->Post().ok());
  }
  ASSERT_TRUE(table->Save().ok());
}

class VerbalCliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / "velmar_verbal_cli";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    table_ = (dir_ / "xy.dbf").string();
    project_ = (dir_ / "xy.vmp").string();
    // X codes as -1, -1, 0, 1 and Y as -1, 0, -1, 1: records 1 and 2
    // conflict, and the pair 3, 4 has the largest ratio, 2.
    WriteTable(table_, {{1, 0}, {1, 1}, {2, 0}, {3, 2}});
    const CliRun created = RunCommand(
        {"new", project_, "--data", table_, "--layers", "1", "--neurons", "2", "--seed", "4"});
    ASSERT_EQ(created.code, kExitOk) << created.err;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string ExpectedVerbalText() {
    Project project;
    EXPECT_TRUE(LoadProject(project_, project).ok());
    std::string text;
    for (const std::string& line : VerbalizeNet(project.Net(0), '.')) text += line + "\n";
    return text;
  }

  fs::path dir_;
  std::string table_;
  std::string project_;
};

TEST_F(VerbalCliTest, AnalysePrintsTheReport) {
  const CliRun run = RunCommand({"analyse", project_, "--data", table_, "--net", "1"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out,
            "Выборочная оценка константы Липшица:  2\n"
            "при норме разности векторов входных сигналов:  1\n"
            "соответствует записям:  3, 4\n\n"
            "Конфликтные примеры:\n1, 2\n");
}

TEST_F(VerbalCliTest, AnalyseRefusals) {
  const std::string empty = (dir_ / "empty.dbf").string();
  WriteTable(empty, {});
  CliRun run = RunCommand({"analyse", project_, "--data", empty});
  EXPECT_EQ(run.code, kExitRefused);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0].caption, "Операция невозможна");
  EXPECT_TRUE(run.out.empty());

  EXPECT_EQ(RunCommand({"analyse", project_}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"analyse", "--data", table_}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"analyse", project_, "--data", table_, "--net", "Нет такой"}).code,
            kExitRefused);
  EXPECT_EQ(RunCommand({"analyse", (dir_ / "missing.vmp").string(), "--data", table_}).code,
            kExitRefused);
}

TEST_F(VerbalCliTest, VerbalizeToStdoutAndToFile) {
  const std::string expected = ExpectedVerbalText();
  ASSERT_NE(expected.find("\tX=(X-2)/1\n"), std::string::npos) << expected;

  CliRun run = RunCommand({"verbalize", project_});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, expected);

  const fs::path file = dir_ / "net.txt";
  run = RunCommand({"verbalize", project_, "--net", "1", "-o", file.string()});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_TRUE(run.out.empty());
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(file, bytes).ok());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);

  EXPECT_EQ(RunCommand({"verbalize", project_, "--net", "2"}).code, kExitRefused);
  EXPECT_EQ(RunCommand({"verbalize"}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"verbalize", project_, "-o", (dir_ / "no" / "dir.txt").string()}).code,
            kExitRefused);
}

}  // namespace
}  // namespace velmar::cli
