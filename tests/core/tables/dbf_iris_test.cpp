#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/tables/dbf_table.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

// examples/iris.dbf is made by this function from examples/iris.csv: four
// N(4,1) measurements and CLASS N(1,0), dBase III, cp1252, dated
// 2026-01-01. Run the test with VELMAR_REGENERATE_EXAMPLES=1 to rewrite it.
Status WriteIrisTable(const fs::path& csv, const fs::path& target) {
  std::ifstream in(csv);
  if (!in) return Status::NotFound("no " + csv.string());
  std::vector<ColumnDef> columns;
  for (const char* name : {"SEPAL_LEN", "SEPAL_WID", "PETAL_LEN", "PETAL_WID"}) {
    columns.push_back({name, FieldKind::kFloat, 'N', 4, 1, 0});
  }
  columns.push_back({"CLASS", FieldKind::kFloat, 'N', 1, 0, 0});
  std::unique_ptr<Table> table;
  VELMAR_RETURN_IF_ERROR(CreateDbfTable(target, {TableFamily::kDbase, 0}, columns, 1252, table));
  std::string line;
  std::getline(in, line);  // "records,features,label names..."
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    VELMAR_RETURN_IF_ERROR(table->Append());
    std::stringstream fields(line);
    std::string cell;
    for (int c = 0; c < 5 && std::getline(fields, cell, ','); ++c) {
      VELMAR_RETURN_IF_ERROR(table->SetValue(c, cell));
    }
  }
  FixedClock clock(1767225600);
  SetCurrentClock(&clock);
  Status s = table->Save();
  SetCurrentClock(nullptr);
  return s;
}

TEST(DbfIrisTest, ExampleTableIsReproducible) {
  const fs::path examples = VELMAR_EXAMPLES;
  const char* regenerate = std::getenv("VELMAR_REGENERATE_EXAMPLES");
  if (regenerate && std::string(regenerate) == "1") {
    ASSERT_TRUE(WriteIrisTable(examples / "iris.csv", examples / "iris.dbf").ok());
  }
  const fs::path fresh = fs::path(::testing::TempDir()) / "iris_fresh.dbf";
  Status s = WriteIrisTable(examples / "iris.csv", fresh);
  ASSERT_TRUE(s.ok()) << s.message();
  std::vector<uint8_t> want, got;
  ASSERT_TRUE(ReadFileBytes(examples / "iris.dbf", want).ok());
  ASSERT_TRUE(ReadFileBytes(fresh, got).ok());
  EXPECT_EQ(got, want) << "examples/iris.dbf differs from what the writer makes now";

  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenDbfTable(examples / "iris.dbf", table).ok());
  EXPECT_EQ(table->RecordCount(), 150);
  table->First();
  EXPECT_FLOAT_EQ(table->AsFloat(0), 5.1f);
  EXPECT_FLOAT_EQ(table->AsFloat(4), 0.0f);
  table->MoveTo(149);
  EXPECT_FLOAT_EQ(table->AsFloat(3), 1.8f);
  EXPECT_FLOAT_EQ(table->AsFloat(4), 2.0f);
  fs::remove(fresh);
}

}  // namespace
}  // namespace velmar
