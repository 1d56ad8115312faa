#include "gui/tables/db_editor.h"

#include "core/tables/table_factory.h"
#include "gui/app/main_frame.h"
#include "gui/base/text.h"

namespace velmar::gui {

TDBEditor::TDBEditor(MainFrame& frame, QWidget* parent) : QWidget(parent), frame_(frame) {
  setAttribute(Qt::WA_DeleteOnClose);
}

TDBEditor::~TDBEditor() = default;

Status TDBEditor::OpenFile(const QString& path) {
  setWindowTitle(path);
  std::unique_ptr<Table> table;
  VELMAR_RETURN_IF_ERROR(OpenTable(ToPath(path), table));
  table_ = std::move(table);
  template_ = BuildFieldTemplate(*table_);
  return Status::Ok();
}

void TDBEditor::Save() {}

}  // namespace velmar::gui
