#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/simplify/pruning.h"
#include "gui/engine/training_process.h"
#include "gui/simplify/uniform_pruning_dialog.h"
#include "tests/gui/engine/iris_fixture.h"

namespace velmar::gui {
namespace {

constexpr int kLongWait = 30000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

class SimplifyWindowsTest : public QObject {
  Q_OBJECT

 private:
  // Runs a simplification from the commands and checks the progress window
  // against the network's counters; returns the run count of `label`.
  int RunMode(int32_t mode, TrainingLabel label) {
    // A seed whose training solves every example, so that there is something
    // to simplify.
    testing::IrisBench bench({5, 3}, false, 2);
    if (!bench.ok) return -1;
    bench.TrainHere();
    if (bench.Net().NumOfSolved != 150) return -2;
    TTrainingProcess& w = bench.commands->Progress();
    bool after_ran = false;
    if (!bench.commands->Simplify(bench.Net(), mode, bench.Data(), [&] { after_ran = true; })) {
      return -3;
    }
    if (!QTest::qWaitFor([&] { return after_ran; }, kLongWait)) return -4;
    if (w.Button()->text() != "Готово" || !w.isVisible()) return -5;
    if (w.windowTitle() != "Упрощение Network1" || !w.PruningLabelsVisible()) return -6;
    if (bench.main.isEnabled()) return -7;
    int run_count = -8;
    for (const CounterLabel& counter : CounterLabels(bench.Net())) {
      if (w.LabelText(counter.label) != Q(counter.text)) return -9;
      if (counter.label == label) run_count = w.LabelText(label).section(' ', 0, 0).toInt();
    }
    QTest::mouseClick(w.Button(), Qt::LeftButton);
    if (w.isVisible() || !bench.main.isEnabled()) return -10;
    return run_count;
  }

 private slots:
  void EveryModeShowsItsCounters_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("label");
    QTest::newRow("inputs") << int(kPruneInputs) << int(TrainingLabel::kNumOfPrunedInputs);
    QTest::newRow("synapses") << int(kPruneSynapses) << int(TrainingLabel::kNumOfPrunedSynapses);
    QTest::newRow("binarize") << int(kBinarizeWeights) << int(TrainingLabel::kNumOfBinSynapses);
    QTest::newRow("biases") << int(kPruneBiases) << int(TrainingLabel::kNumOfPrunedSynapses);
    QTest::newRow("neurons") << int(kPruneNeurons) << int(TrainingLabel::kNumOfPrunedNeurons);
  }
  void EveryModeShowsItsCounters() {
    QFETCH(int, mode);
    QFETCH(int, label);
    const int run_count = RunMode(mode, static_cast<TrainingLabel>(label));
    QVERIFY2(run_count > 0, qPrintable(QString::number(run_count)));
  }

  void UniformDialogRefusesAndRestores() {
    testing::IrisBench bench({5, 3});
    TUniformPruningDialog& dialog = bench.commands->UniformDialog();
    bench.Net().NumOfSymptoms = 4;
    dialog.Prepare(bench.Net());
    QCOMPARE(dialog.windowTitle(), QString("Равномерное упрощение Network1"));
    QCOMPARE(dialog.NumOfSymptomsEdit()->text(), QString("4"));
    for (const char* text : {"0", "101", "abc", "-2", ""}) {
      dialog.NumOfSymptomsEdit()->setText(text);
      dialog.Button1Click();
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QCOMPARE(dialog.NumOfSymptomsEdit()->text(), QString("4"));
    }
    QCOMPARE(bench.host.messages.size(), size_t(5));
    QCOMPARE(Q(bench.host.messages.back().text),
             QString("Неверное число приходящих на нейрон сигналов"));
    QCOMPARE(Q(bench.host.messages.back().caption), QString("Ошибка"));
    QCOMPARE(bench.Net().NumOfSymptoms, 4);

    // Leaving the edit by the keyboard checks it too.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.NumOfSymptomsEdit()->setFocus();
    dialog.NumOfSymptomsEdit()->setText("200");
    QTest::keyClick(dialog.NumOfSymptomsEdit(), Qt::Key_Tab);
    QTRY_COMPARE(bench.host.messages.size(), size_t(6));
    QCOMPARE(dialog.NumOfSymptomsEdit()->text(), QString("4"));
    QTRY_VERIFY(dialog.NumOfSymptomsEdit()->hasFocus());

    dialog.NumOfSymptomsEdit()->setText("100");
    dialog.Button1Click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(bench.Net().NumOfSymptoms, 100);
  }

  void UniformFromTheCommandRunsModeEight() {
    testing::IrisBench bench({5, 3});
    bench.TrainHere();
    TUniformPruningDialog& dialog = bench.commands->UniformDialog();
    QTimer::singleShot(0, &dialog, [&] {
      dialog.NumOfSymptomsEdit()->setText("2");
      QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    bool after_ran = false;
    QVERIFY(bench.commands->PruneUniform(bench.Net(), bench.Data(), [&] { after_ran = true; }));
    QTRY_VERIFY_WITH_TIMEOUT(after_ran, kLongWait);
    QCOMPARE(bench.Net().NumOfSymptoms, 2);
    TTrainingProcess& w = bench.commands->Progress();
    QCOMPARE(w.Button()->text(), QString("Готово"));
    QVERIFY(w.PruningLabelsVisible());
    QVERIFY(w.LabelText(TrainingLabel::kNumOfPrunedSynapses).section(' ', 0, 0).toInt() > 0);
    QTest::mouseClick(w.Button(), Qt::LeftButton);

    // Cancel runs nothing.
    QTimer::singleShot(0, &dialog,
                       [&] { QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton); });
    QVERIFY(!bench.commands->PruneUniform(bench.Net(), bench.Data()));
    QVERIFY(!w.isVisible());
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::SimplifyWindowsTest)
#include "simplify_windows_test.moc"
