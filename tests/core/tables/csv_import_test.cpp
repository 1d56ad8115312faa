// CSV import: awkward hand-made files, refusals that name the line and leave
// no file behind, and the shared data sets' CSV files against the tables that
// were made from them.
#include "core/tables/csv_import.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/code_page.h"
#include "core/tables/table_convert.h"
#include "core/tables/table_factory.h"
#include "tests/support/temp_dir.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TableFormat Format(int index) {
  TableFormat f;
  EXPECT_TRUE(FormatFromIndex(index, f));
  return f;
}

// Every record as "v1|v2|...", values as ValueText writes them.
std::string Records(Table& table) {
  std::string out;
  for (table.First(); !table.Eof(); table.Next()) {
    for (int c = 0; c < table.ColumnCount(); ++c) {
      if (c) out += '|';
      out += table.IsNull(c) ? std::string("null") : ValueText(table.GetValue(c));
    }
    out += "\n";
  }
  return out;
}

std::string Types(const Table& table) {
  std::string out;
  for (int c = 0; c < table.ColumnCount(); ++c) {
    const ColumnDef& d = table.Column(c);
    if (c) out += ' ';
    out += d.name + ":" + KindName(d.kind);
  }
  return out;
}

struct ImportCase {
  const char* what;
  std::string csv;
  CsvImportOptions options;
  int format;
  const char* types;
  const char* records;
};

TEST(CsvImportTest, AwkwardFiles) {
  CsvImportOptions no_header;
  no_header.header = false;
  CsvImportOptions cp1251;
  cp1251.encoding = CsvEncoding::kCp1251;
  const std::vector<ImportCase> cases = {
      {"BOM, CRLF, quoted delimiters, quotes and a line end inside quotes",
       "\xEF\xBB\xBFid,note\r\n1,\"a, b\"\r\n2,\"say \"\"hi\"\"\"\r\n3,\"two\r\nlines\"\r\n",
       {},
       5,
       "id:float note:text",
       "1|a, b\n2|say \"hi\"\n3|two\r\nlines\n"},
      {"semicolons and a decimal comma are sniffed; empty cells are null",
       "x;y\n1,5;-2\n;3\n0,25;\n",
       {},
       4,
       "x:float y:integer",
       "1.5|-2\nnull|3\n0.25|null\n"},
      {"tabs; logical, date and codes with leading zeros",
       "ok\tday\tzip\tday2\nT\t2024-02-29\t007\t01.03.2023\nno\t\t120\t31.12.1999\n",
       {},
       6,
       "ok:boolean day:date zip:text day2:date",
       "true|2024-02-29|007|2023-03-01\nfalse|null|120|1999-12-31\n"},
      {"no header line; a blank line and a missing final line end", "1,2.50\n\n3,4", no_header, 5,
       "FIELD1:float FIELD2:float", "1|2.5\n3|4\n"},
      {"integers too long for 32 bits become numbers; an exponent is a number",
       "big,e\n12345678901,1e-3\n-5,2.5E2\n",
       {},
       4,
       "big:float e:float",
       "1.234568E10|0.001\n-5|250\n"},
      {"Windows-1251 text", Utf8ToCp1251("имя,n\nЖук,1\n"), cp1251, 5, "имя:text n:float",
       "Жук|1\n"},
  };
  const fs::path dir = testing_support::FreshTempDir("csv_import");
  int n = 0;
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = "t";
    file += std::to_string(++n);
    file += c.format <= 4 ? ".db" : ".dbf";
    const fs::path target = dir / file;
    CsvImportReport report;
    std::unique_ptr<Table> written;
    const Status s = ImportCsvText(c.csv, target, Format(c.format), c.options, report, written);
    ASSERT_TRUE(s.ok()) << s.message();
    std::unique_ptr<Table> table;
    ASSERT_TRUE(OpenTable(target, table).ok());
    EXPECT_EQ(Types(*table), c.types);
    EXPECT_EQ(Records(*table), c.records);
  }
}

TEST(CsvImportTest, NamesAreCutAndMadeUniqueWithAMap) {
  const fs::path dir = testing_support::FreshTempDir("csv_names");
  const std::string csv = "Temperature_max,Temperature_min,a,A,,a,x y\n1,2,3,4,5,6,7\n";
  CsvImportReport report;
  std::unique_ptr<Table> table;
  ASSERT_TRUE(ImportCsvText(csv, dir / "n.dbf", Format(5), {}, report, table).ok());
  std::vector<std::string> names;
  for (int c = 0; c < table->ColumnCount(); ++c) names.push_back(table->Column(c).name);
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_LE(names[i].size(), 10u) << names[i];
    for (size_t k = 0; k < i; ++k) EXPECT_NE(Upper(names[i]), Upper(names[k]));
  }
  EXPECT_EQ(names[2], "a");
  EXPECT_EQ(names[6], "x_y");  // dBase names keep to letters, digits and '_'
  // Both long names, "A", the empty one, the second "a" and "x y".
  EXPECT_EQ(report.renamed.size(), 6u);
}

TEST(CsvImportTest, RefusalsNameTheLineAndLeaveNoFile) {
  struct Refusal {
    std::string csv;
    int format;
    const char* where;
  };
  const std::vector<Refusal> refusals = {
      {"a,b\n1,2\n3\n", 5, "Строка 3, столбец 2"},
      {"a,b\n1,2\n3,4,5\n", 5, "Строка 3, столбец 3"},
      {"a,b\n1,\"open\n2,3\n", 5, "Строка 2, столбец 2"},
      {"a,b\n1,\"x\"y\n", 5, "Строка 2, столбец 2"},
      {"a\n" + std::string(300, 'x') + "\n", 5, "Строка 2, столбец 1 «a»"},
      {"a\n1\n1e30\n", 5, "Строка 3, столбец 1 «a»"},
      {"a\nok\n\xff\xfe\n", 4, "Строка 3"},
      {"a\n漢字\n", 5, "Строка 2, столбец 1 «a»"},
  };
  const fs::path dir = testing_support::FreshTempDir("csv_refusals");
  const fs::path kept = dir / "kept.dbf";
  { std::ofstream(kept) << "previous"; }
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.csv.substr(0, 40));
    for (const fs::path& target : {dir / "new.dbf", kept}) {
      CsvImportReport report;
      std::unique_ptr<Table> table;
      const Status s = ImportCsvText(r.csv, target, Format(r.format), {}, report, table);
      ASSERT_FALSE(s.ok());
      EXPECT_EQ(s.message().rfind(r.where, 0), 0u) << s.message();
    }
    EXPECT_FALSE(fs::exists(dir / "new.dbf"));
    std::ifstream in(kept);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "previous");
  }
}

// The shared CSV files, with their first line replaced by the column names,
// give tables holding exactly the values of the tables made from them.
TEST(CsvImportTest, SharedDataSetsGiveTheSameValues) {
  const fs::path data = fs::path(VELMAR_SHARED_FIXTURES) / "datasets";
  if (!fs::exists(data / "iris.csv")) GTEST_SKIP() << "shared data sets not found in " << data;
  const fs::path dir = testing_support::FreshTempDir("csv_shared");
  const std::vector<std::pair<const char*, std::vector<const char*>>> sets = {
      {"iris", {"iris_db3.dbf", "iris_vfp.dbf", "iris.db"}},
      {"breast_cancer", {"breast_cancer_db3.dbf", "breast_cancer.db"}}};
  for (const auto& [name, tables] : sets) {
    std::ifstream in(data / (std::string(name) + ".csv"), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    std::string csv = all.str();
    csv.erase(0, csv.find('\n') + 1);
    for (const char* shared_name : tables) {
      SCOPED_TRACE(shared_name);
      std::unique_ptr<Table> shared;
      ASSERT_TRUE(OpenTable(data / shared_name, shared).ok());
      std::string header;
      for (int c = 0; c < shared->ColumnCount(); ++c) {
        if (c) header += ',';
        header += shared->Column(c).name;
      }
      const bool paradox = fs::path(shared_name).extension() == ".db";
      std::string file = name;
      file += paradox ? ".db" : ".dbf";
      const fs::path target = dir / file;
      CsvImportReport report;
      std::unique_ptr<Table> imported;
      const Status s =
          ImportCsvText(header + "\n" + csv, target, Format(paradox ? 4 : 5), {}, report, imported);
      ASSERT_TRUE(s.ok()) << s.message();
      EXPECT_TRUE(report.renamed.empty());
      std::unique_ptr<Table> reread;
      ASSERT_TRUE(OpenTable(target, reread).ok());
      ASSERT_EQ(reread->RecordCount(), shared->RecordCount());
      ASSERT_EQ(reread->ColumnCount(), shared->ColumnCount());
      shared->First();
      for (reread->First(); !reread->Eof(); reread->Next(), shared->Next()) {
        for (int c = 0; c < shared->ColumnCount(); ++c) {
          const Value a = shared->GetValue(c), b = reread->GetValue(c);
          const double x = std::holds_alternative<double>(a)
                               ? std::get<double>(a)
                               : static_cast<double>(std::get<int64_t>(a));
          const double y = std::holds_alternative<double>(b)
                               ? std::get<double>(b)
                               : static_cast<double>(std::get<int64_t>(b));
          ASSERT_EQ(x, y) << "record " << reread->RecordNumber() << ", " << shared->Column(c).name;
        }
      }
    }
  }
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

// Short files from the characters that matter to the parser: every one is
// either read or refused with a line number, never a crash or a hang; what is
// read keeps all its columns when written.
TEST(CsvImportTest, ScrambledFilesAreImportedOrRefused) {
  const fs::path dir = testing_support::FreshTempDir("csv_scrambled");
  const char alphabet[] = {',', ';', '"', '\r', '\n', ' ', '1', '.', 'a', '\t', '-', 'T'};
  uint32_t state = 12345;
  int imported = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string csv;
    const int length = round % 40;
    for (int i = 0; i < length; ++i) {
      state = state * 1103515245u + 12345u;
      csv += alphabet[(state >> 16) % sizeof alphabet];
    }
    CsvImportReport report;
    std::unique_ptr<Table> table;
    const Status s = ReadCsvText(csv, Format(6), {}, report, table);
    if (s.ok()) {
      ++imported;
      EXPECT_EQ(table->ColumnCount(), static_cast<int>(report.columns.size()));
      // Every hundredth is written and read back with all its columns.
      if (imported % 100 == 0) {
        std::unique_ptr<Table> written;
        ASSERT_TRUE(ConvertTable(*table, dir / "s.dbf", Format(6), written).ok());
        std::unique_ptr<Table> reread;
        ASSERT_TRUE(OpenTable(dir / "s.dbf", reread).ok());
        EXPECT_EQ(reread->ColumnCount(), table->ColumnCount()) << testing::PrintToString(csv);
        EXPECT_EQ(reread->RecordCount(), table->RecordCount());
      }
    } else {
      EXPECT_TRUE(s.message().rfind("Строка ", 0) == 0 ||
                  s.message() == "В файле нет ни одной записи")
          << s.message() << " for " << testing::PrintToString(csv);
    }
  }
  EXPECT_GT(imported, 100);
}

}  // namespace
}  // namespace velmar
