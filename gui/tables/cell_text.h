#ifndef VELMAR_GUI_TABLES_CELL_TEXT_H_
#define VELMAR_GUI_TABLES_CELL_TEXT_H_

#include <QString>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar::gui {

// Whether the editor lets the user type into a column of this kind (blobs,
// raw bytes and counters are shown only).
bool IsEditableKind(FieldKind kind);

// Reads the text typed into a cell of `column` as a value of its kind: an
// empty text is null; numbers take '.' or `decimal_separator`; booleans
// "true"/"false", "1"/"0" or "да"/"нет"; dates "YYYY-MM-DD"; times
// "HH:MM[:SS[.mmm]]"; timestamps a date and a time joined by "T" or a blank.
Status ParseCellText(const ColumnDef& column, const QString& text, char decimal_separator,
                     Value& out);

}  // namespace velmar::gui

#endif  // VELMAR_GUI_TABLES_CELL_TEXT_H_
