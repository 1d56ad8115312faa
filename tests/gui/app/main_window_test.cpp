#include <QtTest>

#include "gui/app/about_box.h"
#include "gui/app/help_window.h"
#include "gui/base/text.h"
#include "tests/gui/support/gui_fixture.h"

namespace velmar::gui {

using testing::GuiFixture;
using Kind = ScriptedDialogs::Kind;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartUpStates() {
    GuiFixture f;
    TMainWindow& window = *f.window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmar 0.25"));
    for (QAction* off :
         {window.FileSaveItem, window.SBSave, window.FileSaveAsItem, window.EditUndoItem,
          window.EditCutItem, window.EditCopyItem, window.EditPasteItem, window.SBCut,
          window.SBCopy, window.SBPaste, window.SBUndo, window.WindowTileItem,
          window.WindowCascadeItem, window.WindowArrangeItem, window.SBTrain}) {
      QVERIFY2(!off->isEnabled(), qPrintable(off->text() + off->toolTip()));
    }
    for (QAction* on : {window.FileNewItem, window.FileOpenItem, window.FileExitItem,
                        window.HelpContentsItem, window.HelpSearchItem, window.HelpAboutItem,
                        window.SBNew, window.SBOpen, window.SpeedButton9}) {
      QVERIFY2(on->isEnabled(), qPrintable(on->text() + on->toolTip()));
    }
    // Hints: the part before the bar is the tooltip, the rest the status text.
    QCOMPARE(window.SBNew->toolTip(), QStringLiteral("Создать"));
    QCOMPARE(window.SBNew->statusTip(), QString());
    QCOMPARE(window.SBTrain->statusTip(), QStringLiteral("Обучить нейросеть"));
    QCOMPARE(window.FileSaveAsItem->statusTip(),
             QStringLiteral("Сохранить текущий файл под другим именем"));
  }

  void ProjectMenusMergeWhileProjectIsActive() {
    GuiFixture f;
    auto menu_titles = [&] {
      QStringList titles;
      for (QAction* action : f.window->menuBar()->actions()) titles << action->text();
      return titles;
    };
    QCOMPARE(menu_titles(), QStringList({"&Файл", "&Правка", "&Окно", "&Help"}));
    TProject* project = f.NewProject();
    QCOMPARE(menu_titles(),
             QStringList({"&Файл", "&Правка", "Нейросеть", "Настройка", "&Окно", "&Help"}));
    QVERIFY(!project->NetTrainItem->isEnabled());
    QVERIFY(f.window->FileSaveAsItem->isEnabled());
    QVERIFY(!f.window->FileSaveItem->isEnabled());
    QVERIFY(f.window->WindowTileItem->isEnabled());

    f.OpenData(project);
    QCOMPARE(menu_titles(), QStringList({"&Файл", "&Правка", "Таблица", "&Окно", "&Help"}));
    f.window->ActivateChild(project);
    QCOMPARE(menu_titles(),
             QStringList({"&Файл", "&Правка", "Нейросеть", "Настройка", "&Окно", "&Help"}));
    // The window menu lists both children.
    f.window->WindowMenu->aboutToShow();
    QStringList entries;
    for (QAction* action : f.window->WindowMenu->actions()) entries << action->text();
    QVERIFY(entries.contains(QStringLiteral("&1 Без имени")));
    QVERIFY(entries.contains(QStringLiteral("&2 ") + f.table_path));
  }

  void NewAskesAboutModifiedProject_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<int>("save_dialogs");
    QTest::newRow("cancel keeps the project") << int(Answer::kCancel) << false << 0;
    QTest::newRow("no discards it") << int(Answer::kNo) << true << 0;
    QTest::newRow("yes saves it first") << int(Answer::kYes) << true << 1;
  }
  void NewAskesAboutModifiedProject() {
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    QFETCH(int, save_dialogs);
    GuiFixture f;
    TProject* first = f.NewProject();
    f.OpenData(first);
    f.AddNetwork(first);
    QVERIFY(first->Model().Modified());
    // The table editor has no changes and asks nothing.
    f.dialogs.QueueAnswer(static_cast<Answer>(answer));
    const QString saved = f.Path(QStringLiteral("saved.vmp"));
    if (save_dialogs > 0) f.dialogs.QueueFile(saved);
    f.window->FileNew();
    GuiFixture::Settle();
    const auto questions = f.dialogs.CallsOf(Kind::kQuestion);
    QCOMPARE(questions.size(), size_t{1});
    QCOMPARE(questions[0].text, QStringLiteral("Проект был изменен. Сохранить?"));
    QCOMPARE(questions[0].caption, QStringLiteral("Без имени"));
    QCOMPARE(f.dialogs.CallsOf(Kind::kSave).size(), size_t(save_dialogs));
    QCOMPARE(f.window->Project() != first, replaced);
    QCOMPARE(f.window->MdiArea()->subWindowList().size(), replaced ? 1 : 2);
    if (replaced) {
      QCOMPARE(f.window->Project()->windowTitle(), QStringLiteral("Без имени"));
      QCOMPARE(f.window->Project()->Model().NetCount(), 0);
    }
    QCOMPARE(QFile::exists(saved), save_dialogs > 0);
    if (save_dialogs > 0) {
      QCOMPARE(f.dialogs.CallsOf(Kind::kSave)[0].setup.initial_name, QStringLiteral("Без имени"));
    }
  }

  void EditorRefusalStopsNewAndExit() {
    GuiFixture f;
    TProject* project = f.NewProject();
    TDBEditor* editor = f.OpenData(project);
    QVERIFY(editor->Model()->setData(editor->Model()->index(0, 0), "6.5", Qt::EditRole));
    // The project has no changes; the editor asks and the user cancels.
    f.dialogs.QueueAnswer(Answer::kCancel);
    f.window->FileNew();
    GuiFixture::Settle();
    QCOMPARE(f.window->Project(), project);
    QVERIFY(project->DataEditor() != nullptr);
    f.dialogs.QueueAnswer(Answer::kCancel);
    QVERIFY(!f.window->close());
    QCOMPARE(f.dialogs.CallsOf(Kind::kQuestion).size(), size_t{2});
    QCOMPARE(f.dialogs.CallsOf(Kind::kQuestion)[1].text,
             QStringLiteral("Файл был изменен. Сохранить?"));
    // No: the data file stays as it was.
    const QByteArray before = GuiFixture::Bytes(f.table_path);
    f.dialogs.QueueAnswer(Answer::kNo);
    QVERIFY(f.window->close());
    QCOMPARE(GuiFixture::Bytes(f.table_path), before);
  }

  void OpeningAFileThatIsNoProject() {
    GuiFixture f;
    f.dialogs.QueueFile(f.table_path);
    f.window->FileOpen();
    GuiFixture::Settle();
    QCOMPARE(f.dialogs.Messages().size(), 1);
    QVERIFY(f.dialogs.Messages()[0].startsWith(
        "Ошибка открытия файла проекта: Не удается открыть файл " + f.table_path +
        "\n\nФайл поврежден: "));
    QCOMPARE(f.dialogs.CallsOf(Kind::kOpen)[0].setup.filter,
             QStringLiteral("Файлы Velmar (*.vmp)|*.vmp"));
    QVERIFY(f.window->Project() == nullptr);
    QVERIFY(f.window->MdiArea()->subWindowList().isEmpty());
    QVERIFY(!f.window->FileSaveAsItem->isEnabled());
  }

  void SaveAsRenamesAndSaveWritesThere() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    f.window->ActivateChild(project);
    QVERIFY(f.window->FileSaveItem->isEnabled());

    const QString path = f.Path(QStringLiteral("named.vmp"));
    f.dialogs.QueueFile(path);
    f.window->FileSaveAs();
    QCOMPARE(project->windowTitle(), path);
    QVERIFY(QFile::exists(path));
    QVERIFY(!project->Model().Modified());
    QVERIFY(!f.window->FileSaveItem->isEnabled());
    const auto setup = f.dialogs.CallsOf(Kind::kSave)[0].setup;
    QCOMPARE(setup.initial_name, QStringLiteral("Без имени"));
    QCOMPARE(setup.default_extension, QStringLiteral("vmp"));

    // A later Save writes there without a dialog, and the file opens again.
    project->DeleteNetButtonClick();
    QVERIFY(f.window->FileSaveItem->isEnabled());
    f.window->FileSave();
    QCOMPARE(f.dialogs.CallsOf(Kind::kSave).size(), size_t{1});
    f.dialogs.QueueFile(path);
    f.window->FileOpen();
    GuiFixture::Settle();
    QCOMPARE(f.window->Project()->windowTitle(), path);
    QCOMPARE(f.window->Project()->Model().NetCount(), 0);
    QVERIFY(f.dialogs.Messages().isEmpty());

    // The open project is locked for change: a command cannot take it.
    FileLock other;
    QVERIFY(other.Acquire(ToPath(path)).IsCancelled());
  }

  void ProjectLockedElsewhereIsRefused() {
    GuiFixture f;
    TProject* project = f.NewProject();
    const QString path = f.Path(QStringLiteral("locked.vmp"));
    f.dialogs.QueueFile(path);
    f.window->ActivateChild(project);
    f.window->FileSaveAs();
    QVERIFY(QFile::exists(path));
    f.window->FileNew();
    GuiFixture::Settle();

    FileLock other;
    QVERIFY(other.Acquire(ToPath(path)).ok());
    f.dialogs.QueueFile(path);
    f.window->FileOpen();
    GuiFixture::Settle();
    QCOMPARE(f.dialogs.Messages(),
             QStringList({"Операция невозможна: Проект " + path +
                          " уже открыт для изменения другой командой или программой"}));
    QVERIFY(f.window->Project() == nullptr);
  }

  void FailedSaveOnCloseKeepsTheProject() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    project->setWindowTitle(f.Path(QStringLiteral("no/such/folder/p.vmp")));
    f.dialogs.QueueAnswer(Answer::kYes);
    QVERIFY(!f.window->close());
    QCOMPARE(f.dialogs.CallsOf(Kind::kMessage).size(), size_t{1});
    QCOMPARE(f.dialogs.CallsOf(Kind::kMessage)[0].caption,
             QStringLiteral("Ошибка сохранения проекта"));
    QVERIFY(project->Model().Modified());
    QCOMPARE(project->Model().NetCount(), 1);
  }

  void SaveOnUntitledProjectCancelled() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    f.window->ActivateChild(project);
    f.dialogs.QueueFileCancel();
    f.window->FileSave();
    QCOMPARE(f.dialogs.CallsOf(Kind::kSave)[0].setup.initial_name, QStringLiteral("Без имени"));
    QCOMPARE(project->windowTitle(), QStringLiteral("Без имени"));
    QVERIFY(project->Model().Modified());
  }

  void SaveFollowsTheActiveChild() {
    GuiFixture f;
    TProject* project = f.NewProject();
    TDBEditor* editor = f.OpenData(project);
    f.AddNetwork(project);
    f.window->ActivateChild(project);
    QVERIFY(f.window->FileSaveItem->isEnabled());
    // An unchanged table editor disables Save; Save As stays.
    f.window->ActivateChild(editor);
    QVERIFY(!f.window->FileSaveItem->isEnabled());
    QVERIFY(!f.window->SBSave->isEnabled());
    QVERIFY(f.window->FileSaveAsItem->isEnabled());
    QVERIFY(!f.window->SBTrain->isEnabled());
    f.window->ActivateChild(project);
    QVERIFY(f.window->SBTrain->isEnabled());

    // With every child closed nothing is left to save or arrange.
    f.dialogs.QueueAnswer(Answer::kNo);
    QVERIFY(project->CloseWithoutQuestion());
    GuiFixture::Settle();
    f.window->RefreshCommands();
    for (QAction* off : {f.window->FileSaveItem, f.window->FileSaveAsItem, f.window->WindowTileItem,
                         f.window->SBTrain}) {
      QVERIFY(!off->isEnabled());
    }
  }

  void AboutBox() {
    GuiFixture f;
    TAboutBox* about = f.window->AboutBox();
    QCOMPARE(about->windowTitle(), QStringLiteral("О программе"));
    QCOMPARE(about->CloseButton->text(), QStringLiteral("Закрыть"));
    QVERIFY(about->CloseButton->isDefault());
    QTimer::singleShot(0, about, [about] { QTest::keyClick(about, Qt::Key_Escape); });
    f.window->HelpAbout();
    QVERIFY(!about->isVisible());
  }

  void HelpKeyOpensTheTopicOfEachWindow() {
    GuiFixture f;
    TProject* project = f.NewProject();
    TDBEditor* editor = f.OpenData(project);
    auto f1 = [](QWidget* target) { QTest::keyClick(target, Qt::Key_F1); };
    f1(editor->DBGrid);
    QVERIFY(f.window->HelpWindow() != nullptr);
    QCOMPARE(f.window->HelpWindow()->CurrentTopic(), 1300);
    f1(project->NetList);
    QCOMPARE(f.window->HelpWindow()->CurrentTopic(), 400);
    f1(f.window.get());
    QCOMPARE(f.window->HelpWindow()->CurrentTopic(), 100);
    f1(f.window->AboutBox());
    QCOMPARE(f.window->HelpWindow()->CurrentTopic(), 1200);
    DataDescription desc = project->Model().NewNetworkDescription(project->Work().Statistics());
    TNetworkDialog dialog(*f.window, desc, TNetworkDialog::Mode::kCreate);
    f1(dialog.NetName);
    QCOMPARE(f.window->HelpWindow()->CurrentTopic(), 1100);
    // Every window's number has its own topic.
    for (int context : {100, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 1300}) {
      QVERIFY2(f.window->HelpWindow()->Help().Find(context) != nullptr,
               qPrintable(QString::number(context)));
    }
  }

  void HelpSearchFindsAKeyword() {
    GuiFixture f;
    f.window->HelpSearch();
    THelpWindow* help = f.window->HelpWindow();
    QVERIFY(help->isVisible());
    QCOMPARE(help->Tabs->currentIndex(), 1);
    QCOMPARE(help->SearchEdit->text(), QString());
    help->SearchEdit->insert(QStringLiteral("табл"));
    QVERIFY(help->KeywordList->count() > 0);
    for (int i = 0; i < help->KeywordList->count(); ++i) {
      QVERIFY(help->KeywordList->item(i)->text().startsWith(QStringLiteral("табл"),
                                                            Qt::CaseInsensitive));
    }
    QTest::keyClick(help->SearchEdit, Qt::Key_Return);
    QCOMPARE(help->CurrentTopic(), 1300);
    f.window->HelpContents();
    QCOMPARE(help->Tabs->currentIndex(), 0);
  }

  void DamagedOrMissingHelpFileGivesAMessage() {
    GuiFixture f;
    f.window->SetHelpFile(f.Path(QStringLiteral("missing.hlp")));
    f.window->HelpContents();
    QCOMPARE(f.dialogs.Messages().size(), 1);
    QVERIFY(f.dialogs.Messages()[0].contains(QStringLiteral("missing.hlp")));
    QVERIFY(f.window->HelpWindow() == nullptr);

    HelpFile help;
    QString error;
    QVERIFY(!ParseHelpText(QStringLiteral("@topic x Title\n"), help, error));
    QVERIFY(!ParseHelpText(QStringLiteral("@topic 5 A\n@topic 5 B\n"), help, error));
    QVERIFY(!ParseHelpText(QStringLiteral("no topics at all\n"), help, error));
    QVERIFY(ParseHelpText(QStringLiteral("# c\n@topic 7 Seven\n@keywords a; b\n<p>x</p>\n"), help,
                          error));
    QCOMPARE(help.topics[0].keywords, QStringList({"a", "b"}));
    QCOMPARE(help.topics[0].html.trimmed(), QStringLiteral("<p>x</p>"));
  }
};

}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::MainWindowTest)
#include "main_window_test.moc"
