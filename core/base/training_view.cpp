#include "core/base/training_view.h"

#include "core/base/format_real.h"

namespace velmar {

std::vector<LabelText> ProgressTexts(const TrainingProgress& progress, char decimal_separator) {
  std::vector<LabelText> texts;
  if (progress.step) {
    std::string text;
    switch (progress.step->outcome) {
      case StepOutcome::kStep:
        text = FormatReal(progress.step->value, decimal_separator);
        break;
      case StepOutcome::kInfiniteStep:
        text = "Infinite step";
        break;
      case StepOutcome::kZeroStep:
        text = "Zero step";
        break;
    }
    texts.push_back({TrainingLabel::kStep, std::move(text)});
  }
  if (progress.cycles) {
    texts.push_back({TrainingLabel::kNumOfTrainingCycles, std::to_string(*progress.cycles)});
  }
  if (progress.error) {
    texts.push_back({TrainingLabel::kError, FormatReal(*progress.error, decimal_separator)});
  }
  if (progress.solved) {
    texts.push_back(
        {TrainingLabel::kNumOfExamples,
         std::to_string(progress.solved->solved) + " из " + std::to_string(progress.solved->rows)});
  }
  if (progress.pruning) {
    const PruningFigures& p = *progress.pruning;
    const std::pair<TrainingLabel, const CounterFigure&> counters[] = {
        {TrainingLabel::kNumOfPrunedInputs, p.inputs},
        {TrainingLabel::kNumOfPrunedNeurons, p.neurons},
        {TrainingLabel::kNumOfPrunedSynapses, p.synapses},
        {TrainingLabel::kNumOfBinSynapses, p.binarized},
    };
    for (const auto& [label, figure] : counters) {
      texts.push_back({label, FormatCounter(figure.run, figure.total, figure.of)});
    }
  }
  return texts;
}

std::string FormatCounter(int32_t run, int32_t total, int32_t of) {
  return std::to_string(run) + " (" + std::to_string(total) + " из " + std::to_string(of) + ")";
}

std::string_view StopButtonCaption(StopButtonState state) {
  switch (state) {
    case StopButtonState::kRunning:
      return "Завершить";
    case StopButtonState::kStopping:
      return "Секундочку...";
    case StopButtonState::kFinished:
      return "Готово";
  }
  return "Завершить";
}

}  // namespace velmar
