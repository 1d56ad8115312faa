#include "core/tables/table_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/tables/paradox_table.h"
#include "core/tables/table_factory.h"
#include "tests/support/column_def.h"
#include "tests/support/temp_dir.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

fs::path TempDir(const std::string& name) { return testing_support::FreshTempDir(name); }

using testing_support::Col;

TEST(FormatIndexTest, ExtensionAndLevelGiveTheFilterIndex) {
  const struct {
    const char* file;
    int level;
    int index;
  } kCases[] = {
      {"a.db", 3, 1},  {"a.DB", 4, 2},  {"a.Db", 5, 3},   {"a.db", 7, 4},
      {"a.db", 0, 1},  {"a.db", 25, 1}, {"a.dbf", 0, 5},  {"a.DBF", 25, 6},
      {"a.dbf", 7, 5}, {"a.txt", 7, 1}, {"noext", 25, 1}, {"x.db.dbf", 25, 6},
  };
  for (const auto& c : kCases) EXPECT_EQ(FormatIndex(c.file, c.level), c.index) << c.file;
}

TEST(FormatIndexTest, ConvertedCaptionCutsTheNameAtItsFirstPeriod) {
  const TableFormat paradox{TableFamily::kParadox, 7}, dbase{TableFamily::kDbase, 0};
  const struct {
    const char* caption;
    TableFormat format;
    const char* expected;
  } kCases[] = {
      {"/data/iris.db", dbase, "/data/iris.dbf"},
      {"/data/iris.dbf", paradox, "/data/iris.db"},
      {"/data/iris.backup.db", dbase, "/data/iris.dbf"},
      {"/data/iris", paradox, "/data/iris.db"},
      // A period in a folder name stays where it is.
      {"/home/j.smith/iris.db", dbase, "/home/j.smith/iris.dbf"},
      {"C:\\My.Data\\iris.DB", dbase, "C:\\My.Data\\iris.dbf"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ConvertedCaption(c.caption, c.format), c.expected) << c.caption;
  }
}

// A table with one column of each kind the six formats share, plus nulls.
std::unique_ptr<Table> MakeSource(const fs::path& path, int records) {
  std::unique_ptr<Table> t;
  Status s =
      CreateParadoxTable(path, {TableFamily::kParadox, 7},
                         {Col("Name", 'A', 12), Col("Small", 'S'), Col("Long", 'I'),
                          Col("Number", 'N'), Col("Money", '$'), Col("Day", 'D'), Col("Flag", 'L'),
                          Col("Notes", 'M', 20), Col("A rather long column name", 'N')},
                         1251, t);
  EXPECT_TRUE(s.ok()) << s.message();
  for (int r = 0; r < records; ++r) {
    EXPECT_TRUE(t->Append().ok());
    const bool null_row = r % 5 == 4;
    std::vector<Value> row = {std::string("Имя ") + std::to_string(r),
                              int64_t{r - 10},
                              int64_t{r * 1000003},
                              r * 0.125 - 3,
                              r * 1.25,
                              Date{1990 + r, 1 + r % 12, 1 + r % 28},
                              r % 2 == 1,
                              std::string(r * 7, 'n'),
                              double(r)};
    for (size_t c = 0; c < row.size(); ++c) {
      EXPECT_TRUE(t->SetValue(static_cast<int>(c), null_row && c > 0 ? Value{} : row[c]).ok());
    }
  }
  EXPECT_TRUE(t->Save().ok());
  return t;
}

double Number(const Value& v) {
  if (auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v)) return *d;
  if (auto* b = std::get_if<bool>(&v)) return *b;
  return NAN;
}

class ConvertTest : public testing::TestWithParam<int> {};

TEST_P(ConvertTest, KeepsNamesOrderRecordsAndNulls) {
  TableFormat format;
  ASSERT_TRUE(FormatFromIndex(GetParam(), format));
  const fs::path dir = TempDir("convert_" + std::to_string(GetParam()));
  auto source = MakeSource(dir / "source.db", 12);
  source->MoveTo(7);
  const bool paradox = format.family == TableFamily::kParadox;
  const fs::path target = dir / (paradox ? "target.db" : "target.dbf");
  std::unique_ptr<Table> out;
  Status s = ConvertTable(*source, target, format, out);
  if (format.level == 3) {
    // Memos need level 4, and the Cyrillic text has no place in 437.
    EXPECT_TRUE(s.IsUnsupported()) << s.message();
    EXPECT_NE(s.message().find("Notes"), std::string::npos) << s.message();
    EXPECT_FALSE(fs::exists(target));
    return;
  }
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(source->Position(), 7) << "the source's cursor is left where it was";
  EXPECT_EQ(out->Format(), format);
  EXPECT_EQ(out->Path(), target);
  EXPECT_FALSE(out->Modified());

  std::unique_ptr<Table> back;
  s = OpenTable(target, back);
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_EQ(back->ColumnCount(), source->ColumnCount());
  for (int c = 0; c < back->ColumnCount(); ++c) {
    const std::string& name = source->Column(c).name;
    EXPECT_EQ(back->Column(c).name, paradox || name.size() <= 10 ? name : name.substr(0, 10));
  }
  ASSERT_EQ(back->RecordCount(), 12);
  for (int r = 0; r < 12; ++r) {
    source->MoveTo(r);
    back->MoveTo(r);
    for (int c = 0; c < source->ColumnCount(); ++c) {
      SCOPED_TRACE("record " + std::to_string(r) + " column " + source->Column(c).name);
      const Value want = source->GetValue(c);
      const Value got = back->GetValue(c);
      if (IsNullValue(want)) {
        // dBase has no null text or memo; an empty value stands for it.
        EXPECT_TRUE(back->IsNull(c) || ValueText(got).empty());
        continue;
      }
      ASSERT_FALSE(back->IsNull(c));
      if (std::holds_alternative<std::string>(want) || std::holds_alternative<Date>(want)) {
        EXPECT_EQ(ValueText(got), ValueText(want));
      } else {
        EXPECT_EQ(Number(got), Number(want));
        EXPECT_EQ(back->AsFloat(c), source->AsFloat(c));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ConvertTest, testing::Range(1, 7));

TEST(ConvertTableTest, EmptyTableGivesEmptyTableWithTheSameFields) {
  const fs::path dir = TempDir("convert_empty");
  auto source = MakeSource(dir / "empty.db", 0);
  for (int index : {2, 5, 6}) {
    TableFormat format;
    ASSERT_TRUE(FormatFromIndex(index, format));
    const fs::path target =
        dir / (index < 5 ? std::string("e.db") : std::to_string(index) + ".dbf");
    std::unique_ptr<Table> out;
    Status s = ConvertTable(*source, target, format, out);
    ASSERT_TRUE(s.ok()) << s.message();
    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenTable(target, back).ok());
    EXPECT_EQ(back->RecordCount(), 0);
    EXPECT_EQ(back->ColumnCount(), source->ColumnCount());
  }
}

TEST(ConvertTableTest, ColumnsTheTargetCannotHoldAreRefusedAndNothingIsWritten) {
  const fs::path dir = TempDir("convert_refused");
  std::unique_ptr<Table> source;
  ASSERT_TRUE(CreateParadoxTable(dir / "blob.db", {TableFamily::kParadox, 7},
                                 {Col("Id", 'I'), Col("Picture", 'G', 10)}, 1252, source)
                  .ok());
  ASSERT_TRUE(source->Append().ok());
  ASSERT_TRUE(source->SetValue(1, Bytes(100, 1)).ok());
  for (int index : {1, 5, 6}) {
    TableFormat format;
    ASSERT_TRUE(FormatFromIndex(index, format));
    const fs::path target = dir / (index == 1 ? "t.db" : "t.dbf");
    std::unique_ptr<Table> out;
    Status s = ConvertTable(*source, target, format, out);
    EXPECT_TRUE(s.IsUnsupported()) << index;
    EXPECT_NE(s.message().find("Picture"), std::string::npos) << s.message();
    EXPECT_FALSE(fs::exists(target)) << index;
    EXPECT_EQ(out, nullptr);
  }
}

TEST(ConvertTableTest, CompanionNamesAreRefusedAsDestinations) {
  const fs::path dir = TempDir("convert_companion_names");
  auto source = MakeSource(dir / "src.db", 3);
  const struct {
    const char* name;
    int format;
  } kCases[] = {{"out.PX", 2},  {"out.mb", 2},  {"out.X02", 2}, {"out.yg0", 3},
                {"out.dbt", 5}, {"out.FPT", 6}, {"out.cdx", 6}};
  for (const auto& c : kCases) {
    TableFormat format;
    ASSERT_TRUE(FormatFromIndex(c.format, format));
    std::unique_ptr<Table> out;
    const Status s = ConvertTable(*source, dir / c.name, format, out);
    EXPECT_TRUE(s.IsInvalid()) << c.name;
    EXPECT_NE(s.message().find(c.name), std::string::npos) << s.message();
    EXPECT_FALSE(fs::exists(dir / c.name)) << c.name;
  }
}

TEST(ConvertTableTest, WritingTouchesOnlyTheNamesOfTheTableWritten) {
  const fs::path dir = TempDir("convert_case");
  auto write = [](const fs::path& path) { std::ofstream(path, std::ios::binary) << "other"; };
  auto read = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // Another keyed table's indexes, and another table's memo file.
  for (const char* name :
       {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06", "CALLS.DBF", "CALLS.FPT"}) {
    write(dir / name);
  }
  std::unique_ptr<Table> source;
  ASSERT_TRUE(CreateParadoxTable(dir / "notes.db", {TableFamily::kParadox, 7},
                                 {Col("Id", 'I'), Col("Note", 'M', 11)}, 1252, source)
                  .ok());
  ASSERT_TRUE(source->Append().ok());
  ASSERT_TRUE(source->SetValue(1, std::string(300, 'n')).ok());
  ASSERT_TRUE(source->Post().ok());
  TableFormat paradox, foxpro;
  ASSERT_TRUE(FormatFromIndex(4, paradox));
  ASSERT_TRUE(FormatFromIndex(6, foxpro));
  std::unique_ptr<Table> out;
  ASSERT_TRUE(ConvertTable(*source, dir / "customer.db", paradox, out).ok());
  ASSERT_TRUE(ConvertTable(*source, dir / "calls.dbf", foxpro, out).ok());
  for (const char* name :
       {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06", "CALLS.DBF", "CALLS.FPT"}) {
    EXPECT_EQ(read(dir / name), "other") << name;
  }
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenTable(dir / "calls.dbf", back).ok());
  EXPECT_EQ(std::get<std::string>(back->ValueAt(0, 1)), std::string(300, 'n'));
}

TEST(ConvertTableTest, LongNamesAreShortenedUniquely) {
  const fs::path dir = TempDir("convert_names");
  std::unique_ptr<Table> source;
  ASSERT_TRUE(CreateParadoxTable(dir / "n.db", {TableFamily::kParadox, 7},
                                 {Col("MEASUREMENT_A", 'N'), Col("MEASUREMENT_B", 'N'),
                                  Col("MEASUREME", 'N'), Col("MEASUREMEN", 'N')},
                                 1252, source)
                  .ok());
  std::vector<ColumnDef> columns;
  ASSERT_TRUE(ConvertedColumns(*source, {TableFamily::kDbase, 0}, columns).ok());
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0].name, "MEASUREM_1");
  EXPECT_EQ(columns[1].name, "MEASUREM_2");
  EXPECT_EQ(columns[2].name, "MEASUREME");
  EXPECT_EQ(columns[3].name, "MEASUREMEN");
}

// A carriage return opening a field name ends the field list for every
// reader; the column and those after it would vanish from the saved file.
TEST(ConvertTableTest, NameStartingWithCarriageReturnKeepsEveryColumn) {
  auto Named = [](const std::string& name) {
    ColumnDef d = Col(name, 'N', 5);
    d.kind = FieldKind::kFloat;
    return d;
  };
  const fs::path dir = TempDir("convert_cr_name");
  for (const TableFamily family : {TableFamily::kDbase, TableFamily::kFoxPro}) {
    const fs::path path = dir / (family == TableFamily::kDbase ? "d.dbf" : "f.dbf");
    std::unique_ptr<Table> created;
    ASSERT_TRUE(CreateTable(path, {family, 0}, {Named("\rA"), Named("B")}, 866, created).ok());
    ASSERT_TRUE(created->Append().ok());
    ASSERT_TRUE(created->SetValue(1, Value(7.0)).ok());
    ASSERT_TRUE(created->Post().ok());
    ASSERT_TRUE(created->Save().ok());
    std::unique_ptr<Table> reopened;
    ASSERT_TRUE(OpenTable(path, reopened).ok());
    ASSERT_EQ(reopened->ColumnCount(), 2);
    EXPECT_EQ(reopened->Column(0).name, "A");
    EXPECT_EQ(reopened->AsFloatAt(0, 1), 7.0f);
  }
}

TEST(ConvertTableTest, LowerParadoxLevelsTakeTheNearestNumericType) {
  const fs::path dir = TempDir("convert_levels");
  std::unique_ptr<Table> source;
  ASSERT_TRUE(CreateParadoxTable(dir / "s.db", {TableFamily::kParadox, 7},
                                 {Col("Long", 'I'), Col("Flag", 'L'), Col("Auto", '+'),
                                  Col("Clock", 'T'), Col("Exact", '#', 17, 3)},
                                 1252, source)
                  .ok());
  ASSERT_TRUE(source->Append().ok());
  ASSERT_TRUE(source->SetValue(0, int64_t{2147483647}).ok());
  ASSERT_TRUE(source->SetValue(1, true).ok());
  ASSERT_TRUE(source->SetValue(2, int64_t{7}).ok());
  ASSERT_TRUE(source->SetValue(3, TimeOfDay{3723004}).ok());
  ASSERT_TRUE(source->SetValue(4, 12.345).ok());
  std::unique_ptr<Table> out;
  Status s = ConvertTable(*source, dir / "l4.db", {TableFamily::kParadox, 4}, out);
  ASSERT_TRUE(s.ok()) << s.message();
  const char kTypes[] = {'N', 'S', 'N', 'A', 'N'};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(out->Column(c).native_type, kTypes[c]) << c;
  out->First();
  EXPECT_EQ(std::get<double>(out->GetValue(0)), 2147483647.0);
  EXPECT_EQ(std::get<int64_t>(out->GetValue(1)), 1);
  EXPECT_EQ(std::get<std::string>(out->GetValue(3)), "01:02:03.004");
  EXPECT_EQ(std::get<double>(out->GetValue(4)), 12.345);
}

TEST(ConvertTableTest, PlainSaveKeepsFormatAndName) {
  const fs::path orders = fs::path(VELMAR_SHARED_FIXTURES) / "paradox" / "ORDERS.DB";
  if (!fs::exists(orders)) GTEST_SKIP() << "shared Paradox fixtures not found";
  const fs::path dir = TempDir("convert_plain_save");
  fs::copy_file(orders, dir / "ORDERS.DB");
  // The shared fixtures are read-only, and a save never replaces such a file.
  fs::permissions(dir / "ORDERS.DB", fs::perms::owner_write, fs::perm_options::add);
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(dir / "ORDERS.DB", table).ok());
  const int records = table->RecordCount();
  ASSERT_EQ(FormatIndex(table->Path(), table->Format().level), 4);
  table->MoveTo(3);
  ASSERT_TRUE(table->SetValue(5, 99.5).ok());
  ASSERT_TRUE(table->Save().ok());
  EXPECT_EQ(table->Path(), dir / "ORDERS.DB");
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenTable(dir / "ORDERS.DB", back).ok());
  EXPECT_EQ(back->Format(), (TableFormat{TableFamily::kParadox, 7}));
  EXPECT_EQ(back->RecordCount(), records);
  back->MoveTo(3);
  EXPECT_EQ(std::get<double>(back->GetValue(5)), 99.5);
}

TEST(ConvertTableTest, SharedDataSetSurvivesTheRoundTripThroughDbase) {
  const fs::path iris = fs::path(VELMAR_SHARED_FIXTURES) / "datasets" / "iris_nulls.db";
  if (!fs::exists(iris)) GTEST_SKIP() << "shared data sets not found";
  const fs::path dir = TempDir("convert_iris");
  std::unique_ptr<Table> source, dbf, back;
  ASSERT_TRUE(OpenTable(iris, source).ok());
  ASSERT_TRUE(ConvertTable(*source, dir / "iris.dbf", {TableFamily::kDbase, 0}, dbf).ok());
  Status s = ConvertTable(*dbf, dir / "iris.db", {TableFamily::kParadox, 5}, back);
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_EQ(back->RecordCount(), 150);
  for (int r = 0; r < 150; ++r) {
    source->MoveTo(r);
    back->MoveTo(r);
    for (int c = 0; c < source->ColumnCount(); ++c) {
      EXPECT_EQ(back->IsNull(c), source->IsNull(c)) << r << " " << c;
      EXPECT_EQ(back->AsFloat(c), source->AsFloat(c)) << r << " " << c;
    }
  }
}

}  // namespace
}  // namespace velmar
