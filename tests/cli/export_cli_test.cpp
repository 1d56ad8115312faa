// velmar-cli export: a trained, pruned and binarized network written with
// --main compiles and classifies every record as `velmar-cli test` does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/tables/table_factory.h"
#include "tests/support/c_compiler.h"
#include "tests/support/cli_run.h"
#include "tests/support/table_csv.h"
#include "tests/support/temp_dir.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;

// The forecast column of each record row of a saved test grid.
std::string ForecastColumn(const fs::path& grid, int records) {
  std::istringstream in(ReadWholeFile(grid));
  std::string line, column;
  std::getline(in, line);  // the header
  for (int r = 0; r < records && std::getline(in, line); ++r) {
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    column += line.substr(first + 1, second - first - 1) + "\n";
  }
  return column;
}

TEST(ExportCliTest, SimplifiedNetworkClassifiesAsTheTestDoes) {
  if (!testing_support::HaveCCompiler()) GTEST_SKIP() << "no C compiler (cc) on this machine";
  const fs::path dir = testing_support::FreshTempDir("export_cli");
  const std::string p = (dir / "iris.vmp").string();
  const std::string t = (fs::path(VELMAR_EXAMPLES) / "iris.dbf").string();
  ASSERT_EQ(RunCommand({"new", p, "--data", t, "--discrete", "CLASS", "--layers", "1", "--neurons",
                        "4", "--seed", "2"})
                .code,
            kExitOk);
  ASSERT_EQ(RunCommand({"train", p, "--data", t, "--seed", "2"}).code, kExitOk);
  ASSERT_EQ(RunCommand({"simplify", p, "--data", t, "--mode", "synapses", "--seed", "2"}).code,
            kExitOk);
  ASSERT_EQ(RunCommand({"simplify", p, "--data", t, "--mode", "binarize", "--seed", "2"}).code,
            kExitOk);

  const fs::path source = dir / "iris.c";
  const CliRun run = RunCommand({"export", p, "--c", source.string(), "--name", "iris", "--main"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const std::string code = ReadWholeFile(source);
  EXPECT_NE(code.find("int iris(const double fields[IRIS_NUM_FIELDS], iris_result *result)"),
            std::string::npos);
  EXPECT_EQ(code.find("Simplification: 0 inputs, 0 synapses"), std::string::npos)
      << "the header should count the removed synapses";
  std::string log;
  ASSERT_TRUE(testing_support::CompileC(source, dir / "iris", log)) << log;

  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(t, table).ok());
  const std::string lines =
      testing_support::RunProgram(dir / "iris", testing_support::TableAsCsv(*table));
  ASSERT_EQ(RunCommand({"test", p, "--data", t, "-o", (dir / "grid.txt").string()}).code, kExitOk);
  EXPECT_EQ(lines, ForecastColumn(dir / "grid.txt", 150));

  // Columns in another order, an extra one, quotes, and a record with a missing value.
  const std::string csv =
      "\xEF\xBB\xBFextra,PETAL_WID,\"PETAL_LEN\",SEPAL_WID,SEPAL_LEN\n"
      "\"a,b\",0.2,1.4,3.5,5.1\n"
      "x,2.5,6.0,3.3,6.3\n"
      "y,,6.0,3.3,6.3\n";
  const std::string by_csv = testing_support::RunProgram(dir / "iris", csv);
  const std::string column = ForecastColumn(dir / "grid.txt", 150);
  std::istringstream rows(column);
  std::string first, row101;
  std::getline(rows, first);
  for (int r = 2; r <= 101; ++r) std::getline(rows, row101);
  EXPECT_EQ(by_csv, first + "\n" + row101 + "\n\n");

  // A header without an input field is refused, naming it.
  const std::string refused = testing_support::RunProgram(dir / "iris", "SEPAL_LEN\n1\n");
  EXPECT_NE(refused.find("no column \"SEPAL_WID\""), std::string::npos) << refused;
  EXPECT_NE(refused.find("exit "), std::string::npos) << refused;
}

TEST(ExportCliTest, RefusesBadNamesAndMissingOptions) {
  const fs::path dir = testing_support::FreshTempDir("export_cli_usage");
  const std::string p = (dir / "p.vmp").string();
  const std::string t = (fs::path(VELMAR_EXAMPLES) / "iris.dbf").string();
  ASSERT_EQ(RunCommand({"new", p, "--data", t, "--seed", "1"}).code, kExitOk);
  const std::string c = (dir / "n.c").string();
  EXPECT_EQ(RunCommand({"export", p}).code, kExitUsage);
  for (const char* name : {"int", "9lives", "a-b", "имя", "", "fields", "h2", "printf"}) {
    EXPECT_EQ(RunCommand({"export", p, "--c", c, "--name", name}).code, kExitUsage) << name;
  }
  EXPECT_FALSE(fs::exists(c));
  EXPECT_EQ(RunCommand({"export", (dir / "none.vmp").string(), "--c", c}).code, kExitRefused);
  EXPECT_EQ(RunCommand({"export", p, "--c", (dir / "no" / "dir.c").string()}).code, kExitRefused);
  const CliRun ok = RunCommand({"export", p, "--c", c});
  ASSERT_EQ(ok.code, kExitOk) << ok.err;
  EXPECT_NE(ReadWholeFile(c).find("int Network1("), std::string::npos);
}

}  // namespace
}  // namespace velmar::cli
