#include "core/data/network_validation.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/base/format_real.h"
#include "core/base/number_text.h"

namespace velmar {
namespace {

// Adds (sign +1) or takes off (sign -1) a field of `usage` from the counters.
void CountUsage(DataDescription& desc, FieldUsage usage, int width, int sign) {
  if (usage == FieldUsage::Input) {
    desc.NumOfInpFields += sign;
    desc.NumOfInputs += sign * width;
  } else if (usage == FieldUsage::Output) {
    desc.NumOfOutFields += sign;
    desc.NumOfOutputs += sign * width;
  }
}

}  // namespace

namespace {

// The dialog's edits read a float as typed.
std::optional<float> DialogFloat(std::string_view text, char decimal_separator) {
  return ParseFloatText(text, kNetworkDialogSyntax, decimal_separator);
}

}  // namespace

std::optional<ValidationError> ParseNeuronCount(std::string_view text, int32_t& value) {
  const std::optional<int64_t> parsed = ParseIntegerText(text, kNetworkDialogSyntax);
  if (!parsed || *parsed < 1 || *parsed > kMaxNeuronsPerLayer) {
    return ValidationError{"Неверное число нейронов",
                           "Число нейронов должно находиться в интервале от 1 до 100"};
  }
  value = static_cast<int32_t>(*parsed);
  return std::nullopt;
}

std::optional<ValidationError> ParseCharacteristic(std::string_view text, char decimal_separator,
                                                   float& value) {
  std::optional<float> parsed = DialogFloat(text, decimal_separator);
  if (!parsed || *parsed < 0.0001f || *parsed > 1.0f) {
    return ValidationError{"Неверное значение характеристики",
                           "Значение характеристики должно находиться в интервале от 0.0001 до 1"};
  }
  value = *parsed;
  return std::nullopt;
}

std::optional<ValidationError> ParseGap(std::string_view text, const FieldDescription& field,
                                        char decimal_separator, float& value) {
  const bool discrete = field.IsDiscrete != 0;
  const float limit = discrete ? 1.0f : field.MaxValue - field.MinValue;
  // The user reads the limit in the refusal below, rounded to 7 digits; that
  // shown value must itself be accepted even when it lies a rounding above.
  float shown_limit = limit;
  if (std::optional<float> shown = DialogFloat(FormatReal(limit, '.'), '.')) {
    shown_limit = std::max(limit, *shown);
  }
  std::optional<float> parsed = DialogFloat(text, decimal_separator);
  if (parsed && *parsed >= 0.0f && *parsed <= shown_limit) {
    value = *parsed;
    return std::nullopt;
  }
  if (discrete) {
    return ValidationError{"Неверное значение уровня надежности",
                           "Для этого поля уровень надежности должен лежать в диапазоне от 0 "
                           "(мин. надежность) до 1 (макс. надежность)"};
  }
  return ValidationError{"Неверное значение точности",
                         "Для этого поля точность должна лежать в диапазоне от 0 (макс. "
                         "точность) до " +
                             FormatReal(limit, decimal_separator) + " (мин. точность)"};
}

std::optional<ValidationError> ParseStateBound(std::string_view text, char decimal_separator,
                                               float& value) {
  std::optional<float> parsed = DialogFloat(text, decimal_separator);
  if (parsed) {
    value = *parsed;
    return std::nullopt;
  }
  if (value == kUnsetValue) return std::nullopt;
  return ValidationError{"Ошибка", "Неверное числовое значение"};
}

void ChangeFieldUsage(DataDescription& desc, int field, FieldUsage usage) {
  FieldDescription& f = desc.Fields[field];
  if (f.Usage == usage) return;
  const int width = FieldWidth(f);
  CountUsage(desc, usage, width, +1);
  CountUsage(desc, f.Usage, width, -1);
  f.Usage = usage;
}

void ChangeNumOfStates(DataDescription& desc, int field, int32_t count) {
  FieldDescription& f = desc.Fields[field];
  if (count < 2) count = 2;
  if (count > kMaxStates) count = kMaxStates;
  if (f.States.size() < static_cast<size_t>(kMaxStates)) f.States.resize(kMaxStates);
  if (f.IsDiscrete != 0) {
    const int delta = count - f.NumOfDiscreteStates;
    if (f.Usage == FieldUsage::Input) desc.NumOfInputs += delta;
    if (f.Usage == FieldUsage::Output) desc.NumOfOutputs += delta;
  }
  f.NumOfDiscreteStates = count;
}

bool CanConfirmDescription(const DataDescription& desc) {
  return desc.NumOfInpFields > 0 && desc.NumOfOutFields > 0;
}

void CompactDescription(DataDescription& desc) {
  for (int i = std::max(desc.NumOfLayers, 0); i < kMaxLayers; ++i) desc.NeuronType[i] = -1;
  std::vector<FieldDescription> kept;
  kept.reserve(desc.Fields.size());
  for (FieldDescription& field : desc.Fields) {
    if (field.Usage == FieldUsage::Input || field.Usage == FieldUsage::Output) {
      kept.push_back(std::move(field));
    }
  }
  desc.Fields = std::move(kept);
  desc.NumOfFields = static_cast<int32_t>(desc.Fields.size());
  desc.FieldColumn.clear();
}

EditBackup TakeEditBackup(const DataDescription& desc) {
  EditBackup backup;
  backup.Characteristic = desc.Characteristic;
  for (const FieldDescription& field : desc.Fields) backup.Gaps.push_back(field.Gap);
  return backup;
}

void RestoreEditBackup(DataDescription& desc, const EditBackup& backup) {
  desc.Characteristic = backup.Characteristic;
  for (size_t i = 0; i < desc.Fields.size() && i < backup.Gaps.size(); ++i) {
    desc.Fields[i].Gap = backup.Gaps[i];
  }
}

}  // namespace velmar
