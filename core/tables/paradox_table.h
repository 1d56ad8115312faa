#ifndef VELMAR_CORE_TABLES_PARADOX_TABLE_H_
#define VELMAR_CORE_TABLES_PARADOX_TABLE_H_

#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar {

// Opens a Paradox table (.db) of file version 3.0 to 7.x with its blob file
// (.mb) when there is one. Encrypted and malformed files are refused with a
// message ready to show the user. A missing blob file is no reason to
// refuse: the blobs it would hold read as null. Tables are saved unkeyed
// and without indexes: a save removes the index files (.PX, .Xnn/.Ynn,
// .XGn/.YGn) of the name it wrote, which would no longer match the file.
Status OpenParadoxTable(const std::filesystem::path& path, std::unique_ptr<Table>& out);

// Makes an empty Paradox table of `format.level` (3, 4, 5 or 7) in memory,
// bound to `path`; nothing is written until Save. Columns use the Paradox
// letters as `native_type` ('A' with `length` characters, 'N', 'S', 'I',
// '$', 'D', 'L', 'T', '@', '+', '#' with `decimals`, 'Y' with `length`
// bytes, and the blobs 'M', 'B', 'F', 'O', 'G' whose `length` is the leader
// plus 10). Text is kept in `code_page` (level 3 files always hold 437).
Status CreateParadoxTable(const std::filesystem::path& path, const TableFormat& format,
                          const std::vector<ColumnDef>& columns, int code_page,
                          std::unique_ptr<Table>& out);

// The bytes a Paradox table holds in memory (records and blobs), or 0 for
// any other table. For measurements.
size_t ParadoxHeldBytes(const Table& table);

// The blob file that goes with a table file: the same name with ".mb" (or
// ".MB" when the table's extension is in upper case).
std::filesystem::path ParadoxBlobPath(const std::filesystem::path& table_path);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_PARADOX_TABLE_H_
