#ifndef VELMAR_GUI_BASE_DIALOGS_H_
#define VELMAR_GUI_BASE_DIALOGS_H_

#include <QString>
#include <QStringList>
#include <optional>

#include "core/base/host.h"

class QWidget;

namespace velmar::gui {

// A standard open or save dialog as the commands set it up. `filter` is a
// list "Text|patterns|Text|patterns" (patterns separated by ';');
// `filter_index` counts its entries from 1.
struct FileDialogSetup {
  QString filter;
  QString initial_name;
  QString default_extension;  // without the period; empty for none
  int filter_index = 1;
};

struct FileChoice {
  QString path;  // full name
  int filter_index = 1;
};

// Every message box and file dialog of the windows goes through here, so the
// program shows real ones and the tests answer from a script.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box with an OK button.
  virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text) = 0;
  // A modal question with Yes, No and Cancel; closing the box is Cancel.
  virtual Answer AskYesNoCancel(QWidget* owner, const QString& caption, const QString& text) = 0;
  // An open dialog for existing files only; nullopt on cancel.
  virtual std::optional<FileChoice> OpenFile(QWidget* owner, const FileDialogSetup& setup) = 0;
  // A save dialog; nullopt on cancel.
  virtual std::optional<FileChoice> SaveFile(QWidget* owner, const FileDialogSetup& setup) = 0;
};

// One entry of a filter list.
struct FilterEntry {
  QString text;
  QStringList patterns;
};
QList<FilterEntry> ParseFilterList(const QString& filter);

// The name filters QFileDialog takes: the entry's text with its patterns in
// parentheses after it; the dialog hides that part, so the user reads the
// text exactly.
QStringList QtNameFilters(const QString& filter);

// The real dialogs: QMessageBox and QFileDialog.
class QtDialogs : public Dialogs {
 public:
  void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
  Answer AskYesNoCancel(QWidget* owner, const QString& caption, const QString& text) override;
  std::optional<FileChoice> OpenFile(QWidget* owner, const FileDialogSetup& setup) override;
  std::optional<FileChoice> SaveFile(QWidget* owner, const FileDialogSetup& setup) override;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_BASE_DIALOGS_H_
