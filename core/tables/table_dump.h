#ifndef VELMAR_CORE_TABLES_TABLE_DUMP_H_
#define VELMAR_CORE_TABLES_TABLE_DUMP_H_

#include <string>
#include <string_view>

#include "core/tables/table.h"
#include "core/tables/value_text.h"  // JsonQuote, which the dumps' users share

namespace velmar {

// The whole table as JSON, one column or record per line: "file", the
// table's DumpFacts(), "columns" (name, type, length, decimals, category,
// kind for non-numeric columns, then ColumnDumpFacts()), "record_count" and
// "records" with the values of every record in table order. The cursor and
// the views are left as they were.
std::string DumpTableJson(const Table& table);

// A listing for people: format, code page, columns and records, one record
// a line, fields separated by tabs; reals written by FormatReal.
std::string DumpTableText(const Table& table, char decimal_separator);

// The format, code page, record count and columns with their numeric
// categories, as `velmar-cli table info` prints them.
std::string DescribeTable(const Table& table);

// The generic JSON form of a value: numbers, booleans, null, strings,
// "YYYY-MM-DD" dates, "HH:MM:SS[.mmm]" times, "YYYY-MM-DDTHH:MM:SS[.mmm]"
// timestamps and {"kind":"bytes","hex":...} for bytes.
std::string ValueToJson(const Value& value);

// "Paradox 7", "dBase", "FoxPro": the format as the user knows it.
std::string FormatName(const TableFormat& format);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_TABLE_DUMP_H_
