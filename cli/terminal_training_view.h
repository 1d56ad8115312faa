#ifndef VELMAR_CLI_TERMINAL_TRAINING_VIEW_H_
#define VELMAR_CLI_TERMINAL_TRAINING_VIEW_H_

#include <chrono>
#include <iosfwd>
#include <map>
#include <string>

#include "core/base/host.h"
#include "core/base/training_view.h"
#include "core/engine/neural_net.h"

namespace velmar::cli {

// The progress window as one status line: on a terminal the line is
// rewritten in place; otherwise a new line is written at most once per
// interval, so that logs stay readable.
class TerminalTrainingView : public TrainingView {
 public:
  TerminalTrainingView(std::ostream& out, bool interactive, char decimal_separator = '.');
  // Interactive when `out` is a terminal's stderr; numbers as `host` writes them.
  TerminalTrainingView(std::ostream& out, const Host& host);
  TerminalTrainingView(std::ostream& out, bool interactive, std::chrono::milliseconds interval,
                       char decimal_separator = '.');
  ~TerminalTrainingView() override;

  void SetCaption(const std::string& caption) override { caption_ = caption; }
  void Show(bool pruning_labels_visible) override;
  void Hide() override;
  void ShowProgress(const TrainingProgress& progress) override;
  void SetStopButton(StopButtonState state) override;

  StopButtonState StopButton() const { return button_; }
  std::string Label(TrainingLabel label) const;
  // Writes the current figures now and ends the status line.
  void Finish();

  // The status line as it would be written now.
  std::string StatusLine() const;

 private:
  void Refresh(bool force);

  std::ostream& out_;
  const bool interactive_;
  const std::chrono::milliseconds interval_;
  const char separator_;
  std::string caption_;
  StopButtonState button_ = StopButtonState::kRunning;
  bool shown_ = false;
  bool pruning_ = false;
  bool line_open_ = false;  // an interactive line waits for its end
  std::map<TrainingLabel, std::string> labels_;
  std::string last_written_;
  bool written_ = false;  // since the last Show
  std::chrono::steady_clock::time_point last_write_{};
};

// True when `out` is the process's stderr and that is a terminal.
bool IsInteractiveStderr(const std::ostream& out);

// While it lives, Ctrl+C does to `net` what the progress window's button
// does: the run ends after the current pass or search. Only a TerminalHost
// hears Ctrl+C; with any other host this does nothing.
class StopOnInterrupt {
 public:
  StopOnInterrupt(Host& host, NeuralNet& net, TerminalTrainingView& view);
  ~StopOnInterrupt();
  StopOnInterrupt(const StopOnInterrupt&) = delete;
  StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

  // True once Ctrl+C has asked the run to stop.
  bool requested() const { return requested_; }

 private:
  static void OnInterrupt(void* data);

  class TerminalHost* terminal_ = nullptr;
  NeuralNet& net_;
  TerminalTrainingView& view_;
  bool requested_ = false;
};

}  // namespace velmar::cli

#endif  // VELMAR_CLI_TERMINAL_TRAINING_VIEW_H_
