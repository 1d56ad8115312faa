#ifndef VELMAR_TESTS_GUI_SUPPORT_GUI_FIXTURE_H_
#define VELMAR_TESTS_GUI_SUPPORT_GUI_FIXTURE_H_

#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "gui/app/main_window.h"
#include "gui/base/scripted_dialogs.h"
#include "gui/data/network_dialog.h"
#include "gui/project/project_window.h"
#include "gui/tables/db_editor.h"
#include "gui/tables/table_model.h"

namespace velmar::gui::testing {

// A main window answered by a script, with a temporary folder that holds a
// copy of the example table.
class GuiFixture {
 public:
  GuiFixture() {
    window = std::make_unique<TMainWindow>(&dialogs);
    window->SetHelpFile(QStringLiteral(VELMAR_HELP_FILE));
    window->show();
    table_path = dir.filePath(QStringLiteral("iris.dbf"));
    QFile::copy(QStringLiteral(VELMAR_EXAMPLES "/iris.dbf"), table_path);
    QFile::setPermissions(table_path, QFile::ReadOwner | QFile::WriteOwner);
  }

  QString Path(const QString& name) const { return dir.filePath(name); }

  // New project through the menu, with no question expected.
  TProject* NewProject() {
    window->FileNew();
    return window->Project();
  }

  // Opens the copied table in the project through its button.
  TDBEditor* OpenData(TProject* project) {
    dialogs.QueueFile(table_path);
    project->SelectDBButtonClick();
    return project->DataEditor();
  }

  // Creates a network through the project's button; the dialog is confirmed
  // as it opens.
  void AddNetwork(TProject* project) {
    project->network_dialog_runner = [](TNetworkDialog& dialog) {
      dialog.accept();
      return dialog.result();
    };
    project->AddNetButtonClick();
  }

  // Waits until the deferred deletions of closed windows ran.
  static void Settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }

  static QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir;
  ScriptedDialogs dialogs;
  std::unique_ptr<TMainWindow> window;
  QString table_path;
};

}  // namespace velmar::gui::testing

#endif  // VELMAR_TESTS_GUI_SUPPORT_GUI_FIXTURE_H_
