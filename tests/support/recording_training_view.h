#ifndef VELMAR_TESTS_SUPPORT_RECORDING_TRAINING_VIEW_H_
#define VELMAR_TESTS_SUPPORT_RECORDING_TRAINING_VIEW_H_

#include <map>
#include <string>
#include <vector>

#include "core/base/training_view.h"

namespace velmar::testing_support {

// Keeps the current state of the progress window and the history of every
// label, so tests can check both the final figures and what was shown on the
// way. Progress reaches the labels through the core's formatter, one SetLabel
// per text, which tests may override to look at the net as each label changes.
class RecordingTrainingView : public TrainingView {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  void Show(bool pruning_labels) override {
    visible = true;
    pruning_labels_visible = pruning_labels;
    labels.clear();
    SetStopButton(StopButtonState::kRunning);
    ++show_count;
  }
  void Hide() override { visible = false; }
  void ShowProgress(const TrainingProgress& progress) override {
    for (const LabelText& text : ProgressTexts(progress, separator))
      SetLabel(text.label, text.text);
    ++repaint_count;
  }
  void SetStopButton(StopButtonState state) override {
    button_state = state;
    button = std::string(StopButtonCaption(state));
  }

  virtual void SetLabel(TrainingLabel label, const std::string& text) {
    labels[label] = text;
    history[label].push_back(text);
  }

  std::string Label(TrainingLabel label) const {
    auto it = labels.find(label);
    return it == labels.end() ? std::string() : it->second;
  }

  char separator = '.';
  std::string caption;
  std::string button;
  StopButtonState button_state = StopButtonState::kRunning;
  bool visible = false;
  bool pruning_labels_visible = false;
  int show_count = 0;
  int repaint_count = 0;
  std::map<TrainingLabel, std::string> labels;
  std::map<TrainingLabel, std::vector<std::string>> history;
};

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_RECORDING_TRAINING_VIEW_H_
