#ifndef VELMAR_GUI_APP_CHILD_WINDOW_H_
#define VELMAR_GUI_APP_CHILD_WINDOW_H_

#include <QList>
#include <QString>

class QMenu;

namespace velmar::gui {

// The kinds of child window the main window routes its commands by.
enum class ChildKind { kProject, kEditor, kVerbal, kTest, kInpSens };

// What Save As asks the save dialog for.
struct SaveAsSetup {
  QString filter;  // "Text|*.ext|..."
  QString initial_name;
  QString default_extension;  // without the period; empty for none
  int filter_index = 1;
};

// The filters of the main window's Save As.
inline const QString kTextFilter = QStringLiteral("Текстовые файлы (*.txt)|*.txt");
inline const QString kProjectFilter = QStringLiteral("Файлы Velmar (*.vmp)|*.vmp");

// Implemented by every widget that sits in an MDI child window of the main
// window. The widget's windowTitle is the window's caption (its file name).
class ChildWindow {
 public:
  virtual ~ChildWindow() = default;

  virtual ChildKind Kind() const = 0;
  // The help context number F1 opens.
  virtual int HelpContext() const = 0;

  // Whether Save is enabled while this window is active.
  virtual bool SaveEnabled() const = 0;
  // Save to the caption's file. Reports its own failures.
  virtual void Save() = 0;
  // The save dialog of Save As; the main window puts the chosen name into the
  // caption before it calls SaveAs.
  virtual SaveAsSetup SaveAsDialogSetup() const;
  // Save As after the dialog: by default a plain Save to the new caption.
  virtual void SaveAs(int filter_index) {
    (void)filter_index;
    Save();
  }

  // The close question; false keeps the window open.
  virtual bool CanClose() { return true; }

  // Menus merged into the main menu bar while this window is active.
  virtual QList<QMenu*> MergedMenus() const { return {}; }
  // Runs each time this window becomes the active child, after the main
  // window set Save, Save As and the edit commands: the project updates its
  // menus here.
  virtual void Activated() {}

  // The edit commands; only the verbal text acts on them. UpdateEditCommands
  // sets their enabled states through MainFrame::SetEditCommands.
  virtual void UpdateEditCommands() {}
  virtual void EditUndo() {}
  virtual void EditCut() {}
  virtual void EditCopy() {}
  virtual void EditPaste() {}
};

inline SaveAsSetup ChildWindow::SaveAsDialogSetup() const { return {kTextFilter, {}, "txt", 1}; }

}  // namespace velmar::gui

#endif  // VELMAR_GUI_APP_CHILD_WINDOW_H_
