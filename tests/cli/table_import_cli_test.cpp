// velmar-cli table import: what it prints, how it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/cli_run.h"
#include "tests/support/temp_dir.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

TEST(TableImportCliTest, ImportsReportsRenamesAndRefuses) {
  const fs::path dir = testing_support::FreshTempDir("table_import_cli");
  const std::string csv = (dir / "in.csv").string();
  { std::ofstream(csv) << "Temperature_max;x\n1,5;2\n2,25;3\n"; }
  const std::string dst = (dir / "out.dbf").string();
  CliRun run = RunCommand({"table", "import", csv, dst, "--format", "5"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("(dBase, 2 записей, 2 полей)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Разделитель: «;»; десятичный знак: «,»"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Переименовано: «Temperature_max» -> «Temperatur»"), std::string::npos)
      << run.out;
  run = RunCommand({"table", "dump", dst});
  EXPECT_NE(run.out.find("1\t1.5\t2\n2\t2.25\t3\n"), std::string::npos) << run.out;

  // Told otherwise, the comma separates cells and the line is ragged.
  run = RunCommand(
      {"table", "import", csv, (dir / "no.dbf").string(), "--format", "5", "--delimiter", ","});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_NE(run.err.find("Строка 2, столбец 2"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "no.dbf"));

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"table", "import", csv, dst},
           {"table", "import", csv, dst, "--format", "7"},
           {"table", "import", csv, dst, "--format", "5", "--encoding", "koi8"},
           {"table", "import", csv, dst, "--format", "5", "--header", "maybe"},
           {"table", "import", csv, dst, "--format", "5", "--delimiter", ";;"},
           {"table", "import", csv, "--format", "5"}}) {
    EXPECT_EQ(RunCommand(bad).code, kExitUsage) << bad.back();
  }
  EXPECT_EQ(RunCommand({"table", "import", (dir / "none.csv").string(), dst, "--format", "5"}).code,
            kExitRefused);
}

}  // namespace
}  // namespace velmar::cli
