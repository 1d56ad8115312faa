#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/dbf_table.h"
#include "core/tables/table_dump.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

// Plain writes: the atomic writer syncs to disk, too slow for a loop.
bool WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

struct Sample {
  std::string name;
  std::vector<uint8_t> table;
  std::string memo_ext;  // empty when the table has no memo file
  std::vector<uint8_t> memo;
};

// Opens what it can and reads every cell of every record; a refusal must
// carry a message.
void Exercise(const fs::path& path) {
  std::unique_ptr<Table> table;
  Status s = OpenDbfTable(path, table);
  if (!s.ok()) {
    EXPECT_FALSE(s.message().empty());
    return;
  }
  std::string dump = DumpTableJson(*table);
  dump += DumpTableText(*table, ',');
  float sum = 0;
  for (table->First(); !table->Eof(); table->Next()) {
    for (int c = 0; c < table->ColumnCount(); ++c) {
      sum += table->AsFloat(c);
      (void)table->IsNull(c);
    }
  }
  (void)sum;
  EXPECT_FALSE(dump.empty());
}

// Randomly damaged copies of the fixtures and of a table we write: header
// fields, descriptors, records and memo blocks. None may crash, hang or
// allocate without bound; the run is seeded, so failures repeat.
TEST(DbfFuzzTest, DamagedFilesAreRefusedOrReadSafely) {
  const fs::path shared = fs::path(VELMAR_SHARED_FIXTURES) / "dbf";
  std::vector<Sample> samples;
  const char* names[][2] = {{"dbase_03", ""},    {"dbase_83", ".dbt"}, {"dbase_8b", ".dbt"},
                            {"dbase_31", ""},    {"dbase_32", ""},     {"calls", ".FPT"},
                            {"mazovia", ""},     {"cp1251", ""},       {"polygon", ""},
                            {"contacts", ".FPT"}};
  for (const auto& n : names) {
    Sample sample;
    sample.name = n[0];
    sample.memo_ext = n[1];
    if (!ReadFileBytes(shared / (sample.name + ".dbf"), sample.table).ok()) continue;
    if (!sample.memo_ext.empty() &&
        !ReadFileBytes(shared / (sample.name + sample.memo_ext), sample.memo).ok()) {
      continue;
    }
    samples.push_back(std::move(sample));
  }

  const fs::path dir = fs::path(::testing::TempDir()) / "dbf_fuzz";
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    // One table of our own, with a FoxPro memo file.
    std::vector<ColumnDef> columns(3);
    columns[0] = {"T", FieldKind::kText, 'C', 12, 0, 0};
    columns[1] = {"X", FieldKind::kFloat, 'N', 9, 3, 0};
    columns[2] = {"M", FieldKind::kMemo, 'M', 10, 0, 0};
    std::unique_ptr<Table> table;
    ASSERT_TRUE(
        CreateDbfTable(dir / "own.dbf", {TableFamily::kFoxPro, 25}, columns, 1251, table).ok());
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(table->Append().ok());
      ASSERT_TRUE(table->SetValue(0, std::string("строка ") + std::to_string(i)).ok());
      ASSERT_TRUE(table->SetValue(1, i * 1.25).ok());
      ASSERT_TRUE(table->SetValue(2, std::string(static_cast<size_t>(i * 7), 'm')).ok());
    }
    ASSERT_TRUE(table->Save().ok());
    Sample own;
    own.name = "own";
    own.memo_ext = ".fpt";
    ASSERT_TRUE(ReadFileBytes(dir / "own.dbf", own.table).ok());
    ASSERT_TRUE(ReadFileBytes(dir / "own.fpt", own.memo).ok());
    samples.push_back(std::move(own));
  }

  std::mt19937 rng(20240611);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % std::max<size_t>(n, 1)); };
  const int kRounds = 1500;
  for (int round = 0; round < kRounds; ++round) {
    const Sample& sample = samples[static_cast<size_t>(round) % samples.size()];
    std::vector<uint8_t> table = sample.table;
    std::vector<uint8_t> memo = sample.memo;
    switch (rng() % 6) {
      case 0:  // truncate
        table.resize(pick(table.size() + 1));
        break;
      case 1: {  // a header number set to an extreme
        static const size_t kOffsets[] = {4, 5, 6, 7, 8, 9, 10, 11, 29, 0};
        const size_t at = kOffsets[pick(10)];
        if (at < table.size()) table[at] = static_cast<uint8_t>(rng() % 2 ? 0xFF : rng());
        break;
      }
      case 2: {  // a field descriptor's type, length or decimals
        const size_t field = 32 + 32 * pick(8) + (rng() % 2 ? 11 : 16 + rng() % 3);
        if (field < table.size()) table[field] = static_cast<uint8_t>(rng());
        break;
      }
      case 3:  // a memo block header
        if (!memo.empty()) {
          for (int i = 0; i < 4; ++i) memo[pick(memo.size())] = static_cast<uint8_t>(rng());
          if (memo.size() > 8) memo[512 % memo.size()] = 0xFF;
        }
        [[fallthrough]];
      default:  // scattered bytes anywhere
        for (int i = 0, n = 1 + static_cast<int>(rng() % 16); i < n && !table.empty(); ++i) {
          table[pick(table.size())] = static_cast<uint8_t>(rng());
        }
        break;
    }
    // Fresh names each round: rewriting a file in place makes the file
    // system flush it, which would make the loop slow.
    const std::string stem = sample.name + "_" + std::to_string(round);
    const fs::path path = dir / (stem + ".dbf");
    const fs::path memo_path = dir / (stem + sample.memo_ext);
    ASSERT_TRUE(WriteBytes(path, table));
    if (!sample.memo_ext.empty()) {
      ASSERT_TRUE(WriteBytes(memo_path, memo));
    }
    SCOPED_TRACE("round " + std::to_string(round) + " " + sample.name);
    Exercise(path);
    if (::testing::Test::HasFatalFailure()) return;
    std::error_code ec;
    fs::remove(path, ec);
    if (!sample.memo_ext.empty()) fs::remove(memo_path, ec);
  }
  fs::remove_all(dir);
}

TEST(DbfFuzzTest, DamagedHeadersGiveClearMessages) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* expect;
  };
  std::vector<uint8_t> header(33, 0);
  header[0] = 0x03;
  header[8] = 33;
  header[10] = 1;
  header[32] = 0x0D;
  std::vector<uint8_t> too_many = header;
  too_many[4] = 0xFF;
  too_many[5] = 0xFF;
  std::vector<uint8_t> bad_version = header;
  bad_version[0] = 0x77;
  std::vector<uint8_t> big_header = header;
  big_header[9] = 0x10;
  const Case cases[] = {
      {{0x03, 0, 0}, "короткий"},
      {bad_version, "0x77"},
      {too_many, "записей"},
      {big_header, "заголовка"},
  };
  const fs::path dir = fs::path(::testing::TempDir()) / "dbf_headers";
  fs::create_directories(dir);
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteBytes(dir / "h.dbf", c.bytes));
    std::unique_ptr<Table> table;
    Status s = OpenDbfTable(dir / "h.dbf", table);
    EXPECT_TRUE(s.IsCorrupt()) << c.expect;
    EXPECT_NE(s.message().find(c.expect), std::string::npos) << s.message();
  }
  ASSERT_TRUE(WriteBytes(dir / "h.dbf", header));
  std::unique_ptr<Table> table;
  EXPECT_TRUE(OpenDbfTable(dir / "h.dbf", table).ok());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmar
