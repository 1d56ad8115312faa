#include "cli/json_output.h"

#include <algorithm>
#include <vector>

#include "cli/json_writer.h"

namespace velmar::cli {
namespace {

const char* UsageKey(FieldUsage usage) {
  switch (usage) {
    case FieldUsage::NotNumeric:
      return "not_numeric";
    case FieldUsage::NotUsed:
      return "not_used";
    case FieldUsage::Input:
      return "input";
    case FieldUsage::Output:
      return "output";
  }
  return "unknown";
}

void WriteField(JsonWriter& json, const FieldDescription& f) {
  json.BeginObject();
  json.Key("name").String(f.Name);
  json.Key("usage").String(UsageKey(f.Usage));
  json.Key("discrete").Bool(f.IsDiscrete != 0);
  json.Key("ordered").Bool(f.Predecessor != 0);
  // An unset range (no value counted) has no figures to show.
  if (f.MinValue == kUnsetValue || f.MaxValue == -kUnsetValue) {
    json.Key("min").Null();
    json.Key("max").Null();
  } else {
    json.Key("min").Real(f.MinValue);
    json.Key("max").Real(f.MaxValue);
  }
  json.Key("gap").Real(f.Gap);
  json.Key("states").BeginArray();
  if (f.IsDiscrete != 0) {
    const int states = std::min<int>(f.NumOfDiscreteStates, static_cast<int>(f.States.size()));
    for (int s = 0; s < states; ++s) {
      const StateRange& r = f.States[s];
      json.BeginObject();
      if (r.From == kUnsetValue) {
        json.Key("from").Null();
        json.Key("to").Null();
      } else {
        json.Key("from").Real(r.From);
        json.Key("to").Real(r.To);
      }
      json.Key("in_use").Bool(s >= 32 || (f.StateMask >> s & 1u) != 0);
      json.EndObject();
    }
  }
  json.EndArray();
  json.EndObject();
}

void WriteNet(JsonWriter& json, int index, const NeuralNet& net) {
  const DataDescription& d = net.Desc;
  json.BeginObject();
  json.Key("index").Int(index + 1);
  json.Key("name").String(d.Name);
  json.Key("monotone").Bool(d.IsMonotonical != 0);
  json.Key("inputs").Int(d.NumOfInputs);
  json.Key("outputs").Int(d.NumOfOutputs);
  json.Key("layers").BeginArray();
  for (int l = 0; l < d.NumOfLayers && l < kMaxLayers; ++l) {
    json.BeginObject();
    json.Key("neurons").Int(d.NumOfNeurons[l]);
    json.Key("characteristic").Real(d.Characteristic[l]);
    json.EndObject();
  }
  json.EndArray();
  json.Key("fields").BeginArray();
  for (const FieldDescription& f : d.Fields) WriteField(json, f);
  json.EndArray();
  json.Key("input_names").BeginArray();
  for (const std::string& name : net.InputNames) json.String(name);
  json.EndArray();

  long long removed = 0, binarized = 0;
  for (int32_t flags : net.ParamFlags) {
    if (flags & pfRemoved) {
      ++removed;
    } else if ((flags & pfFixed) && !(flags & pfCharacteristic)) {
      ++binarized;
    }
  }
  json.Key("counters").BeginObject();
  json.Key("training_cycles").Int(net.NumOfTrainingCycles);
  json.Key("parameters").Int(net.NumOfParameters);
  json.Key("removed_parameters").Int(removed);
  json.Key("binarized_parameters").Int(binarized);
  json.Key("pruned_inputs").Int(net.NumOfPrunedInputs);
  json.Key("pruned_synapses").Int(net.NumOfPrunedSynapses);
  json.Key("binarized_synapses").Int(net.NumOfBinSynapses);
  json.Key("pruned_neurons").Int(net.NumOfPrunedNeurons);
  json.EndObject();
  json.EndObject();
}

// "Класс k" -> k; anything else -> 0.
int ClassNumber(const std::string& text) {
  static const std::string prefix = "Класс ";
  if (text.compare(0, prefix.size(), prefix) != 0) return 0;
  int k = 0;
  for (size_t i = prefix.size(); i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || k > 1000) return 0;
    k = 10 * k + (text[i] - '0');
  }
  return k;
}

struct ClassCounts {
  long long correct = 0, uncertain = 0, wrong = 0, total = 0;
};

}  // namespace

std::string ProjectInfoJson(const std::string& path, const Project& project) {
  JsonWriter json;
  const ProjectOptions& o = project.Options();
  json.BeginObject();
  json.Key("project").String(path);
  json.Key("options").BeginObject();
  json.Key("training_method").Int(o.TrainingMethod);
  json.Key("sensitivity_norm").Int(o.SensitivityNorm);
  json.Key("binary_weight_set").Int(o.BinaryWeightSet);
  json.Key("extend_taskbook").Bool(o.ExtendTaskbook != 0);
  json.EndObject();
  json.Key("net_name_counter").Int(project.NetNameCounter());
  json.Key("networks").BeginArray();
  for (int i = 0; i < project.NetCount(); ++i) WriteNet(json, i, project.Net(i));
  json.EndArray();
  json.EndObject();
  return json.Text();
}

std::string TestGridJson(const NeuralNet& net, const TestGrid& grid) {
  const int fields = std::max(0, (grid.ColumnCount - 1) / 4);
  auto cell = [&](int row, int column) -> const std::string& {
    static const std::string empty;
    if (row < 0 || row >= static_cast<int>(grid.Rows.size())) return empty;
    const auto& cells = grid.Rows[row];
    return column < static_cast<int>(cells.size()) ? cells[column] : empty;
  };
  auto discrete = [&](int a) {
    return a < static_cast<int>(grid.Summary.size()) && grid.Summary[a].Discrete;
  };

  JsonWriter json;
  json.BeginObject();
  json.Key("network").String(net.Desc.Name);
  json.Key("caption").String(grid.Caption);
  json.Key("records").Int(grid.Records);
  json.Key("fields").BeginArray();
  for (int a = 0; a < fields; ++a) {
    json.BeginObject();
    json.Key("name").String(cell(0, 4 * a + 1));
    json.Key("discrete").Bool(discrete(a));
    json.EndObject();
  }
  json.EndArray();

  // Per-class counts are taken from the record rows, as the class summary is.
  std::vector<std::vector<ClassCounts>> classes(static_cast<size_t>(fields));
  {
    size_t a = 0;
    for (const FieldDescription& f : net.Desc.Fields) {
      if (f.Usage != FieldUsage::Output || a >= classes.size()) continue;
      if (f.IsDiscrete != 0)
        classes[a].resize(static_cast<size_t>(std::clamp(f.NumOfDiscreteStates, 0, kMaxStates)));
      ++a;
    }
  }
  json.Key("rows").BeginArray();
  for (int r = 1; r <= grid.Records && r < static_cast<int>(grid.Rows.size()); ++r) {
    json.BeginObject();
    json.Key("row").Int(r);
    json.Key("cells").BeginArray();
    for (int a = 0; a < fields; ++a) {
      const std::string& verdict = cell(r, 4 * a + 4);
      json.BeginObject();
      json.Key("actual").String(cell(r, 4 * a + 1));
      json.Key("forecast").String(cell(r, 4 * a + 2));
      json.Key(discrete(a) ? "confidence" : "error").String(cell(r, 4 * a + 3));
      json.Key("verdict").String(verdict.empty() && !cell(r, 4 * a + 2).empty() ? "0" : verdict);
      json.EndObject();
      const int k = ClassNumber(cell(r, 4 * a + 1));
      if (!discrete(a) || k == 0 || cell(r, 4 * a + 2).empty() || verdict == "3") continue;
      auto& list = classes[static_cast<size_t>(a)];
      if (static_cast<int>(list.size()) < k) continue;
      ClassCounts& c = list[static_cast<size_t>(k - 1)];
      ++c.total;
      if (verdict == "2") {
        ++c.wrong;
      } else if (verdict == "1") {
        ++c.uncertain;
      } else {
        ++c.correct;
      }
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();

  json.Key("summary").BeginArray();
  for (const TestFieldSummary& s : grid.Summary) {
    json.BeginObject();
    json.Key("name").String(s.Name);
    json.Key("discrete").Bool(s.Discrete);
    json.Key("correct").Int(s.Correct);
    json.Key("uncertain").Int(s.Uncertain);
    json.Key("wrong").Int(s.Wrong);
    json.Key("total").Int(s.Total);
    if (!s.Discrete) {
      json.Key("compared").Int(s.Compared);
      if (s.Compared > 0) {
        json.Key("mean_error").Real(s.MeanError);
        json.Key("max_error").Real(s.MaxError);
      } else {
        json.Key("mean_error").Null();
        json.Key("max_error").Null();
      }
    }
    json.EndObject();
  }
  json.EndArray();

  json.Key("class_summary").BeginArray();
  for (int a = 0; a < fields; ++a) {
    if (!discrete(a)) continue;
    json.BeginObject();
    json.Key("name").String(cell(0, 4 * a + 1));
    json.Key("classes").BeginArray();
    const auto& list = classes[static_cast<size_t>(a)];
    for (size_t k = 0; k < list.size(); ++k) {
      json.BeginObject();
      json.Key("class").Int(static_cast<long long>(k + 1));
      json.Key("correct").Int(list[k].correct);
      json.Key("uncertain").Int(list[k].uncertain);
      json.Key("wrong").Int(list[k].wrong);
      json.Key("total").Int(list[k].total);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  return json.Text();
}

std::string SignificanceJson(const NeuralNet& net) {
  JsonWriter json;
  json.BeginObject();
  json.Key("network").String(net.Desc.Name);
  json.Key("inputs").BeginArray();
  const size_t count = std::min(net.InputNames.size(), net.InputSignificance.size());
  for (size_t i = 0; i < count; ++i) {
    json.BeginObject();
    json.Key("name").String(net.InputNames[i]);
    json.Key("significance").Real(net.InputSignificance[i]);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  return json.Text();
}

}  // namespace velmar::cli
