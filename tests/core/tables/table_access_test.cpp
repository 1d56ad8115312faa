// What the rest of the system relies on from every table: numeric categories,
// the float conversion, and the save operations the table editor is built on.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/dbf_table.h"
#include "core/tables/paradox_table.h"
#include "core/tables/table_convert.h"
#include "core/tables/table_factory.h"
#include "tests/support/column_def.h"
#include "tests/support/json_value.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing_support::JsonValue;

fs::path TempDir(const std::string& name) {
  fs::path dir = fs::path(testing::TempDir()) / ("access_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

fs::path Shared() { return fs::path(VELMAR_SHARED_FIXTURES); }

using testing_support::Col;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<uint8_t> Bytes_(const fs::path& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(path, bytes).ok()) << path;
  return bytes;
}

// A Visual FoxPro table built byte by byte: one record, one column per
// (name, type, length, decimals, stored bytes).
struct VfpColumn {
  const char* name;
  char type;
  int length;
  int decimals;
  std::vector<uint8_t> stored;
};

void WriteVfpTable(const fs::path& path, const std::vector<VfpColumn>& columns) {
  const int header_size = 32 + 32 * static_cast<int>(columns.size()) + 1 + 263;
  int record_size = 1;
  for (const auto& c : columns) record_size += c.length;
  std::vector<uint8_t> file(static_cast<size_t>(header_size), 0);
  file[0] = 0x30;
  file[4] = 1;
  file[8] = static_cast<uint8_t>(header_size);
  file[9] = static_cast<uint8_t>(header_size >> 8);
  file[10] = static_cast<uint8_t>(record_size);
  file[11] = static_cast<uint8_t>(record_size >> 8);
  file[29] = 0x03;
  int offset = 1;
  for (size_t i = 0; i < columns.size(); ++i) {
    uint8_t* d = file.data() + 32 + 32 * i;
    std::memcpy(d, columns[i].name, std::strlen(columns[i].name));
    d[11] = static_cast<uint8_t>(columns[i].type);
    d[12] = static_cast<uint8_t>(offset);
    d[16] = static_cast<uint8_t>(columns[i].length);
    d[17] = static_cast<uint8_t>(columns[i].decimals);
    offset += columns[i].length;
  }
  file[32 + 32 * columns.size()] = 0x0D;
  file.push_back(' ');
  for (const auto& c : columns) file.insert(file.end(), c.stored.begin(), c.stored.end());
  file.push_back(0x1A);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

template <typename T>
std::vector<uint8_t> LittleEndian(T value) {
  std::vector<uint8_t> out(sizeof value);
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

// --- Numeric categories and the float conversion ---

// Every numeric column of every shared fixture: AsFloat is the float of the
// value the independent readers found, 0 for a null, and nulls are nulls.
TEST(NumericAccessTest, AsFloatOfEveryFixtureColumnFollowsTheReferenceDump) {
  std::vector<fs::path> dumps;
  std::error_code ec;
  for (const fs::path& dir : {Shared() / "paradox", Shared() / "paradox" / "areas",
                              Shared() / "dbf", Shared() / "datasets"}) {
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      const std::string name = e.path().filename().string();
      if (name.ends_with(".expected.json") && name != "expected.json") dumps.push_back(e.path());
    }
  }
  if (dumps.empty()) GTEST_SKIP() << "shared fixtures not found at " << Shared();
  int numeric_columns = 0;
  for (const fs::path& dump_path : dumps) {
    SCOPED_TRACE(dump_path.filename().string());
    JsonValue dump;
    ASSERT_TRUE(JsonValue::Parse(ReadText(dump_path), dump));
    if (dump["expect"].is_string() || !dump.has("records")) continue;
    std::unique_ptr<Table> table;
    Status s = OpenTable(dump_path.parent_path() / dump["file"].as_string(), table);
    ASSERT_TRUE(s.ok()) << s.message();
    const JsonValue& columns = dump["columns"];
    const JsonValue& records = dump["records"];
    ASSERT_EQ(table->ColumnCount(), static_cast<int>(columns.size()));
    ASSERT_EQ(table->RecordCount(), static_cast<int>(records.size()));
    for (int c = 0; c < table->ColumnCount(); ++c) {
      const std::string category = columns[c]["category"].as_string();
      ASSERT_EQ(CategoryName(CategoryOf(table->Column(c).kind)), category) << c;
      if (category == "non-numeric") continue;
      ++numeric_columns;
      int r = 0;
      int failures = 0;
      for (table->First(); !table->Eof() && failures < 5; table->Next(), ++r) {
        const JsonValue& want = records[r][c];
        float expected = 0;
        if (want.is_bool()) expected = want.as_bool() ? 1.0f : 0.0f;
        if (want.is_number()) expected = static_cast<float>(want.as_double());
        const bool ok = table->IsNull(c) == want.is_null() && table->AsFloat(c) == expected;
        if (!ok) ++failures;
        EXPECT_TRUE(ok) << "column " << columns[c]["name"].as_string() << " record " << r
                        << ": AsFloat " << table->AsFloat(c) << ", want " << want.ToString();
      }
    }
  }
  EXPECT_GT(numeric_columns, 60);
}

// The type mapping of both formats, column by column: the kind a stored
// type becomes, its category, and what AsFloat makes of a sample value.
TEST(NumericAccessTest, EveryStoredTypeHasItsCategoryAndConversion) {
  const fs::path dir = TempDir("types");
  struct Case {
    ColumnDef def;
    Value value;
    const char* category;
    float as_float;
  };
  const std::vector<Case> paradox = {
      {Col("Alpha", 'A', 8), std::string("12"), "non-numeric", 0},
      {Col("Short", 'S'), int64_t{-32767}, "numeric-smallint", -32767},
      {Col("Long", 'I'), int64_t{2147483647}, "numeric-integer", 2147483648.0f},
      {Col("Number", 'N'), 0.1, "numeric-float", 0.1f},
      {Col("Money", '$'), 1234.56, "numeric-currency", 1234.56f},
      {Col("Flag", 'L'), true, "numeric-boolean", 1},
      {Col("Off", 'L'), false, "numeric-boolean", 0},
      {Col("Day", 'D'), Date{2020, 1, 2}, "non-numeric", 0},
      {Col("Clock", 'T'), TimeOfDay{5000}, "non-numeric", 0},
      {Col("Stamp", '@'), Timestamp{Date{2020, 1, 2}, 5000}, "non-numeric", 0},
      {Col("Counter", '+'), int64_t{5}, "non-numeric", 0},
      {Col("Exact", '#', 17, 2), 2.5, "non-numeric", 0},
      {Col("Memo", 'M', 11), std::string("9"), "non-numeric", 0},
      {Col("Raw", 'Y', 2), Bytes{1, 2}, "non-numeric", 0},
  };
  std::vector<ColumnDef> defs;
  for (const auto& c : paradox) defs.push_back(c.def);
  std::unique_ptr<Table> table;
  ASSERT_TRUE(
      CreateParadoxTable(dir / "types.db", {TableFamily::kParadox, 7}, defs, 1252, table).ok());
  ASSERT_TRUE(table->Append().ok());
  for (size_t c = 0; c < paradox.size(); ++c) {
    ASSERT_TRUE(table->SetValue(static_cast<int>(c), paradox[c].value).ok()) << c;
  }
  ASSERT_TRUE(table->Save().ok());
  ASSERT_TRUE(OpenTable(dir / "types.db", table).ok());
  for (size_t c = 0; c < paradox.size(); ++c) {
    const int col = static_cast<int>(c);
    EXPECT_EQ(CategoryName(CategoryOf(table->Column(col).kind)), std::string(paradox[c].category))
        << defs[c].name;
    EXPECT_EQ(table->AsFloat(col), paradox[c].as_float) << defs[c].name;
  }

  WriteVfpTable(dir / "vfp.dbf", {{"TEXT", 'C', 3, 0, {'4', '2', ' '}},
                                  {"NUMBER", 'N', 6, 2, {' ', '-', '1', '.', '2', '5'}},
                                  {"FLOAT", 'F', 4, 0, {' ', ' ', '1', '7'}},
                                  {"INT", 'I', 4, 0, LittleEndian<int32_t>(-7)},
                                  {"DOUBLE", 'B', 8, 3, LittleEndian<double>(0.1)},
                                  {"MONEY", 'Y', 8, 4, LittleEndian<int64_t>(12345678)},
                                  {"FLAG", 'L', 1, 0, {'Y'}},
                                  {"DAY", 'D', 8, 0, {'2', '0', '2', '0', '0', '1', '0', '2'}},
                                  {"STAMP", 'T', 8, 0, LittleEndian<int64_t>(2458851)}});
  const struct {
    const char* category;
    float as_float;
  } kVfp[] = {{"non-numeric", 0},      {"numeric-float", -1.25f}, {"numeric-float", 17},
              {"numeric-integer", -7}, {"numeric-float", 0.1f},   {"numeric-currency", 1234.5678f},
              {"numeric-boolean", 1},  {"non-numeric", 0},        {"non-numeric", 0}};
  Status s = OpenTable(dir / "vfp.dbf", table);
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_EQ(table->ColumnCount(), 9);
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(CategoryName(CategoryOf(table->Column(c).kind)), std::string(kVfp[c].category))
        << table->Column(c).name;
    EXPECT_EQ(table->AsFloat(c), kVfp[c].as_float) << table->Column(c).name;
  }
}

// A logical byte other than the two the format writes is read one way by
// GetValue and AsFloat alike.
TEST(NumericAccessTest, ParadoxLogicalAsFloatAgreesWithItsValue) {
  const fs::path dir = TempDir("logical");
  std::unique_ptr<Table> table;
  ASSERT_TRUE(
      CreateParadoxTable(dir / "l.db", {TableFamily::kParadox, 7}, {Col("Flag", 'L')}, 1252, table)
          .ok());
  ASSERT_TRUE(table->Append().ok());
  ASSERT_TRUE(table->SetValue(0, true).ok());
  ASSERT_TRUE(table->Save().ok());
  std::vector<uint8_t> bytes = Bytes_(dir / "l.db");
  const size_t header = bytes[2] | bytes[3] << 8;
  for (uint8_t stored : {uint8_t{0x80}, uint8_t{0x81}, uint8_t{0x01}, uint8_t{0xFF}}) {
    bytes[header + 6] = stored;
    ASSERT_TRUE(WriteFileAtomically(dir / "l.db", bytes).ok());
    ASSERT_TRUE(OpenTable(dir / "l.db", table).ok());
    const Value v = table->GetValue(0);
    ASSERT_TRUE(std::holds_alternative<bool>(v)) << int{stored};
    EXPECT_EQ(table->AsFloat(0), std::get<bool>(v) ? 1.0f : 0.0f) << int{stored};
  }
}

// --- Saving ---

// The indexes beside a Paradox table describe the file as it was; a save
// writes the table unkeyed and without indexes, so the ones of the name it
// wrote go, and nothing else does.
TEST(TableSaveTest, ParadoxSaveRemovesTheStaleIndexesOfTheTableItWrote) {
  const fs::path src = Shared() / "paradox";
  if (!fs::exists(src / "CUSTOMER.DB")) GTEST_SKIP() << "shared Paradox fixtures not found";
  const fs::path dir = TempDir("stale_indexes");
  for (const char* name :
       {"CUSTOMER.DB", "CUSTOMER.MB", "CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06"}) {
    fs::copy_file(src / name, dir / name);
    // The shared fixtures are read-only, and a save never replaces such a file.
    fs::permissions(dir / name, fs::perms::owner_write, fs::perm_options::add);
  }
  for (const char* name : {"CUSTOMER.VAL", "customer.xg0", "CUSTOMER.YG1", "CUSTOMER2.PX",
                           "CUSTOMER.X6", "CUSTOMER.XLS", "NEW.PX", "NEW.Y02", "NEW3.PX"}) {
    std::ofstream(dir / name) << "x";
  }
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(dir / "CUSTOMER.DB", table).ok());
  const std::vector<uint8_t> before = Bytes_(dir / "CUSTOMER.DB");

  // A refused save removes nothing.
  EXPECT_FALSE(table->SaveAs(dir / "NEW3.DB", {TableFamily::kParadox, 3}).ok());
  EXPECT_TRUE(fs::exists(dir / "NEW3.PX"));

  // Save As: the new name's leftovers go; the old table keeps its files.
  ASSERT_TRUE(table->SaveAs(dir / "NEW.DB", {TableFamily::kParadox, 7}).ok());
  EXPECT_FALSE(fs::exists(dir / "NEW.PX"));
  EXPECT_FALSE(fs::exists(dir / "NEW.Y02"));
  EXPECT_EQ(Bytes_(dir / "CUSTOMER.DB"), before);
  for (const char* name : {"CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06", "customer.xg0"}) {
    EXPECT_TRUE(fs::exists(dir / name)) << name;
  }

  ASSERT_TRUE(OpenTable(dir / "CUSTOMER.DB", table).ok());
  const int records = table->RecordCount();
  ASSERT_TRUE(table->Save().ok());
  for (const char* name : {"CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06", "CUSTOMER.YG1"}) {
    EXPECT_FALSE(fs::exists(dir / name)) << name;
  }
  // The name in other letters belongs to another table.
  for (const char* name : {"CUSTOMER.MB", "CUSTOMER.VAL", "CUSTOMER2.PX", "CUSTOMER.X6",
                           "CUSTOMER.XLS", "NEW.DB", "NEW3.PX", "customer.xg0"}) {
    EXPECT_TRUE(fs::exists(dir / name)) << name;
  }
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenTable(dir / "CUSTOMER.DB", back).ok());
  EXPECT_EQ(back->RecordCount(), records);
}

// --- Conversion between the families ---

double Number(const Value& v) {
  if (auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v)) return *d;
  return -999;
}

// Times and timestamps have no dBase or FoxPro 2 type: they travel as text.
TEST(TableConvertTest, ParadoxTimesReachDbaseAndFoxProAsText) {
  const fs::path dir = TempDir("times");
  std::unique_ptr<Table> source;
  ASSERT_TRUE(CreateParadoxTable(dir / "t.db", {TableFamily::kParadox, 7},
                                 {Col("Clock", 'T'), Col("Stamp", '@'), Col("Money", '$'),
                                  Col("Exact", '#', 17, 3)},
                                 1252, source)
                  .ok());
  ASSERT_TRUE(source->Append().ok());
  ASSERT_TRUE(source->SetValue(0, TimeOfDay{3723004}).ok());
  ASSERT_TRUE(source->SetValue(1, Timestamp{Date{2001, 2, 3}, 45296000}).ok());
  ASSERT_TRUE(source->SetValue(2, -1234.5).ok());
  ASSERT_TRUE(source->SetValue(3, 98765.432).ok());
  for (int index : {5, 6}) {
    TableFormat format;
    ASSERT_TRUE(FormatFromIndex(index, format));
    const fs::path target = dir / ("t" + std::to_string(index) + ".dbf");
    std::unique_ptr<Table> out;
    Status s = ConvertTable(*source, target, format, out);
    ASSERT_TRUE(s.ok()) << index << ": " << s.message();
    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenTable(target, back).ok());
    back->First();
    EXPECT_EQ(back->GetValue(0), Value(std::string("01:02:03.004")));
    EXPECT_EQ(back->GetValue(1), Value(std::string("2001-02-03T12:34:56")));
    EXPECT_EQ(Number(back->GetValue(2)), -1234.5);
    EXPECT_EQ(Number(back->GetValue(3)), 98765.432);
  }
}

// An empty table gives every numeric column room for ordinary values, not
// the width of the values it happens not to have.
TEST(TableConvertTest, EmptyTableKeepsUsableNumericColumns) {
  const fs::path dir = TempDir("empty_numbers");
  std::unique_ptr<Table> source;
  ASSERT_TRUE(CreateParadoxTable(dir / "e.db", {TableFamily::kParadox, 7},
                                 {Col("Number", 'N'), Col("Money", '$'), Col("Exact", '#', 17, 2),
                                  Col("Long", 'I')},
                                 1252, source)
                  .ok());
  const Value values[] = {-12345.678, 1234567.25, 99999.5, int64_t{-2000000000}};
  for (int index : {5, 6}) {
    TableFormat format;
    ASSERT_TRUE(FormatFromIndex(index, format));
    const fs::path target = dir / ("e" + std::to_string(index) + ".dbf");
    std::unique_ptr<Table> out;
    Status s = ConvertTable(*source, target, format, out);
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_EQ(out->RecordCount(), 0);
    ASSERT_EQ(out->ColumnCount(), 4);
    ASSERT_TRUE(out->Append().ok());
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(CategoryOf(out->Column(c).kind), NumericCategory::kFloat) << c;
      s = out->SetValue(c, values[c]);
      ASSERT_TRUE(s.ok()) << index << " " << out->Column(c).name << ": " << s.message();
      EXPECT_EQ(Number(out->GetValue(c)), Number(values[c])) << c;
    }
  }
}

// Saving a DBF table in the other DBF family keeps what its columns hold:
// Visual FoxPro doubles and datetimes included.
TEST(TableConvertTest, DbfSaveAsOtherFamilyKeepsDoublesAndDatetimes) {
  const fs::path dir = TempDir("vfp_convert");
  WriteVfpTable(dir / "vfp.dbf", {{"TINY", 'B', 8, 0, LittleEndian<double>(1.5e-7)},
                                  {"BIG", 'B', 8, 2, LittleEndian<double>(-123456789012.25)},
                                  {"WHEN", 'T', 8, 0, [] {
                                     std::vector<uint8_t> b = LittleEndian<int32_t>(2451944);
                                     std::vector<uint8_t> ms = LittleEndian<int32_t>(45296000);
                                     b.insert(b.end(), ms.begin(), ms.end());
                                     return b;
                                   }()}});
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(dir / "vfp.dbf", table).ok());
  Status s = table->SaveAs(dir / "plain.dbf", {TableFamily::kDbase, 0});
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(table->Path(), dir / "plain.dbf");
  EXPECT_EQ(table->Format(), (TableFormat{TableFamily::kDbase, 0}));
  std::unique_ptr<Table> back;
  ASSERT_TRUE(OpenTable(dir / "plain.dbf", back).ok());
  back->First();
  EXPECT_EQ(Number(back->GetValue(0)), 1.5e-7);
  EXPECT_EQ(Number(back->GetValue(1)), -123456789012.25);
  EXPECT_EQ(back->GetValue(2), Value(std::string("2001-02-03T12:34:56")));

  // A dBase table's binary memo moves to FoxPro as it is.
  WriteVfpTable(dir / "pic.dbf",
                {{"PIC", 'G', 10, 0, {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', '1'}}});
  std::vector<uint8_t> bytes = Bytes_(dir / "pic.dbf");
  bytes[0] = 0x83;
  ASSERT_TRUE(WriteFileAtomically(dir / "pic.dbf", bytes).ok());
  std::vector<uint8_t> memo(512, 0);
  memo[0] = 2;
  for (uint8_t b : {1, 2, 3, 0x1A, 0x1A}) memo.push_back(b);
  memo.resize(1024, 0);
  ASSERT_TRUE(WriteFileAtomically(dir / "pic.dbt", memo).ok());
  ASSERT_TRUE(OpenTable(dir / "pic.dbf", table).ok());
  ASSERT_EQ(table->GetValue(0), Value(Bytes{1, 2, 3}));
  // dBase III ends a memo at 0x1A: a blob holding one would come back cut.
  EXPECT_TRUE(table->SetValue(0, Bytes{1, 0x1A, 2}).IsInvalid());
  EXPECT_EQ(table->GetValue(0), Value(Bytes{1, 2, 3}));
  s = table->SaveAs(dir / "fox.dbf", {TableFamily::kFoxPro, 25});
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_TRUE(OpenTable(dir / "fox.dbf", back).ok());
  back->First();
  EXPECT_EQ(back->GetValue(0), Value(Bytes{1, 2, 3}));

  const fs::path calls = Shared() / "dbf" / "calls.dbf";
  if (!fs::exists(calls)) GTEST_SKIP() << "shared DBF fixtures not found";
  ASSERT_TRUE(OpenTable(calls, table).ok());
  const int records = table->RecordCount();
  s = table->SaveAs(dir / "calls.dbf", {TableFamily::kDbase, 0});
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_TRUE(OpenTable(dir / "calls.dbf", back).ok());
  EXPECT_EQ(back->RecordCount(), records);
}

// --- The editor's Save As ---

// Three saved records, then edits in memory only: the first record deleted,
// the second changed, one appended.
std::unique_ptr<Table> EditedTable(const fs::path& path, bool paradox) {
  std::unique_ptr<Table> table;
  const std::vector<ColumnDef> columns =
      paradox ? std::vector<ColumnDef>{Col("Name", 'A', 10), Col("Value", 'N')}
              : std::vector<ColumnDef>{Col("NAME", 'C', 10, 0, FieldKind::kText),
                                       Col("VALUE", 'N', 8, 2, FieldKind::kFloat)};
  Status s = paradox ? CreateParadoxTable(path, {TableFamily::kParadox, 7}, columns, 1252, table)
                     : CreateDbfTable(path, {TableFamily::kDbase, 0}, columns, 1252, table);
  EXPECT_TRUE(s.ok()) << s.message();
  for (int r = 0; r < 3; ++r) {
    EXPECT_TRUE(table->Append().ok());
    EXPECT_TRUE(table->SetValue(0, "row" + std::to_string(r)).ok());
    EXPECT_TRUE(table->SetValue(1, r + 0.5).ok());
  }
  EXPECT_TRUE(table->Save().ok());
  table->First();
  EXPECT_TRUE(table->Delete().ok());
  EXPECT_TRUE(table->SetValue(1, 42.25).ok());
  EXPECT_TRUE(table->Append().ok());
  EXPECT_TRUE(table->SetValue(0, std::string("new")).ok());
  table->MoveTo(1);
  return table;
}

// Deleting keeps a current record while there is one: the next, or the
// new last when the last went. Nothing is deleted past the end.
TEST(TableEditTest, DeleteLeavesTheCursorOnARecord) {
  for (bool paradox : {true, false}) {
    SCOPED_TRACE(paradox ? "Paradox" : "dBase");
    const fs::path dir = TempDir(paradox ? "delete_px" : "delete_dbf");
    std::unique_ptr<Table> table = EditedTable(dir / (paradox ? "d.db" : "d.dbf"), paradox);
    ASSERT_EQ(table->RecordCount(), 3);  // row1, row2, new
    table->MoveTo(0);
    ASSERT_TRUE(table->Delete().ok());
    EXPECT_EQ(ValueText(table->GetValue(0)), "row2");
    table->MoveTo(1);
    ASSERT_TRUE(table->Delete().ok());
    ASSERT_FALSE(table->Eof());
    EXPECT_EQ(ValueText(table->GetValue(0)), "row2");
    ASSERT_TRUE(table->Delete().ok());
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->RecordCount(), 0);
    EXPECT_FALSE(table->Delete().ok());
  }
}

// Measuring the columns for a DBF target reads the records by row: the
// cursor stays and the views have nothing to miss.
TEST(TableConvertTest, WalksLeaveTheCursorAndTheViewsAlone) {
  const fs::path dir = TempDir("views");
  std::unique_ptr<Table> source = EditedTable(dir / "v.db", true);
  std::vector<bool> calls;
  source->SetViewListener([&calls](bool suspended) { calls.push_back(suspended); });
  std::vector<ColumnDef> columns;
  ASSERT_TRUE(ConvertedColumns(*source, {TableFamily::kDbase, 0}, columns).ok());
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(source->Position(), 1);
}

TEST(SaveTableAsTest, KeepsOrConvertsAndLeavesTheOldFileAsLastSaved) {
  const struct {
    bool paradox;
    const char* caption;
    int index;
    const char* saved;
    TableFormat format;
  } kCases[] = {
      // Same extension and level: written under the chosen name as it is.
      {true, "copy.db", 4, "copy.db", {TableFamily::kParadox, 7}},
      {false, "copy.dbf", 5, "copy.dbf", {TableFamily::kDbase, 0}},
      // Another level or family: converted, the name cut at its first period.
      {true, "copy.db", 2, "copy.db", {TableFamily::kParadox, 4}},
      {true, "copy.db", 5, "copy.dbf", {TableFamily::kDbase, 0}},
      {true, "copy.old.db", 6, "copy.dbf", {TableFamily::kFoxPro, 25}},
      {false, "copy.dbf", 6, "copy.dbf", {TableFamily::kFoxPro, 25}},
      {false, "copy.dbf", 1, "copy.db", {TableFamily::kParadox, 3}},
      {false, "copy.dbf", 4, "copy.db", {TableFamily::kParadox, 7}},
      // The extensions are compared exactly.
      {true, "copy.DB", 4, "copy.db", {TableFamily::kParadox, 7}},
  };
  int n = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.caption) + " as " + std::to_string(c.index) +
                 (c.paradox ? " from Paradox" : " from dBase"));
    const fs::path dir = TempDir("save_as_" + std::to_string(n++));
    const fs::path source = dir / (c.paradox ? "src.db" : "src.dbf");
    std::unique_ptr<Table> table = EditedTable(source, c.paradox);
    const std::vector<uint8_t> last_saved = Bytes_(source);
    fs::path saved_as;
    Status s = SaveTableAs(table, dir / c.caption, c.index, saved_as);
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_EQ(saved_as, dir / c.saved);
    EXPECT_EQ(table->Path(), dir / c.saved);
    EXPECT_EQ(table->Format(), c.format);
    EXPECT_FALSE(table->Modified());
    EXPECT_EQ(table->Position(), 1);
    EXPECT_EQ(Bytes_(source), last_saved);

    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenTable(dir / c.saved, back).ok());
    // FoxPro marks a table without memos as dBase does: it reads back as dBase.
    if (c.format.family != TableFamily::kFoxPro) {
      EXPECT_EQ(back->Format(), c.format);
    }
    ASSERT_EQ(back->RecordCount(), 3);
    const char* names[] = {"row1", "row2", "new"};
    const double values[] = {42.25, 2.5, -1};
    int r = 0;
    for (back->First(); !back->Eof(); back->Next(), ++r) {
      EXPECT_EQ(ValueText(back->GetValue(0)), names[r]) << r;
      if (values[r] < 0) {
        EXPECT_TRUE(back->IsNull(1)) << r;
      } else {
        EXPECT_EQ(back->AsFloat(1), static_cast<float>(values[r])) << r;
      }
    }
  }
}

// The memo file of the old table is part of its last saved state too.
TEST(SaveTableAsTest, TheOldMemoFileStaysAsLastSaved) {
  const struct {
    bool paradox;
    const char* table;
    const char* memo;
    int index;
    const char* copy_memo;
  } kCases[] = {{true, "m.db", "m.mb", 4, "copy.mb"}, {false, "m.dbf", "m.dbt", 5, "copy.dbt"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.table);
    const fs::path dir = TempDir(std::string("memo_") + (c.paradox ? "px" : "dbf"));
    std::unique_ptr<Table> table;
    const ColumnDef memo =
        c.paradox ? Col("Notes", 'M', 11) : Col("NOTES", 'M', 10, 0, FieldKind::kMemo);
    Status s =
        c.paradox
            ? CreateParadoxTable(dir / c.table, {TableFamily::kParadox, 7}, {memo}, 1252, table)
            : CreateDbfTable(dir / c.table, {TableFamily::kDbase, 0}, {memo}, 1252, table);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_TRUE(table->Append().ok());
    ASSERT_TRUE(table->SetValue(0, std::string(700, 'a')).ok());
    ASSERT_TRUE(table->Save().ok());
    const std::vector<uint8_t> saved_table = Bytes_(dir / c.table);
    const std::vector<uint8_t> saved_memo = Bytes_(dir / c.memo);
    ASSERT_TRUE(table->SetValue(0, std::string(900, 'b')).ok());
    fs::path saved_as;
    ASSERT_TRUE(
        SaveTableAs(table, dir / (c.paradox ? "copy.db" : "copy.dbf"), c.index, saved_as).ok());
    EXPECT_EQ(Bytes_(dir / c.table), saved_table);
    EXPECT_EQ(Bytes_(dir / c.memo), saved_memo);
    EXPECT_TRUE(fs::exists(dir / c.copy_memo));
    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenTable(saved_as, back).ok());
    EXPECT_EQ(back->GetValue(0), Value(std::string(900, 'b')));
    ASSERT_TRUE(OpenTable(dir / c.table, back).ok());
    EXPECT_EQ(back->GetValue(0), Value(std::string(700, 'a')));
  }
}

TEST(SaveTableAsTest, RefusalsChangeNothing) {
  const fs::path dir = TempDir("save_as_refused");
  std::unique_ptr<Table> table = EditedTable(dir / "src.db", true);
  Table* const before = table.get();
  fs::path saved_as = "untouched";
  EXPECT_TRUE(SaveTableAs(table, dir / "x.db", 7, saved_as).IsInvalid());
  // Text cp437 cannot hold is refused before anything is written.
  ASSERT_TRUE(table->SetValue(0, std::string("Дом")).ok() == false);
  table->MoveTo(0);
  ASSERT_TRUE(table->SetValue(0, std::string("€5")).ok());
  table->MoveTo(1);
  EXPECT_FALSE(SaveTableAs(table, dir / "x.db", 1, saved_as).ok());
  EXPECT_EQ(table.get(), before);
  EXPECT_EQ(saved_as, "untouched");
  EXPECT_TRUE(table->Modified());
  EXPECT_EQ(table->Path(), dir / "src.db");
  EXPECT_FALSE(fs::exists(dir / "x.db"));
}

}  // namespace
}  // namespace velmar
