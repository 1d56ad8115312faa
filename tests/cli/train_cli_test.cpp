#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/terminal_host.h"
#include "cli/terminal_training_view.h"
#include "core/base/random.h"
#include "core/project/project.h"
#include "core/project/project_file.h"
#include "core/tables/dbf_table.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::RecordingHost;

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

CliRun RunArgs(const std::vector<std::string>& args, Host& host) {
  std::ostringstream out, err;
  const int code = RunCli(args, out, err, host);
  return {code, out.str(), err.str()};
}

CliRun RunArgs(const std::vector<std::string>& args) {
  RecordingHost host;
  return RunArgs(args, host);
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TrainCliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("velmar_train_cli_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // A project with one small network made in-process, saved to `path`.
  void MakeProject(const fs::path& path) {
    Project project;
    FixedClock clock(5);
    SetCurrentClock(&clock);
    const Status added = project.AddNetwork(
        testing_support::MakeDescription(testing_support::SimpleShape(2, {3}, 1)));
    SetCurrentClock(nullptr);
    ASSERT_TRUE(added.ok()) << added.message();
    ASSERT_TRUE(SaveProject(project, path).ok());
  }

  std::vector<float> LoadParameters(const fs::path& path) {
    Project project;
    EXPECT_TRUE(LoadProject(path, project).ok());
    return project.NetCount() > 0 ? project.Net(0).Parameters : std::vector<float>{};
  }

  fs::path dir_;
};

TEST_F(TrainCliTest, PerturbValidatesTheLevelAndRepeatsWithASeed) {
  const fs::path first = dir_ / "first.vmp";
  const fs::path second = dir_ / "second.vmp";
  MakeProject(first);
  fs::copy_file(first, second);
  const std::vector<float> before = LoadParameters(first);
  const std::string original = ReadText(first);

  for (const char* level : {"-0.5", "1.5", "много"}) {
    SCOPED_TRACE(level);
    RecordingHost host;
    const CliRun refused =
        RunArgs({"perturb", first.string(), "--net", "1", "--level", level}, host);
    EXPECT_EQ(refused.code, kExitRefused);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Неверное значение");
    EXPECT_EQ(ReadText(first), original);
  }

  for (const fs::path& path : {first, second}) {
    const CliRun run =
        RunArgs({"perturb", path.string(), "--net", "Test", "--level", "0.5", "--seed", "42"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_EQ(run.out, "Возмущение весов Test: уровень 0.5\n");
  }
  const std::vector<float> after = LoadParameters(first);
  EXPECT_EQ(after, LoadParameters(second));
  ASSERT_EQ(after.size(), before.size());
  EXPECT_NE(after, before);
  for (size_t i = 0; i < after.size(); ++i)
    EXPECT_LE(std::fabs(after[i] - before[i]), 0.05f + 1e-6f);
  // The level typed is the one applied: second 5 made the first weights, and
  // second 42 gives r * 0.2 / 32767 - 0.1 = -0.01122776, 0.04683065 first.
  EXPECT_EQ(before[0], -0.08943449f);
  EXPECT_EQ(before[1], 0.095538192f);
  EXPECT_EQ(after[0], before[0] + 0.5f * -0.0112277595f);
  EXPECT_EQ(after[1], before[1] + 0.5f * 0.046830654f);

  EXPECT_EQ(RunArgs({"perturb", first.string(), "--net", "7"}).code, kExitRefused);
  EXPECT_EQ(RunArgs({"perturb", first.string(), "--net", "1", "--seed", "x"}).code, kExitUsage);
}

TEST_F(TrainCliTest, UsageErrorsAndMissingTables) {
  const fs::path project = dir_ / "p.vmp";
  MakeProject(project);
  EXPECT_EQ(RunArgs({"train", project.string()}).code, kExitUsage);
  EXPECT_EQ(RunArgs({"train", project.string(), "--data", "t.dbf", "--method", "newton"}).code,
            kExitUsage);
  EXPECT_EQ(RunArgs({"test", "--data", "t.dbf"}).code, kExitUsage);

  const std::string original = ReadText(project);
  const CliRun train =
      RunArgs({"train", project.string(), "--data", (dir_ / "missing.dbf").string()});
  EXPECT_EQ(train.code, kExitRefused);
  EXPECT_EQ(train.err.rfind("Ошибка открытия файла: ", 0), 0u) << train.err;
  EXPECT_EQ(ReadText(project), original);
  EXPECT_EQ(RunArgs({"test", project.string(), "--data", (dir_ / "missing.dbf").string()}).code,
            kExitRefused);
}

// examples/iris.csv written as a dBase table: four measurements and CLASS 0..2.
Status WriteIrisTable(const fs::path& path) {
  std::ifstream in(fs::path(VELMAR_EXAMPLES) / "iris.csv");
  if (!in) return Status::NotFound("examples/iris.csv is missing");
  std::vector<ColumnDef> columns;
  for (const char* name : {"SEPAL_LEN", "SEPAL_WID", "PETAL_LEN", "PETAL_WID"}) {
    columns.push_back({name, FieldKind::kFloat, 'N', 5, 1});
  }
  columns.push_back({"CLASS", FieldKind::kInteger, 'N', 11, 0});
  std::unique_ptr<Table> table;
  VELMAR_RETURN_IF_ERROR(CreateDbfTable(path, {TableFamily::kDbase, 0}, columns, 1251, table));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::stringstream cells(line);
    std::string cell;
    VELMAR_RETURN_IF_ERROR(table->Append());
    for (int c = 0; c < 5 && std::getline(cells, cell, ','); ++c) {
      const Value value = c < 4 ? Value(std::stod(cell)) : Value(int64_t{std::stoi(cell)});
      VELMAR_RETURN_IF_ERROR(table->SetValue(c, value));
    }
    VELMAR_RETURN_IF_ERROR(table->Post());
  }
  return table->Save();
}

// Runs over examples/iris.dbf, or over the same records written from
// examples/iris.csv while that table is not in the examples.
class IrisCliTest : public TrainCliTest {
 protected:
  void SetUp() override {
    TrainCliTest::SetUp();
    iris_ = fs::path(VELMAR_EXAMPLES) / "iris.dbf";
    if (!fs::exists(iris_)) {
      iris_ = dir_ / "iris.dbf";
      const Status written = WriteIrisTable(iris_);
      ASSERT_TRUE(written.ok()) << written.message();
    }
    project_ = dir_ / "iris.vmp";
    const CliRun made = RunArgs({"new", project_.string(), "--data", iris_.string(), "--discrete",
                                 "CLASS", "--layers", "1", "--neurons", "6", "--seed", "1"});
    if (made.code != kExitOk && made.err.find("not available") != std::string::npos) {
      GTEST_SKIP() << "this build has no table engine";
    }
    ASSERT_EQ(made.code, kExitOk) << made.err;
  }

  fs::path iris_;
  fs::path project_;
};

TEST_F(IrisCliTest, EveryMethodTrainsAndTestsAllCorrect) {
  const char* methods[] = {"sd", "partan", "cg", "bfgs"};
  for (int m = 0; m < 4; ++m) {
    SCOPED_TRACE(methods[m]);
    const fs::path project = dir_ / (std::string(methods[m]) + ".vmp");
    fs::copy_file(project_, project, fs::copy_options::overwrite_existing);
    const CliRun train = RunArgs({"train", project.string(), "--data", iris_.string(), "--method",
                                  methods[m], "--seed", "1"});
    ASSERT_EQ(train.code, kExitOk) << train.err;
    EXPECT_NE(train.out.find("Правильно решенных примеров: 150 из 150\n"), std::string::npos)
        << train.out;
    EXPECT_NE(train.out.find("Средняя оценка: 0\n"), std::string::npos) << train.out;

    Project saved;
    ASSERT_TRUE(LoadProject(project, saved).ok());
    EXPECT_EQ(saved.Options().TrainingMethod, m);
    EXPECT_GT(saved.Net(0).NumOfTrainingCycles, 0);

    const fs::path text = dir_ / (std::string(methods[m]) + ".txt");
    const CliRun test =
        RunArgs({"test", project.string(), "--data", iris_.string(), "-o", text.string()});
    ASSERT_EQ(test.code, kExitOk) << test.err;
    EXPECT_NE(test.out.find("правильно 150 (100%)"), std::string::npos) << test.out;
    const std::string saved_text = ReadText(text);
    EXPECT_EQ(std::count(saved_text.begin(), saved_text.end(), '\n'), 1 + 150 + 1 + 4 + 4 * 3);
  }
}

TEST_F(IrisCliTest, TestWritesTheGridToStdoutAndTheSummaryToStderr) {
  const CliRun test = RunArgs({"test", project_.string(), "--data", iris_.string()});
  ASSERT_EQ(test.code, kExitOk) << test.err;
  EXPECT_EQ(test.out.rfind("CLASS\tПрогноз сети\tУверенность\t\n", 0), 0u) << test.out;
  EXPECT_NE(test.err.find("записей 150"), std::string::npos) << test.err;
}

// Ctrl+C while training: the host hands the request to the command at the
// end of a pass, exactly as the progress window's button would.
class InterruptingHost : public TerminalHost {
 public:
  explicit InterruptingHost(std::ostream& err) : TerminalHost(err) {}
  void ProcessPendingInput() override {
    if (++passes == 5) std::raise(SIGINT);
    TerminalHost::ProcessPendingInput();
  }
  int passes = 0;
};

TEST_F(IrisCliTest, InterruptStopsTrainingAndSavesTheProject) {
  std::ostringstream host_err;
  InterruptingHost host(host_err);
  const CliRun train = RunArgs(
      {"train", project_.string(), "--data", iris_.string(), "--method", "sd", "--seed", "1"},
      host);
  std::signal(SIGINT, SIG_DFL);
  ASSERT_EQ(train.code, kExitOk) << train.err;
  EXPECT_NE(train.out.find("Обучение прервано пользователем"), std::string::npos) << train.out;
  EXPECT_EQ(train.out.find("150 из 150"), std::string::npos) << train.out;
  EXPECT_LT(host.passes, 80);
  Project saved;
  ASSERT_TRUE(LoadProject(project_, saved).ok());
  EXPECT_GT(saved.Net(0).NumOfTrainingCycles, 0);
}

TEST(TerminalTrainingViewTest, LogLinesCarryTheFiguresAndPruningCounters) {
  std::ostringstream out;
  TerminalTrainingView view(out, false, std::chrono::milliseconds(0));
  view.SetCaption("Обучение Net");
  view.Show(false);
  TrainingProgress search;
  search.step = StepFigure{StepOutcome::kStep, 1e-5f};
  search.cycles = 1;
  search.error = 0.25;
  search.solved = SolvedFigure{3, 10};
  view.ShowProgress(search);
  view.ShowProgress(search);  // unchanged: no new line
  view.SetStopButton(StopButtonState::kStopping);
  view.Finish();
  EXPECT_EQ(out.str(),
            "Обучение Net: циклов 1, шаг 1E-5, средняя оценка 0.25, решено 3 из 10\n"
            "Обучение Net: остановка после текущего прохода...\n");

  std::ostringstream pruning_out;
  TerminalTrainingView pruning(pruning_out, false, std::chrono::milliseconds(0));
  pruning.SetCaption("Упрощение Net");
  pruning.Show(true);
  TrainingProgress counters;
  counters.pruning = PruningFigures{{2, 3, 4}, {0, 0, 5}, {1, 7, 40}, {0, 2, 33}};
  pruning.ShowProgress(counters);
  TrainingProgress solved;
  solved.solved = SolvedFigure{10, 10};
  pruning.ShowProgress(solved);
  EXPECT_EQ(pruning_out.str(),
            "Упрощение Net: циклов -, шаг -, средняя оценка -, решено -; удалено входов 2 (3 "
            "из 4), нейронов 0 (0 из 5), синапсов 1 (7 из 40), бинаризовано 0 (2 из 33)\n"
            "Упрощение Net: циклов -, шаг -, средняя оценка -, решено 10 из 10; удалено входов 2 "
            "(3 из 4), нейронов 0 (0 из 5), синапсов 1 (7 из 40), бинаризовано 0 (2 из 33)\n");

  // A step limit alone waits for the figures of its search.
  std::ostringstream limit_out;
  TerminalTrainingView limit(limit_out, false, std::chrono::milliseconds(0));
  limit.SetCaption("Обучение Net");
  limit.Show(false);
  TrainingProgress infinite;
  infinite.step = StepFigure{StepOutcome::kInfiniteStep, 0};
  limit.ShowProgress(infinite);
  EXPECT_EQ(limit_out.str(), "");
  TrainingProgress end;
  end.error = 1.5;
  limit.ShowProgress(end);
  EXPECT_EQ(limit_out.str(),
            "Обучение Net: циклов -, шаг Infinite step, средняя оценка 1.5, решено -\n");
}

TEST(TerminalTrainingViewTest, ATrainingThatNeverStartedWritesNothing) {
  // A refused training (no usable records) never shows the window.
  for (const bool interactive : {false, true}) {
    SCOPED_TRACE(interactive);
    std::ostringstream out;
    {
      TerminalTrainingView view(out, interactive, std::chrono::milliseconds(0));
      view.SetCaption("Обучение Net");
      view.Finish();
    }
    EXPECT_EQ(out.str(), "");
  }
}

TEST(TerminalTrainingViewTest, TerminalLineIsRewrittenInPlaceAndThrottled) {
  std::ostringstream out;
  {
    TerminalTrainingView view(out, true, std::chrono::hours(1));
    view.SetCaption("Обучение Net");
    view.Show(false);
    for (const int32_t solved : {1, 2, 4}) {  // 2 comes within the interval
      TrainingProgress progress;
      progress.solved = SolvedFigure{solved, 4};
      view.ShowProgress(progress);
    }
    view.Finish();
  }
  EXPECT_EQ(out.str(),
            "\rОбучение Net: циклов -, шаг -, средняя оценка -, решено 1 из 4\033[K"
            "\rОбучение Net: циклов -, шаг -, средняя оценка -, решено 4 из 4\033[K\n");
}

}  // namespace
}  // namespace velmar::cli
