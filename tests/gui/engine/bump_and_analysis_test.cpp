#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/data/training_set_analysis.h"
#include "core/engine/training_driver.h"
#include "gui/engine/bump_dialog.h"
#include "tests/gui/engine/iris_fixture.h"

namespace velmar::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

class BumpAndAnalysisTest : public QObject {
  Q_OBJECT

 private slots:
  void BumpRefusesOutOfRangeLevels() {
    testing::IrisBench bench({4});
    TBumpDialog& dialog = bench.commands->BumpDialog();
    dialog.Prepare(bench.Net());
    QCOMPARE(dialog.windowTitle(), QString("Возмущение весов Network1"));
    QCOMPARE(dialog.BumpLevelEdit()->text(), QString("0.01"));
    const std::vector<float> before = bench.Net().Parameters;
    for (const char* text : {"-0.5", "1.5", "abc", ""}) {
      dialog.BumpLevelEdit()->setText(text);
      dialog.BumpButtonClick();
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QCOMPARE(dialog.BumpLevelEdit()->text(), QString("0.01"));
    }
    QCOMPARE(bench.host.messages.size(), size_t(4));
    QCOMPARE(Q(bench.host.messages[0].text),
             QString("Уровень возмущений должен лежать в диапазоне от 0 до 1"));
    QCOMPARE(Q(bench.host.messages[0].caption), QString("Неверное значение"));
    QVERIFY(bench.Net().Parameters == before);

    // Leaving the edit by Tab checks it as well.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.BumpLevelEdit()->setFocus();
    dialog.BumpLevelEdit()->setText("2");
    QTest::keyClick(dialog.BumpLevelEdit(), Qt::Key_Tab);
    QTRY_COMPARE(bench.host.messages.size(), size_t(5));
    QCOMPARE(dialog.BumpLevelEdit()->text(), QString("0.01"));
    QTRY_VERIFY(dialog.BumpLevelEdit()->hasFocus());
    dialog.hide();
  }

  void BumpMovesEachTrainableWeightByAtMostATenth() {
    testing::IrisBench bench({4});
    NeuralNet& net = bench.Net();
    const std::vector<float> before = net.Parameters;
    TBumpDialog& dialog = bench.commands->BumpDialog();
    QTimer::singleShot(0, &dialog, [&] {
      dialog.BumpLevelEdit()->setText("1");
      QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    QVERIFY(bench.commands->Bump(net));
    bool moved = false;
    for (size_t i = 0; i < before.size(); ++i) {
      const float change = net.Parameters[i] - before[i];
      if ((net.ParamFlags[i] & pfTrainable) == 0) {
        QCOMPARE(change, 0.0f);
        continue;
      }
      QVERIFY(std::abs(change) <= 0.1f + 1e-6f);
      QVERIFY(net.Parameters[i] >= net.LowerBounds[i] && net.Parameters[i] <= net.UpperBounds[i]);
      moved = moved || change != 0;
    }
    QVERIFY(moved);

    // Cancel leaves the weights alone.
    const std::vector<float> after = net.Parameters;
    QTimer::singleShot(0, &dialog,
                       [&] { QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton); });
    QVERIFY(!bench.commands->Bump(net));
    QVERIFY(net.Parameters == after);
  }

  void AnalysisReportUnderTheBusyCursor() {
    testing::IrisBench bench({4});
    QVERIFY(bench.commands->CheckTB(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    QCOMPARE(bench.host.messages.size(), size_t(1));
    const Message& message = bench.host.messages[0];
    QCOMPARE(Q(message.caption), QString("Анализ обучающего множества"));
    QVERIFY(bench.Net().Book != nullptr);
    QCOMPARE(message.text, TrainingSetReport(AnalysePairs(*bench.Net().Book), '.'));
    QVERIFY(Q(message.text).startsWith("Выборочная оценка константы Липшица:  "));
    // Busy during the work (the taskbook build nests its own), the arrow
    // back before the report.
    QVERIFY(bench.host.cursors.size() >= 2);
    QVERIFY(bench.host.cursors.front() == CursorShape::kBusy);
    QVERIFY(bench.host.cursors.back() == CursorShape::kArrow);
    QVERIFY(bench.main.isEnabled());
  }

  void AnalysisWithoutRecordsShowsOnlyTheRefusal() {
    testing::IrisBench bench({4});
    QVERIFY(bench.commands->CheckTB(bench.Net(), {&bench.project.Options(), nullptr}));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    QCOMPARE(bench.host.messages.size(), size_t(1));
    QCOMPARE(Q(bench.host.messages[0].caption), QString("Операция невозможна"));
    QVERIFY(bench.main.isEnabled());
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::BumpAndAnalysisTest)
#include "bump_and_analysis_test.moc"
