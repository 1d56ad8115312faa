#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/data_description.h"
#include "core/engine/test_network.h"
#include "core/project/project.h"
#include "core/simplify/significance_text.h"
#include "core/tables/table_factory.h"
#include "core/verbal/verbalize.h"
#include "gui/app/main_window.h"
#include "gui/base/scripted_dialogs.h"
#include "gui/engine/bump_dialog.h"
#include "gui/engine/network_commands.h"
#include "gui/engine/test_window.h"
#include "gui/engine/training_process.h"
#include "gui/project/project_window.h"
#include "gui/project/project_window_net_commands.h"
#include "gui/simplify/inp_sens_window.h"
#include "gui/verbal/verbal_text.h"
#include "tests/gui/support/read_file.h"

namespace velmar::gui {
namespace {

using testing::ReadFile;

// A project file with two networks over the example table.
QString MakeProjectFile(const QTemporaryDir& dir) {
  std::unique_ptr<Table> table;
  if (!OpenTable(std::filesystem::path(VELMAR_EXAMPLES) / "iris.dbf", table).ok()) return {};
  const FieldTemplate field_template = BuildFieldTemplate(*table);
  Project project;
  for (int i = 0; i < 2; ++i) {
    DataDescription desc = project.NewNetworkDescription(field_template);
    desc.NumOfLayers = 1;
    desc.NumOfNeurons[0] = 3;
    if (!project.AddNetwork(std::move(desc)).ok()) return {};
  }
  const QString path = dir.filePath("проект.vmp");
  if (!SaveProject(project, path.toStdString()).ok()) return {};
  return path;
}

class ProjectNetCommandsTest : public QObject {
  Q_OBJECT

 private:
  struct Bench {
    Bench() : window(&dialogs) {
      window.show();
      path = MakeProjectFile(dir);
      dialogs.QueueFile(path);
      window.FileOpen();
    }
    ~Bench() {
      // The windows go before the frame, unsaved changes discarded.
      for (int i = 0; i < 4; ++i) dialogs.QueueAnswer(Answer::kNo);
      window.MdiArea()->closeAllSubWindows();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    TProject* Project() { return window.Project(); }
    QList<QMdiSubWindow*> Children() { return window.MdiArea()->subWindowList(); }

    QTemporaryDir dir;
    QString path;
    ScriptedDialogs dialogs;
    TMainWindow window;
  };

 private slots:
  void VerbalWindowSavesByTheActiveWindow() {
    Bench bench;
    QVERIFY(bench.Project() != nullptr);
    QCOMPARE(bench.Project()->Model().NetCount(), 2);
    bench.Project()->NetVerbalItem->trigger();
    auto* verbal = qobject_cast<TVerbalText*>(bench.window.ActiveChildWidget());
    QVERIFY(verbal != nullptr);
    const int current = bench.Project()->Model().CurrentIndex();
    QVERIFY(current >= 0);
    QCOMPARE(verbal->windowTitle(),
             "Вербальное описание " + QString::number(current + 1).prepend("Network"));
    // A new description is unsaved: Save and Save As are on.
    QVERIFY(bench.window.FileSaveItem->isEnabled());
    QVERIFY(bench.window.FileSaveAsItem->isEnabled());

    const QString text_path = bench.dir.filePath("описание.txt");
    bench.dialogs.QueueFile(text_path);
    bench.window.FileSaveAsItem->trigger();
    const auto saves = bench.dialogs.CallsOf(ScriptedDialogs::Kind::kSave);
    QCOMPARE(saves.size(), size_t(1));
    QCOMPARE(saves[0].setup.filter, QString("Текстовые файлы (*.txt)|*.txt"));
    QCOMPARE(saves[0].setup.initial_name,
             "Вербальное описание " + QString::number(current + 1).prepend("Network"));
    QCOMPARE(saves[0].setup.default_extension, QString("txt"));
    QCOMPARE(verbal->windowTitle(), text_path);
    std::string expected;
    for (const std::string& line : VerbalizeNet(bench.Project()->Model().Net(current), '.')) {
      expected += line + "\n";
    }
    QCOMPARE(ReadFile(text_path), expected);
    QVERIFY(!bench.window.FileSaveItem->isEnabled());

    // An edit turns Save on; Save writes without a dialog.
    verbal->Editor()->moveCursor(QTextCursor::Start);
    QTest::keyClicks(verbal->Editor(), "Z");
    QVERIFY(bench.window.FileSaveItem->isEnabled());
    bench.window.FileSaveItem->trigger();
    QCOMPARE(bench.dialogs.CallsOf(ScriptedDialogs::Kind::kSave).size(), size_t(1));
    QCOMPARE(ReadFile(text_path), "Z" + expected);

    // With the project window active, Save saves the project, not the text.
    bench.Project()->Model().SetModified(true);
    bench.window.ActivateChild(bench.Project());
    QVERIFY(bench.window.FileSaveItem->isEnabled());
    std::filesystem::remove(text_path.toStdString());
    bench.window.FileSaveItem->trigger();
    QVERIFY(!bench.Project()->Model().Modified());
    QVERIFY(!QFile::exists(text_path));
    QCOMPARE(bench.dialogs.Unscripted(), 0);
  }

  void EditCommandsOfTheMainWindowActOnTheText() {
    Bench bench;
    bench.Project()->NetVerbalItem->trigger();
    auto* verbal = qobject_cast<TVerbalText*>(bench.window.ActiveChildWidget());
    QVERIFY(verbal != nullptr);
    QApplication::clipboard()->clear();
    verbal->UpdateEditCommands();
    QVERIFY(!bench.window.EditCopyItem->isEnabled());
    QVERIFY(!bench.window.EditPasteItem->isEnabled());
    const QString original = verbal->PlainText();
    verbal->Editor()->selectAll();
    verbal->UpdateEditCommands();
    QVERIFY(bench.window.EditCopyItem->isEnabled());
    QVERIFY(bench.window.SBCut->isEnabled());
    bench.window.EditCopyItem->trigger();
    QCOMPARE(QApplication::clipboard()->text(), original);
    QCOMPARE(verbal->PlainText(), original);
    QVERIFY(bench.window.EditPasteItem->isEnabled());
    bench.window.EditCutItem->trigger();
    QVERIFY(verbal->PlainText().isEmpty());
    QVERIFY(bench.window.EditUndoItem->isEnabled());
    bench.window.EditUndoItem->trigger();
    QCOMPARE(verbal->PlainText(), original);
    // Switching to the project window turns the edit commands off.
    bench.window.ActivateChild(bench.Project());
    QVERIFY(!bench.window.EditCopyItem->isEnabled());
    QVERIFY(!bench.window.EditUndoItem->isEnabled());
  }

  void DeletingANetworkOrClosingTheProjectClosesItsWindows() {
    Bench bench;
    TProject* project = bench.Project();
    project->NetList->setCurrentRow(1);
    project->NetVerbalItem->trigger();  // Network2's window
    bench.window.ActivateChild(project);
    project->NetList->setCurrentRow(0);
    project->NetVerbalItem->trigger();  // Network1's window
    QCOMPARE(bench.Children().size(), 3);
    bench.window.ActivateChild(project);
    project->NetList->setCurrentRow(1);
    project->DeleteNetButton->click();
    QTRY_COMPARE(bench.Children().size(), 2);
    QCOMPARE(NetworkCommands::VerbalWindowOf(project->Model().Net(0))->windowTitle(),
             QString("Вербальное описание Network1"));
    // A new project closes the old one with the windows of its networks.
    bench.dialogs.QueueAnswer(Answer::kNo);
    bench.window.FileNewItem->trigger();
    QTRY_COMPARE(bench.Children().size(), 1);
    QCOMPARE(bench.window.Project()->windowTitle(), QString("Без имени"));
  }

  void DataCommandsFromTheMenusAndSaveByTheActiveWindow() {
    Bench bench;
    TProject* project = bench.Project();
    const QString table = bench.dir.filePath("iris.dbf");
    QVERIFY(QFile::copy(QStringLiteral(VELMAR_EXAMPLES "/iris.dbf"), table));
    QFile::setPermissions(table, QFile::ReadOwner | QFile::WriteOwner);
    bench.dialogs.QueueFile(table);
    project->SelectDBButtonClick();
    QVERIFY(project->DataFileOpen());
    bench.window.ActivateChild(project);
    project->NetList->setCurrentRow(0);
    QVERIFY(project->NetTrainItem->isEnabled());
    QVERIFY(bench.window.SBTrain->isEnabled());
    NetworkCommands& commands = NetCommandsOf(*project);
    TTrainingProcess& progress = commands.Progress();

    // Training from the speed button: the main window is off until "Готово".
    bench.window.SBTrain->trigger();
    QVERIFY(!bench.window.isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(progress.ButtonState(), StopButtonState::kFinished, 30000);
    QTRY_VERIFY(!commands.Runner().Busy());
    QCOMPARE(progress.windowTitle(), QString("Обучение Network1"));
    QVERIFY(project->Model().Modified());
    QVERIFY(!bench.window.isEnabled());
    QTest::mouseClick(progress.Button(), Qt::LeftButton);
    QVERIFY(bench.window.isEnabled());

    // The test window: Save As asks for a text file and writes the grid.
    bench.window.ActivateChild(project);
    project->NetTestItem->trigger();
    QTRY_VERIFY(!commands.Runner().Busy());
    auto* test = qobject_cast<TTestWindow*>(bench.window.ActiveChildWidget());
    QVERIFY(test != nullptr);
    QVERIFY(bench.window.FileSaveItem->isEnabled());
    const QString test_path = bench.dir.filePath("тест.txt");
    bench.dialogs.QueueFile(test_path);
    bench.window.FileSaveAsItem->trigger();
    QCOMPARE(test->windowTitle(), test_path);
    QCOMPARE(ReadFile(test_path), TestGridText(*test->Model()->Grid()));
    QVERIFY(ReadFile(test_path).find("Прогноз сети\t") != std::string::npos);

    // The significance window, then Save with it active writes its text.
    bench.window.ActivateChild(project);
    project->NetSensItem->trigger();
    QTRY_VERIFY(!commands.Runner().Busy());
    auto* sens = qobject_cast<TInpSensWindow*>(bench.window.ActiveChildWidget());
    QVERIFY(sens != nullptr);
    const QString sens_path = bench.dir.filePath("значимость.txt");
    bench.dialogs.QueueFile(sens_path);
    bench.window.FileSaveAsItem->trigger();
    QCOMPARE(ReadFile(sens_path), SignificanceText(project->Model().Net(0), '.'));
    std::filesystem::remove(sens_path.toStdString());
    bench.window.FileSaveItem->trigger();
    QCOMPARE(ReadFile(sens_path), SignificanceText(project->Model().Net(0), '.'));

    // The analysis report comes in its message box.
    bench.window.ActivateChild(project);
    project->NetCheckTB->trigger();
    QTRY_VERIFY(!commands.Runner().Busy());
    const auto messages = bench.dialogs.CallsOf(ScriptedDialogs::Kind::kMessage);
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].caption, QString("Анализ обучающего множества"));

    // A simplification from the menu shows its counters.
    bench.window.ActivateChild(project);
    project->Model().SetModified(false);
    project->NetPruneNeuronsItem->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(progress.ButtonState(), StopButtonState::kFinished, 30000);
    QTRY_VERIFY(!commands.Runner().Busy());
    QCOMPARE(progress.windowTitle(), QString("Упрощение Network1"));
    QVERIFY(progress.PruningLabelsVisible());
    QVERIFY(!progress.LabelText(TrainingLabel::kNumOfPrunedNeurons).isEmpty());
    QVERIFY(project->Model().Modified());
    QTest::mouseClick(progress.Button(), Qt::LeftButton);

    // Closing the project closes the windows of its networks.
    QCOMPARE(bench.Children().size(), 4);  // project, editor, test, significance
    for (int i = 0; i < 4; ++i) bench.dialogs.QueueAnswer(Answer::kNo);
    bench.window.FileNewItem->trigger();
    QTRY_COMPARE(bench.Children().size(), 1);
  }

  void PerturbationFromTheMenuMarksTheProjectModified() {
    Bench bench;
    TProject* project = bench.Project();
    QVERIFY(!project->Model().Modified());
    NetworkCommands& commands = NetCommandsOf(*project);
    TBumpDialog& dialog = commands.BumpDialog();
    const std::vector<float> before = project->Model().Net(1).Parameters;
    QTimer::singleShot(0, &dialog, [&] { dialog.accept(); });
    // Accepting without the button perturbs nothing but still counts as OK.
    project->NetBumpItem->trigger();
    QVERIFY(project->Model().Modified());
    QVERIFY(bench.window.FileSaveItem->isEnabled());
    QVERIFY(project->Model().Net(1).Parameters == before);
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::ProjectNetCommandsTest)
#include "project_net_commands_test.moc"
