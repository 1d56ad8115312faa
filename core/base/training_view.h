#ifndef VELMAR_CORE_BASE_TRAINING_VIEW_H_
#define VELMAR_CORE_BASE_TRAINING_VIEW_H_

#include <string>

namespace velmar {

// The value labels of the training progress window.
enum class TrainingLabel {
  kNumOfTrainingCycles,
  kStep,
  kError,
  kNumOfExamples,
  kNumOfPrunedInputs,
  kNumOfPrunedNeurons,
  kNumOfPrunedSynapses,
  kNumOfBinSynapses,
};

// The progress window as the training and pruning drivers drive it. The GUI
// implements it with the real window, the command line with a status line on
// stderr, and tests with a recorder.
class TrainingView {
 public:
  virtual ~TrainingView() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  // Shows the window (not modal): clears the eight value labels, sets the
  // button to "Завершить", shows the pruning labels exactly when
  // `pruning_labels_visible`, and repaints at once.
  virtual void Show(bool pruning_labels_visible) = 0;
  virtual void Hide() = 0;
  virtual void SetLabel(TrainingLabel label, const std::string& text) = 0;
  virtual void SetButtonCaption(const std::string& caption) = 0;
  // Repaints after a batch of label changes.
  virtual void Repaint() = 0;
};

// A view that shows nothing.
class NullTrainingView final : public TrainingView {
 public:
  void SetCaption(const std::string&) override {}
  void Show(bool) override {}
  void Hide() override {}
  void SetLabel(TrainingLabel, const std::string&) override {}
  void SetButtonCaption(const std::string&) override {}
  void Repaint() override {}
};

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_TRAINING_VIEW_H_
