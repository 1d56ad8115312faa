#ifndef VELMAR_CORE_TABLES_TABLE_CONVERT_H_
#define VELMAR_CORE_TABLES_TABLE_CONVERT_H_

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar {

// Writes a copy of `source` to `target` in `format` and returns it open.
// Column names, their order, every record in order and nulls are kept;
// names are shortened (uniquely) only where the target's limit forces it,
// and each column takes the nearest type of the target that holds its
// values. A column the target cannot represent is refused before anything
// is written. The source's cursor is left where it was.
Status ConvertTable(const Table& source, const std::filesystem::path& target,
                    const TableFormat& format, std::unique_ptr<Table>& out);

// The columns `source` gets in `format` (for the user to see before a
// conversion); refused as ConvertTable would refuse them.
Status ConvertedColumns(const Table& source, const TableFormat& format,
                        std::vector<ColumnDef>& columns);

// The index (1 to 6) of a table's format among the formats the editor
// saves: ".DB" gives 2, 3 or 4 for levels 4, 5 and 7, else 1; ".DBF" gives
// 6 for level 25, else 5; any other extension gives 1.
int FormatIndex(const std::filesystem::path& file, int level);

// The name a table converted to `format` is saved under: the caption cut
// before the first period of its file name, with ".db" for Paradox or ".dbf"
// otherwise.
std::string ConvertedCaption(const std::string& caption, const TableFormat& format);

// The table editor's Save As. `caption` is the name the user chose and
// `format_index` the format (1 to 6). The table keeps its format when the
// extension of `caption` equals that of its file (compared exactly) and
// its level is the level of the chosen format: it is then written to
// `caption`. Otherwise it is converted to the chosen format and written to
// ConvertedCaption(caption, format). Either way `table` becomes the saved
// table, bound to the name returned in `saved_as`, unmodified, with its
// cursor at the same position; the file it came from stays as it was last
// saved. A converted table is a new object: views must listen to it anew.
// On failure `table` and every file are left as they were. A plain Save is
// Table::Save, which keeps format and name.
Status SaveTableAs(std::unique_ptr<Table>& table, const std::filesystem::path& caption,
                   int format_index, std::filesystem::path& saved_as);

// A value as plain text: dates "YYYY-MM-DD", times "HH:MM:SS[.mmm]",
// timestamps "YYYY-MM-DDTHH:MM:SS[.mmm]", numbers through FormatReal, bytes
// in hexadecimal, null as "".
std::string ValueText(const Value& value, char decimal_separator = '.');

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_TABLE_CONVERT_H_
