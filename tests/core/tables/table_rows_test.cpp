// Reading and writing records by row, whatever the cursor, and the hooks that
// tell of posted and deleted records: what a grid view and the derived
// statistics are built on.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/tables/dbf_table.h"
#include "core/tables/paradox_table.h"
#include "core/tables/table_factory.h"
#include "tests/support/column_def.h"
#include "tests/support/memory_table.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

fs::path TempDir(const std::string& name) {
  fs::path dir = fs::path(testing::TempDir()) / ("rows_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

using testing_support::Col;

// Each format that can be written: a text, a number and a memo column.
struct Format {
  const char* name;
  const char* file;
  TableFormat format;
};
const Format kFormats[] = {
    {"Paradox", "t.db", {TableFamily::kParadox, 7}},
    {"dBase", "t.dbf", {TableFamily::kDbase, 0}},
    {"FoxPro", "t.dbf", {TableFamily::kFoxPro, 25}},
};

std::unique_ptr<Table> NewTable(const fs::path& path, const TableFormat& format) {
  const bool paradox = format.family == TableFamily::kParadox;
  const std::vector<ColumnDef> columns =
      paradox
          ? std::vector<ColumnDef>{Col("Name", 'A', 10), Col("Value", 'N'), Col("Note", 'M', 20)}
          : std::vector<ColumnDef>{Col("NAME", 'C', 10), Col("VALUE", 'N', 8, 2, FieldKind::kFloat),
                                   Col("NOTE", 'M', 10, 0, FieldKind::kMemo)};
  std::unique_ptr<Table> table;
  const Status s = paradox ? CreateParadoxTable(path, format, columns, 1252, table)
                           : CreateDbfTable(path, format, columns, 1252, table);
  EXPECT_TRUE(s.ok()) << s.message();
  return table;
}

// Three records written through the cursor, the cursor left on the first.
void FillThree(Table& table) {
  for (int r = 0; r < 3; ++r) {
    ASSERT_TRUE(table.Append().ok());
    ASSERT_TRUE(table.SetValue(0, "row" + std::to_string(r)).ok());
    ASSERT_TRUE(table.SetValue(1, r + 0.5).ok());
    const Status s = table.SetValue(2, "note " + std::string(40, static_cast<char>('a' + r)));
    ASSERT_TRUE(s.ok()) << s.message();
  }
  table.First();
}

std::string Text(const Value& v) {
  const std::string* s = std::get_if<std::string>(&v);
  return s ? *s : std::string("<not text>");
}

TEST(TableRowsTest, ReadsAndWritesByRowLeaveTheCursorAlone) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    const fs::path dir = TempDir(std::string("rw_") + f.name);
    std::unique_ptr<Table> table = NewTable(dir / f.file, f.format);
    FillThree(*table);
    table->MoveTo(1);

    EXPECT_EQ(Text(table->ValueAt(2, 0)), "row2");
    EXPECT_EQ(table->AsFloatAt(0, 1), 0.5f);
    EXPECT_EQ(Text(table->ValueAt(0, 2)), "note " + std::string(40, 'a'));
    EXPECT_EQ(table->RecordNumberAt(2), 3);

    // Another row than the current one, memo included (memo edits are
    // kept per record, not per cursor position).
    ASSERT_TRUE(table->SetValueAt(2, 1, 7.25).ok());
    ASSERT_TRUE(table->SetValueAt(0, 2, std::string("first note")).ok());
    ASSERT_TRUE(table->SetValueAt(0, 1, Value{}).ok());
    EXPECT_EQ(table->Position(), 1);
    EXPECT_EQ(Text(table->GetValue(0)), "row1");
    EXPECT_EQ(table->AsFloat(1), 1.5f);
    EXPECT_TRUE(table->IsNullAt(0, 1));
    EXPECT_EQ(table->AsFloatAt(2, 1), 7.25f);

    // What lies outside the records reads as null and is not written.
    for (int row : {-1, 3, 1000}) {
      EXPECT_TRUE(table->IsNullAt(row, 0)) << row;
      EXPECT_EQ(table->AsFloatAt(row, 1), 0.0f) << row;
      EXPECT_TRUE(IsNullValue(table->ValueAt(row, 2))) << row;
      EXPECT_FALSE(table->SetValueAt(row, 1, 1.0).ok()) << row;
    }
    EXPECT_TRUE(table->IsNullAt(1, -1));
    EXPECT_TRUE(table->IsNullAt(1, 3));

    // The edits by row reach the file.
    ASSERT_TRUE(table->Save().ok());
    std::unique_ptr<Table> back;
    ASSERT_TRUE(OpenTable(dir / f.file, back).ok());
    ASSERT_EQ(back->RecordCount(), 3);
    EXPECT_TRUE(back->IsNullAt(0, 1));
    EXPECT_EQ(Text(back->ValueAt(0, 2)), "first note");
    EXPECT_EQ(Text(back->ValueAt(1, 2)), "note " + std::string(40, 'b'));
    EXPECT_EQ(back->AsFloatAt(2, 1), 7.25f);
  }
}

// Each change of the records is told once, with the row it concerns; a
// refused change tells nothing.
TEST(TableRowsTest, HooksTellPostedAndDeletedRows) {
  std::vector<std::unique_ptr<Table>> tables;
  std::vector<std::string> names;
  for (const Format& f : kFormats) {
    tables.push_back(NewTable(TempDir(std::string("hooks_") + f.name) / f.file, f.format));
    names.push_back(f.name);
  }
  tables.push_back(std::make_unique<testing_support::MemoryTable>(
      testing_support::MemoryTable::FromNumbers({"A"}, {})));
  names.push_back("memory");

  for (size_t t = 0; t < tables.size(); ++t) {
    SCOPED_TRACE(names[t]);
    Table& table = *tables[t];
    std::vector<std::pair<char, int>> events;
    table.SetPostHook([&events](int row) { events.emplace_back('p', row); });
    table.SetDeleteHook([&events](int row) { events.emplace_back('d', row); });

    EXPECT_FALSE(table.Delete().ok());  // no current record
    EXPECT_TRUE(table.Post().ok());     // nothing to post
    ASSERT_TRUE(table.Append().ok());
    ASSERT_TRUE(table.Append().ok());
    ASSERT_TRUE(table.Append().ok());
    ASSERT_TRUE(table.SetValueAt(0, 0, Value{}).ok());  // a write alone tells nothing
    table.MoveTo(1);
    ASSERT_TRUE(table.Insert().ok());
    ASSERT_TRUE(table.Post().ok());
    ASSERT_TRUE(table.PostAt(3).ok());
    ASSERT_TRUE(table.PostAt(4).ok());  // past the end: nothing
    table.MoveTo(3);
    ASSERT_TRUE(table.Delete().ok());
    table.MoveTo(2);
    ASSERT_TRUE(table.Delete().ok());

    const std::vector<std::pair<char, int>> want = {{'p', 0}, {'p', 1}, {'p', 2}, {'p', 1},
                                                    {'p', 1}, {'p', 3}, {'d', 3}, {'d', 2}};
    EXPECT_EQ(events, want);
    EXPECT_EQ(table.RecordCount(), 2);
  }
}

}  // namespace
}  // namespace velmar
