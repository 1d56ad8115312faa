#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/project/project.h"
#include "core/project/project_file.h"
#include "core/tables/table_factory.h"
#include "tests/support/cli_run.h"
#include "tests/support/recording_host.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

// Every third iris record whose class the petal length tells apart, as a
// dBase table with the class coded 1..3.
void WriteIrisTable(const fs::path& path, bool with_records) {
  std::vector<ColumnDef> columns;
  for (const char* name : {"SEPAL_LEN", "SEPAL_WID", "PETAL_LEN", "PETAL_WID", "CLASS"}) {
    columns.push_back(ColumnDef{name, FieldKind::kFloat, 'N', 8, 2});
  }
  std::unique_ptr<Table> table;
  ASSERT_TRUE(CreateTable(path, TableFormat{TableFamily::kDbase, 0}, columns, 1251, table).ok());
  std::ifstream in(std::string(VELMAR_EXAMPLES) + "/iris.csv");
  std::string line;
  std::getline(in, line);
  for (int index = 0; with_records && std::getline(in, line); ++index) {
    std::stringstream cells(line);
    std::vector<double> v;
    std::string cell;
    while (std::getline(cells, cell, ',')) v.push_back(std::stod(cell));
    if (index % 3 != 0 || (v[4] == 1 && v[2] > 4.7) || (v[4] == 2 && v[2] < 5.1)) continue;
    v[4] += 1;
    ASSERT_TRUE(table->Append().ok());
    for (int c = 0; c < 5; ++c) ASSERT_TRUE(table->SetValue(c, v[c]).ok());
    ASSERT_TRUE(table->Post().ok());
  }
  ASSERT_TRUE(table->Save().ok());
}

class SimplifyCliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / "velmar_simplify_cli";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    table_ = (dir_ / "iris.dbf").string();
    project_ = (dir_ / "iris.vmp").string();
    WriteIrisTable(table_, true);
    const CliRun created = RunCommand({"new", project_, "--data", table_, "--discrete", "CLASS",
                                       "--states", "CLASS=1..1,2..2,3..3", "--gap", "CLASS=0.1",
                                       "--layers", "1", "--neurons", "4", "--seed", "17"});
    ASSERT_EQ(created.code, kExitOk) << created.err;
    const CliRun trained = RunCommand({"train", project_, "--data", table_, "--seed", "3"});
    ASSERT_EQ(trained.code, kExitOk) << trained.err;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  std::string table_;
  std::string project_;
};

TEST_F(SimplifyCliTest, PrunesInputsReportsCountersAndSavesTheProject) {
  const CliRun run =
      RunCommand({"simplify", project_, "--data", table_, "--mode", "inputs", "--seed", "5"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Режим: Сокращение числа входных сигналов\n"), std::string::npos);
  for (const char* caption : {"Удалено входов: ", "Удалено нейронов: ", "Удалено синапсов: ",
                              "Бинаризовано синапсов: "}) {
    EXPECT_NE(run.out.find(caption), std::string::npos) << caption << run.out;
  }
  EXPECT_NE(run.err.find("Упрощение "), std::string::npos) << run.err;

  Project project;
  ASSERT_TRUE(LoadProject(project_, project).ok());
  const NeuralNet& net = project.Net(0);
  EXPECT_GT(net.NumOfPrunedInputs, 0);
  const std::string inputs_line = "Удалено входов: " + std::to_string(net.NumOfPrunedInputs) +
                                  " (" + std::to_string(net.NumOfPrunedInputs) + " из 4)\n";
  EXPECT_NE(run.out.find(inputs_line), std::string::npos) << run.out;
}

TEST_F(SimplifyCliTest, SignificanceWritesOneLinePerInputToStdoutOrFile) {
  const CliRun run = RunCommand({"significance", project_, "--data", table_});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::vector<std::string> names;
  bool has_one = false;
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    names.push_back(line.substr(0, tab));
    has_one = has_one || line.substr(tab + 1) == "1";
  }
  EXPECT_EQ(names, (std::vector<std::string>{"SEPAL_LEN", "SEPAL_WID", "PETAL_LEN", "PETAL_WID"}));
  EXPECT_TRUE(has_one) << run.out;

  const std::string file = (dir_ / "sens.txt").string();
  ASSERT_EQ(RunCommand({"significance", project_, "--data", table_, "-o", file}).code, kExitOk);
  std::ifstream saved(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(saved)), {});
  EXPECT_EQ(text, run.out);
}

TEST_F(SimplifyCliTest, RefusesBadRequestsWithoutTouchingTheProject) {
  const auto before = fs::last_write_time(project_);
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* err;
  };
  const std::string empty_table = (dir_ / "empty.dbf").string();
  WriteIrisTable(empty_table, false);
  const Case cases[] = {
      {{"simplify", project_, "--data", table_, "--mode", "everything"}, kExitUsage, ""},
      {{"simplify", project_, "--data", table_}, kExitUsage, ""},
      {{"simplify", project_, "--data", table_, "--mode", "inputs", "--symptoms", "2"},
       kExitUsage,
       ""},
      {{"simplify", project_, "--data", table_, "--mode", "uniform", "--symptoms", "0"},
       kExitRefused,
       "Ошибка: Неверное число приходящих на нейрон сигналов"},
      {{"simplify", project_, "--data", table_, "--mode", "uniform", "--net", "9"},
       kExitRefused,
       "Операция невозможна: "},
      {{"simplify", project_, "--data", empty_table, "--mode", "neurons"}, kExitRefused, ""},
      {{"significance", project_, "--data", empty_table}, kExitRefused, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const CliRun run = RunCommand(c.args);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  EXPECT_EQ(fs::last_write_time(project_), before);
}

}  // namespace
}  // namespace velmar::cli
