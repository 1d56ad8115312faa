#ifndef VELMAR_CORE_ENGINE_TRAINING_DRIVER_H_
#define VELMAR_CORE_ENGINE_TRAINING_DRIVER_H_

#include "core/base/training_view.h"
#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// Builds Book from context.table when absent (and a table is open); true when it has rows.
// Otherwise shows the empty-taskbook message, discards Book, returns false.
bool PrepareTaskBook(NeuralNet& net, EngineContext& context);
// The training driver: the method of context.options.TrainingMethod with up
// to three perturbations of level 0.001, driving context.view. ErrorSum,
// NumOfSolved and the final labels describe the parameters the net ends with;
// a run that ends as if every example were solved when the net does not
// solve them is retried like a stuck one, and Stuck stays set if none helps.
void TrainNetwork(NeuralNet& net, EngineContext& context);

// What one training did, for callers that report it.
struct TrainingReport {
  bool trained = false;   // false when the taskbook could not be prepared
  int runs = 0;           // method runs, at most four
  int perturbations = 0;  // at most three
};
void TrainNetwork(NeuralNet& net, EngineContext& context, TrainingReport& report);
// With ExtendTaskbook on: rebuilds Book and trains; otherwise nothing.
void RebuildAndTrain(NeuralNet& net, EngineContext& context);

enum class StopButtonOutcome {
  kStopRequested,  // the running method ends after its current pass or search
  kIgnored,        // a stop is already on its way
  kClosed,         // the figures were final; the window was hidden
};
// A click on the progress window's button while it shows `shown`: asks a
// running training to stop, or closes the window once the training is over.
// The caller re-enables the main window on kClosed. It touches only StopFlag
// (atomic) and the view, so the window may call it on its own thread while
// the training runs on another.
StopButtonOutcome PressStopButton(NeuralNet& net, TrainingView& view, StopButtonState shown);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_TRAINING_DRIVER_H_
