#ifndef VELMAR_CORE_ENGINE_ENGINE_CONTEXT_H_
#define VELMAR_CORE_ENGINE_ENGINE_CONTEXT_H_

#include "core/base/host.h"
#include "core/base/training_view.h"
#include "core/data/project_options.h"
#include "core/tables/table.h"

namespace velmar {

// What engine operations reach through the project: its options, the open
// data table, the host and the progress window. A workspace hands it out;
// only the table may be absent (no data file open), and the operations that
// need it say so to the user.
struct EngineContext {
  ProjectOptions& options;
  Table* table;  // null while no data file is open
  Host& host;
  TrainingView& view;
};

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_ENGINE_CONTEXT_H_
