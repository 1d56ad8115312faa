#include "core/tables/dbf_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/table_dump.h"
#include "tests/support/json_value.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing_support::JsonValue;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Numbers compare by value, everything else exactly; `where` names the spot.
void ExpectSameJson(const JsonValue& want, const JsonValue& got, const std::string& where,
                    int& failures) {
  if (failures > 20) return;
  auto fail = [&](const std::string& what) {
    ++failures;
    ADD_FAILURE() << where << ": " << what << "\n  want " << want.ToString().substr(0, 300)
                  << "\n  got  " << got.ToString().substr(0, 300);
  };
  if (want.type() != got.type()) return fail("different types");
  switch (want.type()) {
    case JsonValue::Type::kNumber:
      if (want.as_double() != got.as_double()) fail("different numbers");
      return;
    case JsonValue::Type::kArray:
      if (want.size() != got.size()) return fail("different lengths");
      for (size_t i = 0; i < want.size(); ++i) {
        ExpectSameJson(want[i], got[i], where + "[" + std::to_string(i) + "]", failures);
      }
      return;
    case JsonValue::Type::kObject: {
      std::set<std::string> a(want.keys().begin(), want.keys().end());
      std::set<std::string> b(got.keys().begin(), got.keys().end());
      if (a != b) return fail("different keys");
      for (const auto& k : want.keys()) ExpectSameJson(want[k], got[k], where + "." + k, failures);
      return;
    }
    default:
      if (want.ToString() != got.ToString()) fail("different values");
  }
}

std::vector<fs::path> DbfFixtures() {
  std::vector<fs::path> out;
  const fs::path dir = fs::path(VELMAR_SHARED_FIXTURES) / "dbf";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 14 && name.ends_with(".expected.json")) out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(DbfFixtureTest, EveryTableMatchesItsExpectedDump) {
  const auto expected_files = DbfFixtures();
  if (expected_files.empty())
    GTEST_SKIP() << "shared DBF fixtures not found in " << VELMAR_SHARED_FIXTURES;
  for (const fs::path& expected_path : expected_files) {
    JsonValue want;
    std::string error;
    ASSERT_TRUE(JsonValue::Parse(ReadText(expected_path), want, &error)) << error;
    const fs::path table_path = expected_path.parent_path() / want["file"].as_string();
    SCOPED_TRACE(table_path.filename().string());
    std::unique_ptr<Table> table;
    Status s = OpenDbfTable(table_path, table);
    ASSERT_TRUE(s.ok()) << s.message();
    JsonValue got;
    const std::string dump = DumpTableJson(*table);
    ASSERT_TRUE(JsonValue::Parse(dump, got, &error)) << error << "\n" << dump.substr(0, 2000);
    int failures = 0;
    for (const auto& key : want.keys()) {
      if (key == "notes") continue;
      ExpectSameJson(want[key], got[key], key, failures);
    }
  }
}

// The generated data sets: column layout and per-column statistics.
TEST(DbfFixtureTest, DataSetTablesMatchTheirStatistics) {
  const fs::path dir = fs::path(VELMAR_SHARED_FIXTURES) / "datasets";
  if (!fs::exists(dir / "expected.json")) GTEST_SKIP() << "shared data sets not found";
  JsonValue expected;
  ASSERT_TRUE(JsonValue::Parse(ReadText(dir / "expected.json"), expected));
  int checked = 0;
  const JsonValue& files = expected["files"];
  for (size_t f = 0; f < files.size(); ++f) {
    const std::string name = files.keys()[f];
    if (!name.ends_with(".dbf")) continue;
    SCOPED_TRACE(name);
    const JsonValue& want = files[f];
    std::unique_ptr<Table> table;
    Status s = OpenDbfTable(dir / name, table);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_EQ(table->RecordCount(), want["record_count"].as_double());
    ASSERT_EQ(static_cast<size_t>(table->ColumnCount()), want["columns"].size());
    for (int c = 0; c < table->ColumnCount(); ++c) {
      const JsonValue& col = want["columns"][c];
      const JsonValue& stats = want["stats"][c];
      EXPECT_EQ(table->Column(c).name, col["name"].as_string());
      EXPECT_EQ(std::string(1, table->Column(c).native_type), col["type"].as_string());
      EXPECT_EQ(table->Column(c).length, col["length"].as_double());
      EXPECT_EQ(table->Column(c).decimals, col["decimals"].as_double());
      int non_null = 0;
      double sum = 0, lo = INFINITY, hi = -INFINITY;
      std::set<std::string> distinct;
      for (table->First(); !table->Eof(); table->Next()) {
        if (table->IsNull(c)) continue;
        ++non_null;
        Value v = table->GetValue(c);
        if (stats["numeric"].as_bool()) {
          const double x = std::get<double>(v);
          sum += x;
          lo = std::min(lo, x);
          hi = std::max(hi, x);
          EXPECT_FLOAT_EQ(table->AsFloat(c), static_cast<float>(x));
          distinct.insert(table->ValueJson(c));
        } else {
          distinct.insert(std::get<std::string>(v));
        }
      }
      EXPECT_EQ(non_null, stats["non_null"].as_double());
      EXPECT_EQ(distinct.size(), stats["distinct_count"].as_double());
      if (stats["numeric"].as_bool()) {
        EXPECT_EQ(lo, stats["min"].as_double());
        EXPECT_EQ(hi, stats["max"].as_double());
        EXPECT_NEAR(sum / non_null, stats["mean"].as_double(), 1e-9);
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, 8);
}

TEST(DbfFixtureTest, CursorNullsAndFloatsFollowTheEngineRules) {
  const fs::path dir = fs::path(VELMAR_SHARED_FIXTURES) / "dbf";
  if (!fs::exists(dir / "dbase_31.dbf")) GTEST_SKIP() << "shared DBF fixtures not found";
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenDbfTable(dir / "dbase_31.dbf", table).ok());
  // PRODUCTID I, UNITPRICE Y, DISCONTINU L.
  EXPECT_EQ(table->Column(0).kind, FieldKind::kInteger);
  EXPECT_EQ(table->Column(5).kind, FieldKind::kCurrency);
  EXPECT_EQ(table->Column(9).kind, FieldKind::kBoolean);
  table->MoveTo(4);
  EXPECT_EQ(table->RecordNumber(), 5);
  EXPECT_FLOAT_EQ(table->AsFloat(0), 5.0f);
  EXPECT_FLOAT_EQ(table->AsFloat(5), 21.35f);
  EXPECT_FLOAT_EQ(table->AsFloat(9), 1.0f);
  EXPECT_EQ(std::get<double>(table->GetValue(5)), 21.35);
  const Table::Mark mark = table->MarkPosition();
  int walked = 0;
  table->SuspendViews();
  for (table->First(); !table->Eof(); table->Next()) ++walked;
  table->ResumeViews();
  EXPECT_EQ(walked, 77);
  table->ReturnToMark(mark);
  EXPECT_EQ(table->RecordNumber(), 5);

  // Deleted records are skipped but keep their numbers in the file.
  ASSERT_TRUE(OpenDbfTable(dir / "FOXPRO-DB-TEST.DBC", table).ok());
  EXPECT_EQ(table->RecordCount(), 56);
  table->MoveTo(51);
  EXPECT_EQ(table->RecordNumber(), 53);
}

TEST(DbfFixtureTest, MissingMemoFileLeavesMemoColumnsNull) {
  const fs::path dir = fs::path(VELMAR_SHARED_FIXTURES) / "dbf";
  if (!fs::exists(dir / "dbase_83_missing_memo.dbf"))
    GTEST_SKIP() << "shared DBF fixtures not found";
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenDbfTable(dir / "dbase_83_missing_memo.dbf", table).ok());
  int memo = -1;
  for (int c = 0; c < table->ColumnCount(); ++c) {
    if (table->Column(c).kind == FieldKind::kMemo) memo = c;
  }
  ASSERT_GE(memo, 0);
  for (table->First(); !table->Eof(); table->Next()) {
    EXPECT_TRUE(table->IsNull(memo));
    EXPECT_FALSE(table->IsNull(0));
  }
}

}  // namespace
}  // namespace velmar
