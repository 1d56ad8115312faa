#include "core/data/network_validation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "core/base/format_real.h"

namespace velmar {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

int Width(const FieldDescription& field) {
  return field.IsDiscrete != 0 ? field.NumOfDiscreteStates : 1;
}

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

std::optional<float> ParseRealText(std::string_view text, char decimal_separator) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::string normalized(text);
  for (char& c : normalized) {
    if (c == decimal_separator) c = '.';
  }
  // Only plain decimal or exponent notation; from_chars would also take "inf".
  for (char c : normalized) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E';
    if (!allowed) return std::nullopt;
  }
  float value = 0;
  const char* begin = normalized.data();
  const char* end = begin + normalized.size();
  auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<ValidationError> ParseNeuronCount(std::string_view text, int32_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t parsed = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || parsed < 1 ||
      parsed > kMaxNeuronsPerLayer) {
    return ValidationError{"Неверное число нейронов",
                           "Число нейронов должно находиться в интервале от 1 до 100"};
  }
  value = static_cast<int32_t>(parsed);
  return std::nullopt;
}

std::optional<ValidationError> ParseCharacteristic(std::string_view text, char decimal_separator,
                                                   float& value) {
  std::optional<float> parsed = ParseRealText(text, decimal_separator);
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
  if (std::optional<float> shown = ParseRealText(FormatReal(limit, '.'), '.')) {
    shown_limit = std::max(limit, *shown);
  }
  std::optional<float> parsed = ParseRealText(text, decimal_separator);
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
  std::optional<float> parsed = ParseRealText(text, decimal_separator);
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
  const int width = Width(f);
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
