#ifndef VELMAR_CORE_DATA_NETWORK_VALIDATION_H_
#define VELMAR_CORE_DATA_NETWORK_VALIDATION_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/data_description.h"

// The rules of the network parameters dialog as plain functions, so that the
// dialog, the command line and the tests share them.
namespace velmar {

inline constexpr const char* kNetworkLimitText = "В проекте уже 100 нейронных сетей";
inline constexpr const char* kNoInputOrOutputText =
    "У сети должно быть хотя бы одно входное и одно выходное поле";

// A refused value: the message box to show.
struct ValidationError {
  std::string caption;
  std::string text;
};

// Leaving the neuron count edit of a layer: 1..100.
std::optional<ValidationError> ParseNeuronCount(std::string_view text, int32_t& value);
// Leaving a characteristic edit: 0.0001..1 inclusive.
std::optional<ValidationError> ParseCharacteristic(std::string_view text, char decimal_separator,
                                                   float& value);
// Leaving the tolerance edit of `field`: 0..1 for a discrete field, 0..range
// for a continuous one.
std::optional<ValidationError> ParseGap(std::string_view text, const FieldDescription& field,
                                        char decimal_separator, float& value);

// Leaving a From or To edit of a state: a number is stored. A text that is no
// number leaves `value` as it is and is refused only when `value` is set.
std::optional<ValidationError> ParseStateBound(std::string_view text, char decimal_separator,
                                               float& value);

// A usage button became checked: the counters follow the change.
void ChangeFieldUsage(DataDescription& desc, int field, FieldUsage usage);
// The spin button of the states moved to `count` (2..20): the counters of
// inputs or outputs follow the width. States beyond the count keep their ranges.
void ChangeNumOfStates(DataDescription& desc, int field, int32_t count);

// OK is possible only with at least one input field and one output field.
bool CanConfirmDescription(const DataDescription& desc);

// OK in create mode: layers beyond NumOfLayers get NeuronType -1 and only the
// input and output fields are kept, in their order.
void CompactDescription(DataDescription& desc);

// What Cancel in edit mode puts back.
struct EditBackup {
  std::array<float, kMaxLayers> Characteristic{};
  std::vector<float> Gaps;
};
EditBackup TakeEditBackup(const DataDescription& desc);
void RestoreEditBackup(DataDescription& desc, const EditBackup& backup);

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_NETWORK_VALIDATION_H_
