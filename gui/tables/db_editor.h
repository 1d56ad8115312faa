#ifndef VELMAR_GUI_TABLES_DB_EDITOR_H_
#define VELMAR_GUI_TABLES_DB_EDITOR_H_

#include <QWidget>
#include <memory>

#include "core/base/status.h"
#include "core/data/data_description.h"
#include "core/project/workspace.h"
#include "core/tables/table.h"
#include "gui/app/child_window.h"

class QAction;
class QMenu;
class QTableView;

namespace velmar::gui {

class MainFrame;
class TableModel;

// The six table formats of Save As, in the order of their format index.
inline const QString kTableFilter = QStringLiteral(
    "Базы данных Paradox 3.5 (*.db)|*db|Базы данных Paradox 4 (*.db)|*db|"
    "Базы данных Paradox 5 (*.db)|*db|Базы данных Paradox for Win32 (*.db)|*db|"
    "Базы данных DBase (*.dbf)|*dbf|Базы данных FoxPro (*.dbf)|*dbf");

// The table editor: the child window that holds the project's open table,
// shows and edits its records and saves it, in another format too. Edits
// change the table in memory; the data file changes only on Save.
class TDBEditor : public QWidget, public ChildWindow {
  Q_OBJECT

 public:
  // Shows the workspace's open table; the caption is set by the caller.
  TDBEditor(MainFrame& frame, Workspace& workspace, QWidget* parent = nullptr);
  ~TDBEditor() override;

  Table* GetTable() const { return workspace_.table(); }
  bool Modified() const { return modified_; }
  TableModel* Model() const { return model_; }
  // The 0-based row of the current record, -1 with none.
  int CurrentRow() const;
  // Closes the window with its question; false when it stays open.
  bool CloseWindow();

  // --- ChildWindow ---
  ChildKind Kind() const override { return ChildKind::kEditor; }
  int HelpContext() const override { return 1300; }
  bool SaveEnabled() const override { return modified_; }
  void Save() override;
  SaveAsSetup SaveAsDialogSetup() const override;
  void SaveAs(int filter_index) override;
  bool CanClose() override;
  QList<QMenu*> MergedMenus() const override { return {TableMenu}; }

  QTableView* DBGrid = nullptr;
  QMenu* TableMenu = nullptr;
  QAction* InsRecord = nullptr;
  QAction* AppRecord = nullptr;
  QAction* DelRecord = nullptr;
  QAction* SortTable = nullptr;
  QAction* Structure = nullptr;
  QAction* Restructure = nullptr;

 public slots:
  void InsRecordClick();
  void AppRecordClick();
  void DelRecordClick();
  void SortTableClick() {}

 signals:
  // The window is closing; the project forgets its data file.
  void Closing();
  // Saved under another name (Save As).
  void SavedAs(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Writes the table; false (after a message) when it failed.
  bool SaveTable();
  void AfterPost(int row);
  void ShowError(const QString& caption, const Status& status);
  void SizeColumns();
  void CurrentRowChanged(int current, int previous);
  void MakeCurrent(int row);

  MainFrame& frame_;
  Workspace& workspace_;
  TableModel* model_ = nullptr;
  bool modified_ = false;
  // A record inserted or appended and not yet posted: leaving it drops it.
  int pending_row_ = -1;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_TABLES_DB_EDITOR_H_
