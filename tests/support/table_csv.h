#ifndef VELMAR_TESTS_SUPPORT_TABLE_CSV_H_
#define VELMAR_TESTS_SUPPORT_TABLE_CSV_H_

// A table as CSV with a header line, numbers at full precision, for feeding
// generated programs the same values the engine reads.

#include <cstdio>
#include <string>
#include <variant>

#include "core/tables/table.h"

namespace velmar::testing_support {

inline std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

inline std::string CsvValue(const Value& v) {
  char buf[64];
  if (const double* d = std::get_if<double>(&v)) {
    std::snprintf(buf, sizeof buf, "%.17g", *d);
    return buf;
  }
  if (const int64_t* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (const bool* b = std::get_if<bool>(&v)) return *b ? "1" : "0";
  if (const std::string* s = std::get_if<std::string>(&v)) return CsvCell(*s);
  return "";
}

// Walks every record; the cursor ends past the last one.
inline std::string TableAsCsv(Table& table) {
  std::string csv;
  for (int c = 0; c < table.ColumnCount(); ++c) {
    csv += (c ? "," : "") + CsvCell(table.Column(c).name);
  }
  csv += "\r\n";
  for (table.First(); !table.Eof(); table.Next()) {
    for (int c = 0; c < table.ColumnCount(); ++c) {
      if (c) csv += ',';
      if (!table.IsNull(c)) csv += CsvValue(table.GetValue(c));
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_TABLE_CSV_H_
