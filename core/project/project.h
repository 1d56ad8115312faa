#ifndef VELMAR_CORE_PROJECT_PROJECT_H_
#define VELMAR_CORE_PROJECT_PROJECT_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/status.h"
#include "core/data/data_description.h"
#include "core/data/project_options.h"
#include "core/engine/neural_net.h"
// The reader and writer of the project file, for callers that still reach
// them through the project.
#include "core/project/project_file.h"

namespace velmar {

constexpr int kMaxNetworks = 100;

// One project: its networks in list order, the network counter that names new
// networks, the four options and whether there are unsaved changes. The data
// table is not part of the project; callers pass it where it is needed.
class Project {
 public:
  Project() = default;
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  ProjectOptions& Options() { return options_; }
  const ProjectOptions& Options() const { return options_; }

  int NetCount() const { return static_cast<int>(networks_.size()); }
  NeuralNet& Net(int index) { return *networks_[index]; }
  const NeuralNet& Net(int index) const { return *networks_[index]; }

  int32_t NetNameCounter() const { return net_name_counter_; }
  void SetNetNameCounter(int32_t counter) { net_name_counter_ = counter; }

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  // The selected line of the network list, -1 when nothing is selected.
  int CurrentIndex() const { return current_; }
  NeuralNet* CurrentNet() { return current_ < 0 ? nullptr : networks_[current_].get(); }
  void Select(int index) { current_ = (index >= 0 && index < NetCount()) ? index : -1; }

  // False at the network limit; AddNetwork refuses then.
  bool CanAddNetwork() const { return NetCount() < kMaxNetworks; }

  // The default description of a new network over a table's statistics, and
  // the description of a copy of network `index` (parameters are never copied).
  DataDescription NewNetworkDescription(const FieldTemplate& field_template) const;
  DataDescription CloneNetworkDescription(int index) const;

  // Confirms a description edited in create mode: compacts it to its input and
  // output fields, creates the network with fresh random parameters, appends
  // and selects it, counts it and marks the project modified. Refused (nothing
  // changes) at the network limit, when the name counter is exhausted, when
  // the description has no input or no output field, or when it gives no
  // network that can be laid out (ValidateNetShape).
  Status AddNetwork(DataDescription desc);

  // Removes network `index`; the line above it is selected, or the new first
  // line when the first was removed, or nothing when the list is empty.
  Status DeleteNetwork(int index);

  // Confirms an edit of network `index`'s own description (name,
  // characteristics, output tolerances): the neurons take the characteristics,
  // the error lists are rebuilt, the project is marked modified.
  void ParametersChanged(int index);

  // Sets ExtendTaskbook and discards every network's taskbook, which depends
  // on it. Options do not mark the project modified.
  void SetExtendTaskbook(int32_t value);

  // Appends a network read from a file (no counters touched).
  void AppendLoadedNetwork(std::unique_ptr<NeuralNet> net);

 private:
  ProjectOptions options_;
  std::vector<std::unique_ptr<NeuralNet>> networks_;
  int32_t net_name_counter_ = 0;
  bool modified_ = false;
  int current_ = -1;
};

// The text shown for the selected network: counts of input and output fields
// and signals, and the neurons of each layer.
std::string NetworkSelectionText(const DataDescription& desc);

// Parameters of a network with this architecture (64-bit: a hostile file may
// describe more than an int32 holds).
int64_t NumOfParametersFor(const DataDescription& desc);

}  // namespace velmar

#endif  // VELMAR_CORE_PROJECT_PROJECT_H_
