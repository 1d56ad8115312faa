#ifndef VELMAR_GUI_TABLES_DB_EDITOR_H_
#define VELMAR_GUI_TABLES_DB_EDITOR_H_

#include <QWidget>
#include <memory>

#include "core/base/status.h"
#include "core/data/data_description.h"
#include "core/tables/table.h"
#include "gui/app/child_window.h"

namespace velmar::gui {

class MainFrame;

// The table editor: the child window that holds the project's open table,
// shows and edits its records and saves it, in another format too.
class TDBEditor : public QWidget, public ChildWindow {
  Q_OBJECT

 public:
  explicit TDBEditor(MainFrame& frame, QWidget* parent = nullptr);
  ~TDBEditor() override;

  // Opens the table at `path` (the caption becomes it) and gathers its field
  // statistics. On failure the table engine's message comes back.
  Status OpenFile(const QString& path);

  Table* GetTable() const { return table_.get(); }
  const FieldTemplate& Template() const { return template_; }
  bool Modified() const { return modified_; }

  // --- ChildWindow ---
  ChildKind Kind() const override { return ChildKind::kEditor; }
  int HelpContext() const override { return 1300; }
  bool SaveEnabled() const override { return modified_; }
  void Save() override;

 signals:
  // A record was posted: the networks' taskbooks no longer match the table.
  void RecordPosted();
  // The window is closing; the project forgets its data file.
  void Closing();
  // Saved under another name (Save As).
  void SavedAs(const QString& path);

 private:
  MainFrame& frame_;
  std::unique_ptr<Table> table_;
  FieldTemplate template_;
  bool modified_ = false;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_TABLES_DB_EDITOR_H_
