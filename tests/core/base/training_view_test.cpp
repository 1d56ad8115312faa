#include "core/base/training_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmar {
namespace {

std::vector<std::string> Texts(const TrainingProgress& progress, char separator = '.') {
  std::vector<std::string> texts;
  for (const LabelText& text : ProgressTexts(progress, separator)) {
    texts.push_back(std::to_string(static_cast<int>(text.label)) + "=" + text.text);
  }
  return texts;
}

TEST(ProgressTextsTest, EachFigureCarriedGivesOneText) {
  EXPECT_TRUE(Texts(TrainingProgress{}).empty());

  TrainingProgress search;
  search.step = StepFigure{StepOutcome::kStep, 2.5e-6f};
  search.cycles = 12;
  search.error = 0.125;
  search.solved = SolvedFigure{3, 40};
  EXPECT_EQ(Texts(search, ','),
            (std::vector<std::string>{"1=2,5E-6", "0=12", "2=0,125", "3=3 из 40"}));

  TrainingProgress counters;
  counters.pruning = PruningFigures{{1, 2, 4}, {0, 1, 10}, {5, 9, 61}, {0, -1, 52}};
  EXPECT_EQ(Texts(counters), (std::vector<std::string>{"4=1 (2 из 4)", "5=0 (1 из 10)",
                                                       "6=5 (9 из 61)", "7=0 (-1 из 52)"}));
}

TEST(ProgressTextsTest, StepLimitsAndButtonCaptions) {
  TrainingProgress limit;
  limit.step = StepFigure{StepOutcome::kInfiniteStep, 7.0f};
  EXPECT_EQ(Texts(limit), std::vector<std::string>{"1=Infinite step"});
  limit.step = StepFigure{StepOutcome::kZeroStep, 0.0f};
  EXPECT_EQ(Texts(limit), std::vector<std::string>{"1=Zero step"});

  EXPECT_EQ(StopButtonCaption(StopButtonState::kRunning), "Завершить");
  EXPECT_EQ(StopButtonCaption(StopButtonState::kStopping), "Секундочку...");
  EXPECT_EQ(StopButtonCaption(StopButtonState::kFinished), "Готово");
}

}  // namespace
}  // namespace velmar
