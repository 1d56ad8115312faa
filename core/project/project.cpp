#include "core/project/project.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/data/network_validation.h"

namespace velmar {

DataDescription Project::NewNetworkDescription(const FieldTemplate& field_template) const {
  return NewDescription(field_template, net_name_counter_);
}

DataDescription Project::CloneNetworkDescription(int index) const {
  return CloneDescription(networks_[index]->Desc, net_name_counter_);
}

Status Project::AddNetwork(DataDescription desc) {
  if (!CanAddNetwork()) return Status::Invalid(kNetworkLimitText);
  if (!CanConfirmDescription(desc)) return Status::Invalid(kNoInputOrOutputText);
  // The counter names the next network and is stored as an int32.
  if (net_name_counter_ == std::numeric_limits<int32_t>::max()) {
    return Status::Invalid("Счетчик имен нейронных сетей проекта исчерпан");
  }
  CompactDescription(desc);
  // The dialog keeps the counts in range, but a clone carries over whatever a
  // stored description holds beyond its layers.
  VELMAR_RETURN_IF_ERROR(ValidateNetShape(desc));
  auto net = std::make_unique<NeuralNet>();
  CreateNet(*net, std::move(desc));
  networks_.push_back(std::move(net));
  current_ = NetCount() - 1;
  ++net_name_counter_;
  modified_ = true;
  return Status::Ok();
}

Status Project::DeleteNetwork(int index) {
  if (index < 0 || index >= NetCount()) return Status::Invalid("Нет такой нейронной сети");
  networks_.erase(networks_.begin() + index);
  if (index > 0) {
    current_ = index - 1;
  } else {
    current_ = networks_.empty() ? -1 : 0;
  }
  modified_ = true;
  return Status::Ok();
}

void Project::ParametersChanged(int index) {
  NeuralNet& net = *networks_[index];
  ResetCharacteristics(net);
  BuildErrorLists(net);
  modified_ = true;
}

void Project::SetExtendTaskbook(int32_t value) {
  options_.ExtendTaskbook = value;
  for (auto& net : networks_) net->Book.reset();
}

void Project::AppendLoadedNetwork(std::unique_ptr<NeuralNet> net) {
  networks_.push_back(std::move(net));
}

std::string NetworkSelectionText(const DataDescription& desc) {
  std::string text = "Число входных полей: \t" + std::to_string(desc.NumOfInpFields) +
                     "\nЧисло входов сети: \t" + std::to_string(desc.NumOfInputs) +
                     "\nЧисло выходных полей: \t" + std::to_string(desc.NumOfOutFields) +
                     "\nЧисло выходов сети: \t" + std::to_string(desc.NumOfOutputs);
  const int layers = std::clamp(desc.NumOfLayers, 0, kMaxLayers);
  for (int i = 0; i < layers; ++i) {
    text += "\nСлой " + std::to_string(i + 1) + ":\t" + std::to_string(desc.NumOfNeurons[i]) +
            " нейронов";
  }
  return text;
}

int64_t NumOfParametersFor(const DataDescription& desc) {
  const int layers = std::clamp(desc.NumOfLayers, 0, kMaxLayers);
  if (layers == 0) return 0;
  int64_t fan_in = desc.NumOfInputs;
  int64_t total = 0;
  for (int l = 0; l < layers; ++l) {
    const int64_t m = desc.NumOfNeurons[l];
    total += fan_in * m + 2 * m;
    fan_in = m;
  }
  const int64_t outputs = desc.NumOfOutputs;
  total += fan_in * outputs + outputs;
  return total;
}

}  // namespace velmar
