#ifndef VELMAR_TESTS_SUPPORT_COLUMN_DEF_H_
#define VELMAR_TESTS_SUPPORT_COLUMN_DEF_H_

#include <string>

#include "core/tables/table.h"

namespace velmar::testing_support {

// A column to create a table with, by its format's own type letter.
inline ColumnDef Col(const std::string& name, char type, int length = 0, int decimals = 0,
                     FieldKind kind = FieldKind::kText) {
  ColumnDef d;
  d.name = name;
  d.native_type = type;
  d.length = length;
  d.decimals = decimals;
  d.kind = kind;
  return d;
}

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_COLUMN_DEF_H_
