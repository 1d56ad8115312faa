#include "core/tables/paradox_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/paradox_format.h"
#include "core/tables/value_text.h"
#include "tests/support/json_value.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing_support::JsonValue;

// A table of `columns` Number columns and `records` records, values r*100+c.
Status WriteNumberTable(const fs::path& path, int columns, int records, int level) {
  std::vector<ColumnDef> defs;
  for (int c = 0; c < columns; ++c) {
    ColumnDef d;
    d.name = std::string("N").append(std::to_string(c));
    d.native_type = 'N';
    defs.push_back(d);
  }
  std::unique_ptr<Table> table;
  VELMAR_RETURN_IF_ERROR(
      CreateParadoxTable(path, TableFormat{TableFamily::kParadox, level}, defs, 1252, table));
  for (int r = 0; r < records; ++r) {
    VELMAR_RETURN_IF_ERROR(table->Append());
    for (int c = 0; c < columns; ++c) {
      VELMAR_RETURN_IF_ERROR(table->SetValue(c, double(r * 100 + c) / 4));
    }
  }
  return table->Save();
}

std::string Text(const Value& v) {
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* d = std::get_if<Date>(&v)) return DateText(*d);
  if (auto* t = std::get_if<TimeOfDay>(&v)) return TimeText(t->milliseconds);
  if (auto* t = std::get_if<Timestamp>(&v)) {
    return DateText(t->date) + "T" + TimeText(t->milliseconds);
  }
  return "?";
}

fs::path SharedParadox() { return fs::path(VELMAR_SHARED_FIXTURES) / "paradox"; }

std::vector<fs::path> ExpectedDumps() {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const fs::path& dir : {SharedParadox(), SharedParadox() / "areas"}) {
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      const std::string name = e.path().filename().string();
      if (name.size() > 14 && name.ends_with(".expected.json")) out.push_back(e.path());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Compares one cell against its expected dump value; returns "" when equal.
std::string CompareCell(const Table& table, int column, const JsonValue& expected) {
  const Value v = table.GetValue(column);
  if (expected.is_null()) {
    return table.IsNull(column) && IsNullValue(v) ? "" : "expected null";
  }
  if (table.IsNull(column)) return "unexpected null";
  if (expected.is_object()) {
    std::string json = table.ValueJson(column);
    JsonValue got;
    if (!JsonValue::Parse(json, got)) return "no dump form: " + json;
    return got.ToString() == expected.ToString() ? "" : "got " + json;
  }
  if (expected.is_bool()) {
    auto* b = std::get_if<bool>(&v);
    return b && *b == expected.as_bool() ? "" : "boolean differs";
  }
  if (expected.is_number()) {
    double d;
    if (auto* i = std::get_if<int64_t>(&v)) {
      d = static_cast<double>(*i);
    } else if (auto* x = std::get_if<double>(&v)) {
      d = *x;
    } else {
      return "not a number";
    }
    return d == expected.as_double() ? "" : "number " + std::to_string(d);
  }
  std::string text = Text(v);
  return text == expected.as_string() ? "" : "got \"" + text + "\"";
}

TEST(ParadoxFixtureTest, EveryTableMatchesItsExpectedDump) {
  const auto dumps = ExpectedDumps();
  if (dumps.empty()) GTEST_SKIP() << "shared Paradox fixtures not found at " << SharedParadox();
  int checked = 0;
  for (const fs::path& dump_path : dumps) {
    SCOPED_TRACE(dump_path.filename().string());
    std::ifstream in(dump_path, std::ios::binary);
    std::stringstream buf;
    buf << in.rdbuf();
    JsonValue dump;
    ASSERT_TRUE(JsonValue::Parse(buf.str(), dump));
    const fs::path table_path = dump_path.parent_path() / dump["file"].as_string();
    std::unique_ptr<Table> table;
    Status status = OpenParadoxTable(table_path, table);
    if (dump["expect"].is_string()) {
      EXPECT_TRUE(status.IsUnsupported());
      EXPECT_NE(status.message().find("зашифрована"), std::string::npos) << status.message();
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(table->ColumnCount(), static_cast<int>(dump["columns"].size()));
    for (int c = 0; c < table->ColumnCount(); ++c) {
      const JsonValue& col = dump["columns"][c];
      const ColumnDef& def = table->Column(c);
      EXPECT_EQ(def.name, col["name"].as_string());
      EXPECT_EQ(std::string(1, def.native_type), col["type"].as_string());
      EXPECT_EQ(def.length, col["length"].as_double());
      EXPECT_EQ(def.decimals, col["decimals"].as_double());
      EXPECT_EQ(CategoryName(CategoryOf(def.kind)), col["category"].as_string());
    }
    int level = 0;
    for (const auto& [key, value] : table->DumpFacts()) {
      if (key == "level") level = std::stoi(value);
      if (key == "code_page" || key == "sort_order_id" || key == "block_size" ||
          key == "header_size" || key == "version_byte") {
        EXPECT_EQ(value, dump[key].ToString()) << key;
      }
    }
    EXPECT_EQ(level, dump["level"].as_double());
    const JsonValue& records = dump["records"];
    ASSERT_EQ(table->RecordCount(), static_cast<int>(records.size()));
    int r = 0;
    for (table->First(); !table->Eof(); table->Next(), ++r) {
      for (int c = 0; c < table->ColumnCount(); ++c) {
        std::string diff = CompareCell(*table, c, records[r][c]);
        ASSERT_EQ(diff, "") << "record " << r << " column " << c;
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 40);
}

TEST(ParadoxFixtureTest, DataSetTablesMatchTheirStatistics) {
  const fs::path dir = fs::path(VELMAR_SHARED_FIXTURES) / "datasets";
  std::ifstream in(dir / "expected.json", std::ios::binary);
  if (!in) GTEST_SKIP() << "shared data sets not found at " << dir;
  std::stringstream buf;
  buf << in.rdbuf();
  JsonValue expected;
  ASSERT_TRUE(JsonValue::Parse(buf.str(), expected));
  const JsonValue& files = expected["files"];
  int checked = 0;
  for (size_t f = 0; f < files.size(); ++f) {
    const JsonValue& file = files[f];
    if (file["format"].as_string() != "paradox") continue;
    SCOPED_TRACE(files.keys()[f]);
    std::unique_ptr<Table> table;
    ASSERT_TRUE(OpenParadoxTable(dir / files.keys()[f], table).ok());
    ASSERT_EQ(table->RecordCount(), file["record_count"].as_double());
    ASSERT_EQ(table->ColumnCount(), static_cast<int>(file["columns"].size()));
    for (int c = 0; c < table->ColumnCount(); ++c) {
      const JsonValue& stats = file["stats"][c];
      EXPECT_EQ(table->Column(c).name, stats["name"].as_string());
      if (!stats["numeric"].as_bool()) continue;
      int non_null = 0;
      double lo = 1e300, hi = -1e300;
      for (table->First(); !table->Eof(); table->Next()) {
        if (table->IsNull(c)) continue;
        ++non_null;
        const Value v = table->GetValue(c);
        const double d =
            std::holds_alternative<double>(v) ? std::get<double>(v) : double(std::get<int64_t>(v));
        lo = std::min(lo, d);
        hi = std::max(hi, d);
      }
      EXPECT_EQ(non_null, stats["non_null"].as_double());
      EXPECT_EQ(lo, stats["min"].as_double());
      EXPECT_EQ(hi, stats["max"].as_double());
    }
    ++checked;
  }
  EXPECT_EQ(checked, 4);
}

TEST(ParadoxFixtureTest, MissingBlobFileLeavesNumbersAndNullsBlobs) {
  const fs::path source = SharedParadox() / "CUSTOMER.DB";
  if (!fs::exists(source)) GTEST_SKIP() << "shared Paradox fixtures not found";
  const fs::path dir = fs::path(testing::TempDir()) / "paradox_missing_mb";
  fs::create_directories(dir);
  fs::copy_file(source, dir / "CUSTOMER.DB", fs::copy_options::overwrite_existing);
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenParadoxTable(dir / "CUSTOMER.DB", table).ok());
  ASSERT_EQ(table->RecordCount(), 20);
  table->First();
  EXPECT_EQ(std::get<int64_t>(table->GetValue(0)), 1);
  // Record 1 keeps its short memo in the record itself; record 2's is in the .MB.
  EXPECT_EQ(std::get<std::string>(table->GetValue(8)), "Small comment (less 100 symbols)");
  table->Next();
  EXPECT_TRUE(table->IsNull(8));
  EXPECT_EQ(std::get<int64_t>(table->GetValue(0)), 2);
}

TEST(ParadoxDamageTest, SharedBlobReferencesAreNotMultiplied) {
  // Every record of a table points at the same blob: a sound file never
  // does that, and loading it as is would multiply the blob's size.
  const fs::path dir = fs::path(testing::TempDir()) / "paradox_shared_blob";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::unique_ptr<Table> table;
  ColumnDef memo;
  memo.name = "M";
  memo.native_type = 'M';
  memo.length = 11;
  ASSERT_TRUE(
      CreateParadoxTable(dir / "b.db", {TableFamily::kParadox, 7}, {memo}, 1252, table).ok());
  for (int r = 0; r < 50; ++r) {
    ASSERT_TRUE(table->Append().ok());
    ASSERT_TRUE(table->SetValue(0, std::string(r == 0 ? 5000 : 1, 'x')).ok());
  }
  ASSERT_TRUE(table->Save().ok());
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "b.db", bytes).ok());
  // Copy record 0's descriptor (the last 10 bytes of the 11-byte field) to all.
  const size_t first = 2048 + 6;
  for (int r = 1; r < 50; ++r) {
    std::copy(bytes.begin() + first + 1, bytes.begin() + first + 11,
              bytes.begin() + first + r * 11 + 1);
  }
  std::ofstream(dir / "b.db", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  std::unique_ptr<Table> back;
  Status status = OpenParadoxTable(dir / "b.db", back);
  EXPECT_TRUE(status.IsCorrupt()) << status.message();
}

struct DamageCase {
  const char* name;
  size_t offset;
  std::vector<uint8_t> bytes;  // written at offset; empty = truncate at offset
};

TEST(ParadoxDamageTest, DamagedHeadersAndChainsAreRefused) {
  // A small table of our own, written by the codec: 3 blocks of 2 KB.
  const fs::path dir = fs::path(testing::TempDir()) / "paradox_damage";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path good = dir / "good.db";
  ASSERT_TRUE(WriteNumberTable(good, 5, 400, 5).ok());
  std::vector<uint8_t> original;
  ASSERT_TRUE(ReadFileBytes(good, original).ok());
  ASSERT_EQ(original.size(), 2048u + 8 * 2048u);
  const DamageCase cases[] = {
      {"truncated header", 0x40, {}},
      {"version byte", 0x39, {0x2A}},
      {"block size", 0x05, {0x07}},
      {"field count zero", 0x21, {0, 0}},
      {"record size mismatch", 0x00, {0x99, 0x00}},
      {"unknown field type", 0x78, {0x42}},
      {"header size past end", 0x02, {0xFF, 0xFF}},
      {"first block out of range", 0x0E, {0x40, 0x00}},
      {"chain cycle", 2048 + 2048 * 2, {0x01, 0x00}},
      {"chain past end", 2048, {0x77, 0x00}},
      {"records overflow block", 2048 + 4, {0xF0, 0x7F}},
      {"encrypted", 0x5C, {1, 2, 3, 4}},
      {"index file type", 0x04, {0x01}},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = original;
    if (c.bytes.empty()) {
      bytes.resize(c.offset);
    } else {
      std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + c.offset);
    }
    const fs::path bad = dir / (std::string(c.name) + ".db");
    std::ofstream(bad, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::unique_ptr<Table> table;
    Status status = OpenParadoxTable(bad, table);
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(status.message().empty());
    EXPECT_EQ(table, nullptr);
  }
}

TEST(ParadoxFormatTest, DayNumbersAndBcd) {
  using namespace paradox;
  EXPECT_EQ(DayNumber(Date{1, 1, 1}), 1);
  EXPECT_EQ(DateFromDayNumber(730120), (Date{2000, 1, 1}));
  EXPECT_FALSE(IsValidDate(Date{2023, 2, 29}));
  const struct {
    double value;
    int decimals;
    double back;
  } kBcd[] = {{1.23, 2, 1.23},     {-1.23, 2, -1.23}, {0, 0, 0},
              {-0.5, 0, -1},       {0.125, 2, 0.13},  {123456789012.5, 4, 123456789012.5},
              {-0.123, 32, -0.123}};
  for (const auto& c : kBcd) {
    uint8_t buf[kBcdSize];
    ASSERT_TRUE(EncodeBcd(buf, c.value, c.decimals)) << c.value;
    EXPECT_EQ(DecodeBcd(buf), c.back) << c.value;
  }
  uint8_t buf[kBcdSize];
  EXPECT_FALSE(EncodeBcd(buf, 1e30, 4));
}

}  // namespace
}  // namespace velmar
