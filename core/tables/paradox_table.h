#ifndef VELMAR_CORE_TABLES_PARADOX_TABLE_H_
#define VELMAR_CORE_TABLES_PARADOX_TABLE_H_

#include <filesystem>
#include <memory>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar {

// Opens a Paradox table (.db) of file version 3.0 to 7.x with its blob file
// (.mb) when there is one. Encrypted and malformed files are refused with a
// message ready to show the user.
Status OpenParadoxTable(const std::filesystem::path& path, std::unique_ptr<Table>& out);

// Makes an empty Paradox table of `format.level` (3, 4, 5 or 7) in memory,
// bound to `path`; nothing is written until Save. Text is kept in
// `code_page`.
Status CreateParadoxTable(const std::filesystem::path& path, const TableFormat& format,
                          const std::vector<ColumnDef>& columns, int code_page,
                          std::unique_ptr<Table>& out);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_PARADOX_TABLE_H_
