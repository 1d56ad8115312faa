#include "gui/base/work_runner.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace velmar::gui {

// The Host the worker sees. Questions travel to the GUI thread and the worker
// waits for the answer; everything else needs no answer.
class WorkRunner::WorkerHost final : public Host {
 public:
  WorkerHost(WorkRunner& runner, char separator) : runner_(runner), separator_(separator) {}

  void ShowMessage(const Message& message) override {
    runner_.AskOnGuiThread([this, message] { runner_.host_.ShowMessage(message); });
  }
  Answer AskYesNoCancel(const Message& question) override {
    Answer answer = Answer::kCancel;
    runner_.AskOnGuiThread(
        [this, question, &answer] { answer = runner_.host_.AskYesNoCancel(question); });
    return answer;
  }
  void SetCursor(CursorShape shape) override {
    QMetaObject::invokeMethod(
        &runner_, [this, shape] { runner_.host_.SetCursor(shape); }, Qt::QueuedConnection);
  }
  void ProcessPendingInput() override {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      hook = pass_hook_;
    }
    if (hook) hook();
  }
  char DecimalSeparator() const override { return separator_; }

  void SetPassHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    pass_hook_ = std::move(hook);
  }

  // The handshake of one question: the GUI thread answers, or the runner
  // goes away and nobody will.
  std::mutex mutex_;
  std::condition_variable answered_;
  bool cancelled_ = false;

 private:
  WorkRunner& runner_;
  const char separator_;
  std::function<void()> pass_hook_;
};

WorkRunner::WorkRunner(Host& host, QWidget* main_window, QObject* parent)
    : QObject(parent),
      host_(host),
      main_window_(main_window),
      worker_host_(std::make_unique<WorkerHost>(*this, host.DecimalSeparator())) {}

WorkRunner::~WorkRunner() {
  if (thread_ == nullptr) return;
  {
    std::lock_guard lock(worker_host_->mutex_);
    worker_host_->cancelled_ = true;
  }
  worker_host_->answered_.notify_all();
  if (stop_) stop_();
  thread_->wait();
  delete thread_;
}

void WorkRunner::SetPassHook(std::function<void()> hook) {
  worker_host_->SetPassHook(std::move(hook));
}

bool WorkRunner::Start(Work work, std::function<void()> done, std::function<void()> stop) {
  if (thread_ != nullptr) return false;
  done_ = std::move(done);
  stop_ = std::move(stop);
  if (main_window_) main_window_->setEnabled(false);
  WorkerHost* worker_host = worker_host_.get();
  thread_ = QThread::create([work = std::move(work), worker_host] { work(*worker_host); });
  connect(thread_, &QThread::finished, this, &WorkRunner::Finish, Qt::QueuedConnection);
  emit jobStarted();
  thread_->start();
  return true;
}

void WorkRunner::Finish() {
  if (thread_ == nullptr) return;
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  stop_ = nullptr;
  std::function<void()> done = std::move(done_);
  done_ = nullptr;
  // Enabled before `done`: enabling gives the focus back to where it was, and
  // a window `done` opens must stay the active one.
  if (main_window_ && !(hold_ && hold_())) main_window_->setEnabled(true);
  if (done) done();
  emit jobFinished();
}

bool WorkRunner::AskOnGuiThread(const std::function<void()>& call) {
  WorkerHost& worker = *worker_host_;
  bool answered = false;
  QMetaObject::invokeMethod(
      this,
      [this, &call, &answered, &worker] {
        {
          std::lock_guard lock(worker.mutex_);
          if (worker.cancelled_) return;
        }
        // A message box cannot be answered inside a disabled window.
        const bool was_enabled = !main_window_ || main_window_->isEnabled();
        if (main_window_) main_window_->setEnabled(true);
        call();
        if (main_window_ && !was_enabled) main_window_->setEnabled(false);
        {
          std::lock_guard lock(worker.mutex_);
          answered = true;
        }
        worker.answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(worker.mutex_);
  worker.answered_.wait(lock, [&] { return answered || worker.cancelled_; });
  return answered;
}

}  // namespace velmar::gui
