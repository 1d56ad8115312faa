#include "gui/base/work_runner.h"

#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>

namespace velmar::gui {
namespace {

// Answers on the GUI thread and notes what it saw there.
class AnsweringHost : public Host {
 public:
  void ShowMessage(const Message& message) override {
    shown_on_gui_thread = QThread::currentThread() == qApp->thread();
    enabled_while_shown = main != nullptr && main->isEnabled();
    texts.push_back(message.text);
  }
  Answer AskYesNoCancel(const Message&) override {
    asked_on_gui_thread = QThread::currentThread() == qApp->thread();
    return Answer::kYes;
  }
  void SetCursor(CursorShape shape) override { cursors.push_back(shape); }
  void ProcessPendingInput() override { ++pending; }
  char DecimalSeparator() const override { return ','; }

  QWidget* main = nullptr;
  bool shown_on_gui_thread = false;
  bool asked_on_gui_thread = false;
  bool enabled_while_shown = false;
  std::vector<std::string> texts;
  std::vector<CursorShape> cursors;
  int pending = 0;
};

class WorkRunnerTest : public QObject {
  Q_OBJECT

 private slots:
  void QuestionsBlockTheWorkerUntilTheGuiThreadAnswers() {
    QWidget main;
    AnsweringHost host;
    host.main = &main;
    WorkRunner runner(host, &main);
    Answer answer = Answer::kNo;
    char separator = 0;
    bool worker_thread = false;
    bool done = false;
    QVERIFY(runner.Start(
        [&](Host& worker) {
          worker_thread = QThread::currentThread() != qApp->thread();
          separator = worker.DecimalSeparator();
          worker.SetCursor(CursorShape::kBusy);
          worker.ShowMessage({"сообщение", "заголовок", OwnerKind::kMain});
          answer = worker.AskYesNoCancel({"вопрос", "заголовок", OwnerKind::kMain});
          worker.ProcessPendingInput();
          worker.SetCursor(CursorShape::kArrow);
        },
        [&] { done = true; }));
    QVERIFY(!main.isEnabled());
    QVERIFY(!runner.Start([](Host&) {}));
    QTRY_VERIFY(done);
    QVERIFY(worker_thread);
    QCOMPARE(separator, ',');
    QVERIFY(answer == Answer::kYes);
    QVERIFY(host.shown_on_gui_thread);
    QVERIFY(host.asked_on_gui_thread);
    QVERIFY(host.enabled_while_shown);  // a box in a disabled window cannot be answered
    QCOMPARE(host.texts, std::vector<std::string>{"сообщение"});
    QCOMPARE(host.cursors.size(), size_t(2));
    QCOMPARE(host.pending, 0);  // the GUI thread never waits, so nothing to let through
    QVERIFY(main.isEnabled());
    QVERIFY(!runner.Busy());
  }

  void HoldKeepsTheMainWindowDisabled() {
    QWidget main;
    AnsweringHost host;
    WorkRunner runner(host, &main);
    bool hold = true;
    runner.SetMainWindowHold([&] { return hold; });
    QVERIFY(runner.Start([](Host&) {}));
    QTRY_VERIFY(!runner.Busy());
    QVERIFY(!main.isEnabled());
  }

  void GoingAwayMidQuestionCancelsItAndStopsTheWork() {
    QWidget main;
    AnsweringHost host;
    std::atomic<int> answer{-1};
    std::atomic<bool> stopped{false};
    {
      WorkRunner runner(host, &main);
      QVERIFY(runner.Start(
          [&](Host& worker) {
            answer = static_cast<int>(worker.AskYesNoCancel({"вопрос", "", OwnerKind::kMain}));
          },
          {}, [&] { stopped = true; }));
      // Destroyed without letting the GUI thread answer: no deadlock.
    }
    QCOMPARE(answer.load(), static_cast<int>(Answer::kCancel));
    QVERIFY(stopped.load());
    QVERIFY(!host.asked_on_gui_thread);
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::WorkRunnerTest)
#include "work_runner_test.moc"
