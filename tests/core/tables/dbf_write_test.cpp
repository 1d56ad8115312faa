#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/tables/dbf_table.h"
#include "core/tables/table_dump.h"
#include "core/tables/table_factory.h"
#include "tests/support/column_def.h"
#include "tests/support/json_value.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing_support::JsonValue;

using testing_support::Col;

std::vector<ColumnDef> SampleColumns() {
  return {Col("NAME", 'C', 20, 0, FieldKind::kText),    Col("PRICE", 'N', 8, 2, FieldKind::kFloat),
          Col("COUNT", 'I', 4, 0, FieldKind::kInteger), Col("OK", 'L', 1, 0, FieldKind::kBoolean),
          Col("BORN", 'D', 8, 0, FieldKind::kDate),     Col("NOTE", 'M', 10, 0, FieldKind::kMemo)};
}

// Rows of the sample table; a monostate is a null.
std::vector<std::vector<Value>> SampleRows() {
  return {
      {std::string("Иван"), 12.5, int64_t{7}, true, Date{1961, 4, 12},
       std::string("первая\r\nстрока")},
      {std::string(""), Value{}, int64_t{-3}, false, Value{}, Value{}},
      {std::string("Ёлка"), -0.25, Value{}, Value{}, Date{2000, 2, 29}, std::string(600, 'x')},
  };
}

class DbfWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("dbf_write_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetCurrentClock(&clock_);
  }
  void TearDown() override {
    SetCurrentClock(nullptr);
    fs::remove_all(dir_);
  }

  void Fill(Table& table) {
    for (const auto& row : SampleRows()) {
      ASSERT_TRUE(table.Append().ok());
      for (size_t c = 0; c < row.size(); ++c) {
        Status s = table.SetValue(static_cast<int>(c), row[c]);
        ASSERT_TRUE(s.ok()) << s.message();
      }
      ASSERT_TRUE(table.Post().ok());
    }
  }

  static void ExpectSampleRows(Table& table) {
    const auto rows = SampleRows();
    ASSERT_EQ(table.RecordCount(), static_cast<int>(rows.size()));
    table.First();
    for (const auto& row : rows) {
      for (size_t c = 0; c < row.size(); ++c) {
        const Value got = table.GetValue(static_cast<int>(c));
        if (auto* i = std::get_if<int64_t>(&row[c])) {
          // Integers come back from N(11,0) as doubles.
          EXPECT_EQ(std::get<double>(got), static_cast<double>(*i)) << "column " << c;
        } else {
          EXPECT_EQ(got, row[c]) << "record " << table.RecordNumber() << " column " << c;
        }
      }
      table.Next();
    }
  }

  fs::path dir_;
  FixedClock clock_{1767225600};  // 2026-01-01
};

TEST_F(DbfWriteTest, DbaseAndFoxProRoundTripWithMemosAndCodePages) {
  struct Case {
    TableFormat format;
    int code_page;
    uint8_t version;
    uint8_t marker;
    const char* memo_ext;
  };
  const Case cases[] = {
      {{TableFamily::kDbase, 0}, 1251, 0x83, 0xC9, ".dbt"},
      {{TableFamily::kDbase, 0}, 866, 0x83, 0x26, ".dbt"},
      {{TableFamily::kFoxPro, 25}, 1251, 0xF5, 0xC9, ".fpt"},
      // UTF-8 has no language-driver byte: the table falls back to cp1251.
      {{TableFamily::kFoxPro, 25}, 65001, 0xF5, 0xC9, ".fpt"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const fs::path path = dir_ / ("t" + std::to_string(n++) + ".dbf");
    std::unique_ptr<Table> table;
    ASSERT_TRUE(CreateDbfTable(path, c.format, SampleColumns(), c.code_page, table).ok());
    Fill(*table);
    EXPECT_FALSE(fs::exists(path)) << "nothing is written before Save";
    ASSERT_TRUE(table->Save().ok());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes).ok());
    EXPECT_EQ(bytes[0], c.version);
    EXPECT_EQ(bytes[29], c.marker);
    EXPECT_EQ(bytes[1], 126);  // written 2026-01-01
    EXPECT_TRUE(fs::exists(fs::path(path).replace_extension(c.memo_ext)));

    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenTable(path, back).ok());
    EXPECT_EQ(back->Format().family,
              c.format.family == TableFamily::kFoxPro ? TableFamily::kFoxPro : TableFamily::kDbase);
    EXPECT_EQ(back->Column(1).length, 8);
    EXPECT_EQ(back->Column(1).decimals, 2);
    EXPECT_EQ(back->ColumnCount(), 6);
  }
}

TEST_F(DbfWriteTest, ValuesReadBackExactly) {
  const fs::path path = dir_ / "sample.dbf";
  std::unique_ptr<Table> table;
  std::vector<ColumnDef> columns = SampleColumns();
  ASSERT_TRUE(CreateDbfTable(path, {TableFamily::kFoxPro, 25}, columns, 1251, table).ok());
  std::vector<std::vector<Value>> rows = SampleRows();
  for (const auto& row : rows) {
    ASSERT_TRUE(table->Append().ok());
    for (size_t c = 0; c < row.size(); ++c) {
      ASSERT_TRUE(table->SetValue(static_cast<int>(c), row[c]).ok());
    }
  }
  ASSERT_TRUE(table->Save().ok());
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenDbfTable(path, back).ok());
  back->First();
  EXPECT_EQ(back->GetValue(0), Value(std::string("Иван")));
  EXPECT_EQ(back->ValueJson(1), "12.50");
  EXPECT_FLOAT_EQ(back->AsFloat(2), 7.0f);
  EXPECT_EQ(back->GetValue(5), Value(std::string("первая\r\nстрока")));
  back->Next();
  EXPECT_EQ(back->GetValue(0), Value(std::string("")));
  EXPECT_TRUE(back->IsNull(1));
  EXPECT_TRUE(back->IsNull(4));
  EXPECT_TRUE(back->IsNull(5));
  EXPECT_FLOAT_EQ(back->AsFloat(1), 0.0f);
  back->Next();
  EXPECT_EQ(back->GetValue(0), Value(std::string("Ёлка")));
  EXPECT_EQ(back->ValueJson(1), "-0.25");
  EXPECT_TRUE(back->IsNull(2));
  EXPECT_TRUE(back->IsNull(3));
  EXPECT_EQ(back->GetValue(4), Value(Date{2000, 2, 29}));
  EXPECT_EQ(back->GetValue(5), Value(std::string(600, 'x')));
}

TEST_F(DbfWriteTest, RefusedValuesLeaveTheCellAlone) {
  std::unique_ptr<Table> table;
  ASSERT_TRUE(
      CreateDbfTable(dir_ / "r.dbf", {TableFamily::kDbase, 0}, SampleColumns(), 1251, table).ok());
  ASSERT_TRUE(table->Append().ok());
  ASSERT_TRUE(table->SetValue(0, std::string("имя")).ok());
  ASSERT_TRUE(table->SetValue(1, 1.5).ok());
  struct Bad {
    int column;
    Value value;
  };
  const Bad bad[] = {
      {0, std::string(21, 'a')},       // longer than C(20)
      {0, std::string("日本")},        // not in cp1251
      {1, 123456.0},                   // "123456.00" is wider than N(8,2)
      {1, std::string("abc")},         // not a number
      {3, std::string("maybe")},       // not a logical
      {4, std::string("2001-02-29")},  // no such date
      {4, 3.5},                        // not a date
  };
  for (const Bad& b : bad) {
    Status s = table->SetValue(b.column, b.value);
    EXPECT_TRUE(s.IsInvalid()) << b.column;
    EXPECT_NE(s.message().find(table->Column(b.column).name), std::string::npos) << s.message();
  }
  EXPECT_EQ(table->GetValue(0), Value(std::string("имя")));
  EXPECT_EQ(table->GetValue(1), Value(1.5));
  EXPECT_TRUE(table->IsNull(4));
}

TEST_F(DbfWriteTest, ColumnsTheFormatCannotHoldAreRefused) {
  struct Case {
    FieldKind kind;
    TableFamily family;
    bool ok;
  };
  const Case cases[] = {
      {FieldKind::kTime, TableFamily::kDbase, false},
      {FieldKind::kTimestamp, TableFamily::kFoxPro, false},
      {FieldKind::kBytes, TableFamily::kDbase, false},
      {FieldKind::kBinary, TableFamily::kDbase, false},
      {FieldKind::kBinary, TableFamily::kFoxPro, true},
      {FieldKind::kCurrency, TableFamily::kDbase, true},
      {FieldKind::kSmallInt, TableFamily::kFoxPro, true},
  };
  for (const Case& c : cases) {
    std::vector<ColumnDef> columns = {Col("A", 'C', 5, 0, FieldKind::kText),
                                      Col("WHEN", '?', 8, 0, c.kind)};
    std::unique_ptr<Table> table;
    Status s = CreateDbfTable(dir_ / "x.dbf", {c.family, c.family == TableFamily::kFoxPro ? 25 : 0},
                              columns, 1252, table);
    EXPECT_EQ(s.ok(), c.ok) << KindName(c.kind) << ": " << s.message();
    if (!s.ok()) {
      EXPECT_NE(s.message().find("WHEN"), std::string::npos);
    }
  }
  EXPECT_FALSE(fs::exists(dir_ / "x.dbf"));
}

TEST_F(DbfWriteTest, LongAndRepeatedNamesAreCutAndNumbered) {
  std::vector<ColumnDef> columns = {Col("MEASUREMENT_A", 'N', 5, 1, FieldKind::kFloat),
                                    Col("MEASUREMENT_B", 'N', 5, 1, FieldKind::kFloat),
                                    Col("measuremen", 'N', 5, 1, FieldKind::kFloat)};
  std::unique_ptr<Table> table;
  ASSERT_TRUE(CreateDbfTable(dir_ / "n.dbf", {TableFamily::kDbase, 0}, columns, 1252, table).ok());
  EXPECT_EQ(table->Column(0).name, "MEASUREMEN");
  EXPECT_EQ(table->Column(1).name, "MEASUREM_1");
  EXPECT_EQ(table->Column(2).name, "measurem_2");
}

// Edits stay in memory until Save; Save rewrites the table and its memo file.
TEST_F(DbfWriteTest, EditsReachTheDiskOnlyOnSave) {
  const fs::path src = fs::path(VELMAR_SHARED_FIXTURES) / "dbf";
  if (!fs::exists(src / "dbase_83.dbf")) GTEST_SKIP() << "shared DBF fixtures not found";
  fs::copy_file(src / "dbase_83.dbf", dir_ / "dbase_83.dbf");
  fs::copy_file(src / "dbase_83.dbt", dir_ / "dbase_83.dbt");
  // The shared fixtures are read-only, and a save never replaces such a file.
  for (const char* name : {"dbase_83.dbf", "dbase_83.dbt"}) {
    fs::permissions(dir_ / name, fs::perms::owner_write, fs::perm_options::add);
  }
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenDbfTable(dir_ / "dbase_83.dbf", table).ok());
  const std::string before = DumpTableJson(*table);
  std::vector<uint8_t> original;
  ASSERT_TRUE(ReadFileBytes(dir_ / "dbase_83.dbf", original).ok());

  int memo = -1;
  for (int c = 0; c < table->ColumnCount(); ++c) {
    if (table->Column(c).kind == FieldKind::kMemo) memo = c;
  }
  ASSERT_GE(memo, 0);
  table->MoveTo(1);
  // The table is cp437: Cyrillic cannot be stored, accented Latin can.
  EXPECT_TRUE(table->SetValue(memo, std::string("новое")).IsInvalid());
  ASSERT_TRUE(table->SetValue(memo, std::string("Crème brûlée\r\n")).ok());
  ASSERT_TRUE(table->SetValue(6, std::string("Renamed")).ok());
  table->MoveTo(3);
  ASSERT_TRUE(table->Delete().ok());
  ASSERT_TRUE(table->Append().ok());
  EXPECT_TRUE(table->Modified());
  std::vector<uint8_t> still;
  ASSERT_TRUE(ReadFileBytes(dir_ / "dbase_83.dbf", still).ok());
  EXPECT_EQ(still, original);

  ASSERT_TRUE(table->Save().ok());
  EXPECT_FALSE(table->Modified());
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenDbfTable(dir_ / "dbase_83.dbf", back).ok());
  EXPECT_EQ(back->RecordCount(), 67);
  back->MoveTo(1);
  EXPECT_EQ(back->GetValue(memo), Value(std::string("Crème brûlée\r\n")));
  EXPECT_EQ(back->GetValue(6), Value(std::string("Renamed")));
  // Everything else, memos included, is as it was: compare with the old dump
  // record by record, the deleted one left out.
  JsonValue old_dump, new_dump;
  ASSERT_TRUE(JsonValue::Parse(before, old_dump));
  ASSERT_TRUE(JsonValue::Parse(DumpTableJson(*back), new_dump));
  const JsonValue& old_records = old_dump["records"];
  const JsonValue& new_records = new_dump["records"];
  EXPECT_EQ(new_records[0].ToString(), old_records[0].ToString());
  for (size_t r = 4; r < old_records.size(); ++r) {
    EXPECT_EQ(new_records[r - 1].ToString(), old_records[r].ToString()) << r;
  }
}

// Saving a fixture in its own format and converting between the DBF formats
// keep every value.
TEST_F(DbfWriteTest, SaveAsKeepsEveryFixtureValue) {
  const fs::path src = fs::path(VELMAR_SHARED_FIXTURES) / "dbf";
  if (!fs::exists(src / "dbase_30.dbf")) GTEST_SKIP() << "shared DBF fixtures not found";
  const char* names[] = {"dbase_30.dbf", "dbase_31.dbf", "dbase_32.dbf", "dbase_8b.dbf",
                         "calls.dbf",    "mazovia.dbf",  "cp1251.dbf",   "dbase_03_cyrillic.dbf"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    std::unique_ptr<Table> table;
    ASSERT_TRUE(OpenDbfTable(src / name, table).ok());
    JsonValue want;
    ASSERT_TRUE(JsonValue::Parse(DumpTableJson(*table), want));
    const fs::path copy = dir_ / name;
    ASSERT_TRUE(table->SaveAs(copy, table->Format()).ok());
    EXPECT_EQ(table->Path(), copy);
    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenDbfTable(copy, back).ok());
    JsonValue got;
    ASSERT_TRUE(JsonValue::Parse(DumpTableJson(*back), got));
    EXPECT_EQ(got["records"].ToString(), want["records"].ToString());
    EXPECT_EQ(got["columns"].ToString(), want["columns"].ToString());
    EXPECT_EQ(got["text_codec"].ToString(), want["text_codec"].ToString());
  }
}

TEST_F(DbfWriteTest, ConvertingVisualFoxProToDbaseKeepsValues) {
  const fs::path src = fs::path(VELMAR_SHARED_FIXTURES) / "dbf" / "dbase_31.dbf";
  if (!fs::exists(src)) GTEST_SKIP() << "shared DBF fixtures not found";
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenDbfTable(src, table).ok());
  std::vector<std::vector<float>> before;
  for (table->First(); !table->Eof(); table->Next()) {
    before.emplace_back();
    for (int c = 0; c < 10; ++c) before.back().push_back(table->AsFloat(c));
  }
  table->MoveTo(5);
  ASSERT_TRUE(table->SaveAs(dir_ / "products.dbf", {TableFamily::kDbase, 0}).ok());
  EXPECT_EQ(table->Position(), 5);
  EXPECT_EQ(table->Format(), (TableFormat{TableFamily::kDbase, 0}));
  EXPECT_EQ(table->ColumnCount(), 10);  // _NullFlags is not user data
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenDbfTable(dir_ / "products.dbf", back).ok());
  EXPECT_EQ(back->Column(0).native_type, 'N');
  EXPECT_EQ(back->Column(5).native_type, 'N');
  size_t r = 0;
  for (back->First(); !back->Eof(); back->Next(), ++r) {
    for (int c = 0; c < 10; ++c) EXPECT_FLOAT_EQ(back->AsFloat(c), before[r][c]) << r << "," << c;
  }
  EXPECT_EQ(r, before.size());
}

// An independent reader must see what we wrote.
TEST_F(DbfWriteTest, PythonDbfreadReadsOurFiles) {
  std::string python;
  for (const char* candidate : {"python3", "/usr/bin/python3"}) {
    std::string cmd = std::string(candidate) + " -c \"import dbfread\" >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
      python = candidate;
      break;
    }
  }
  if (python.empty()) GTEST_SKIP() << "python3 with dbfread is not installed; oracle check skipped";
  for (TableFamily family : {TableFamily::kDbase, TableFamily::kFoxPro}) {
    const fs::path path = dir_ / (family == TableFamily::kDbase ? "d.dbf" : "f.dbf");
    std::unique_ptr<Table> table;
    ASSERT_TRUE(CreateDbfTable(path, {family, family == TableFamily::kFoxPro ? 25 : 0},
                               SampleColumns(), 1251, table)
                    .ok());
    Fill(*table);
    ASSERT_TRUE(table->Save().ok());
    const fs::path script = dir_ / "read.py";
    const fs::path out = dir_ / "out.json";
    {
      std::ofstream py(script);
      py << "import dbfread, json, sys, datetime\n"
            "t = dbfread.DBF(sys.argv[1], encoding='cp1251', char_decode_errors='strict')\n"
            "def conv(v):\n"
            "    if isinstance(v, (datetime.date,)): return v.isoformat()\n"
            "    return v\n"
            "json.dump({'fields': [[f.name, f.type, f.length, f.decimal_count] for f in "
            "t.fields],\n"
            "           'records': [[conv(v) for v in r.values()] for r in t]},\n"
            "          open(sys.argv[2], 'w'), ensure_ascii=False)\n";
    }
    const std::string cmd =
        python + " " + script.string() + " " + path.string() + " " + out.string() + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    JsonValue got;
    ASSERT_TRUE(JsonValue::Parse(text.str(), got));
    ASSERT_EQ(got["fields"].size(), 6u);
    EXPECT_EQ(got["fields"][0].ToString(), "[\"NAME\",\"C\",20,0]");
    EXPECT_EQ(got["fields"][1].ToString(), "[\"PRICE\",\"N\",8,2]");
    EXPECT_EQ(got["fields"][5][1].as_string(), "M");
    const JsonValue& records = got["records"];
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0][0].as_string(), "Иван");
    EXPECT_EQ(records[0][1].as_double(), 12.5);
    EXPECT_EQ(records[0][2].as_double(), 7);
    EXPECT_TRUE(records[0][3].as_bool());
    EXPECT_EQ(records[0][4].as_string(), "1961-04-12");
    EXPECT_EQ(records[0][5].as_string(), "первая\r\nстрока");
    EXPECT_TRUE(records[1][1].is_null());
    EXPECT_TRUE(records[1][4].is_null());
    EXPECT_TRUE(records[1][5].is_null() || records[1][5].as_string().empty());
    EXPECT_EQ(records[2][1].as_double(), -0.25);
    EXPECT_EQ(records[2][5].as_string(), std::string(600, 'x'));
  }
}

}  // namespace
}  // namespace velmar
