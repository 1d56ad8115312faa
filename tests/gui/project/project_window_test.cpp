#include <QtTest>

#include "tests/gui/support/gui_fixture.h"

namespace velmar::gui {

using testing::GuiFixture;
using Kind = ScriptedDialogs::Kind;

namespace {

QStringList Names(const TProject& project) {
  QStringList names;
  for (int i = 0; i < project.NetList->count(); ++i) names << project.NetList->item(i)->text();
  return names;
}

QList<QAction*> DataItems(const TProject& p) {
  return {p.NetTrainItem,         p.NetTestItem,         p.NetCheckTB,
          p.NetPruneInputsItem,   p.NetPruneNeuronsItem, p.NetPruneLogicalItem,
          p.NetPruneSynapsesItem, p.NetPruneBiasesItem,  p.NetBinaryItem,
          p.NetSensItem};
}

}  // namespace

class ProjectWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void NewProjectHasOnlyTheDataFileButton() {
    GuiFixture f;
    TProject* project = f.NewProject();
    QVERIFY(project->SelectDBButton->isEnabled());
    for (QPushButton* off : {project->AddNetButton, project->CloneNetButton,
                             project->DeleteNetButton, project->ParametersButton}) {
      QVERIFY(!off->isEnabled());
    }
    for (QAction* item : project->NetMenu->actions())
      QVERIFY(item->isSeparator() || !item->isEnabled());
    QVERIFY(project->MethodItems[2]->isChecked());
    QVERIFY(project->SensNormItems[0]->isChecked());
    QVERIFY(project->BinWeightItems[0]->isChecked());
    QVERIFY(!project->RebuildTaskBookItem->isChecked());
    QCOMPARE(project->NetTrainItem->shortcut(), QKeySequence(Qt::Key_F9));
    QCOMPARE(project->NetTestItem->statusTip(),
             QStringLiteral("Тестировать текущую нейронную сеть "));
  }

  void NamesAndSelectionThroughCreationsAndDeletions() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    QCOMPARE(project->DBName->text(), QStringLiteral("Файл данных: ") + f.table_path);
    QVERIFY(project->AddNetButton->isEnabled());
    for (int i = 0; i < 3; ++i) f.AddNetwork(project);
    QCOMPARE(Names(*project), QStringList({"Network1", "Network2", "Network3"}));
    QCOMPARE(project->NetList->currentRow(), 2);
    QVERIFY(project->Description->text().startsWith(QStringLiteral("Число входных полей: \t4")));
    for (QAction* item : project->NetMenu->actions()) {
      if (!item->isSeparator()) QVERIFY(item->isEnabled());
    }

    // Deleting a later line selects the one above; deleting the first, the new first.
    project->NetList->setCurrentRow(1);
    project->DeleteNetButtonClick();
    QCOMPARE(Names(*project), QStringList({"Network1", "Network3"}));
    QCOMPARE(project->NetList->currentRow(), 0);
    project->DeleteNetButtonClick();
    QCOMPARE(Names(*project), QStringList({"Network3"}));
    QCOMPARE(project->NetList->currentRow(), 0);
    QCOMPARE(project->Model().CurrentNet()->Desc.Name, std::string("Network3"));

    f.AddNetwork(project);
    QCOMPARE(Names(*project), QStringList({"Network3", "Network4"}));

    // A copy needs no data file and takes the next name.
    project->CloneNet();
    QCOMPARE(Names(*project).last(), QStringLiteral("Network5"));
  }

  void DeletingTheOnlyNetwork() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    project->Model().SetModified(false);
    project->DeleteNetButtonClick();
    QVERIFY(project->Description->text().isEmpty());
    for (QPushButton* off :
         {project->CloneNetButton, project->DeleteNetButton, project->ParametersButton}) {
      QVERIFY(!off->isEnabled());
    }
    for (QAction* item : project->NetMenu->actions())
      QVERIFY(item->isSeparator() || !item->isEnabled());
    QVERIFY(project->Model().Modified());
    QVERIFY(f.window->FileSaveItem->isEnabled());
  }

  void LoadedNetworksWaitForTheDataFile() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    f.AddNetwork(project);
    const QString path = f.Path(QStringLiteral("two.vmp"));
    f.dialogs.QueueFile(path);
    f.window->ActivateChild(project);
    f.window->FileSaveAs();
    QVERIFY(QFile::exists(path));

    f.dialogs.QueueFile(path);
    f.window->FileOpen();  // the editor has no changes: no question
    GuiFixture::Settle();
    TProject* loaded = f.window->Project();
    QVERIFY(loaded != project);
    QCOMPARE(Names(*loaded), QStringList({"Network1", "Network2"}));
    for (QPushButton* on :
         {loaded->CloneNetButton, loaded->DeleteNetButton, loaded->ParametersButton}) {
      QVERIFY(on->isEnabled());
    }
    QVERIFY(!loaded->AddNetButton->isEnabled());
    QVERIFY(loaded->NetVerbalItem->isEnabled());
    QVERIFY(loaded->NetBumpItem->isEnabled());
    for (QAction* item : DataItems(*loaded)) QVERIFY(!item->isEnabled());
    QVERIFY(!f.window->SBTrain->isEnabled());

    // The data file enables them; closing its window disables them again.
    TDBEditor* editor = f.OpenData(loaded);
    f.window->ActivateChild(loaded);
    for (QAction* item : DataItems(*loaded)) QVERIFY(item->isEnabled());
    QVERIFY(f.window->SBTrain->isEnabled());
    QVERIFY(editor->CloseWindow());
    GuiFixture::Settle();
    f.window->ActivateChild(loaded);
    QVERIFY(!loaded->AddNetButton->isEnabled());
    QVERIFY(loaded->DBName->text().isEmpty());
    QVERIFY(!loaded->DataFileOpen());
    for (QAction* item : DataItems(*loaded)) QVERIFY(!item->isEnabled());
    QCOMPARE(loaded->Model().NetCount(), 2);
  }

  void OptionsDoNotAskToBeSavedButAreSaved() {
    GuiFixture f;
    TProject* project = f.NewProject();
    project->MethodItems[3]->trigger();
    project->SensNormItems[1]->trigger();
    project->BinWeightItems[2]->trigger();
    QCOMPARE(project->Model().Options().TrainingMethod, 3);
    QVERIFY(project->MethodItems[3]->isChecked());
    QVERIFY(!project->Model().Modified());
    QVERIFY(project->CanClose());
    QVERIFY(f.dialogs.CallsOf(Kind::kQuestion).empty());

    const QString path = f.Path(QStringLiteral("options.vmp"));
    f.dialogs.QueueFile(path);
    f.window->FileSaveAs();
    f.dialogs.QueueFile(path);
    f.window->FileOpen();
    GuiFixture::Settle();
    const ProjectOptions& options = f.window->Project()->Model().Options();
    QCOMPARE(options.TrainingMethod, 3);
    QCOMPARE(options.SensitivityNorm, 1);
    QCOMPARE(options.BinaryWeightSet, 2);
    QVERIFY(f.window->Project()->BinWeightItems[2]->isChecked());
  }

  void ExtendTaskbookTwiceDiscardsTaskbooks() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    project->Model().Net(0).Book = std::make_unique<TaskBook>();
    project->RebuildTaskBookItem->trigger();
    QVERIFY(project->RebuildTaskBookItem->isChecked());
    project->Model().Net(0).Book = std::make_unique<TaskBook>();
    project->RebuildTaskBookItem->trigger();
    QVERIFY(!project->RebuildTaskBookItem->isChecked());
    QCOMPARE(project->Model().Options().ExtendTaskbook, 0);
    QVERIFY(project->Model().Net(0).Book == nullptr);
  }

  void DataFileThatCannotBeOpened() {
    GuiFixture f;
    TProject* project = f.NewProject();
    const QString bogus = f.Path(QStringLiteral("bogus.dbf"));
    QFile file(bogus);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a table");
    file.close();
    f.dialogs.QueueFile(bogus);
    project->SelectDBButtonClick();
    const auto messages = f.dialogs.CallsOf(Kind::kMessage);
    QCOMPARE(messages.size(), size_t{1});
    QCOMPARE(messages[0].caption, QStringLiteral("Ошибка открытия файла"));
    QVERIFY(messages[0].text.startsWith(QStringLiteral("Не удается открыть файл ") + bogus +
                                        QStringLiteral("\n\n")));
    QVERIFY(messages[0].text.size() > bogus.size() + 30);
    QCOMPARE(messages[0].owner.data(), project);
    QVERIFY(!project->DataFileOpen());
    QVERIFY(!project->AddNetButton->isEnabled());
    QVERIFY(project->DBName->text().isEmpty());
    QCOMPARE(f.window->MdiArea()->subWindowList().size(), 1);
  }

  void ParametersRenameOrRestore() {
    GuiFixture f;
    TProject* project = f.NewProject();
    f.OpenData(project);
    f.AddNetwork(project);
    project->Model().SetModified(false);
    const float characteristic = project->Model().Net(0).Desc.Characteristic[0];

    project->network_dialog_runner = [](TNetworkDialog& dialog) {
      dialog.NetName->setText(QStringLiteral("Ирис"));
      dialog.C[0]->setText(QStringLiteral("0.5"));
      dialog.C[0]->setFocus();
      dialog.reject();
      return dialog.result();
    };
    project->ParametersButtonClick();
    QCOMPARE(Names(*project), QStringList({"Network1"}));
    QCOMPARE(project->Model().Net(0).Desc.Characteristic[0], characteristic);
    QVERIFY(!project->Model().Modified());

    project->network_dialog_runner = [](TNetworkDialog& dialog) {
      dialog.NetName->setText(QStringLiteral("Ирис"));
      dialog.accept();
      return dialog.result();
    };
    project->ParametersButtonClick();
    QCOMPARE(Names(*project), QStringList({"Ирис"}));
    QVERIFY(project->Model().Modified());
  }
};

}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::ProjectWindowTest)
#include "project_window_test.moc"
