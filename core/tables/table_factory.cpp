#include "core/tables/table_factory.h"

#include <cctype>
#include <string>

#include "core/tables/dbf_table.h"
#include "core/tables/paradox_table.h"

namespace velmar {

Status OpenTable(const std::filesystem::path& path, std::unique_ptr<Table>& out) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".db") return OpenParadoxTable(path, out);
  // A Visual FoxPro database container (.dbc) is itself a table.
  if (ext == ".dbf" || ext == ".dbc") return OpenDbfTable(path, out);
  return Status::Unsupported("неизвестный формат таблицы: ожидается файл .db или .dbf");
}

Status CreateTable(const std::filesystem::path& path, const TableFormat& format,
                   const std::vector<ColumnDef>& columns, int code_page,
                   std::unique_ptr<Table>& out) {
  if (format.family == TableFamily::kParadox) {
    return CreateParadoxTable(path, format, columns, code_page, out);
  }
  return CreateDbfTable(path, format, columns, code_page, out);
}

}  // namespace velmar
