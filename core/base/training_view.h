#ifndef VELMAR_CORE_BASE_TRAINING_VIEW_H_
#define VELMAR_CORE_BASE_TRAINING_VIEW_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The progress window's button. The network's StopFlag is 0 while Running
// and 1 in the other two states.
enum class StopButtonState {
  kRunning,   // a click asks the training to stop
  kStopping,  // a stop is on its way; a click does nothing
  kFinished,  // the figures are final; a click closes the window
};

// How a line search ended: with a step, or at one of its limits.
enum class StepOutcome {
  kStep,
  kInfiniteStep,  // the expansion passed the largest step
  kZeroStep,      // the contraction passed the smallest step
};

struct StepFigure {
  StepOutcome outcome = StepOutcome::kStep;
  float value = 0;  // the step taken, when outcome is kStep
};

struct SolvedFigure {
  int32_t solved = 0;
  uint32_t rows = 0;
};

// A simplification counter: this run's count, the net's total, and the size
// it is counted against.
struct CounterFigure {
  int32_t run = 0;
  int32_t total = 0;
  int32_t of = 0;
};

struct PruningFigures {
  CounterFigure inputs;
  CounterFigure neurons;
  CounterFigure synapses;
  CounterFigure binarized;
};

// What one pass (a line search, the end of a training, the start of a
// simplification iteration) tells the progress window. Figures left empty
// keep what the window shows.
struct TrainingProgress {
  std::optional<StepFigure> step;
  std::optional<int32_t> cycles;
  std::optional<double> error;  // the average error
  std::optional<SolvedFigure> solved;
  std::optional<PruningFigures> pruning;
};

struct LabelText {
  TrainingLabel label;
  std::string text;
};

// The texts of the figures `progress` carries, in the order the window
// takes them: step, cycles, error, solved, then the four counters (inputs,
// neurons, synapses, binarized). Every view shows progress through this.
std::vector<LabelText> ProgressTexts(const TrainingProgress& progress, char decimal_separator);

// "run (total из of)".
std::string FormatCounter(int32_t run, int32_t total, int32_t of);

// The caption the button shows in `state`.
std::string_view StopButtonCaption(StopButtonState state);

// The progress window as the training and pruning drivers drive it. The GUI
// implements it with the real window, the command line with a status line on
// stderr, and tests with a recorder. The drivers call it from the thread the
// work runs on.
class TrainingView {
 public:
  virtual ~TrainingView() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  // Shows the window (not modal): clears the eight value labels, sets the
  // button to Running, shows the pruning labels exactly when
  // `pruning_labels_visible`, and repaints at once.
  virtual void Show(bool pruning_labels_visible) = 0;
  virtual void Hide() = 0;
  // One pass's figures; the window repaints after taking them.
  virtual void ShowProgress(const TrainingProgress& progress) = 0;
  virtual void SetStopButton(StopButtonState state) = 0;
};

// A view that shows nothing.
class NullTrainingView final : public TrainingView {
 public:
  void SetCaption(const std::string&) override {}
  void Show(bool) override {}
  void Hide() override {}
  void ShowProgress(const TrainingProgress&) override {}
  void SetStopButton(StopButtonState) override {}
};

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_TRAINING_VIEW_H_
