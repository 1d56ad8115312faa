#include "core/data/data_description.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "core/base/format_real.h"

namespace velmar {

namespace {

std::vector<StateRange> UnsetStates() { return std::vector<StateRange>(kMaxStates); }

bool HasCountedValue(const FieldDescription& field) {
  return field.MinValue != kUnsetValue || field.MaxValue != -kUnsetValue;
}

// The default tolerance of a continuous field: a tenth of its range.
float TenthOfRange(const FieldDescription& field) {
  return static_cast<float>((static_cast<double>(field.MaxValue) - field.MinValue) * 0.1);
}

// Copies what a new description takes over from a template or source field;
// usage and tolerance are the caller's business.
FieldDescription CopyCoding(const FieldDescription& source) {
  FieldDescription field;
  field.Name = source.Name;
  field.MinValue = source.MinValue;
  field.MaxValue = source.MaxValue;
  field.IsDiscrete = source.IsDiscrete;
  field.Predecessor = source.Predecessor;
  field.NumOfDiscreteStates = source.NumOfDiscreteStates;
  field.StateMask = kAllStatesMask;
  if (source.NumOfDiscreteStates > 0) {
    field.States = source.States;
    // Every state table has room for all states, unset ones marked.
    field.States.resize(kMaxStates);
  }
  return field;
}

bool CountsAsInput(FieldUsage usage, bool not_used_as_inputs) {
  return usage == FieldUsage::Input || (not_used_as_inputs && usage == FieldUsage::NotUsed);
}

bool InState(const StateRange& state, float v) { return state.From <= v && v <= state.To; }

}  // namespace

FieldTemplate InitFieldTemplate(const Table& table) {
  FieldTemplate field_template;
  field_template.reserve(table.ColumnCount());
  for (int c = 0; c < table.ColumnCount(); ++c) {
    FieldDescription field;
    field.Name = table.Column(c).name;
    field.Usage = FieldUsage::Input;
    field.Gap = 0;
    field.MinValue = kUnsetValue;
    field.MaxValue = -kUnsetValue;
    field.States = UnsetStates();
    field_template.push_back(std::move(field));
  }
  return field_template;
}

void AddRecordToFieldTemplate(FieldTemplate& field_template, const Table& table, int row) {
  const int columns = std::min(static_cast<int>(field_template.size()), table.ColumnCount());
  for (int c = 0; c < columns; ++c) {
    if (!IsNumeric(table.Column(c).kind) || table.IsNullAt(row, c)) continue;
    const float v = table.AsFloatAt(row, c);
    // A value the float32 signals cannot carry (an overflow of a wide column)
    // would poison the range and every code made from it.
    if (!std::isfinite(v)) continue;
    FieldDescription& field = field_template[c];
    if (v < field.MinValue) field.MinValue = v;
    if (v > field.MaxValue) field.MaxValue = v;
    field.Gap = TenthOfRange(field);

    if (field.States.empty()) continue;  // more than 20 distinct values seen
    if (field.NumOfDiscreteStates >= kMaxStates) {
      field.NumOfDiscreteStates = 0;
      field.States.clear();
      continue;
    }
    if (field.States.size() < static_cast<size_t>(kMaxStates)) field.States.resize(kMaxStates);
    const int count = std::max<int32_t>(field.NumOfDiscreteStates, 0);
    int at = 0;
    while (at < count && field.States[at].From < v) ++at;
    if (at < count && field.States[at].From == v) continue;
    for (int k = count; k > at; --k) field.States[k] = field.States[k - 1];
    field.States[at] = StateRange{v, v};
    field.NumOfDiscreteStates = count + 1;
  }
}

FieldTemplate BuildFieldTemplate(Table& table) {
  FieldTemplate field_template = InitFieldTemplate(table);
  for (int row = 0; row < table.RecordCount(); ++row) {
    AddRecordToFieldTemplate(field_template, table, row);
  }
  table.First();
  return field_template;
}

void RecountDescription(DataDescription& desc, bool not_used_as_inputs) {
  desc.NumOfFields = static_cast<int32_t>(desc.Fields.size());
  desc.NumOfInpFields = 0;
  desc.NumOfOutFields = 0;
  desc.NumOfInputs = 0;
  desc.NumOfOutputs = 0;
  for (const FieldDescription& field : desc.Fields) {
    if (CountsAsInput(field.Usage, not_used_as_inputs)) {
      ++desc.NumOfInpFields;
      desc.NumOfInputs += FieldWidth(field);
    } else if (field.Usage == FieldUsage::Output) {
      ++desc.NumOfOutFields;
      desc.NumOfOutputs += FieldWidth(field);
    }
  }
}

DataDescription NewDescription(const FieldTemplate& field_template, int32_t net_name_counter) {
  DataDescription desc;
  desc.Name = "Network" + std::to_string(static_cast<int64_t>(net_name_counter) + 1);
  desc.IsMonotonical = 0;
  desc.NumOfLayers = 3;
  desc.NumOfNeurons.fill(10);
  desc.NeuronType.fill(0);
  desc.Characteristic.fill(0.1f);

  desc.Fields.reserve(field_template.size());
  for (const FieldDescription& source : field_template) {
    FieldDescription field = CopyCoding(source);
    if (HasCountedValue(source)) {
      field.Usage = FieldUsage::Input;
      field.Gap = source.Gap;
    } else {
      field.Usage = FieldUsage::NotNumeric;
    }
    desc.Fields.push_back(std::move(field));
  }
  RecountDescription(desc, false);

  for (auto it = desc.Fields.rbegin(); it != desc.Fields.rend(); ++it) {
    if (it->Usage == FieldUsage::Input) {
      it->Usage = FieldUsage::Output;
      RecountDescription(desc, false);
      break;
    }
  }
  return desc;
}

DataDescription CloneDescription(const DataDescription& source, int32_t net_name_counter) {
  DataDescription desc;
  desc.Name = "Network" + std::to_string(static_cast<int64_t>(net_name_counter) + 1);
  desc.IsMonotonical = source.IsMonotonical;
  desc.NumOfLayers = source.NumOfLayers;
  desc.NumOfNeurons = source.NumOfNeurons;
  desc.Characteristic = source.Characteristic;
  for (int l = 0; l < kMaxLayers; ++l) {
    desc.NeuronType[l] = source.NeuronType[l] == -1 ? 0 : source.NeuronType[l];
  }
  desc.Fields.reserve(source.Fields.size());
  for (const FieldDescription& from : source.Fields) {
    FieldDescription field = CopyCoding(from);
    // Inputs removed by contrasting come back in the copy.
    field.Usage = from.Usage == FieldUsage::NotUsed ? FieldUsage::Input : from.Usage;
    field.Gap = from.Gap;
    desc.Fields.push_back(std::move(field));
  }
  RecountDescription(desc, false);
  return desc;
}

int FieldWidth(const FieldDescription& field) {
  return field.IsDiscrete ? std::max<int32_t>(field.NumOfDiscreteStates, 0) : 1;
}

void SetFieldType(DataDescription& desc, int index, bool to_discrete) {
  if (index < 0 || index >= static_cast<int>(desc.Fields.size())) return;
  FieldDescription& field = desc.Fields[index];
  if ((field.IsDiscrete != 0) == to_discrete) return;

  if (to_discrete) {
    if (field.States.empty() || field.NumOfDiscreteStates <= 0) {
      // No usable list of distinct values: split the range into two halves.
      field.NumOfDiscreteStates = 2;
      field.States = UnsetStates();
      const float middle = static_cast<float>(
          field.MinValue + (static_cast<double>(field.MaxValue) - field.MinValue) * 0.5);
      field.States[0] = StateRange{field.MinValue, middle};
      field.States[1] = StateRange{middle, field.MaxValue};
    } else if (field.NumOfDiscreteStates == 1) {
      // A single value still needs a second state to tell it from.
      field.NumOfDiscreteStates = 2;
      field.States.resize(kMaxStates);
      const float other = field.States[0].From == 0.0f ? 1.0f : 0.0f;
      field.States[1] = StateRange{other, other};
    } else {
      field.States.resize(kMaxStates);
    }
    const int32_t extra = field.NumOfDiscreteStates - 1;
    if (field.Usage == FieldUsage::Input) {
      desc.NumOfInputs += extra;
    } else if (field.Usage == FieldUsage::Output) {
      desc.NumOfOutputs += extra;
      field.Gap = 0.1f;
    }
    field.IsDiscrete = 1;
  } else {
    const int32_t extra = std::max<int32_t>(field.NumOfDiscreteStates, 0) - 1;
    if (field.Usage == FieldUsage::Input) {
      desc.NumOfInputs -= extra;
      field.Gap = 0.1f;
    } else if (field.Usage == FieldUsage::Output) {
      desc.NumOfOutputs -= extra;
      field.Gap = TenthOfRange(field);
    }
    field.IsDiscrete = 0;
  }
}

bool CheckDataFile(const Table& table, DataDescription& desc, Host& host) {
  desc.FieldColumn.assign(desc.Fields.size(), -1);
  for (size_t f = 0; f < desc.Fields.size(); ++f) {
    const FieldDescription& field = desc.Fields[f];
    if (field.Usage == FieldUsage::NotNumeric) continue;
    for (int c = 0; c < table.ColumnCount(); ++c) {
      if (table.Column(c).name == field.Name) {
        desc.FieldColumn[f] = c;
        break;
      }
    }
    if (desc.FieldColumn[f] < 0) {
      host.ShowMessage(Message{"В файле данных нет поля " + field.Name, "Несовместимый файл данных",
                               OwnerKind::kProject});
      return false;
    }
  }
  return true;
}

Status CheckDistinctColumnNames(const Table& table) {
  std::set<std::string> seen;
  for (int c = 0; c < table.ColumnCount(); ++c) {
    const std::string& name = table.Column(c).name;
    if (!seen.insert(name).second) {
      return Status::Invalid("В файле данных два поля с именем " + name);
    }
  }
  return Status::Ok();
}

void CodeRecord(const Table& table, int row, const DataDescription& desc, bool extend_taskbook,
                std::span<float> inputs, std::span<float> targets, bool& inputs_ok,
                bool& targets_ok) {
  bool inputs_bad = false;
  bool targets_bad = false;
  size_t in_pos = 0;
  size_t out_pos = 0;

  for (size_t f = 0; f < desc.Fields.size(); ++f) {
    const FieldDescription& field = desc.Fields[f];
    if (field.Usage == FieldUsage::NotNumeric) continue;

    const bool is_output = field.Usage == FieldUsage::Output;
    std::span<float> vector = is_output ? targets : inputs;
    size_t& pos = is_output ? out_pos : in_pos;
    bool& bad = is_output ? targets_bad : inputs_bad;
    const size_t width = static_cast<size_t>(FieldWidth(field));

    // A description that does not fit the vectors or the table codes nothing.
    int column = f < desc.FieldColumn.size() ? desc.FieldColumn[f] : -1;
    if (column >= table.ColumnCount()) column = -1;
    if (pos + width > vector.size()) {
      bad = true;
      pos = vector.size();
      continue;
    }
    std::span<float> codes = vector.subspan(pos, width);
    pos += width;
    std::fill(codes.begin(), codes.end(), 0.0f);

    if (field.Usage == FieldUsage::NotUsed) {
      // The signals of a contrasted input stay, fed with 0; the value itself
      // only decides, without the extend option, whether the record is usable.
      if (!extend_taskbook && (column < 0 || table.IsNullAt(row, column))) bad = true;
      continue;
    }
    // A column that no longer holds numbers (the table was changed under the
    // same name) has no value to code.
    if (column < 0 || table.IsNullAt(row, column) || !IsNumeric(table.Column(column).kind)) {
      bad = true;
      continue;
    }
    const float v = table.AsFloatAt(row, column);
    if (!std::isfinite(v)) {
      bad = true;
      continue;
    }

    if (field.IsDiscrete) {
      const size_t states = std::min(width, field.States.size());
      size_t first_match = states;
      for (size_t k = 0; k < states; ++k) {
        if (InState(field.States[k], v)) {
          first_match = k;
          break;
        }
      }
      if (first_match == states) {
        std::fill(codes.begin(), codes.end(), -1.0f);
        bad = true;
        continue;
      }
      for (size_t k = 0; k < width; ++k) {
        const bool match = k < states && InState(field.States[k], v);
        const bool before_match = field.Predecessor != 0 && k < first_match;
        codes[k] = match || before_match ? 1.0f : -1.0f;
      }
    } else {
      const double min = field.MinValue;
      const double max = field.MaxValue;
      const double half = max == min ? 1.0 : (max - min) * 0.5;
      codes[0] = static_cast<float>((v - (min + max) * 0.5) / half);
    }
  }
  inputs_ok = !inputs_bad;
  targets_ok = !targets_bad;
}

DecodedOutput DecodeOutputs(const FieldDescription& field, std::span<const float> outputs,
                            std::span<const float> targets, char decimal_separator) {
  DecodedOutput result;
  if (!field.IsDiscrete) {
    const double y = outputs.empty() ? 0.0 : outputs[0];
    const double min = field.MinValue;
    const double max = field.MaxValue;
    result.value = static_cast<float>(((max - min) * y + (max + min)) * 0.5);
    result.text = FormatReal(result.value, decimal_separator);
    return result;
  }

  const size_t n = std::min(outputs.size(), static_cast<size_t>(FieldWidth(field)));
  const float gap = field.Gap;
  float confidence = kUnsetValue;
  // Comparisons with NaN are all false, which would crown the first state
  // with full confidence; a net that answers NaN names no class at all.
  const bool undefined = std::any_of(outputs.begin(), outputs.begin() + static_cast<ptrdiff_t>(n),
                                     [](float o) { return std::isnan(o); });
  if (undefined) {
    confidence = 0;
  } else if (field.Predecessor) {
    for (size_t k = 0; k < n; ++k) {
      if (outputs[k] > 0) result.class_index = static_cast<int>(k);
    }
    if (gap > 0) {
      for (size_t k = 0; k < n; ++k) confidence = std::min(confidence, std::fabs(outputs[k]) / gap);
    }
  } else {
    for (size_t k = 0; k < n; ++k) {
      if (result.class_index < 0 || outputs[k] > outputs[result.class_index]) {
        result.class_index = static_cast<int>(k);
      }
    }
    if (gap > 0 && result.class_index >= 0) {
      const float top = outputs[result.class_index];
      for (size_t k = 0; k < n; ++k) {
        if (static_cast<int>(k) == result.class_index) continue;
        const float margin = top - outputs[k];
        confidence = std::min(confidence, margin / (2.0f * gap));
      }
    }
  }
  for (size_t k = 0; k < targets.size() && k < static_cast<size_t>(FieldWidth(field)); ++k) {
    if (targets[k] > 0) result.true_class = static_cast<int>(k);
  }

  result.confidence = confidence;
  result.text = result.class_index >= 0 ? "Класс " + std::to_string(result.class_index + 1)
                                        : "Класс неизвестен";
  const double percent = std::min(100.0 * confidence, 100.0);
  result.confidence_text = FormatReal(percent, decimal_separator) + "%";
  return result;
}

std::vector<std::string> InputSignalNames(const DataDescription& desc) {
  std::vector<std::string> names;
  for (const FieldDescription& field : desc.Fields) {
    // Only fields that take input positions get names, so names stay aligned
    // with the input vector.
    if (field.Usage == FieldUsage::Output || field.Usage == FieldUsage::NotNumeric) continue;
    if (!field.IsDiscrete) {
      names.push_back(field.Name);
      continue;
    }
    for (int k = 1; k <= field.NumOfDiscreteStates; ++k) {
      names.push_back(field.Name + "_" + std::to_string(k));
    }
  }
  return names;
}

}  // namespace velmar
