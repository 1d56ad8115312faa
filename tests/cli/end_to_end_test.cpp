// The whole road on real tables written by other programs: create a network,
// train it, test it, simplify it in every mode, and describe it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tests/support/cli_run.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class EndToEndTest : public testing::TestWithParam<const char*> {};

TEST_P(EndToEndTest, CreateTrainTestSimplifyDescribe) {
  const fs::path table = fs::path(VELMAR_SHARED_FIXTURES) / "datasets" / GetParam();
  if (!fs::exists(table)) GTEST_SKIP() << "shared fixtures not found at " << table;
  const std::string t = table.string();
  const std::string p = (fs::path(testing::TempDir()) / "end_to_end.vmp").string();
  fs::remove(p);

  CliRun r = RunCommand({"new", p, "--data", t, "--discrete", "CLASS", "--layers", "1", "--neurons",
                         "4", "--seed", "2"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  r = RunCommand({"train", p, "--data", t, "--seed", "2"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "150 из 150")) << r.out;
  r = RunCommand(
      {"test", p, "--data", t, "-o", (fs::path(testing::TempDir()) / "test.txt").string()});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out + r.err, "правильно 150 (100%)")) << r.out << r.err;

  for (const char* mode : {"inputs", "synapses", "neurons", "biases", "uniform", "binarize"}) {
    r = RunCommand({"simplify", p, "--data", t, "--mode", mode, "--seed", "2"});
    ASSERT_EQ(r.code, kExitOk) << mode << ": " << r.err;
    // Every accepted step keeps the taskbook solved, so the net still passes the test.
    CliRun tested = RunCommand(
        {"test", p, "--data", t, "-o", (fs::path(testing::TempDir()) / "t.txt").string()});
    ASSERT_EQ(tested.code, kExitOk) << tested.err;
    EXPECT_TRUE(Contains(tested.out + tested.err, "неправильно 0 ")) << mode << tested.out;
  }

  r = RunCommand({"significance", p, "--data", t});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "PETAL_LEN\t")) << r.out;
  r = RunCommand({"analyse", p, "--data", t});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "Выборочная оценка константы Липшица:")) << r.out;
  r = RunCommand({"verbalize", p});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "Конечные синдромы:")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(RealTables, EndToEndTest,
                         testing::Values("iris.db", "iris_vfp.dbf", "iris_db3.dbf"));

}  // namespace
}  // namespace velmar::cli
