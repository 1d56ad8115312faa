#include <gtest/gtest.h>

#include <sstream>

#include "cli/command.h"
#include "tests/support/recording_host.h"

namespace velmar::cli {
namespace {

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

CliRun RunArgs(std::vector<std::string> args) {
  std::ostringstream out, err;
  testing_support::RecordingHost host;
  const int code = RunCli(args, out, err, host);
  return {code, out.str(), err.str()};
}

TEST(CliTest, VersionHelpAndUsageErrors) {
  const CliRun version = RunArgs({"--version"});
  EXPECT_EQ(version.code, kExitOk);
  EXPECT_EQ(version.out, "Velmar 0.25\n");

  const CliRun help = RunArgs({"--help"});
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_NE(help.out.find("demo"), std::string::npos);

  EXPECT_EQ(RunArgs({}).code, kExitUsage);
  EXPECT_EQ(RunArgs({"no-such-command"}).code, kExitUsage);
  EXPECT_EQ(RunArgs({"demo", "--bogus"}).code, kExitUsage);

  const CliRun demo_help = RunArgs({"demo", "--help"});
  EXPECT_EQ(demo_help.code, kExitOk);
  EXPECT_NE(demo_help.out.find("Usage: velmar-cli demo"), std::string::npos);
}

TEST(CliTest, RefusalPrintsCaptionAndTextWithExitOne) {
  const CliRun run = RunArgs({"demo", "--examples", "/nonexistent-velmar-dir"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_EQ(run.err.rfind("Ошибка: Не удается открыть файл ", 0), 0u) << run.err;
}

TEST(CliTest, DemoRunsOnTheExampleData) {
  const CliRun run = RunArgs({"demo", "--examples", VELMAR_EXAMPLES});
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("150 records"), std::string::npos) << run.out;
  // The whole path ran: training solved the table, and the description came out.
  EXPECT_NE(run.out.find("150 из 150"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Синдромы 1-го уровня:"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Режим: Бинаризация"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace velmar::cli
