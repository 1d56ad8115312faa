#ifndef VELMAR_CORE_ENGINE_ENGINE_CONTEXT_H_
#define VELMAR_CORE_ENGINE_ENGINE_CONTEXT_H_

#include "core/base/host.h"
#include "core/base/training_view.h"
#include "core/data/project_options.h"
#include "core/tables/table.h"

namespace velmar {

// What engine operations reach through the project: its options, the open
// data table (null when none is open), the host and the progress window.
struct EngineContext {
  ProjectOptions* options = nullptr;
  Table* table = nullptr;
  Host* host = nullptr;
  TrainingView* view = nullptr;
};

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_ENGINE_CONTEXT_H_
