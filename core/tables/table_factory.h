#ifndef VELMAR_CORE_TABLES_TABLE_FACTORY_H_
#define VELMAR_CORE_TABLES_TABLE_FACTORY_H_

#include <filesystem>
#include <memory>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar {

// Opens a table by its extension, whatever its case: ".db" Paradox, ".dbf"
// dBase or FoxPro (told apart by the header), ".dbc" a Visual FoxPro
// database container; anything else is refused.
Status OpenTable(const std::filesystem::path& path, std::unique_ptr<Table>& out);

// Makes an empty table of `format` in memory, bound to `path`; nothing is
// written until Save.
Status CreateTable(const std::filesystem::path& path, const TableFormat& format,
                   const std::vector<ColumnDef>& columns, int code_page,
                   std::unique_ptr<Table>& out);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_TABLE_FACTORY_H_
