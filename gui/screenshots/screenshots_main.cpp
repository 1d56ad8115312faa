// Renders the windows with real content into PNG files, one per window, so a
// reviewer can look at them: velmar_screenshots DIR (run it with the
// offscreen platform, as scripts/screenshots does).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

#include "gui/app/about_box.h"
#include "gui/app/help_window.h"
#include "gui/app/main_window.h"
#include "gui/base/scripted_dialogs.h"
#include "gui/data/network_dialog.h"
#include "gui/project/project_window.h"
#include "gui/screenshots/network_windows_shots.h"
#include "gui/tables/db_editor.h"

namespace velmar::gui {
namespace {

class Shooter {
 public:
  explicit Shooter(const QString& dir) : dir_(dir) {}

  void Shoot(QWidget* widget, const QString& name) {
    QApplication::processEvents();
    const QString path = QDir(dir_).filePath(name + QStringLiteral(".png"));
    if (widget->grab().save(path)) {
      std::printf("%s\n", qPrintable(path));
    } else {
      std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
      failed_ = true;
    }
  }

  bool Failed() const { return failed_; }

 private:
  QString dir_;
  bool failed_ = false;
};

// Shows a menu of the bar beside the window, grabs it and closes it.
void ShootMenu(Shooter& shooter, QMenu* menu, const QString& name) {
  menu->popup(QPoint(0, 0));
  shooter.Shoot(menu, name);
  menu->hide();
}

int Run(const QString& out_dir) {
  QTemporaryDir work;
  const QString table = work.filePath(QStringLiteral("iris.dbf"));
  QFile::copy(QStringLiteral(VELMAR_EXAMPLES "/iris.dbf"), table);
  QFile::setPermissions(table, QFile::ReadOwner | QFile::WriteOwner);

  ScriptedDialogs dialogs;
  TMainWindow window(&dialogs);
  window.SetHelpFile(QStringLiteral(VELMAR_HELP_FILE));
  window.resize(1100, 760);
  window.show();
  Shooter shooter(out_dir);

  // A project over the example table with two networks.
  window.FileNew();
  TProject* project = window.Project();
  dialogs.QueueFile(table);
  project->SelectDBButtonClick();
  project->network_dialog_runner = [](TNetworkDialog& dialog) {
    dialog.accept();
    return dialog.result();
  };
  project->AddNetButtonClick();
  project->CloneNet();
  project->network_dialog_runner = nullptr;
  window.ActivateChild(project);
  window.MdiArea()->tileSubWindows();
  shooter.Shoot(&window, QStringLiteral("main_window"));
  shooter.Shoot(project, QStringLiteral("project_window"));
  ShootMenu(shooter, project->NetMenu, QStringLiteral("project_menu_network"));
  ShootMenu(shooter, project->OptionsMenu, QStringLiteral("project_menu_options"));
  ShootMenu(shooter, window.FileMenu, QStringLiteral("main_menu_file"));

  TDBEditor* editor = project->DataEditor();
  window.ActivateChild(editor);
  shooter.Shoot(editor, QStringLiteral("table_editor"));
  ShootMenu(shooter, editor->TableMenu, QStringLiteral("table_editor_menu"));

  // The network dialog on each page, in create and in edit mode.
  DataDescription desc = project->Model().NewNetworkDescription(project->Work().Statistics());
  {
    TNetworkDialog dialog(window, desc, TNetworkDialog::Mode::kCreate, &window);
    dialog.show();
    dialog.SelectField(static_cast<int>(desc.Fields.size()) - 1);
    shooter.Shoot(&dialog, QStringLiteral("network_dialog_fields"));
    dialog.TypeDiscrete->setChecked(true);
    dialog.Pages->setCurrentWidget(dialog.TabSheet2);
    shooter.Shoot(&dialog, QStringLiteral("network_dialog_states"));
    dialog.Pages->setCurrentWidget(dialog.TabSheet3);
    shooter.Shoot(&dialog, QStringLiteral("network_dialog_structure"));
    dialog.hide();
  }
  {
    TNetworkDialog dialog(window, project->Model().Net(0).Desc, TNetworkDialog::Mode::kEdit,
                          &window);
    dialog.show();
    shooter.Shoot(&dialog, QStringLiteral("network_dialog_edit"));
    dialog.Pages->setCurrentWidget(dialog.TabSheet3);
    shooter.Shoot(&dialog, QStringLiteral("network_dialog_edit_structure"));
    dialog.reject();
  }

  window.AboutBox()->show();
  shooter.Shoot(window.AboutBox(), QStringLiteral("about_box"));
  window.AboutBox()->hide();

  window.ShowHelpTopic(400);
  if (THelpWindow* help = window.HelpWindow()) {
    shooter.Shoot(help, QStringLiteral("help_topic"));
    window.HelpSearch();
    help->SearchEdit->setText(QStringLiteral("сет"));
    shooter.Shoot(help, QStringLiteral("help_search"));
    help->hide();
  }

  // The windows of the network commands, on the first network (iris trained,
  // tested, simplified, its significance and verbal text).
  project->NetList->setCurrentRow(0);
  if (!ShootNetworkWindows(window, *project, dialogs, [&](QWidget* widget, const QString& name) {
        shooter.Shoot(widget, name);
      })) {
    std::fprintf(stderr, "screenshots: a network window did not come up\n");
    return 1;
  }

  // Nothing is saved: every question is answered No.
  for (int i = 0; i < 4; ++i) dialogs.QueueAnswer(Answer::kNo);
  window.close();
  return shooter.Failed() ? 1 : 0;
}

}  // namespace
}  // namespace velmar::gui

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmar_screenshots DIR\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "screenshots: cannot create %s\n", argv[1]);
    return 1;
  }
  return velmar::gui::Run(dir);
}
