#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/paradox_table.h"
#include "tests/support/column_def.h"
#include "tests/support/temp_dir.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

fs::path TempDir(const std::string& name) { return testing_support::FreshTempDir(name); }

using testing_support::Col;

struct TypedColumn {
  ColumnDef def;
  int min_level;
  std::vector<Value> values;  // one per record; null included
};

std::vector<TypedColumn> AllTypes() {
  const std::string long_text(3000, 'x');
  return {
      {Col("Name", 'A', 20), 3, {std::string("Ёлка"), Value{}, std::string("x y  ")}},
      {Col("Small", 'S'), 3, {int64_t{-32767}, int64_t{32767}, Value{}}},
      {Col("Number", 'N'), 3, {-1.5e-300, 0.0, 123456.789}},
      {Col("Money", '$'), 3, {0.01, Value{}, -42.25}},
      {Col("Day", 'D'), 3, {Date{1, 1, 1}, Date{2024, 2, 29}, Value{}}},
      {Col("Memo", 'M', 15), 4, {std::string("short"), long_text + "Ж", Value{}}},
      {Col("Blob", 'B', 10), 4, {Bytes{0, 1, 2}, Value{}, Bytes(5000, 0xAB)}},
      {Col("Graphic", 'G', 20), 4, {Value{}, Bytes(9, 7), Bytes(4200, 1)}},
      {Col("Long", 'I'), 5, {int64_t{-2147483647}, int64_t{2147483647}, Value{}}},
      {Col("Flag", 'L'), 5, {true, false, Value{}}},
      {Col("Clock", 'T'), 5, {TimeOfDay{0}, TimeOfDay{86399999}, Value{}}},
      {Col("Stamp", '@'),
       5,
       {Timestamp{Date{1999, 12, 31}, 86399000}, Value{}, Timestamp{Date{2020, 2, 1}, 3601000}}},
      {Col("Counter", '+'), 5, {int64_t{1}, int64_t{2}, int64_t{3}}},
      {Col("Exact", '#', 17, 2), 5, {1.25, -1000000.5, Value{}}},
      {Col("Raw", 'Y', 6), 5, {Bytes{1, 2, 3, 0, 0, 0}, Value{}, Bytes{0, 0, 0, 0, 0, 9}}},
  };
}

void ExpectSameValue(const Value& got, const Value& want, const std::string& where) {
  if (auto* b = std::get_if<Bytes>(&want);
      b && b->size() < 6 && std::holds_alternative<Bytes>(got)) {
    // Bytes fields come back at their full width.
    Bytes padded = *b;
    padded.resize(std::get<Bytes>(got).size(), 0);
    EXPECT_EQ(std::get<Bytes>(got), padded) << where;
    return;
  }
  EXPECT_EQ(got, want) << where;
}

class ParadoxLevelTest : public testing::TestWithParam<int> {};

TEST_P(ParadoxLevelTest, WritesAndReadsBackEveryTypeOfTheLevel) {
  const int level = GetParam();
  const fs::path dir = TempDir("paradox_level_" + std::to_string(level));
  std::vector<TypedColumn> columns;
  for (auto& c : AllTypes()) {
    if (c.min_level <= level) columns.push_back(c);
  }
  std::vector<ColumnDef> defs;
  for (auto& c : columns) defs.push_back(c.def);
  const int code_page = level == 3 ? 437 : 1251;
  if (level == 3) columns[0].values[0] = std::string("Abc");
  std::unique_ptr<Table> table;
  const fs::path path = dir / "ALL.DB";
  ASSERT_TRUE(
      CreateParadoxTable(path, {TableFamily::kParadox, level}, defs, code_page, table).ok());
  for (int r = 0; r < 3; ++r) {
    ASSERT_TRUE(table->Append().ok());
    for (size_t c = 0; c < columns.size(); ++c) {
      Status s = table->SetValue(static_cast<int>(c), columns[c].values[r]);
      ASSERT_TRUE(s.ok()) << defs[c].name << ": " << s.message();
    }
  }
  EXPECT_TRUE(table->Modified());
  EXPECT_FALSE(fs::exists(path)) << "nothing is written before Save";
  ASSERT_TRUE(table->Save().ok());
  EXPECT_FALSE(table->Modified());
  EXPECT_EQ(fs::exists(dir / "ALL.MB"), level >= 4);

  std::unique_ptr<Table> back;
  Status s = OpenParadoxTable(path, back);
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(back->Format(), (TableFormat{TableFamily::kParadox, level}));
  EXPECT_EQ(back->CodePage(), code_page);
  ASSERT_EQ(back->ColumnCount(), static_cast<int>(columns.size()));
  ASSERT_EQ(back->RecordCount(), 3);
  for (size_t c = 0; c < columns.size(); ++c) {
    EXPECT_EQ(back->Column(c).name, defs[c].name);
    EXPECT_EQ(back->Column(c).native_type, defs[c].native_type);
  }
  int r = 0;
  for (back->First(); !back->Eof(); back->Next(), ++r) {
    for (size_t c = 0; c < columns.size(); ++c) {
      const std::string where = defs[c].name + " record " + std::to_string(r);
      ExpectSameValue(back->GetValue(static_cast<int>(c)), columns[c].values[r], where);
      EXPECT_EQ(back->IsNull(static_cast<int>(c)), IsNullValue(columns[c].values[r])) << where;
    }
  }
  // A second save of the unchanged table gives the same bytes.
  std::vector<uint8_t> first, second;
  ASSERT_TRUE(ReadFileBytes(path, first).ok());
  ASSERT_TRUE(back->Save().ok());
  ASSERT_TRUE(ReadFileBytes(path, second).ok());
  EXPECT_EQ(first, second);
}

INSTANTIATE_TEST_SUITE_P(Levels, ParadoxLevelTest, testing::Values(3, 4, 5, 7));

TEST(ParadoxWriteTest, ValuesTheColumnCannotHoldAreRefused) {
  std::unique_ptr<Table> table;
  ASSERT_TRUE(CreateParadoxTable(TempDir("paradox_refuse") / "r.db", {TableFamily::kParadox, 7},
                                 {Col("A", 'A', 3), Col("S", 'S'), Col("I", 'I'), Col("D", 'D'),
                                  Col("L", 'L'), Col("T", 'T'), Col("Y", 'Y', 2)},
                                 1252, table)
                  .ok());
  ASSERT_TRUE(table->Append().ok());
  const struct {
    int column;
    Value value;
  } kRefused[] = {
      {0, std::string("abcd")},  // too long
      {0, std::string("Жук")},   // not in cp1252
      {1, int64_t{-32768}},      // would read back as null
      {1, int64_t{40000}},
      {1, 1.5},
      {2, int64_t{1} << 40},
      {3, Date{2023, 2, 29}},
      {3, std::string("2023-13-01")},
      {4, int64_t{2}},
      {5, TimeOfDay{86400000}},
      {6, Bytes{1, 2, 3}},
  };
  for (const auto& c : kRefused) {
    EXPECT_FALSE(table->SetValue(c.column, c.value).ok()) << c.column;
    EXPECT_TRUE(table->IsNull(c.column)) << "a refused value leaves the field as it was";
  }
  EXPECT_TRUE(table->SetValue(1, std::string(" 12 ")).ok());
  EXPECT_EQ(std::get<int64_t>(table->GetValue(1)), 12);
  EXPECT_TRUE(table->SetValue(3, std::string("2024-02-29")).ok());
  EXPECT_EQ(std::get<Date>(table->GetValue(3)), (Date{2024, 2, 29}));
}

TEST(ParadoxWriteTest, CreateRefusesBadDefinitions) {
  const fs::path p = TempDir("paradox_bad_defs") / "t.db";
  const struct {
    const char* what;
    int level;
    std::vector<ColumnDef> columns;
  } kCases[] = {
      {"no columns", 7, {}},
      {"unknown type", 7, {Col("X", 'Q')}},
      {"Long at level 4", 4, {Col("X", 'I')}},
      {"memo at level 3", 3, {Col("X", 'M', 20)}},
      {"name too long", 7, {Col("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 'N')}},
      {"duplicate names", 7, {Col("Same", 'N'), Col("SAME", 'S')}},
      {"alpha too wide", 7, {Col("X", 'A', 256)}},
      {"blob without leader room", 7, {Col("X", 'M', 10)}},
      {"bcd decimals", 7, {Col("X", '#', 17, 33)}},
      {"level 6", 6, {Col("X", 'N')}},
  };
  for (const auto& c : kCases) {
    std::unique_ptr<Table> table;
    Status s = CreateParadoxTable(p, {TableFamily::kParadox, c.level}, c.columns, 1252, table);
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_EQ(table, nullptr) << c.what;
  }
}

TEST(ParadoxWriteTest, EditsStayInMemoryUntilSave) {
  const fs::path dir = TempDir("paradox_edits");
  const fs::path path = dir / "e.db";
  std::unique_ptr<Table> table;
  ASSERT_TRUE(CreateParadoxTable(path, {TableFamily::kParadox, 5},
                                 {Col("K", 'I'), Col("M", 'M', 11)}, 1252, table)
                  .ok());
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(table->Append().ok());
    ASSERT_TRUE(table->SetValue(0, int64_t{i}).ok());
    ASSERT_TRUE(table->SetValue(1, std::string(100 * i, char('a' + i))).ok());
  }
  ASSERT_TRUE(table->Save().ok());
  std::vector<uint8_t> saved;
  ASSERT_TRUE(ReadFileBytes(path, saved).ok());

  table->MoveTo(1);
  ASSERT_TRUE(table->Delete().ok());  // removes 2
  EXPECT_EQ(table->Position(), 1);
  ASSERT_TRUE(table->Insert().ok());  // blank before 3
  ASSERT_TRUE(table->SetValue(0, int64_t{10}).ok());
  table->MoveTo(4);
  ASSERT_TRUE(table->SetValue(1, std::string("changed")).ok());
  std::vector<uint8_t> unchanged;
  ASSERT_TRUE(ReadFileBytes(path, unchanged).ok());
  EXPECT_EQ(saved, unchanged);

  ASSERT_TRUE(table->SaveAs(dir / "copy.db", {TableFamily::kParadox, 7}).ok());
  EXPECT_EQ(table->Path(), dir / "copy.db");
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenParadoxTable(dir / "copy.db", back).ok());
  EXPECT_EQ(back->Format().level, 7);
  const std::vector<int64_t> keys = {1, 10, 3, 4, 5};
  ASSERT_EQ(back->RecordCount(), 5);
  for (int r = 0; r < 5; ++r) {
    back->MoveTo(r);
    EXPECT_EQ(std::get<int64_t>(back->GetValue(0)), keys[r]);
  }
  back->MoveTo(1);
  EXPECT_TRUE(back->IsNull(1));
  back->MoveTo(3);
  EXPECT_EQ(std::get<std::string>(back->GetValue(1)), std::string(400, 'e'));
  back->MoveTo(4);
  EXPECT_EQ(std::get<std::string>(back->GetValue(1)), "changed");
}

TEST(ParadoxWriteTest, NewRecordsTakeTheNextAutoincrementNumber) {
  std::unique_ptr<Table> table;
  ASSERT_TRUE(CreateParadoxTable(TempDir("paradox_autoinc") / "a.db", {TableFamily::kParadox, 7},
                                 {Col("Id", '+'), Col("V", 'N')}, 1252, table)
                  .ok());
  ASSERT_TRUE(table->Append().ok());
  EXPECT_EQ(std::get<int64_t>(table->GetValue(0)), 1);
  ASSERT_TRUE(table->SetValue(0, int64_t{40}).ok());
  ASSERT_TRUE(table->Append().ok());
  EXPECT_EQ(std::get<int64_t>(table->GetValue(0)), 41);
  table->First();
  ASSERT_TRUE(table->Insert().ok());
  EXPECT_EQ(std::get<int64_t>(table->GetValue(0)), 42);
  ASSERT_TRUE(table->SetValue(0, Value{}).ok());
  EXPECT_TRUE(table->IsNull(0));
}

TEST(ParadoxWriteTest, LevelThreeKeepsOnlyCp437Text) {
  const fs::path dir = TempDir("paradox_cp437");
  std::unique_ptr<Table> table;
  ASSERT_TRUE(
      CreateParadoxTable(dir / "t.db", {TableFamily::kParadox, 5}, {Col("A", 'A', 10)}, 1251, table)
          .ok());
  ASSERT_TRUE(table->Append().ok());
  ASSERT_TRUE(table->SetValue(0, std::string("Дом")).ok());
  Status s = table->SaveAs(dir / "t3.db", {TableFamily::kParadox, 3});
  EXPECT_FALSE(s.ok()) << "Cyrillic has no place in code page 437";
  EXPECT_FALSE(fs::exists(dir / "t3.db"));
  ASSERT_TRUE(table->SetValue(0, std::string("Café")).ok() == false);  // not in cp1251
  ASSERT_TRUE(table->SetValue(0, std::string("Plain")).ok());
  ASSERT_TRUE(table->SaveAs(dir / "t3.db", {TableFamily::kParadox, 3}).ok());
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenParadoxTable(dir / "t3.db", back).ok());
  EXPECT_EQ(back->CodePage(), 437);
  back->First();
  EXPECT_EQ(std::get<std::string>(back->GetValue(0)), "Plain");
}

}  // namespace
}  // namespace velmar
