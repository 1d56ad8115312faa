#include "core/engine/neural_net.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/random.h"

namespace velmar {
namespace {

// A description with `inputs` continuous input fields, `outputs` continuous
// output fields and the given hidden layers.
DataDescription Shape(int inputs, const std::vector<int>& layers, int outputs) {
  DataDescription d;
  d.Name = "Net";
  d.NumOfLayers = static_cast<int32_t>(layers.size());
  d.NumOfNeurons.fill(10);
  d.NeuronType.fill(-1);
  for (size_t l = 0; l < layers.size(); ++l) {
    d.NumOfNeurons[l] = layers[l];
    d.NeuronType[l] = 0;
    d.Characteristic[l] = 0.1f * static_cast<float>(l + 1);
  }
  for (int i = 0; i < inputs + outputs; ++i) {
    FieldDescription f;
    f.Name = (i < inputs ? "In" : "Out") + std::to_string(i);
    f.Usage = i < inputs ? FieldUsage::Input : FieldUsage::Output;
    f.MinValue = 0;
    f.MaxValue = 10;
    f.Gap = 0.5f;
    d.Fields.push_back(f);
  }
  RecountDescription(d, true);
  return d;
}

class ScopedClock {
 public:
  explicit ScopedClock(int64_t seconds) : clock_(seconds) { SetCurrentClock(&clock_); }
  ~ScopedClock() { SetCurrentClock(nullptr); }
  FixedClock& clock() { return clock_; }

 private:
  FixedClock clock_;
};

TEST(BuildNetTest, LayoutOfTheWorkedExample) {
  NeuralNet net;
  net.Desc = Shape(4, {3, 2}, 1);
  BuildNet(net);
  EXPECT_EQ(net.LayerMap, (std::vector<int32_t>{0, 0, 12, 3, 18, 6, 24, 8, 28, 10, 30, 11}));
  EXPECT_EQ(net.NumOfParameters, 31);
  EXPECT_EQ(net.NumOfSignals, 11);
  EXPECT_EQ(net.NumOfHiddenNeurons, 5);
  EXPECT_EQ(net.InitialSynapses, 26);
  EXPECT_EQ(net.InitialInputs, 4);
  EXPECT_EQ(net.LayerSize(2), 1);
  EXPECT_EQ(net.FanIn(0), 4);
  EXPECT_EQ(net.FanIn(2), 2);
}

TEST(BuildNetTest, ParameterCountsOfOtherShapes) {
  struct Case {
    int inputs;
    std::vector<int> layers;
    int outputs;
    int parameters, signals;
  };
  const Case cases[] = {
      {2, {3}, 1, 16, 7},
      {4, {5, 3}, 2, 59, 18},
      {1, {1}, 1, 5, 3},
      {3, {100, 100, 100}, 4, 3 * 100 + 200 + 2 * (100 * 100 + 200) + 100 * 4 + 4, 604},
  };
  for (const Case& c : cases) {
    NeuralNet net;
    net.Desc = Shape(c.inputs, c.layers, c.outputs);
    BuildNet(net);
    EXPECT_EQ(net.NumOfParameters, c.parameters) << c.inputs << " inputs";
    EXPECT_EQ(net.NumOfSignals, c.signals) << c.inputs << " inputs";
    const size_t p = static_cast<size_t>(c.parameters);
    for (const auto* v : {&net.Parameters, &net.LowerBounds, &net.UpperBounds, &net.ExampleGradient,
                          &net.Direction, &net.ParamSignificance, &net.SavedParameters}) {
      EXPECT_EQ(v->size(), p);
    }
    EXPECT_EQ(net.ParamFlags.size(), p);
    EXPECT_EQ(net.Signals.size(), static_cast<size_t>(c.signals));
    EXPECT_EQ(net.BackSignals.size(), static_cast<size_t>(c.signals));
    EXPECT_EQ(net.Outputs.size(), static_cast<size_t>(c.outputs));
    EXPECT_EQ(net.InputErrors.size(), static_cast<size_t>(c.inputs));
    EXPECT_EQ(net.InputSignificance.size(), static_cast<size_t>(c.inputs));
    EXPECT_EQ(static_cast<int>(net.NeuronSignificance.size()), net.NumOfHiddenNeurons);
    // The layout leaves no gaps: the output biases end the vector.
    const int out = net.NumOfLayers();
    EXPECT_EQ(net.NeuronStart(out) + c.outputs, net.NumOfParameters);
    for (int l = 0; l < out; ++l) {
      EXPECT_EQ(net.WeightStart(l + 1), net.NeuronStart(l) + 2 * net.LayerSize(l));
    }
  }
}

TEST(BuildNetTest, DefaultsErrorListsAndNames) {
  NeuralNet net;
  net.Desc = Shape(2, {3}, 2);
  net.Desc.Fields[0].Usage = FieldUsage::NotUsed;
  net.Desc.Fields[3].IsDiscrete = 1;
  net.Desc.Fields[3].NumOfDiscreteStates = 3;
  net.Desc.Fields[3].States.assign(kMaxStates, StateRange{});
  RecountDescription(net.Desc, true);
  net.StopFlag = 0;
  net.InPruning = 1;
  net.SensMode = 1;
  net.NumOfSymptoms = 9;
  net.NumOfPrunedInputs = 4;
  net.Book = std::make_unique<TaskBook>();
  net.NumOfTrainingCycles = 17;
  BuildNet(net);
  EXPECT_EQ(net.StopFlag, 1);
  EXPECT_EQ(net.InPruning, 0);
  EXPECT_EQ(net.SensMode, 0);
  EXPECT_EQ(net.NumOfSymptoms, 3);
  EXPECT_EQ(net.NumOfPrunedInputs, 0);
  EXPECT_EQ(net.Book, nullptr);
  EXPECT_EQ(net.NumOfTrainingCycles, 17) << "BuildNet leaves the cycle count to its callers";
  EXPECT_EQ(net.Desc.FieldColumn.size(), net.Desc.Fields.size());
  for (size_t i = 0; i < net.ParamFlags.size(); ++i) {
    ASSERT_EQ(net.ParamFlags[i], kSynapseFlags);
    ASSERT_EQ(net.LowerBounds[i], -1.0f);
    ASSERT_EQ(net.UpperBounds[i], 1.0f);
  }
  EXPECT_EQ(net.InputNames, (std::vector<std::string>{"In0", "In1"}));
  ASSERT_EQ(net.AcceptanceList.size(), 2u);
  EXPECT_EQ(net.AcceptanceList[0].Kind, EstimateKind::ToleranceEstimate);
  EXPECT_EQ(net.AcceptanceList[1].Kind, EstimateKind::WinnerClassEstimate);
  EXPECT_EQ(net.AcceptanceList[1].Width, 3);
  EXPECT_EQ(net.TrainingList.size(), 2u);
  EXPECT_EQ(net.NumOfParameters, 2 * 3 + 6 + 3 * 4 + 4);
}

TEST(CreateNetTest, CharacteristicsBiasesAndRandomRange) {
  ScopedClock clock(1234567);
  NeuralNet net;
  CreateNet(net, Shape(4, {3, 2}, 1));
  EXPECT_EQ(net.NumOfTrainingCycles, 0);
  std::vector<bool> seen(net.NumOfParameters, false);
  for (int l = 0; l < net.NumOfLayers(); ++l) {
    for (int j = 0; j < net.LayerSize(l); ++j) {
      const int c = net.NeuronStart(l) + 2 * j;
      EXPECT_EQ(net.Parameters[c], net.Desc.Characteristic[l]);
      EXPECT_EQ(net.LowerBounds[c], 0.0001f);
      EXPECT_EQ(net.UpperBounds[c], 1.0f);
      EXPECT_EQ(net.ParamFlags[c], kCharacteristicFlags);
      EXPECT_EQ(net.ParamFlags[c + 1], kBiasFlags);
      seen[c] = seen[c + 1] = true;
    }
  }
  const int out = net.NumOfLayers();
  EXPECT_EQ(net.ParamFlags[net.NeuronStart(out)], kBiasFlags);
  seen[net.NeuronStart(out)] = true;
  for (int i = 0; i < net.NumOfParameters; ++i) {
    if (net.ParamFlags[i] == kCharacteristicFlags) continue;
    EXPECT_GE(net.Parameters[i], -0.1f) << i;
    EXPECT_LE(net.Parameters[i], 0.1f) << i;
    if (!seen[i]) {
      EXPECT_EQ(net.ParamFlags[i], kSynapseFlags) << i;
    }
  }
}

TEST(CreateNetTest, SameSecondSameVectorNextSecondAnother) {
  ScopedClock clock(1700000000);
  NeuralNet a, b, other_shape, later;
  CreateNet(a, Shape(4, {3, 2}, 1));
  CreateNet(b, Shape(4, {3, 2}, 1));
  EXPECT_EQ(a.Parameters, b.Parameters);

  // A different shape of the same size draws the same stream; only the
  // characteristics sit elsewhere.
  CreateNet(other_shape, Shape(7, {3}, 1));
  ASSERT_EQ(other_shape.NumOfParameters, a.NumOfParameters);
  for (int i = 0; i < a.NumOfParameters; ++i) {
    if (a.ParamFlags[i] != kCharacteristicFlags &&
        other_shape.ParamFlags[i] != kCharacteristicFlags) {
      EXPECT_EQ(a.Parameters[i], other_shape.Parameters[i]) << i;
    }
  }
  // r * 0.2 / 32767 - 0.1 worked by hand for the first values r of second
  // 1700000000: 18382, 27381, 8621, 85.
  const float first[] = {0.012198248f, 0.067125462f, -0.047379985f, -0.099481188f};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.Parameters[i], first[i]) << i;

  clock.clock().Set(1700000001);
  CreateNet(later, Shape(4, {3, 2}, 1));
  EXPECT_NE(a.Parameters, later.Parameters);
}

// A monotone network of that shape, its random values drawn at `second`.
void CreateMonotoneNet(NeuralNet& net, DataDescription d, int64_t second) {
  ScopedClock clock(second);
  d.IsMonotonical = 1;
  CreateNet(net, d);
}

TEST(MakeMonotoneTest, SignPatternOfTheWorkedExample) {
  NeuralNet net;
  CreateMonotoneNet(net, Shape(4, {3, 2}, 1), 42);

  for (int i = 0; i < 12; ++i) {
    EXPECT_GE(net.Parameters[i], 0.0f) << i;
    EXPECT_EQ(net.LowerBounds[i], 0.0f) << i;
    EXPECT_EQ(net.UpperBounds[i], 1.0f) << i;
  }
  // +1: lower bound 0, value >= 0; -1: upper bound 0, value <= 0.
  auto sign_of = [&net](int layer, int neuron, int source) {
    const int i = net.WeightStart(layer) + neuron * net.FanIn(layer) + source;
    if (net.LowerBounds[i] == 0.0f && net.UpperBounds[i] == 1.0f && net.Parameters[i] >= 0) {
      return 1;
    }
    if (net.UpperBounds[i] == 0.0f && net.LowerBounds[i] == -1.0f && net.Parameters[i] <= 0) {
      return -1;
    }
    return 0;
  };
  EXPECT_EQ(sign_of(1, 0, 0), 1);
  EXPECT_EQ(sign_of(1, 0, 1), 1);
  EXPECT_EQ(sign_of(1, 0, 2), -1);
  EXPECT_EQ(sign_of(1, 1, 0), -1);
  EXPECT_EQ(sign_of(1, 1, 1), -1);
  EXPECT_EQ(sign_of(1, 1, 2), 1);
  EXPECT_EQ(sign_of(2, 0, 0), 1);
  EXPECT_EQ(sign_of(2, 0, 1), -1);
  // Biases and characteristics stay unconstrained.
  EXPECT_EQ(net.LowerBounds[net.NeuronStart(1) + 1], -1.0f);
  EXPECT_EQ(net.LowerBounds[net.NeuronStart(2)], -1.0f);
  EXPECT_EQ(net.Parameters[net.NeuronStart(1)], net.Desc.Characteristic[1]);
}

TEST(MakeMonotoneTest, OddSplitsOfLargerLayers) {
  NeuralNet net;
  CreateMonotoneNet(net, Shape(2, {5, 3}, 3), 7);
  // Layer 1: 3 neurons over 5 sources; the first 2 neurons take the first 3
  // sources as positive, neuron 2 the last 2.
  for (int j = 0; j < 3; ++j) {
    for (int s = 0; s < 5; ++s) {
      const int i = net.WeightStart(1) + j * 5 + s;
      const bool positive = (j < 2) == (s < 3);
      EXPECT_EQ(positive ? net.LowerBounds[i] : net.UpperBounds[i], 0.0f) << j << "," << s;
      EXPECT_TRUE(positive ? net.Parameters[i] >= 0 : net.Parameters[i] <= 0) << j << "," << s;
    }
  }
}

TEST(ResetCharacteristicsTest, WritesEveryNeuronAndNothingElse) {
  ScopedClock clock(3);
  NeuralNet net;
  CreateNet(net, Shape(3, {2, 4}, 1));
  std::vector<float> before = net.Parameters;
  net.Desc.Characteristic[0] = 0.9f;
  net.Desc.Characteristic[1] = 0.02f;
  ResetCharacteristics(net);
  for (int i = 0; i < net.NumOfParameters; ++i) {
    if (net.ParamFlags[i] != kCharacteristicFlags) {
      EXPECT_EQ(net.Parameters[i], before[i]) << i;
    } else {
      EXPECT_EQ(net.Parameters[i], i < net.WeightStart(1) ? 0.9f : 0.02f) << i;
    }
  }
}

class FakeWindow : public NetWindowLink {
 public:
  FakeWindow(NeuralNet*& owner, NetWindowLink* NeuralNet::*slot, int& closed)
      : owner_(owner), slot_(slot), closed_(closed) {}
  void CloseForNet() override {
    ++closed_;
    // The window's own close handler clears the net's link.
    if (owner_) owner_->*slot_ = nullptr;
  }

 private:
  NeuralNet*& owner_;
  NetWindowLink* NeuralNet::*slot_;
  int& closed_;
};

TEST(NeuralNetTest, DestroyingClosesItsWindows) {
  int closed = 0;
  NeuralNet* owner = nullptr;
  FakeWindow test(owner, &NeuralNet::TestWindow, closed);
  FakeWindow verbal(owner, &NeuralNet::VerbalWindow, closed);
  {
    NeuralNet net;
    owner = &net;
    net.TestWindow = &test;
    net.VerbalWindow = &verbal;
  }
  EXPECT_EQ(closed, 2) << "each open window closes once; the missing one is skipped";
}

TEST(ValidateNetShapeTest, RefusesLayoutsThatCannotBeBuilt) {
  EXPECT_TRUE(ValidateNetShape(Shape(4, {3, 2}, 1)).ok());
  struct Case {
    const char* what;
    void (*spoil)(DataDescription&);
  };
  const Case cases[] = {
      {"no layers", [](DataDescription& d) { d.NumOfLayers = 0; }},
      {"11 layers", [](DataDescription& d) { d.NumOfLayers = 11; }},
      {"empty layer", [](DataDescription& d) { d.NumOfNeurons[1] = 0; }},
      {"101 neurons", [](DataDescription& d) { d.NumOfNeurons[0] = 101; }},
      {"inputs disagree", [](DataDescription& d) { d.NumOfInputs = 5; }},
      {"outputs disagree", [](DataDescription& d) { d.NumOfOutputs = 100000; }},
      {"field count disagrees", [](DataDescription& d) { d.NumOfFields = 2; }},
      {"no output",
       [](DataDescription& d) {
         d.Fields.back().Usage = FieldUsage::Input;
         RecountDescription(d, true);
       }},
      {"21 states", [](DataDescription& d) { d.Fields[0].NumOfDiscreteStates = 21; }},
      {"discrete without states", [](DataDescription& d) { d.Fields[0].IsDiscrete = 1; }},
  };
  for (const Case& c : cases) {
    DataDescription d = Shape(4, {3, 2}, 1);
    c.spoil(d);
    EXPECT_FALSE(ValidateNetShape(d).ok()) << c.what;
  }
}

}  // namespace
}  // namespace velmar
