#ifndef VELMAR_TESTS_SUPPORT_NET_BUILDERS_H_
#define VELMAR_TESTS_SUPPORT_NET_BUILDERS_H_

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/base/random.h"
#include "core/data/data_description.h"
#include "core/data/task_book.h"
#include "core/engine/neural_net.h"

namespace velmar::testing_support {

// One field of a test network.
struct FieldSpec {
  int states = 0;           // 0: continuous; n >= 2: discrete with the point states 1..n
  bool ordered = false;     // discrete: the states have a predecessor relation
  float gap = 0.1f;         // continuous: accuracy in the field's units; discrete: reliability
  float min_value = -1.0f;  // continuous: recorded range
  float max_value = 1.0f;
};

struct NetShape {
  std::vector<FieldSpec> inputs;
  std::vector<int> hidden;  // neurons per sigmoid layer
  std::vector<FieldSpec> outputs;
  float characteristic = 0.1f;
  bool monotone = false;
};

// Continuous inputs and outputs over [-1, 1]; `gap` is each output's accuracy.
inline NetShape SimpleShape(int inputs, std::vector<int> hidden, int outputs, float gap = 0.1f) {
  NetShape shape;
  shape.inputs.assign(inputs, FieldSpec{});
  shape.hidden = std::move(hidden);
  FieldSpec out;
  out.gap = gap;
  shape.outputs.assign(outputs, out);
  return shape;
}

// Built by appending: GCC 12 warns falsely on "literal" + std::string.
inline std::string NumberedName(char prefix, int i) {
  std::string name(1, prefix);
  name += std::to_string(i + 1);
  return name;
}
inline std::string InputFieldName(int i) { return NumberedName('x', i); }
inline std::string OutputFieldName(int i) { return NumberedName('y', i); }

inline FieldDescription MakeField(const std::string& name, FieldUsage usage,
                                  const FieldSpec& field_spec) {
  FieldDescription f;
  f.Name = name;
  f.Usage = usage;
  f.Gap = field_spec.gap;
  if (field_spec.states > 0) {
    f.IsDiscrete = 1;
    f.Predecessor = field_spec.ordered ? 1 : 0;
    f.NumOfDiscreteStates = field_spec.states;
    f.MinValue = 1.0f;
    f.MaxValue = static_cast<float>(field_spec.states);
    f.States.assign(kMaxStates, StateRange{});
    for (int k = 0; k < field_spec.states && k < kMaxStates; ++k) {
      f.States[k].From = f.States[k].To = static_cast<float>(k + 1);
    }
  } else {
    f.MinValue = field_spec.min_value;
    f.MaxValue = field_spec.max_value;
  }
  return f;
}

// Fields "x1".. (inputs) then "y1".. (outputs), counters filled in.
inline DataDescription MakeDescription(const NetShape& shape) {
  DataDescription d;
  d.Name = "Test";
  d.IsMonotonical = shape.monotone ? 1 : 0;
  d.NumOfLayers = static_cast<int32_t>(shape.hidden.size());
  for (int l = 0; l < kMaxLayers; ++l) {
    const bool used = l < d.NumOfLayers;
    d.NumOfNeurons[l] = used ? shape.hidden[l] : 10;
    d.NeuronType[l] = used ? 0 : -1;
    d.Characteristic[l] = shape.characteristic;
  }
  for (size_t i = 0; i < shape.inputs.size(); ++i) {
    d.Fields.push_back(
        MakeField(InputFieldName(static_cast<int>(i)), FieldUsage::Input, shape.inputs[i]));
    d.NumOfInpFields += 1;
    d.NumOfInputs += FieldWidth(d.Fields.back());
  }
  for (size_t i = 0; i < shape.outputs.size(); ++i) {
    d.Fields.push_back(
        MakeField(OutputFieldName(static_cast<int>(i)), FieldUsage::Output, shape.outputs[i]));
    d.NumOfOutFields += 1;
    d.NumOfOutputs += FieldWidth(d.Fields.back());
  }
  d.NumOfFields = static_cast<int32_t>(d.Fields.size());
  return d;
}

// Creates the net as the network dialog would, with the generator reseeded
// from `seed` instead of the calendar time. The clock in use before is put back.
inline std::unique_ptr<NeuralNet> MakeNet(const NetShape& shape, int64_t seed = 1) {
  auto net = std::make_unique<NeuralNet>();
  const Clock* previous = &CurrentClock();
  FixedClock clock(seed);
  SetCurrentClock(&clock);
  CreateNet(*net, MakeDescription(shape));
  SetCurrentClock(previous);
  return net;
}

// Refills every trainable weight and bias uniformly in [-scale, scale] from
// `seed`, keeping each within its bounds (monotone sign constraints included).
inline void RandomizeParameters(NeuralNet& net, uint32_t seed, float scale) {
  Random15 random(seed);
  for (int32_t i = 0; i < net.NumOfParameters; ++i) {
    if ((net.ParamFlags[i] & pfTrainable) == 0) continue;
    float v = static_cast<float>((random.Next() * 2.0 / Random15::kMax - 1.0) * scale);
    if (net.LowerBounds[i] >= 0 && v < 0) v = -v;
    if (net.UpperBounds[i] <= 0 && v > 0) v = -v;
    net.Parameters[i] = v;
  }
}

// A taskbook of coded rows (inputs, then targets, in signal units), example
// weights 1 and record numbers 1, 2, ...
inline std::unique_ptr<TaskBook> MakeTaskBook(const DataDescription& desc,
                                              const std::vector<std::vector<float>>& inputs,
                                              const std::vector<std::vector<float>>& targets) {
  auto book = std::make_unique<TaskBook>(desc.NumOfInputs, desc.NumOfOutputs, desc.NumOfOutFields);
  for (size_t r = 0; r < inputs.size() && r < targets.size(); ++r) {
    book->Append(inputs[r], targets[r]);
    const uint32_t row = book->Count() - 1;
    book->SetRecordNumber(row, static_cast<int32_t>(row + 1));
    for (int32_t f = 0; f < desc.NumOfOutFields; ++f) book->SetWeight(row, f, 1.0f);
  }
  return book;
}

// A synthetic taskbook of `rows` rows: inputs uniform in [-1, 1]; a
// continuous output gets a target uniform in [-1, 1], a discrete one the
// code of a random state (one-hot, or cumulative when ordered).
inline std::unique_ptr<TaskBook> RandomTaskBook(const DataDescription& desc, int rows,
                                                uint32_t seed) {
  Random15 random(seed);
  auto uniform = [&] { return static_cast<float>(random.Next() * 2.0 / Random15::kMax - 1.0); };
  std::vector<std::vector<float>> inputs(rows), targets(rows);
  for (int r = 0; r < rows; ++r) {
    for (int32_t i = 0; i < desc.NumOfInputs; ++i) inputs[r].push_back(uniform());
    for (const FieldDescription& f : desc.Fields) {
      if (f.Usage != FieldUsage::Output) continue;
      if (f.IsDiscrete == 0) {
        targets[r].push_back(uniform());
        continue;
      }
      const int state = random.Next() % f.NumOfDiscreteStates;
      for (int k = 0; k < f.NumOfDiscreteStates; ++k) {
        const bool on = f.Predecessor ? k <= state : k == state;
        targets[r].push_back(on ? 1.0f : -1.0f);
      }
    }
  }
  return MakeTaskBook(desc, inputs, targets);
}

// What a gradient pass adds to the direction for the example that Forward and
// Backward have just walked: a weight's entry is the exact product of its
// neuron's signal and its source, every other entry the example's gradient.
inline std::vector<double> DirectionTerms(const NeuralNet& net) {
  std::vector<double> term(net.ExampleGradient.begin(), net.ExampleGradient.end());
  for (int l = 0; l <= net.NumOfLayers(); ++l) {
    const int k = net.FanIn(l);
    const float* x = l == 0 ? net.CurInputs : net.Signals.data() + net.OutputStart(l - 1);
    for (int j = 0; j < net.LayerSize(l); ++j) {
      const double g = net.BackSignals[net.SumStart(l) + j];
      for (int s = 0; s < k; ++s) term[net.WeightStart(l) + j * k + s] = g * x[s];
    }
  }
  return term;
}

// The table columns of a description made by MakeDescription, in field order.
inline std::vector<std::string> FieldNames(const NetShape& shape) {
  std::vector<std::string> names;
  for (size_t i = 0; i < shape.inputs.size(); ++i) names.push_back(InputFieldName(int(i)));
  for (size_t i = 0; i < shape.outputs.size(); ++i) names.push_back(OutputFieldName(int(i)));
  return names;
}

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_NET_BUILDERS_H_
