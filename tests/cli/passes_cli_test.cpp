// Training from a fixed seed writes the same project bytes whichever kernel
// path and however many threads run the passes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/engine/propagation_kernels.h"
#include "tests/support/cli_run.h"
#include "tests/support/temp_dir.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class PassesCliTest : public testing::Test {
 protected:
  void TearDown() override { UseKernels(KernelPath::kAuto); }
};

TEST_F(PassesCliTest, SeededTrainingGivesTheSameProjectOnEveryPathAndThreadCount) {
  const fs::path iris = fs::path(VELMAR_EXAMPLES) / "iris.dbf";
  if (!fs::exists(iris)) GTEST_SKIP() << "no example table";
  const fs::path dir = testing_support::FreshTempDir("passes_cli");
  const fs::path made = dir / "made.vmp";
  const CliRun created = RunCommand({"new", made.string(), "--data", iris.string(), "--discrete",
                                     "CLASS", "--layers", "1", "--neurons", "4", "--seed", "3"});
  if (created.code != kExitOk && created.err.find("not available") != std::string::npos) {
    GTEST_SKIP() << "this build has no table engine";
  }
  ASSERT_EQ(created.code, kExitOk) << created.err;

  struct Run {
    KernelPath path;
    const char* threads;
  };
  const Run runs[] = {
      {KernelPath::kPortable, "1"}, {KernelPath::kAvx2, "1"}, {KernelPath::kAvx512, "2"}};
  std::string first;
  for (const Run& run : runs) {
    if (!UseKernels(run.path)) continue;
    SCOPED_TRACE(testing::Message() << ActiveKernels().name << " on " << run.threads);
    const fs::path project = dir / (std::string(ActiveKernels().name) + ".vmp");
    fs::copy_file(made, project, fs::copy_options::overwrite_existing);
    const CliRun trained = RunCommand({"train", project.string(), "--data", iris.string(), "--seed",
                                       "1", "--threads", run.threads});
    ASSERT_EQ(trained.code, kExitOk) << trained.err;
    const std::string bytes = ReadBytes(project);
    ASSERT_FALSE(bytes.empty());
    if (first.empty()) first = bytes;
    EXPECT_TRUE(bytes == first);
  }
}

TEST_F(PassesCliTest, ThreadCountMustBeAPositiveNumber) {
  for (const char* bad : {"0", "-2", "x", ""}) {
    SCOPED_TRACE(bad);
    const CliRun run = RunCommand({"info", "nothing.vmp", "--threads", bad});
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_NE(run.err.find("--threads"), std::string::npos) << run.err;
  }
  EXPECT_EQ(RunCommand({"info", "nothing.vmp", "--threads"}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"--threads", "0", "info", "nothing.vmp"}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"--threads"}).code, kExitUsage);
  // Before the command as well as after it.
  EXPECT_EQ(RunCommand({"--threads", "2", "--version"}).code, kExitOk);
  EXPECT_EQ(RunCommand({"--threads=1", "help", "train"}).code, kExitOk);
}

}  // namespace
}  // namespace velmar::cli
