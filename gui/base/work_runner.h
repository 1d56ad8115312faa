#ifndef VELMAR_GUI_BASE_WORK_RUNNER_H_
#define VELMAR_GUI_BASE_WORK_RUNNER_H_

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/base/host.h"

class QThread;

namespace velmar::gui {

// Runs the long work of the windows (training, simplification, significance,
// test, analysis) on one worker thread while the GUI thread keeps painting.
// See work_runner.md beside this file for the protocol.
//
// While a job runs the main window is disabled, so nothing but the worker
// touches the network or the table. The worker reaches the user only through
// the Host it is given: messages and questions block the worker until the GUI
// thread has asked the user; the cursor follows by queued calls; pending input
// needs no processing, because the GUI thread never waits for the worker.
class WorkRunner : public QObject {
  Q_OBJECT

 public:
  // `host` is the GUI thread's host; `main_window` is disabled during a job.
  WorkRunner(Host& host, QWidget* main_window, QObject* parent = nullptr);
  // Waits for a running job (the worker may be blocked on a question, which
  // cannot be answered any more: it gets Cancel).
  ~WorkRunner() override;

  using Work = std::function<void(Host& worker_host)>;
  // Starts `work` on the worker thread; `done` then runs on the GUI thread.
  // `stop` asks the work to end early (sets the network's StopFlag); it is
  // used when the runner goes away mid-job. Refused (false, nothing started)
  // while another job runs.
  bool Start(Work work, std::function<void()> done = {}, std::function<void()> stop = {});
  bool Busy() const { return thread_ != nullptr; }

  // The main window stays disabled after a job while `hold` answers true
  // (the progress window keeps it disabled until "Готово" is clicked).
  void SetMainWindowHold(std::function<bool()> hold) { hold_ = std::move(hold); }
  QWidget* MainWindow() const { return main_window_; }

  // Called on the worker at the end of every pass over a taskbook. Tests use
  // it to make a pass deliberately slow; the program leaves it empty.
  void SetPassHook(std::function<void()> hook);

  // The GUI thread's host (for work done without the worker).
  Host& GuiHost() { return host_; }

 signals:
  void jobStarted();
  void jobFinished();

 private:
  class WorkerHost;
  friend class WorkerHost;

  void Finish();
  // Runs `call` on the GUI thread and waits for it; the main window is
  // enabled meanwhile so the message box it shows can be answered.
  // Returns false, without calling, once the runner is going away.
  bool AskOnGuiThread(const std::function<void()>& call);

  Host& host_;
  QPointer<QWidget> main_window_;
  std::unique_ptr<WorkerHost> worker_host_;
  QThread* thread_ = nullptr;
  std::function<void()> done_;
  std::function<void()> stop_;
  std::function<bool()> hold_;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_BASE_WORK_RUNNER_H_
