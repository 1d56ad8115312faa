#ifndef VELMAR_TESTS_GUI_ENGINE_IRIS_FIXTURE_H_
#define VELMAR_TESTS_GUI_ENGINE_IRIS_FIXTURE_H_

#include <QMainWindow>
#include <QMdiArea>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/base/random.h"
#include "core/data/data_description.h"
#include "core/data/network_validation.h"
#include "core/engine/training_driver.h"
#include "core/project/project.h"
#include "core/tables/table_factory.h"
#include "gui/engine/network_commands.h"
#include "tests/support/recording_host.h"

namespace velmar::gui::testing {

// The example table with one network over it, a stand-in main window with a
// multiple-document area, a recording host and the network commands, with the
// random generator on a fixed clock so that every run trains the same way.
struct IrisBench {
  // `neurons`: per hidden layer. `discrete_class`: the output CLASS as three
  // point states 0, 1, 2 instead of a continuous range. `seed`: the clock's,
  // which decides the initial weights and every perturbation.
  explicit IrisBench(std::vector<int> neurons = {5, 3}, bool discrete_class = false,
                     int64_t seed = 1)
      : clock(seed) {
    SetCurrentClock(&clock);
    const std::filesystem::path path = std::filesystem::path(VELMAR_EXAMPLES) / "iris.dbf";
    ok = OpenTable(path, table).ok();
    if (!ok) return;
    FieldTemplate field_template = BuildFieldTemplate(*table);
    DataDescription desc = project.NewNetworkDescription(field_template);
    desc.NumOfLayers = static_cast<int32_t>(neurons.size());
    for (size_t i = 0; i < neurons.size(); ++i) desc.NumOfNeurons[i] = neurons[i];
    for (int f = 0; f < static_cast<int>(desc.Fields.size()); ++f) {
      FieldDescription& field = desc.Fields[f];
      if (field.Name != "CLASS") continue;
      if (discrete_class) {
        SetFieldType(desc, f, true);
        ChangeNumOfStates(desc, f, 3);
        for (int s = 0; s < 3; ++s) field.States[s] = StateRange{float(s), float(s)};
        field.Gap = 0.5f;
      }
    }
    ok = project.AddNetwork(std::move(desc)).ok();
    main.setCentralWidget(area);
    main.resize(900, 700);
    main.show();
    commands =
        std::make_unique<NetworkCommands>(host, &main, nullptr, NetworkCommands::ShowInArea(area));
  }
  ~IrisBench() {
    commands.reset();
    SetCurrentClock(nullptr);
  }

  NeuralNet& Net() { return project.Net(0); }
  NetCommandData Data() { return {&project.Options(), table.get()}; }
  // Trains on the calling thread, as the command line does.
  void TrainHere() {
    NullTrainingView view;
    EngineContext context{project.Options(), table.get(), host, view};
    TrainNetwork(Net(), context);
  }

  FixedClock clock;
  bool ok = false;
  std::unique_ptr<Table> table;
  Project project;
  testing_support::RecordingHost host;
  QMainWindow main;
  QMdiArea* area = new QMdiArea;
  std::unique_ptr<NetworkCommands> commands;
};

}  // namespace velmar::gui::testing

#endif  // VELMAR_TESTS_GUI_ENGINE_IRIS_FIXTURE_H_
