// Damaged tables that once crashed, hung or ran away with memory, kept small
// under tests/fixtures/fuzz (tests/fixtures/README.md says what each one
// exercises). Each must be refused with a message, or read to the last cell.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/table.h"
#include "core/tables/table_dump.h"
#include "core/tables/table_factory.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

fs::path FuzzFixture(const std::string& name) {
  return fs::path(VELMAR_TEST_FIXTURES) / "fuzz" / name;
}

// Reads every cell the ways the rest of the system does; returns how many
// records the cursor visited.
int64_t ReadEverything(Table& table) {
  int64_t visited = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    ++visited;
    for (int c = 0; c < table.ColumnCount(); ++c) {
      (void)table.IsNull(c);
      (void)table.AsFloat(c);
      (void)table.GetValue(c);
    }
  }
  EXPECT_FALSE(DumpTableJson(table).empty());
  EXPECT_FALSE(DumpTableText(table, ',').empty());
  return visited;
}

struct RegressionCase {
  const char* file;
  bool refused;  // false: opens and reads cleanly
};

const RegressionCase kCases[] = {
    // Every record points at one memo; listing the table would multiply it.
    {"shared_memo.dbf", true},
    // Numbers of 19 digits, before and after the point.
    {"long_numbers.dbf", false},
};

TEST(TableFuzzRegressionTest, EachFileIsRefusedWithAMessageOrReadToTheEnd) {
  for (const RegressionCase& c : kCases) {
    SCOPED_TRACE(c.file);
    const fs::path path = FuzzFixture(c.file);
    ASSERT_TRUE(fs::exists(path));
    std::unique_ptr<Table> table;
    const Status status = OpenTable(path, table);
    if (c.refused) {
      EXPECT_FALSE(status.ok());
      EXPECT_FALSE(status.message().empty());
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(ReadEverything(*table), table->RecordCount());
  }
}

// Digits past what an int64 mantissa holds are read by the slow path, not
// overflowed; the values come out as the stored text says.
TEST(TableFuzzRegressionTest, NumbersLongerThanEighteenDigitsReadAsWritten) {
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(FuzzFixture("long_numbers.dbf"), table).ok());
  const double want[][2] = {{9999999999999999999.0, 99999999999999999.99},
                            {123456789012345678.0, -1.5},
                            {-9999999999999999999.0, 999999999999999999.0}};
  int r = 0;
  for (table->First(); !table->Eof(); table->Next(), ++r) {
    ASSERT_LT(r, 3);
    for (int c = 0; c < 2; ++c) {
      SCOPED_TRACE(testing::Message() << "record " << r << " column " << c);
      const Value v = table->GetValue(c);
      ASSERT_TRUE(std::holds_alternative<double>(v));
      EXPECT_DOUBLE_EQ(std::get<double>(v), want[r][c]);
      EXPECT_FLOAT_EQ(table->AsFloat(c), static_cast<float>(want[r][c]));
    }
  }
  EXPECT_EQ(r, 3);
}

// The refusal counts what the records reference against the memo file, so a
// few records sharing a memo that still fits are read as before.
TEST(TableFuzzRegressionTest, SharedMemoThatFitsInTheMemoFileIsRead) {
  const fs::path dir = fs::path(::testing::TempDir()) / "shared_memo_fits";
  fs::create_directories(dir);
  std::vector<uint8_t> dbf, dbt;
  ASSERT_TRUE(ReadFileBytes(FuzzFixture("shared_memo.dbf"), dbf).ok());
  ASSERT_TRUE(ReadFileBytes(FuzzFixture("shared_memo.dbt"), dbt).ok());
  const int memo_length = 100;
  const int file_budget = static_cast<int>(dbt.size()) / memo_length;  // 6 of 614 bytes
  for (int records : {file_budget, file_budget + 1}) {
    SCOPED_TRACE(records);
    std::vector<uint8_t> cut = dbf;
    cut[4] = static_cast<uint8_t>(records);
    cut[5] = cut[6] = cut[7] = 0;
    ASSERT_TRUE(WriteFileAtomically(dir / "t.dbf", cut).ok());
    ASSERT_TRUE(WriteFileAtomically(dir / "t.dbt", dbt).ok());
    std::unique_ptr<Table> table;
    const Status status = OpenTable(dir / "t.dbf", table);
    if (records > file_budget) {
      EXPECT_TRUE(status.IsCorrupt()) << status.message();
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(table->RecordCount(), records);
    for (table->First(); !table->Eof(); table->Next()) {
      EXPECT_EQ(table->GetValue(0), Value(std::string(memo_length, 'A')));
    }
  }
}

}  // namespace
}  // namespace velmar
