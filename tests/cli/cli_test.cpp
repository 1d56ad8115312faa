#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/command.h"
#include "tests/support/cli_run.h"

namespace velmar::cli {
namespace {

TEST(CliTest, VersionHelpAndUsageErrors) {
  const CliRun version = RunCommand({"--version"});
  EXPECT_EQ(version.code, kExitOk);
  EXPECT_EQ(version.out, "Velmar 0.25\n");

  const CliRun help = RunCommand({"--help"});
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_NE(help.out.find("demo"), std::string::npos);

  EXPECT_EQ(RunCommand({}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"no-such-command"}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"demo", "--bogus"}).code, kExitUsage);

  const CliRun demo_help = RunCommand({"demo", "--help"});
  EXPECT_EQ(demo_help.code, kExitOk);
  EXPECT_NE(demo_help.out.find("Usage: velmar-cli demo"), std::string::npos);
}

TEST(CliTest, RefusalPrintsCaptionAndTextWithExitOne) {
  const CliRun run = RunCommand({"demo", "--examples", "/nonexistent-velmar-dir"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_EQ(run.err.rfind("Ошибка открытия файла: Не удается открыть файл ", 0), 0u) << run.err;
}

TEST(CliTest, DemoRunsOnTheExampleData) {
  // A link planted where a predictable folder would be is never followed.
  namespace fs = std::filesystem;
  const fs::path tmp = fs::path(::testing::TempDir()) / "demo_tmp";
  const fs::path elsewhere = fs::path(::testing::TempDir()) / "demo_elsewhere";
  fs::remove_all(tmp);
  fs::remove_all(elsewhere);
  fs::create_directories(tmp);
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, tmp / ("velmar-demo-" + std::to_string(::getpid())));
  const char* old_tmpdir = std::getenv("TMPDIR");
  const std::string saved_tmpdir = old_tmpdir != nullptr ? old_tmpdir : "";
  ::setenv("TMPDIR", tmp.c_str(), 1);
  const CliRun run = RunCommand({"demo", "--examples", VELMAR_EXAMPLES});
  if (old_tmpdir != nullptr) {
    ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp), fs::directory_iterator()), 1);
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("150 records"), std::string::npos) << run.out;
  // The whole path ran: training solved the table, and the description came out.
  EXPECT_NE(run.out.find("150 из 150"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Синдромы 1-го уровня:"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Режим: Бинаризация"), std::string::npos) << run.out;
}

TEST(CliTest, DemoRefusesToReplaceFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / "demo_existing";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path project = dir / "mine.vmp";
  std::ofstream(project) << "precious";
  CliRun run = RunCommand({"demo", "--examples", VELMAR_EXAMPLES, "--project", project.string()});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_NE(run.err.find("уже существует"), std::string::npos) << run.err;
  fs::remove(project);
  std::ofstream(dir / "test.txt") << "precious";
  run = RunCommand({"demo", "--examples", VELMAR_EXAMPLES, "--project", project.string()});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_FALSE(fs::exists(project));
  std::ifstream in(dir / "test.txt");
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "precious");
}

}  // namespace
}  // namespace velmar::cli
