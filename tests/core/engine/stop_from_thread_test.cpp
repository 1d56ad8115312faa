#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/base/random.h"
#include "core/engine/training_driver.h"
#include "tests/support/net_builders.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_training_view.h"

namespace velmar {
namespace {

// The windows run a training on a worker thread while the progress window's
// button stays on the window thread.
TEST(StopFromThreadTest, AClickOnAnotherThreadEndsTheTrainingAfterItsPass) {
  FixedClock clock(77);
  SetCurrentClock(&clock);
  auto net = testing_support::MakeNet(testing_support::SimpleShape(3, {4}, 1, 0.001f), 5);
  testing_support::RandomizeParameters(*net, 6, 0.5f);
  net->Book = testing_support::RandomTaskBook(net->Desc, 40, 7);

  std::mutex mutex;
  std::condition_variable changed;
  bool first_pass_done = false;
  bool clicked = false;
  int passes = 0;
  testing_support::RecordingHost host;
  host.on_pending_input = [&] {
    ++passes;
    if (passes != 1) return;
    std::unique_lock lock(mutex);
    first_pass_done = true;
    changed.notify_all();
    changed.wait(lock, [&] { return clicked; });
  };
  ProjectOptions options;
  testing_support::RecordingTrainingView view;
  EngineContext context{options, nullptr, host, view};

  TrainingReport report;
  std::thread worker([&] { TrainNetwork(*net, context, report); });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return first_pass_done; });
    EXPECT_EQ(PressStopButton(*net, view, view.button_state), StopButtonOutcome::kStopRequested);
    EXPECT_EQ(view.button, "Секундочку...");
    clicked = true;
    changed.notify_all();
  }
  worker.join();
  SetCurrentClock(nullptr);

  EXPECT_TRUE(report.trained);
  EXPECT_EQ(report.runs, 1);
  EXPECT_EQ(report.perturbations, 0);
  EXPECT_EQ(net->StopFlag, 1);
  EXPECT_EQ(view.button_state, StopButtonState::kFinished);
  EXPECT_EQ(PressStopButton(*net, view, view.button_state), StopButtonOutcome::kClosed);
  EXPECT_FALSE(view.visible);
}

}  // namespace
}  // namespace velmar
