#include "core/tables/paradox_table.h"

namespace velmar {

Status OpenParadoxTable(const std::filesystem::path&, std::unique_ptr<Table>&) {
  return Status::Unsupported("таблицы Paradox пока не поддерживаются");
}

Status CreateParadoxTable(const std::filesystem::path&, const TableFormat&,
                          const std::vector<ColumnDef>&, int, std::unique_ptr<Table>&) {
  return Status::Unsupported("таблицы Paradox пока не поддерживаются");
}

}  // namespace velmar
