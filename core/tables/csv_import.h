#ifndef VELMAR_CORE_TABLES_CSV_IMPORT_H_
#define VELMAR_CORE_TABLES_CSV_IMPORT_H_

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar {

enum class CsvEncoding { kUtf8, kCp1251, kCp866 };

struct CsvImportOptions {
  char delimiter = 0;  // 0: sniffed from the first records (',', ';', tab or '|')
  char decimal = 0;    // 0: ',' when the numbers are written so, else '.'
  CsvEncoding encoding = CsvEncoding::kUtf8;  // a UTF-8 BOM wins over it
  bool header = true;                         // the first record names the columns
};

// What the import found and did.
struct CsvImportReport {
  char delimiter = ',';
  char decimal = '.';
  int records = 0;
  std::vector<ColumnDef> columns;  // as written to the table
  // Column names that had to change (empty, repeated, too long): from, to.
  std::vector<std::pair<std::string, std::string>> renamed;
};

// Reads a CSV file (RFC 4180 quoting, LF or CRLF line ends, a BOM) and
// writes it to `target` as a table in `format`. Each column's type is
// inferred from all its cells: logical (true/false, t/f, yes/no, y/n), integer,
// number with as many decimals as its values have, date (YYYY-MM-DD or
// DD.MM.YYYY), else text as wide as its longest value; an empty cell is null.
// Refusals (ragged records, an unterminated quote, a value the table cannot
// hold) name the line and the column; nothing is written then, and an
// existing `target` stays as it was.
Status ImportCsv(const std::filesystem::path& source, const std::filesystem::path& target,
                 const TableFormat& format, const CsvImportOptions& options,
                 CsvImportReport& report, std::unique_ptr<Table>& out);

// Parses, infers and checks as ImportCsv does, without writing: `records`
// holds the values in memory, and the report the columns `format` will get.
Status ReadCsvText(std::string_view bytes, const TableFormat& format,
                   const CsvImportOptions& options, CsvImportReport& report,
                   std::unique_ptr<Table>& records);

// The same from text already in memory (UTF-8, or in `options.encoding`).
Status ImportCsvText(std::string_view bytes, const std::filesystem::path& target,
                     const TableFormat& format, const CsvImportOptions& options,
                     CsvImportReport& report, std::unique_ptr<Table>& out);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_CSV_IMPORT_H_
