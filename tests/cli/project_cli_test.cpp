#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/project/project.h"
#include "core/project/project_file.h"
#include "tests/support/cli_run.h"
#include "tests/support/recording_host.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

// A small dBase III table: numeric columns X1, X2, D (three values) and Y,
// and a character column NAME, so that the tests need no outside files.
void WriteSmallDbf(const fs::path& path) {
  struct Column {
    const char* name;
    char type;
    uint8_t width, decimals;
  };
  const Column columns[] = {{"NAME", 'C', 6, 0},
                            {"X1", 'N', 6, 2},
                            {"X2", 'N', 6, 2},
                            {"D", 'N', 2, 0},
                            {"Y", 'N', 6, 2}};
  const int rows = 8;
  std::vector<uint8_t> bytes(32, 0);
  bytes[0] = 0x03;
  bytes[1] = 124;
  bytes[2] = 1;
  bytes[3] = 1;
  bytes[4] = rows;
  const uint16_t header = 32 + 32 * 5 + 1;
  uint16_t record = 1;
  for (const Column& c : columns) record += c.width;
  bytes[8] = header & 0xff;
  bytes[9] = header >> 8;
  bytes[10] = record & 0xff;
  bytes[11] = record >> 8;
  for (const Column& c : columns) {
    uint8_t field[32] = {};
    std::memcpy(field, c.name, std::strlen(c.name));
    field[11] = static_cast<uint8_t>(c.type);
    field[16] = c.width;
    field[17] = c.decimals;
    bytes.insert(bytes.end(), field, field + 32);
  }
  bytes.push_back(0x0D);
  for (int r = 0; r < rows; ++r) {
    char line[64];
    std::snprintf(line, sizeof line, " %-6s%6.2f%6.2f%2d%6.2f", r % 2 ? "odd" : "even", r * 0.5,
                  3.0 - r * 0.25, r % 3, r * 0.5 + (3.0 - r * 0.25));
    bytes.insert(bytes.end(), line, line + record);
  }
  bytes.push_back(0x1A);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(path, bytes).ok()) << path;
  return bytes;
}

class ProjectCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("velmar_project_cli_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    table_ = (dir_ / "small.dbf").string();
    project_ = (dir_ / "p.vmp").string();
    WriteSmallDbf(table_);
  }

  std::unique_ptr<Project> Load() {
    auto project = std::make_unique<Project>();
    EXPECT_TRUE(LoadProject(project_, *project).ok());
    return project;
  }

  fs::path dir_;
  std::string table_;
  std::string project_;
};

TEST_F(ProjectCliTest, NetworkLifecycle) {
  CliRun run = RunCommand({"new", project_, "--data", table_, "--seed", "3", "--layers", "2",
                           "--neurons", "4,2", "--characteristic", "0.5,0.25", "--discrete",
                           "D:ordered", "--gap", "Y=0.5", "--name", "Первая"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Создана сеть Первая"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Число входов сети: \t5\n"), std::string::npos) << run.out;

  std::unique_ptr<Project> loaded = Load();
  Project* project = loaded.get();
  ASSERT_EQ(project->NetCount(), 1);
  const DataDescription& desc = project->Net(0).Desc;
  EXPECT_EQ(desc.Name, "Первая");
  ASSERT_EQ(desc.Fields.size(), 4u);  // NAME is not numeric and is dropped
  EXPECT_EQ(desc.Fields[2].Name, "D");
  EXPECT_EQ(desc.Fields[2].NumOfDiscreteStates, 3);
  EXPECT_EQ(desc.Fields[2].Predecessor, 1);
  EXPECT_EQ(desc.Fields[3].Usage, FieldUsage::Output);
  EXPECT_EQ(desc.Fields[3].Gap, 0.5f);
  EXPECT_EQ(desc.NumOfNeurons[1], 2);
  EXPECT_EQ(desc.Characteristic[1], 0.25f);
  EXPECT_EQ(project->NetNameCounter(), 1);

  run = RunCommand({"clone", project_, "--net", "1"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Network2"), std::string::npos);

  run = RunCommand({"params", project_, "--net", "Network2", "--name", "Вторая", "--characteristic",
                    "0.75", "--gap", "Y=1"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("характеристика 0.5 -> 0.75"), std::string::npos) << run.out;

  run = RunCommand({"set", project_, "--method", "partan", "--sens-norm", "1", "--bin-set", "3"});
  ASSERT_EQ(run.code, kExitOk) << run.err;

  run = RunCommand({"info", project_});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  for (const char* expected :
       {"Метод оптимизации: Модифицированный ParTan (1)", "Сеть 2: Вторая", "Нейронных сетей: 2",
        "D: входное, качественное (дискретное), диапазон от 0 до 2, упорядоченные состояния: "
        "[0 .. 0] [1 .. 1] [2 .. 2]",
        "Y: выходное, количественное (непрерывное), диапазон от 3 до 4.75, точность ±1",
        "Характеристика слоев: 0.75; 0.25", "Удалено входов: 0; удалено синапсов: 0"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }

  loaded = Load();
  project = loaded.get();
  ASSERT_EQ(project->NetCount(), 2);
  const NeuralNet& second = project->Net(1);
  EXPECT_EQ(second.Parameters[second.NeuronStart(0)], 0.75f);  // characteristic applied
  EXPECT_EQ(project->Options().TrainingMethod, 1);
  EXPECT_EQ(project->Options().BinaryWeightSet, 3);

  run = RunCommand({"delete", project_, "--net", "Первая"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  loaded = Load();
  ASSERT_EQ(loaded->NetCount(), 1);
  EXPECT_EQ(loaded->Net(0).Desc.Name, "Вторая");
  EXPECT_EQ(loaded->NetNameCounter(), 2);
}

TEST_F(ProjectCliTest, SeedMakesCreationRepeatable) {
  const std::string other = (dir_ / "q.vmp").string();
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--seed", "77"}).code, kExitOk);
  ASSERT_EQ(RunCommand({"new", other, "--data", table_, "--seed", "77"}).code, kExitOk);
  EXPECT_EQ(FileBytes(project_), FileBytes(other));
  ASSERT_EQ(RunCommand({"clone", other, "--net", "1", "--seed", "78"}).code, kExitOk);
  Project project;
  ASSERT_TRUE(LoadProject(other, project).ok());
  EXPECT_NE(project.Net(0).Parameters, project.Net(1).Parameters);
  EXPECT_GT(CurrentClock().NowSeconds(), 1000000000);
}

TEST_F(ProjectCliTest, RefusalsLeaveTheProjectUntouched) {
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--seed", "1"}).code, kExitOk);
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--seed", "1"}).code, kExitOk);
  const std::vector<uint8_t> before = FileBytes(project_);
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* err;
  };
  const Case cases[] = {
      {{"new", project_, "--data", table_, "--neurons", "5,101"},
       kExitRefused,
       "Неверное число нейронов: Число нейронов должно находиться в интервале от 1 до 100\n"},
      {{"new", project_, "--data", table_, "--characteristic", "0.00005"},
       kExitRefused,
       "Неверное значение характеристики: Значение характеристики должно находиться в "
       "интервале от 0.0001 до 1\n"},
      {{"new", project_, "--data", table_, "--gap", "Y=2"},
       kExitRefused,
       "Неверное значение точности: Для этого поля точность должна лежать в диапазоне от 0 "
       "(макс. точность) до 1.75 (мин. точность)\n"},
      {{"new", project_, "--data", table_, "--discrete", "Y", "--gap", "Y=1.5"},
       kExitRefused,
       "Неверное значение уровня надежности: "},
      {{"new", project_, "--data", table_, "--not-used", "Y"},
       kExitRefused,
       "Операция невозможна: У сети должно быть хотя бы одно входное и одно выходное поле\n"},
      {{"new", project_, "--data", table_, "--input", "NAME"},
       kExitRefused,
       "Операция невозможна: Поле NAME не числовое и недоступно сети\n"},
      {{"new", project_, "--data", table_, "--output", "Z"},
       kExitRefused,
       "Несовместимый файл данных: В файле данных нет поля Z\n"},
      {{"new", project_, "--data", table_, "--layers", "11"}, kExitRefused, "Неверное число слоев"},
      {{"new", project_, "--data", table_, "--states", "X1=1..2,3..4"},
       kExitRefused,
       "Операция невозможна: "},
      {{"new", project_, "--data", table_, "--discrete", "X1", "--states", "X1=1..a,3..4"},
       kExitRefused,
       "Ошибка: Неверное числовое значение\n"},
      {{"new", project_, "--data", (dir_ / "none.dbf").string()},
       kExitRefused,
       "Ошибка открытия файла: Не удается открыть файл "},
      {{"new", project_}, kExitUsage, "velmar-cli new: --data TABLE is required"},
      {{"new", project_, "--data", table_, "--seed", "x"}, kExitUsage, "velmar-cli new: "},
      {{"clone", project_, "--net", "3"},
       kExitRefused,
       "Операция невозможна: В проекте нет сети 3"},
      {{"clone", project_}, kExitRefused, "Операция невозможна: Не указана сеть"},
      {{"delete", project_, "--net", "0"}, kExitRefused, "Операция невозможна: "},
      {{"params", project_, "--net", "1", "--gap", "X1=0.1"},
       kExitRefused,
       "Операция невозможна: Точность и надежность задаются только для выходного поля (X1)\n"},
      {{"params", project_, "--net", "1", "--characteristic", "0.5,0.5,0.5,0.5"},
       kExitRefused,
       "Неверное число слоев: "},
      {{"params", project_, "--net", "1", "--name", "x", "--characteristic", "2"},
       kExitRefused,
       "Неверное значение характеристики: "},
      {{"params", project_, "--net", "1", "--name", std::string(260, 'n')},
       kExitRefused,
       "Операция невозможна: "},
      {{"set", project_, "--sens-norm", "2"}, kExitUsage, "velmar-cli set: "},
      {{"set", project_, "--method", "newton"}, kExitUsage, "velmar-cli set: "},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCommand(c.args);
    EXPECT_EQ(run.code, c.code) << c.args[0] << " " << c.args.back() << "\n" << run.err;
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    EXPECT_EQ(FileBytes(project_), before) << c.args.back();
  }
}

TEST_F(ProjectCliTest, UnreadableProjectsAreReportedByName) {
  const std::string bad = (dir_ / "bad.vmp").string();
  std::ofstream(bad) << "VM0024 and more";
  for (const char* command : {"info", "clone", "delete", "params", "set"}) {
    const CliRun run = RunCommand({command, bad, "--net", "1"});
    if (std::string(command) == "info" || std::string(command) == "set") continue;
    EXPECT_EQ(run.code, kExitRefused) << command;
    EXPECT_EQ(run.err, "Ошибка открытия файла проекта: Не удается открыть файл " + bad +
                           "\n\nФайл поврежден: файл проекта обрывается\n");
  }
  const CliRun info = RunCommand({"info", bad});
  EXPECT_EQ(info.code, kExitRefused);
  EXPECT_EQ(info.err, "Ошибка открытия файла проекта: Не удается открыть файл " + bad +
                          "\n\nФайл поврежден: файл проекта обрывается\n");
  // A missing project is an error for every command but new, which creates it;
  // the message names the full file name, not the path as typed.
  const CliRun missing = RunCommand({"info", "missing.vmp"});
  EXPECT_EQ(missing.code, kExitRefused);
  EXPECT_EQ(missing.err, "Ошибка открытия файла проекта: Не удается открыть файл " +
                             (fs::current_path() / "missing.vmp").string() +
                             "\n\nФайл не найден\n");
  if (::geteuid() != 0) {
    const std::string locked = (dir_ / "locked.vmp").string();
    ASSERT_EQ(RunCommand({"new", locked, "--data", table_}).code, kExitOk);
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(RunCommand({"info", locked}).err,
              "Ошибка открытия файла проекта: Не удается открыть файл " + locked +
                  "\n\nФайл не удается прочитать\n");
    fs::permissions(locked, fs::perms::owner_all);
  }
  const CliRun created = RunCommand({"new", bad, "--data", table_});
  EXPECT_EQ(created.code, kExitRefused);
  EXPECT_EQ(FileBytes(bad).size(), 15u);  // a damaged project is never overwritten
}

TEST_F(ProjectCliTest, OutputsNeverReplaceTheCommandsOwnFiles) {
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--seed", "1"}).code, kExitOk);
  const std::vector<uint8_t> table_before = FileBytes(table_);
  const std::vector<uint8_t> project_before = FileBytes(project_);
  const std::string memo = (dir_ / "SMALL.DBT").string();
  const std::vector<std::vector<std::string>> commands = {
      {"test", project_, "--data", table_, "-o", table_},
      {"test", project_, "--data", table_, "-o", memo},
      {"test", project_, "--data", table_, "-o", project_},
      {"verbalize", project_, "-o", project_},
      {"significance", project_, "--data", table_, "-o", table_},
  };
  for (const auto& args : commands) {
    const CliRun run = RunCommand(args);
    EXPECT_EQ(run.code, kExitRefused) << args[0] << " -o " << args.back();
    EXPECT_EQ(run.err.rfind("Ошибка сохранения: Файл " + args.back() + " нельзя заменить", 0), 0u)
        << run.err;
  }
  EXPECT_EQ(FileBytes(table_), table_before);
  EXPECT_EQ(FileBytes(project_), project_before);
  EXPECT_FALSE(fs::exists(memo));
  EXPECT_EQ(RunCommand({"verbalize", project_, "-o", (dir_ / "p.txt").string()}).code, kExitOk);
}

TEST_F(ProjectCliTest, ASecondWriterIsRefusedWhileTheProjectIsOpenForChange) {
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--seed", "1"}).code, kExitOk);
  const std::vector<uint8_t> before = FileBytes(project_);
  FileLock other;  // another command or the windows, holding the project
  ASSERT_TRUE(other.Acquire(project_).ok());
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"set", project_, "--method", "1"},
                                             {"clone", project_, "--net", "1"},
                                             {"train", project_, "--data", table_},
                                             {"new", project_, "--data", table_}}) {
    const CliRun run = RunCommand(args);
    EXPECT_EQ(run.code, kExitRefused) << args[0];
    EXPECT_EQ(run.err, "Операция невозможна: Проект " + project_ +
                           " уже открыт для изменения другой командой или программой\n")
        << args[0];
  }
  EXPECT_EQ(FileBytes(project_), before);
  // Readers are not held up.
  EXPECT_EQ(RunCommand({"info", project_}).code, kExitOk);
  other.Release();
  EXPECT_EQ(RunCommand({"set", project_, "--method", "1"}).code, kExitOk);
}

TEST_F(ProjectCliTest, SetReportsItsChangeOnlyOnceSaved) {
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--seed", "1"}).code, kExitOk);
  fs::permissions(project_, fs::perms::owner_read);
  CliRun run = RunCommand({"set", project_, "--method", "0"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("защищен от записи"), std::string::npos) << run.err;
  fs::permissions(project_, fs::perms::owner_read | fs::perms::owner_write);
  run = RunCommand({"set", project_, "--method", "0"});
  EXPECT_EQ(run.code, kExitOk);
  EXPECT_EQ(run.out.rfind("Метод оптимизации: 2 -> 0\n", 0), 0u) << run.out;
}

TEST_F(ProjectCliTest, DataFileWithTwoColumnsOfOneNameIsRefused) {
  std::vector<uint8_t> bytes = FileBytes(table_);
  std::copy(bytes.begin() + 64, bytes.begin() + 75, bytes.begin() + 96);  // X2 becomes X1
  const std::string twice = (dir_ / "twice.dbf").string();
  ASSERT_TRUE(WriteFileAtomically(twice, bytes).ok());
  const CliRun run = RunCommand({"new", project_, "--data", twice});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_EQ(run.err, "Ошибка открытия файла: Не удается открыть файл " + twice +
                         "\n\nВ файле данных два поля с именем X1\n");
  EXPECT_FALSE(fs::exists(project_));
}

TEST_F(ProjectCliTest, NetSelectionByNameOrPosition) {
  for (const char* name : {"2", "Alpha", "Alpha"}) {
    ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--name", name}).code, kExitOk);
  }
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_}).code, kExitOk);
  // "2" names network 1 and is the position of network 2.
  CliRun run = RunCommand({"delete", project_, "--net", "2"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_NE(run.err.find("и имя одной сети, и номер другой"), std::string::npos) << run.err;
  run = RunCommand({"delete", project_, "--net", "Alpha"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_NE(run.err.find("несколько сетей с именем Alpha"), std::string::npos) << run.err;
  run = RunCommand({"delete", project_, "--net", "4"});
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Удалена сеть Network4"), std::string::npos) << run.out;
}

TEST_F(ProjectCliTest, NetworkLimit) {
  ASSERT_EQ(RunCommand({"new", project_, "--data", table_, "--neurons", "1,1,1"}).code, kExitOk);
  {
    std::unique_ptr<Project> project = Load();
    while (project->NetCount() < kMaxNetworks) {
      ASSERT_TRUE(project->AddNetwork(project->CloneNetworkDescription(0)).ok());
    }
    ASSERT_TRUE(SaveProject(*project, project_).ok());
  }
  for (std::vector<std::string> args :
       {std::vector<std::string>{"new", project_, "--data", table_},
        std::vector<std::string>{"clone", project_, "--net", "1"}}) {
    const CliRun run = RunCommand(args);
    EXPECT_EQ(run.code, kExitRefused);
    EXPECT_EQ(run.err, "Операция невозможна: В проекте уже 100 нейронных сетей\n");
  }
}

TEST_F(ProjectCliTest, ParadoxTable) {
  const fs::path table = fs::path(VELMAR_SHARED_FIXTURES) / "datasets" / "iris_species.db";
  if (!fs::exists(table)) GTEST_SKIP() << "shared fixtures not found: " << table;
  CliRun run = RunCommand({"new", project_, "--data", table.string(), "--discrete", "CLASS",
                           "--gap", "CLASS=0.25", "--layers", "1", "--neurons", "3"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Число выходов сети: \t3"), std::string::npos) << run.out;
  run = RunCommand({"new", project_, "--data", table.string(), "--input", "SPECIES"});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_EQ(run.err, "Операция невозможна: Поле SPECIES не числовое и недоступно сети\n");
  run = RunCommand({"info", project_});
  ASSERT_EQ(run.code, kExitOk);
  EXPECT_NE(
      run.out.find("SEPAL_LEN: входное, количественное (непрерывное), диапазон от 4.3 до 7.9"),
      std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("SPECIES"), std::string::npos);
}

TEST_F(ProjectCliTest, ExampleTable) {
  fs::path table = fs::path(VELMAR_EXAMPLES) / "iris.dbf";
  if (!fs::exists(table)) table = fs::path(VELMAR_SHARED_FIXTURES) / "datasets" / "iris_db3.dbf";
  if (!fs::exists(table)) GTEST_SKIP() << "no iris table found";
  const CliRun run = RunCommand({"new", project_, "--data", table.string(), "--seed", "9"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  std::unique_ptr<Project> project = Load();
  ASSERT_EQ(project->NetCount(), 1);
  EXPECT_EQ(project->Net(0).Desc.NumOfInputs, 4);
  EXPECT_EQ(project->Net(0).Desc.Fields.back().Name, "CLASS");
}

}  // namespace
}  // namespace velmar::cli
