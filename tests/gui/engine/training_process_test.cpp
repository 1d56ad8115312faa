#include "gui/engine/training_process.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <atomic>

#include "core/engine/training_driver.h"
#include "tests/gui/engine/iris_fixture.h"

namespace velmar::gui {
namespace {

constexpr int kLongWait = 20000;

class TrainingProcessTest : public QObject {
  Q_OBJECT

 private slots:
  void LayoutAsDesigned() {
    testing::IrisBench bench;
    TTrainingProcess& w = bench.commands->Progress();
    QCOMPARE(w.size(), QSize(362, 256));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(w.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(w.ValueLabel(TrainingLabel::kStep)->pos(), QPoint(248, 32));
    QCOMPARE(w.ValueLabel(TrainingLabel::kStep)->width(), 105);
    QCOMPARE(w.ValueLabel(TrainingLabel::kNumOfBinSynapses)->pos(), QPoint(224, 184));
    QCOMPARE(w.Button()->geometry(), QRect(112, 216, 137, 33));
    QCOMPARE(w.Button()->toolTip(), QString("Завершить обучение сети"));
    // Every caption fits before its value column.
    for (const char* name : {"Label1", "Label3", "Label4", "Label5"}) {
      auto* label = w.findChild<QLabel*>(name);
      QVERIFY(label != nullptr);
      QVERIFY2(label->x() + label->sizeHint().width() <= 248, name);
    }
  }

  void TrainingSolvesIrisAndGotovoReleasesTheMainWindow() {
    testing::IrisBench bench({10, 10, 10});
    QVERIFY(bench.ok);
    TTrainingProcess& w = bench.commands->Progress();
    bool after_ran = false;
    QVERIFY(bench.commands->TrainNet(bench.Net(), bench.Data(), [&] { after_ran = true; }));
    QVERIFY(!bench.main.isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(w.Button()->text(), QString("Готово"), kLongWait);
    QTRY_VERIFY(after_ran);
    QVERIFY(w.isVisible());
    QCOMPARE(w.windowTitle(), QString("Обучение Network1"));
    QVERIFY(!w.PruningLabelsVisible());
    QCOMPARE(w.LabelText(TrainingLabel::kNumOfExamples), QString("150 из 150"));
    QCOMPARE(w.LabelText(TrainingLabel::kError), QString("0"));
    QCOMPARE(w.LabelText(TrainingLabel::kNumOfTrainingCycles),
             QString::number(bench.Net().NumOfTrainingCycles));
    QVERIFY(!w.LabelText(TrainingLabel::kStep).isEmpty());
    // The figures stay, and so does the disabled main window, until "Готово".
    QVERIFY(!bench.main.isEnabled());
    QTest::mouseClick(w.Button(), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QVERIFY(bench.main.isEnabled());
    QVERIFY(bench.host.messages.empty());
  }

  void StopDuringASlowPassShowsSecundochkuAtOnce() {
    testing::IrisBench bench({10, 10, 10});
    QVERIFY(bench.ok);
    TTrainingProcess& w = bench.commands->Progress();
    // Every pass waits at its end until the test lets it go, so the click
    // lands while a pass is still running on the worker.
    std::atomic<int> passes{0};
    std::atomic<bool> waiting{false};
    std::atomic<bool> open{false};
    bench.commands->Runner().SetPassHook([&] {
      ++passes;
      waiting = true;
      open.wait(false);
      waiting = false;
    });
    QVERIFY(bench.commands->TrainNet(bench.Net(), bench.Data()));
    QTRY_VERIFY(waiting.load());
    QTRY_VERIFY(w.isVisible());
    QCOMPARE(w.Button()->text(), QString("Завершить"));
    QTest::mouseClick(w.Button(), Qt::LeftButton);
    QCOMPARE(w.Button()->text(), QString("Секундочку..."));
    QVERIFY(waiting.load());  // the pass has not finished yet
    const int passes_at_click = passes;
    // A second click while the stop is on its way does nothing.
    QTest::mouseClick(w.Button(), Qt::LeftButton);
    QCOMPARE(w.Button()->text(), QString("Секундочку..."));
    QVERIFY(w.isVisible());
    open = true;
    open.notify_all();
    QTRY_COMPARE_WITH_TIMEOUT(w.Button()->text(), QString("Готово"), kLongWait);
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    // The method saw the flag after its current pass or search, not later.
    QVERIFY2(passes - passes_at_click <= 3, qPrintable(QString::number(passes - passes_at_click)));
    QVERIFY(bench.Net().NumOfSolved < 150);
    QVERIFY(!bench.main.isEnabled());
    QTest::mouseClick(w.Button(), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QVERIFY(bench.main.isEnabled());
  }

  void EmptyTaskbookRefusesWithoutTheWindow() {
    testing::IrisBench bench;
    QVERIFY(bench.ok);
    NetCommandData no_table{&bench.project.Options(), nullptr};
    QVERIFY(bench.commands->TrainNet(bench.Net(), no_table));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    QCOMPARE(bench.host.messages.size(), size_t(1));
    QCOMPARE(QString::fromStdString(bench.host.messages[0].caption),
             QString("Операция невозможна"));
    QVERIFY(!bench.commands->Progress().isVisible());
    QVERIFY(bench.main.isEnabled());
  }

  void OneJobAtATime() {
    testing::IrisBench bench({10, 10, 10});
    std::atomic<bool> open{false};
    bench.commands->Runner().SetPassHook([&] { open.wait(false); });
    QVERIFY(bench.commands->TrainNet(bench.Net(), bench.Data()));
    QVERIFY(!bench.commands->TestNet(bench.Net(), bench.Data()));
    QVERIFY(!bench.commands->Bump(bench.Net()));
    open = true;
    open.notify_all();
    QTRY_COMPARE_WITH_TIMEOUT(bench.commands->Progress().Button()->text(), QString("Готово"),
                              kLongWait);
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::TrainingProcessTest)
#include "training_process_test.moc"
