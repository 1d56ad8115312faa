#include "core/verbal/verbalize.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/base/format_real.h"

namespace velmar {
namespace {

// Counts are read as BuildNet and InputSignalNames read them, so that the
// text stays aligned with the layout; every read is still bounds-checked, so
// a damaged net gives a damaged text rather than a crash.
float ParameterAt(const NeuralNet& net, int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(net.Parameters.size())) return 0;
  return net.Parameters[static_cast<size_t>(index)];
}

int32_t LayerMapAt(const NeuralNet& net, int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(net.LayerMap.size())) return -1;
  return net.LayerMap[static_cast<size_t>(index)];
}

int NumOfHiddenLayers(const DataDescription& desc) {
  return std::clamp(desc.NumOfLayers, 0, kMaxLayers);
}

int LayerNeurons(const DataDescription& desc, int layer) {
  if (layer >= NumOfHiddenLayers(desc)) return std::max(desc.NumOfOutputs, 0);
  return std::max(desc.NumOfNeurons[static_cast<size_t>(layer)], 0);
}

int LayerSources(const DataDescription& desc, int layer) {
  if (layer == 0) return std::max(desc.NumOfInputs, 0);
  return LayerNeurons(desc, layer - 1);
}

int StateCount(const FieldDescription& field) { return std::max(field.NumOfDiscreteStates, 0); }

StateRange StateAt(const FieldDescription& field, int state) {
  if (state < 0 || state >= static_cast<int>(field.States.size())) return StateRange{};
  return field.States[static_cast<size_t>(state)];
}

// Only the first 16 states have a bit in StateMask; later states never show
// a formula.
bool StateInUse(const FieldDescription& field, int state) {
  return state < 16 && (field.StateMask & (uint32_t{1} << state)) != 0;
}

class NameCursor {
 public:
  explicit NameCursor(const std::vector<std::string>& names) : names_(names) {}
  const std::string& Next() {
    static const std::string kEmpty;
    if (next_ >= names_.size()) return kEmpty;
    return names_[next_++];
  }
  void Skip(int count) { next_ += static_cast<size_t>(std::max(count, 0)); }

 private:
  const std::vector<std::string>& names_;
  size_t next_ = 0;
};

std::string DiscreteInputLine(const FieldDescription& field, int state, const std::string& name,
                              char sep) {
  std::string line = "\t";
  line += name;
  if (!StateInUse(field, state)) return line;
  auto append_range = [&](int s) {
    const StateRange range = StateAt(field, s);
    line += '[';
    line += FormatReal(range.From, sep);
    line += ',';
    line += FormatReal(range.To, sep);
    line += ']';
  };
  if (field.Predecessor != 0) {
    line += "=1";
    if (state == 0) return line;
    line += ", если ";
    line += field.Name;
    line += " принадлежит диапазонам";
    for (int t = state; t < StateCount(field); ++t) {
      line += ' ';
      append_range(t);
      line += ',';
    }
    line += " а иначе -1";
    return line;
  }
  line += "=1, если ";
  line += field.Name;
  line += " принадлежит диапазону ";
  append_range(state);
  line += ", а иначе -1";
  return line;
}

std::string ContinuousInputLine(const FieldDescription& field, const std::string& name, char sep) {
  const double min_value = field.MinValue;
  const double max_value = field.MaxValue;
  // A field with a single recorded value is coded with the divisor 1, so the
  // text shows that divisor rather than a division by zero.
  const double half_width = max_value == min_value ? 1.0 : (max_value - min_value) * 0.5;
  return "\t" + name + "=(" + field.Name + "-" + FormatReal((min_value + max_value) * 0.5, sep) +
         ")/" + FormatReal(half_width, sep);
}

std::string OutputPostprocessingLine(const FieldDescription& field, char sep) {
  const std::string& name = field.Name;
  if (field.IsDiscrete != 0) {
    const char* rule = field.Predecessor != 0 ? "последнему синдрому со значением, большим 0,"
                                              : "синдрому с максимальным значением";
    return "\t" + name + " принадлежит диапазону, соответствующему " + rule + " из синдромов " +
           name + "_1,...," + name + "_" + std::to_string(field.NumOfDiscreteStates);
  }
  const double min_value = field.MinValue;
  const double max_value = field.MaxValue;
  return "\t" + name + "=((" + name + "*" + FormatGeneral15(max_value - min_value, sep) + ")+" +
         FormatGeneral15(min_value + max_value, sep) + ")/2";
}

}  // namespace

std::string FormatGeneral15(double x, char decimal_separator) {
  return FormatSignificant(x, 15, 15, decimal_separator);
}

std::string WeightedSumText(const NeuralNet& net, int layer, int neuron,
                            std::span<const std::string> names, char decimal_separator) {
  const DataDescription& desc = net.Desc;
  const int hidden_layers = NumOfHiddenLayers(desc);
  if (layer < 0 || layer > hidden_layers || neuron < 0) return {};
  const int sources = LayerSources(desc, layer);
  const int64_t weight_start = LayerMapAt(net, 4 * int64_t{layer});
  const int64_t neuron_start = LayerMapAt(net, 4 * int64_t{layer} + 2);
  std::string text;
  if (weight_start >= 0) {
    for (int k = 0; k < sources; ++k) {
      const float w = ParameterAt(net, weight_start + int64_t{neuron} * sources + k);
      if (w == 0) continue;
      if (!text.empty() && w > 0) text += '+';
      if (w == -1) {
        text += '-';
      } else if (w != 1) {
        text += FormatReal(w, decimal_separator);
        text += '*';
      }
      if (static_cast<size_t>(k) < names.size()) text += names[static_cast<size_t>(k)];
    }
  }
  if (neuron_start >= 0) {
    const int64_t bias_index =
        layer < hidden_layers ? neuron_start + 2 * int64_t{neuron} + 1 : neuron_start + neuron;
    const float b = ParameterAt(net, bias_index);
    if (b != 0) {
      if (!text.empty() && b > 0) text += '+';
      text += FormatReal(b, decimal_separator);
    }
  }
  return text;
}

std::vector<std::string> VerbalizeNet(const NeuralNet& net, char decimal_separator) {
  const char sep = decimal_separator;
  const DataDescription& desc = net.Desc;
  std::vector<std::string> lines;

  lines.push_back("Поля базы данных (исходные симптомы):");
  for (const FieldDescription& field : desc.Fields) {
    if (field.Usage == FieldUsage::Input) lines.push_back("\t" + field.Name);
  }
  lines.emplace_back();

  lines.push_back("Поля базы данных (конечные синдромы):");
  std::vector<std::string> output_names;
  for (const FieldDescription& field : desc.Fields) {
    if (field.Usage != FieldUsage::Output) continue;
    lines.push_back("\t" + field.Name);
    if (field.IsDiscrete != 0) {
      for (int s = 1; s <= StateCount(field); ++s) {
        output_names.push_back(field.Name + "_" + std::to_string(s));
      }
    } else {
      output_names.push_back(field.Name);
    }
  }
  lines.emplace_back();

  lines.push_back("Предобработка входных полей БД для подачи сети:");
  NameCursor input_names(net.InputNames);
  for (const FieldDescription& field : desc.Fields) {
    if (field.Usage == FieldUsage::Input) {
      if (field.IsDiscrete != 0) {
        for (int s = 0; s < StateCount(field); ++s) {
          lines.push_back(DiscreteInputLine(field, s, input_names.Next(), sep));
        }
      } else {
        lines.push_back(ContinuousInputLine(field, input_names.Next(), sep));
      }
    } else if (field.Usage == FieldUsage::NotUsed) {
      input_names.Skip(field.IsDiscrete != 0 ? StateCount(field) : 1);
    }
  }
  lines.emplace_back();

  const int hidden_layers = NumOfHiddenLayers(desc);
  lines.push_back("Функциональные преобразователи:");
  for (int i = 1; i <= hidden_layers; ++i) {
    const std::string level = std::to_string(i);
    lines.push_back("\tСигмоида" + level + "(A)=A/(" +
                    FormatReal(desc.Characteristic[static_cast<size_t>(i - 1)], sep) + "+|A|)");
  }

  std::vector<std::string> below = net.InputNames;
  for (int i = 1; i <= hidden_layers; ++i) {
    const int layer = i - 1;
    const int n = LayerNeurons(desc, layer);
    const std::string level = std::to_string(i);
    std::vector<std::string> syndromes(static_cast<size_t>(n));
    lines.emplace_back();
    lines.push_back("Синдромы " + level + "-го уровня:");
    if (desc.IsMonotonical != 0) lines.push_back("    Возбуждающие синдромы:");
    int described = 0;
    for (int j = 0; j < n; ++j) {
      if (desc.IsMonotonical != 0 && j == (n + 1) / 2) {
        lines.push_back("    Тормозящие синдромы:");
      }
      const std::string sum = WeightedSumText(net, layer, j, below, sep);
      if (sum.empty()) continue;
      ++described;
      syndromes[static_cast<size_t>(j)] = "Синдром" + level + "_" + std::to_string(described);
      lines.push_back("\t" + syndromes[static_cast<size_t>(j)] + "=Сигмоида" + level + "( " + sum +
                      " )");
    }
    below = std::move(syndromes);
  }

  lines.emplace_back();
  lines.push_back("Конечные синдромы:");
  for (size_t o = 0; o < output_names.size(); ++o) {
    lines.push_back("\t" + output_names[o] + "=" +
                    WeightedSumText(net, hidden_layers, static_cast<int>(o), below, sep));
  }

  lines.emplace_back();
  lines.push_back("Постобработка конечных синдромов:");
  for (const FieldDescription& field : desc.Fields) {
    if (field.Usage == FieldUsage::Output) lines.push_back(OutputPostprocessingLine(field, sep));
  }
  return lines;
}

}  // namespace velmar
