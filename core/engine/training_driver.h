#ifndef VELMAR_CORE_ENGINE_TRAINING_DRIVER_H_
#define VELMAR_CORE_ENGINE_TRAINING_DRIVER_H_

#include "core/engine/engine_context.h"
#include "core/engine/neural_net.h"

namespace velmar {

// Builds Book from context.table when absent; true when it has rows.
// Otherwise shows the empty-taskbook message, discards Book, returns false.
bool PrepareTaskBook(NeuralNet& net, EngineContext& context);
// The training driver: the method of context.options->TrainingMethod with up
// to three perturbations of level 0.001, driving context.view.
void TrainNetwork(NeuralNet& net, EngineContext& context);
// With ExtendTaskbook on: rebuilds Book and trains; otherwise nothing.
void RebuildAndTrain(NeuralNet& net, EngineContext& context);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_TRAINING_DRIVER_H_
