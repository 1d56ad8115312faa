#include <QtTest>

#include "tests/gui/support/gui_fixture.h"

namespace velmar::gui {

using testing::GuiFixture;

namespace {

// A dialog over the example table, shown and active so that focus moves.
struct DialogFixture {
  explicit DialogFixture(TNetworkDialog::Mode mode = TNetworkDialog::Mode::kCreate) {
    project = f.NewProject();
    editor = f.OpenData(project);
    if (mode == TNetworkDialog::Mode::kCreate) {
      desc = project->Model().NewNetworkDescription(project->Work().Statistics());
      dialog = std::make_unique<TNetworkDialog>(*f.window, desc, mode);
    } else {
      f.AddNetwork(project);
      dialog = std::make_unique<TNetworkDialog>(*f.window, project->Model().Net(0).Desc, mode);
    }
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    active = QTest::qWaitForWindowActive(dialog.get());
  }

  // Types `text` into `edit` and moves the focus on to `next`.
  void Leave(QWidget* edit, const QString& text, QWidget* next) {
    edit->setFocus();
    if (auto* line = qobject_cast<QLineEdit*>(edit)) {
      line->setText(text);
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(edit)) {
      spin->findChild<QLineEdit*>()->setText(text);
    }
    next->setFocus();
  }

  GuiFixture f;
  TProject* project = nullptr;
  TDBEditor* editor = nullptr;
  DataDescription desc;
  std::unique_ptr<TNetworkDialog> dialog;
  bool active = false;
};

}  // namespace

class NetworkDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensOnTheTableStatistics() {
    DialogFixture d;
    TNetworkDialog& dialog = *d.dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Создание нейронной сети"));
    QCOMPARE(dialog.ButtonOk->text(), QStringLiteral("Создать"));
    QCOMPARE(dialog.NetName->text(), QStringLiteral("Network1"));
    QCOMPARE(dialog.ListBox->count(), 5);
    QCOMPARE(dialog.NumOfInpFields->text(), QStringLiteral("4"));
    QCOMPARE(dialog.NumOfOutFields->text(), QStringLiteral("1"));
    QVERIFY(dialog.Usage[2]->isChecked());
    QVERIFY(!dialog.Usage[0]->isEnabled());
    QVERIFY(!dialog.Gap->isEnabled());
    QCOMPARE(dialog.MinMaxValues->text(),
             QStringLiteral("Диапазон изменения значений поля:\n\tот 4.3 до 7.9"));
    // The last numeric column is the output, with its tolerance.
    dialog.SelectField(4);
    QVERIFY(dialog.Usage[3]->isChecked());
    QVERIFY(dialog.Gap->isEnabled());
    QCOMPARE(dialog.Label27->text(), QStringLiteral("Точность, ±"));
    QCOMPARE(dialog.Gap->text(), QStringLiteral("0.2"));
    QVERIFY(!dialog.Pages->isTabVisible(1));
    QVERIFY(dialog.N[2]->isEnabled());
    QVERIFY(!dialog.N[3]->isEnabled());
  }

  void UsageTypeAndStatesMoveTheCounters() {
    DialogFixture d;
    TNetworkDialog& dialog = *d.dialog;
    dialog.SelectField(0);
    dialog.TypeDiscrete->setChecked(true);
    const int states = d.desc.Fields[0].NumOfDiscreteStates;
    QVERIFY(states >= 2);
    QVERIFY(dialog.Pages->isTabVisible(1));
    QCOMPARE(dialog.Pages->tabText(1), QStringLiteral("Дискретные состояния поля SEPAL_LEN"));
    QCOMPARE(dialog.NumOfInputs->text(), QString::number(4 + states - 1));
    dialog.TypeContinuous->setChecked(true);
    QCOMPARE(dialog.NumOfInputs->text(), QStringLiteral("4"));

    // A field not used changes no counter when its states change; using it
    // as an input then adds them all.
    dialog.SelectField(1);
    dialog.Usage[1]->setChecked(true);
    QCOMPARE(dialog.NumOfInpFields->text(), QStringLiteral("3"));
    QVERIFY(!dialog.TypeDiscrete->isEnabled());
    d.desc.Fields[1].IsDiscrete = 0;
    dialog.Usage[2]->setChecked(true);
    dialog.TypeDiscrete->setChecked(true);
    dialog.Usage[1]->setChecked(true);
    dialog.UpDown1->setValue(dialog.UpDown1->value() + 1);
    QCOMPARE(dialog.NumOfInputs->text(), QStringLiteral("3"));
    dialog.Usage[2]->setChecked(true);
    QCOMPARE(dialog.NumOfInputs->text(), QString::number(3 + d.desc.Fields[1].NumOfDiscreteStates));

    // OK needs an input and an output.
    dialog.SelectField(4);
    dialog.Usage[1]->setChecked(true);
    QVERIFY(!dialog.ButtonOk->isEnabled());
    QTest::keyClick(dialog.ListBox, Qt::Key_Insert, Qt::ControlModifier);
    QVERIFY(dialog.Usage[3]->isChecked());
    QVERIFY(dialog.ButtonOk->isEnabled());
    QTest::keyClick(dialog.ListBox, Qt::Key_Delete);
    QVERIFY(dialog.Usage[1]->isChecked());
    QTest::keyClick(dialog.ListBox, Qt::Key_Insert);
    QVERIFY(dialog.Usage[2]->isChecked());
  }

  void RefusedValuesComeBackWithTheFocus_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no neurons") << "N3"
                                << "0"
                                << "Неверное число нейронов"
                                << "10";
    QTest::newRow("too many neurons") << "N3"
                                      << "101"
                                      << "Неверное число нейронов"
                                      << "10";
    QTest::newRow("neurons not a number") << "N3"
                                          << "abc"
                                          << "Неверное число нейронов"
                                          << "10";
    QTest::newRow("tiny characteristic") << "C1"
                                         << "0.00005"
                                         << "Неверное значение характеристики"
                                         << "0.1";
    QTest::newRow("large characteristic") << "C1"
                                          << "2"
                                          << "Неверное значение характеристики"
                                          << "0.1";
    QTest::newRow("negative precision") << "Gap"
                                        << "-1"
                                        << "Неверное значение точности"
                                        << "0.2";
    QTest::newRow("precision beyond the range") << "Gap"
                                                << "2.5"
                                                << "Неверное значение точности"
                                                << "0.2";
  }
  void RefusedValuesComeBackWithTheFocus() {
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    DialogFixture d;
    QVERIFY(d.active);
    TNetworkDialog& dialog = *d.dialog;
    dialog.SelectField(4);
    QWidget* target = edit == u"N3"   ? static_cast<QWidget*>(dialog.N[2])
                      : edit == u"C1" ? static_cast<QWidget*>(dialog.C[0])
                                      : static_cast<QWidget*>(dialog.Gap);
    dialog.Pages->setCurrentWidget(edit == u"Gap" ? dialog.TabSheet1 : dialog.TabSheet3);
    d.Leave(target, text,
            edit == u"Gap" ? static_cast<QWidget*>(dialog.ListBox)
                           : static_cast<QWidget*>(dialog.C[2]));
    const auto messages = d.f.dialogs.CallsOf(ScriptedDialogs::Kind::kMessage);
    QCOMPARE(messages.size(), size_t{1});
    QCOMPARE(messages[0].caption, caption);
    QTRY_VERIFY(target->hasFocus());
    const QString now = target->findChild<QLineEdit*>() != nullptr && edit == u"N3"
                            ? target->findChild<QLineEdit*>()->text()
                            : qobject_cast<QLineEdit*>(target)->text();
    QCOMPARE(now, shown);
    QCOMPARE(d.desc.NumOfNeurons[2], 10);
    QCOMPARE(d.desc.Characteristic[0], 0.1f);
  }

  void AcceptedValuesAreStored() {
    DialogFixture d;
    QVERIFY(d.active);
    TNetworkDialog& dialog = *d.dialog;
    dialog.SelectField(4);
    dialog.Pages->setCurrentWidget(dialog.TabSheet3);
    d.Leave(dialog.C[0], QStringLiteral("0.0001"), dialog.C[1]);
    d.Leave(dialog.C[1], QStringLiteral("1"), dialog.N[0]);
    d.Leave(dialog.N[0], QStringLiteral("100"), dialog.C[2]);
    dialog.Pages->setCurrentWidget(dialog.TabSheet1);
    d.Leave(dialog.Gap, QStringLiteral("2"), dialog.ListBox);  // the whole range 0..2
    QVERIFY(d.f.dialogs.Messages().isEmpty());
    QCOMPARE(d.desc.Characteristic[0], 0.0001f);
    QCOMPARE(d.desc.Characteristic[1], 1.0f);
    QCOMPARE(d.desc.NumOfNeurons[0], 100);
    QCOMPARE(d.desc.Fields[4].Gap, 2.0f);
    // A discrete output takes a reliability up to 1.
    dialog.SelectField(4);
    dialog.TypeDiscrete->setChecked(true);
    QCOMPARE(dialog.Label27->text(), QStringLiteral("Надежность:"));
    QCOMPARE(dialog.Gap->text(), QStringLiteral("0.1"));
    d.Leave(dialog.Gap, QStringLiteral("1.5"), dialog.ListBox);
    QCOMPARE(d.f.dialogs.CallsOf(ScriptedDialogs::Kind::kMessage)[0].caption,
             QStringLiteral("Неверное значение уровня надежности"));
    QCOMPARE(d.desc.Fields[4].Gap, 0.1f);
  }

  void StateBounds() {
    DialogFixture d;
    QVERIFY(d.active);
    TNetworkDialog& dialog = *d.dialog;
    dialog.SelectField(4);
    dialog.TypeDiscrete->setChecked(true);
    dialog.Pages->setCurrentWidget(dialog.TabSheet2);
    QVERIFY(dialog.F[0]->isEnabled());
    QVERIFY(!dialog.F[dialog.UpDown1->value()]->isEnabled());
    d.Leave(dialog.F[0], QStringLiteral("-0.5"), dialog.To[0]);
    QCOMPARE(d.desc.Fields[4].States[0].From, -0.5f);
    // A set bound refuses a text that is no number.
    d.Leave(dialog.To[0], QStringLiteral("x"), dialog.F[1]);
    QCOMPARE(d.f.dialogs.Messages(), QStringList({"Ошибка: Неверное числовое значение"}));
    QTRY_VERIFY(dialog.To[0]->hasFocus());
    QVERIFY(!dialog.To[0]->text().isEmpty());
    // An unset bound just stays empty.
    const int unset = dialog.UpDown1->value();
    dialog.UpDown1->setValue(unset + 1);
    QVERIFY(dialog.F[unset]->isEnabled());
    QVERIFY(dialog.F[unset]->text().isEmpty());
    d.Leave(dialog.F[unset], QStringLiteral("x"), dialog.To[unset]);
    QCOMPARE(d.f.dialogs.Messages().size(), 1);
    QVERIFY(dialog.F[unset]->text().isEmpty());
  }

  void EditModeAllowsOnlyNameCharacteristicsAndTolerances() {
    DialogFixture d(TNetworkDialog::Mode::kEdit);
    QVERIFY(d.active);
    TNetworkDialog& dialog = *d.dialog;
    DataDescription& desc = d.project->Model().Net(0).Desc;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Параметры Network1"));
    QCOMPARE(dialog.ButtonOk->text(), QStringLiteral("Изменить"));
    QCOMPARE(dialog.ButtonCancel->toolTip(), QStringLiteral("Отменить внесение изменений в сеть"));
    QVERIFY(!dialog.UpDown->isEnabled());
    QVERIFY(!dialog.IsMonotonical->isEnabled());
    QVERIFY(!dialog.N[0]->isEnabled());
    QVERIFY(dialog.C[0]->isEnabled());
    QVERIFY(!dialog.C[3]->isEnabled());
    QVERIFY(dialog.C[3]->text().isEmpty());
    QVERIFY(dialog.N[3]->text().isEmpty());
    QVERIFY(!dialog.Usage[1]->isEnabled());
    QVERIFY(dialog.Usage[2]->isEnabled());
    QVERIFY(!dialog.TypeDiscrete->isEnabled());

    const int output = static_cast<int>(desc.Fields.size()) - 1;
    dialog.SelectField(output);
    dialog.Pages->setCurrentWidget(dialog.TabSheet1);
    d.Leave(dialog.Gap, QStringLiteral("0.5"), dialog.ListBox);
    dialog.Pages->setCurrentWidget(dialog.TabSheet3);
    d.Leave(dialog.C[0], QStringLiteral("0.7"), dialog.C[1]);
    QCOMPARE(desc.Characteristic[0], 0.7f);
    QCOMPARE(desc.Fields[output].Gap, 0.5f);
    dialog.reject();
    QCOMPARE(desc.Characteristic[0], 0.1f);
    QCOMPARE(desc.Fields[output].Gap, 0.2f);
    QCOMPARE(desc.Name, std::string("Network1"));
  }

  void OkKeepsOnlyInputsAndOutputs() {
    DialogFixture d;
    TNetworkDialog& dialog = *d.dialog;
    dialog.SelectField(1);
    dialog.Usage[1]->setChecked(true);
    dialog.NetName->setText(QStringLiteral("Сеть"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(d.project->Model().AddNetwork(d.desc).ok());
    const DataDescription& made = d.project->Model().Net(0).Desc;
    QCOMPARE(made.Name, std::string("Сеть"));
    QCOMPARE(made.NumOfFields, 4);
    QCOMPARE(made.Fields[1].Name, std::string("PETAL_LEN"));
  }
};

}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::NetworkDialogTest)
#include "network_dialog_test.moc"
