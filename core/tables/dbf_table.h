#ifndef VELMAR_CORE_TABLES_DBF_TABLE_H_
#define VELMAR_CORE_TABLES_DBF_TABLE_H_

#include <filesystem>
#include <memory>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar {

// Opens a dBase (III, IV, 7) or FoxPro (2.x, Visual FoxPro) table with its
// memo file, found in the same folder whatever the case of its name. A memo
// file that is missing leaves the memo columns null. Malformed files are
// refused with a message ready to show the user.
Status OpenDbfTable(const std::filesystem::path& path, std::unique_ptr<Table>& out);

// Makes an empty table in memory, bound to `path`; nothing is written until
// Save. dBase is written as dBase III (0x03, or 0x83 with a .dbt memo file),
// FoxPro as FoxPro 2.x (0x03, or 0xF5 with an .fpt memo file). Text is kept
// in `code_page` when a language-driver byte can name it, else in cp1251.
// Columns the format cannot hold are refused and no table is made.
Status CreateDbfTable(const std::filesystem::path& path, const TableFormat& format,
                      const std::vector<ColumnDef>& columns, int code_page,
                      std::unique_ptr<Table>& out);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_DBF_TABLE_H_
