#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tests/support/cli_run.h"
#include "tests/support/json_value.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;
using testing_support::JsonValue;

fs::path Shared(const std::string& name) { return fs::path(VELMAR_SHARED_FIXTURES) / "dbf" / name; }

TEST(TableCliTest, DumpJsonMatchesTheExpectedDump) {
  if (!fs::exists(Shared("dbase_8b.dbf"))) GTEST_SKIP() << "shared DBF fixtures not found";
  for (const char* name : {"dbase_8b", "dbase_31"}) {
    const CliRun run =
        RunCommand({"table", "dump", Shared(std::string(name) + ".dbf").string(), "--json"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    JsonValue got, want;
    ASSERT_TRUE(JsonValue::Parse(run.out, got));
    std::ifstream in(Shared(std::string(name) + ".expected.json"));
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_TRUE(JsonValue::Parse(text.str(), want));
    EXPECT_EQ(got["columns"].ToString(), want["columns"].ToString()) << name;
    ASSERT_EQ(got["records"].size(), want["records"].size());
    for (size_t r = 0; r < want["records"].size(); ++r) {
      const JsonValue& a = want["records"][r];
      const JsonValue& b = got["records"][r];
      ASSERT_EQ(a.size(), b.size());
      for (size_t c = 0; c < a.size(); ++c) {
        if (a[c].is_number()) {
          EXPECT_EQ(a[c].as_double(), b[c].as_double()) << name << r << c;
        } else {
          EXPECT_EQ(a[c].ToString(), b[c].ToString()) << name << r << c;
        }
      }
    }
  }
}

TEST(TableCliTest, InfoDumpAndConvert) {
  const fs::path iris = fs::path(VELMAR_EXAMPLES) / "iris.dbf";
  const CliRun info = RunCommand({"table", "info", iris.string()});
  ASSERT_EQ(info.code, kExitOk) << info.err;
  EXPECT_NE(info.out.find("Записей: 150"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("SEPAL_LEN\tN(4,1)\tnumeric-float"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Формат: dBase"), std::string::npos);

  const CliRun dump = RunCommand({"table", "dump", iris.string()});
  ASSERT_EQ(dump.code, kExitOk);
  EXPECT_NE(dump.out.find("\n1\t5.1\t3.5\t1.4\t0.2\t0\n"), std::string::npos)
      << dump.out.substr(0, 600);

  const fs::path dir = fs::path(::testing::TempDir()) / "table_cli";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path target = dir / "iris_fox.dbf";
  const CliRun convert =
      RunCommand({"table", "convert", iris.string(), target.string(), "--format", "6"});
  ASSERT_EQ(convert.code, kExitOk) << convert.err;
  const CliRun back = RunCommand({"table", "dump", target.string()});
  ASSERT_EQ(back.code, kExitOk);
  // Same records; only the header lines differ.
  EXPECT_EQ(back.out.substr(back.out.find("\n№")), dump.out.substr(dump.out.find("\n№")));
  fs::remove_all(dir);
}

TEST(TableCliTest, DumpsEscapeControlBytesAndKeepJsonValidUtf8) {
  // A dBase III table of one character column "A<01>B" holding "x<02>y\t",
  // under a file name that is not UTF-8.
  std::string bytes(32, '\0');
  bytes[0] = 0x03;
  bytes[1] = 124;
  bytes[2] = 1;
  bytes[3] = 1;
  bytes[4] = 1;
  bytes[8] = 65;  // header: 32 + 32 + 1
  bytes[10] = 5;  // record: deletion flag + 4
  std::string field(32, '\0');
  field.replace(0, 3,
                "A\x01"
                "B");
  field[11] = 'C';
  field[16] = 4;
  bytes += field;
  bytes += '\x0D';
  bytes += " x\x02y\t";
  bytes += '\x1A';
  const fs::path dir = fs::path(::testing::TempDir()) / "table_cli_controls";
  fs::create_directories(dir);
  const fs::path path = dir / "odd\xff.dbf";
  std::ofstream(path, std::ios::binary) << bytes;

  const CliRun text = RunCommand({"table", "dump", path.string()});
  ASSERT_EQ(text.code, kExitOk) << text.err;
  EXPECT_NE(text.out.find("1. A\\x01B\t"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\tA\\x01B\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\n1\tx\\x02y\\t\n"), std::string::npos) << text.out;
  for (char c : text.out) {
    EXPECT_TRUE(c == '\t' || c == '\n' || static_cast<unsigned char>(c) >= 0x20)
        << static_cast<int>(c);
  }

  const CliRun json = RunCommand({"table", "dump", path.string(), "--json"});
  ASSERT_EQ(json.code, kExitOk) << json.err;
  EXPECT_NE(json.out.find("\"file\": \"odd\\ufffd.dbf\""), std::string::npos) << json.out;
  EXPECT_EQ(json.out.find('\xff'), std::string::npos);
  JsonValue parsed;
  EXPECT_TRUE(JsonValue::Parse(json.out, parsed));
  fs::remove_all(dir);
}

TEST(TableCliTest, RefusalsAndUsageErrors) {
  const fs::path dir = fs::path(::testing::TempDir()) / "table_cli_bad";
  fs::create_directories(dir);
  const fs::path bad = dir / "broken.dbf";
  std::ofstream(bad, std::ios::binary) << "not a table at all, but long enough to have a header";
  const CliRun run = RunCommand({"table", "info", bad.string()});
  EXPECT_EQ(run.code, kExitRefused);
  EXPECT_EQ(
      run.err.rfind("Ошибка открытия файла: Не удается открыть файл " + bad.string() + "\n\n", 0),
      0u)
      << run.err;

  EXPECT_EQ(RunCommand({"table", "info", (dir / "table.csv").string()}).code, kExitRefused);
  EXPECT_EQ(RunCommand({"table"}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"table", "frobnicate", "x.dbf"}).code, kExitUsage);
  EXPECT_EQ(RunCommand({"table", "convert", "a.dbf", "b.dbf"}).code, kExitUsage);
  for (const char* format : {"0", "7", "-1", "4294967297", "4294967302"}) {
    EXPECT_EQ(RunCommand({"table", "convert", "a.dbf", "b.dbf", "--format", format}).code,
              kExitUsage)
        << format;
  }
  EXPECT_EQ(RunCommand({"table", "info", "a.dbf", "--json"}).code, kExitUsage);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmar::cli
