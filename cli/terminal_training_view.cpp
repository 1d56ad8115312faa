#include "cli/terminal_training_view.h"

#include <unistd.h>

#include <iostream>
#include <ostream>

#include "cli/terminal_host.h"
#include "core/engine/training_driver.h"

namespace velmar::cli {
namespace {

constexpr std::chrono::milliseconds kInteractiveInterval{100};
constexpr std::chrono::milliseconds kLogInterval{1000};

}  // namespace

TerminalTrainingView::TerminalTrainingView(std::ostream& out, bool interactive,
                                           char decimal_separator)
    : TerminalTrainingView(out, interactive, interactive ? kInteractiveInterval : kLogInterval,
                           decimal_separator) {}

TerminalTrainingView::TerminalTrainingView(std::ostream& out, const Host& host)
    : TerminalTrainingView(out, IsInteractiveStderr(out), host.DecimalSeparator()) {}

TerminalTrainingView::TerminalTrainingView(std::ostream& out, bool interactive,
                                           std::chrono::milliseconds interval,
                                           char decimal_separator)
    : out_(out), interactive_(interactive), interval_(interval), separator_(decimal_separator) {}

TerminalTrainingView::~TerminalTrainingView() {
  if (line_open_) out_ << "\n" << std::flush;
}

void TerminalTrainingView::Show(bool pruning_labels_visible) {
  shown_ = true;
  pruning_ = pruning_labels_visible;
  labels_.clear();
  button_ = StopButtonState::kRunning;
  last_written_.clear();
  written_ = false;
}

void TerminalTrainingView::Hide() {
  if (shown_) Finish();
  shown_ = false;
}

void TerminalTrainingView::ShowProgress(const TrainingProgress& progress) {
  for (LabelText& text : ProgressTexts(progress, separator_)) {
    labels_[text.label] = std::move(text.text);
  }
  // A step limit alone is written with the rest of its search's figures.
  const bool step_only =
      progress.step && !progress.cycles && !progress.error && !progress.solved && !progress.pruning;
  if (!step_only) Refresh(false);
}

void TerminalTrainingView::SetStopButton(StopButtonState state) {
  button_ = state;
  if (state == StopButtonState::kStopping) {
    if (line_open_) out_ << "\n";
    line_open_ = false;
    out_ << caption_ << ": остановка после текущего прохода..." << std::endl;
  }
}

std::string TerminalTrainingView::Label(TrainingLabel label) const {
  auto it = labels_.find(label);
  return it == labels_.end() ? std::string() : it->second;
}

std::string TerminalTrainingView::StatusLine() const {
  auto value = [&](TrainingLabel label) {
    const std::string text = Label(label);
    return text.empty() ? std::string("-") : text;
  };
  std::string line = caption_.empty() ? std::string("Обучение") : caption_;
  line += ": циклов " + value(TrainingLabel::kNumOfTrainingCycles);
  line += ", шаг " + value(TrainingLabel::kStep);
  line += ", средняя оценка " + value(TrainingLabel::kError);
  line += ", решено " + value(TrainingLabel::kNumOfExamples);
  if (pruning_) {
    line += "; удалено входов " + value(TrainingLabel::kNumOfPrunedInputs);
    line += ", нейронов " + value(TrainingLabel::kNumOfPrunedNeurons);
    line += ", синапсов " + value(TrainingLabel::kNumOfPrunedSynapses);
    line += ", бинаризовано " + value(TrainingLabel::kNumOfBinSynapses);
  }
  return line;
}

void TerminalTrainingView::Refresh(bool force) {
  // Nothing to tell before the first figures arrive.
  if (!force && (!shown_ || labels_.empty())) return;
  const auto now = std::chrono::steady_clock::now();
  const std::string line = StatusLine();
  if (!force && (line == last_written_ || (written_ && now - last_write_ < interval_))) return;
  if (interactive_) {
    out_ << "\r" << line << "\033[K" << std::flush;
    line_open_ = true;
  } else {
    out_ << line << "\n" << std::flush;
  }
  last_written_ = line;
  last_write_ = now;
  written_ = true;
}

void TerminalTrainingView::Finish() {
  if (shown_ && StatusLine() != last_written_) Refresh(true);
  if (line_open_) out_ << "\n" << std::flush;
  line_open_ = false;
}

bool IsInteractiveStderr(const std::ostream& out) {
  return &out == &std::cerr && ::isatty(STDERR_FILENO) == 1;
}

StopOnInterrupt::StopOnInterrupt(Host& host, NeuralNet& net, TerminalTrainingView& view)
    : terminal_(dynamic_cast<TerminalHost*>(&host)), net_(net), view_(view) {
  if (terminal_ != nullptr) {
    terminal_->SetInterruptHandler(&StopOnInterrupt::OnInterrupt, this);
    InstallInterruptHandler();
  }
}

StopOnInterrupt::~StopOnInterrupt() {
  if (terminal_ != nullptr) terminal_->SetInterruptHandler(nullptr, nullptr);
}

void StopOnInterrupt::OnInterrupt(void* data) {
  auto* self = static_cast<StopOnInterrupt*>(data);
  if (PressStopButton(self->net_, self->view_, self->view_.StopButton()) ==
      StopButtonOutcome::kStopRequested) {
    self->requested_ = true;
  }
}

}  // namespace velmar::cli
