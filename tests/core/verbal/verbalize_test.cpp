#include "core/verbal/verbalize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/net_builders.h"

namespace velmar {
namespace {

using testing_support::FieldSpec;
using testing_support::MakeDescription;
using testing_support::NetShape;

// A net of `shape` with every parameter 0 and its fields renamed, so that a
// test sets exactly the weights and biases it describes.
std::unique_ptr<NeuralNet> ZeroNet(const NetShape& shape, const std::vector<std::string>& names) {
  auto net = std::make_unique<NeuralNet>();
  net->Desc = MakeDescription(shape);
  for (size_t f = 0; f < names.size() && f < net->Desc.Fields.size(); ++f) {
    net->Desc.Fields[f].Name = names[f];
  }
  BuildNet(*net);
  std::fill(net->Parameters.begin(), net->Parameters.end(), 0.0f);
  return net;
}

int Sources(const NeuralNet& net, int layer) {
  return layer == 0 ? net.Desc.NumOfInputs : net.Desc.NumOfNeurons[layer - 1];
}

void SetWeight(NeuralNet& net, int layer, int j, int k, float w) {
  net.Parameters[net.WeightStart(layer) + j * Sources(net, layer) + k] = w;
}

void SetBias(NeuralNet& net, int layer, int j, float b) {
  const bool output = layer == net.Desc.NumOfLayers;
  net.Parameters[net.NeuronStart(layer) + (output ? j : 2 * j + 1)] = b;
}

std::unique_ptr<NeuralNet> WorkedExample() {
  NetShape shape;
  shape.inputs = {FieldSpec{0, false, 0.1f, 0, 10}};
  shape.outputs = {FieldSpec{0, false, 0.1f, 0, 1}};
  shape.hidden = {2};
  shape.characteristic = 0.1f;
  auto net = ZeroNet(shape, {"X", "Y"});
  SetWeight(*net, 0, 0, 0, 1);
  SetBias(*net, 0, 0, -0.5f);
  SetWeight(*net, 1, 0, 0, 2);
  return net;
}

TEST(VerbalizeTest, WorkedExampleLineForLine) {
  const std::vector<std::string> expected = {
      "Поля базы данных (исходные симптомы):",
      "\tX",
      "",
      "Поля базы данных (конечные синдромы):",
      "\tY",
      "",
      "Предобработка входных полей БД для подачи сети:",
      "\tX=(X-5)/5",
      "",
      "Функциональные преобразователи:",
      "\tСигмоида1(A)=A/(0.1+|A|)",
      "",
      "Синдромы 1-го уровня:",
      "\tСиндром1_1=Сигмоида1( X-0.5 )",
      "",
      "Конечные синдромы:",
      "\tY=2*Синдром1_1",
      "",
      "Постобработка конечных синдромов:",
      "\tY=((Y*1)+1)/2",
  };
  const auto net = WorkedExample();
  EXPECT_EQ(VerbalizeNet(*net, '.'), expected);

  const std::vector<std::string> comma = VerbalizeNet(*net, ',');
  EXPECT_EQ(comma[10], "\tСигмоида1(A)=A/(0,1+|A|)");
  EXPECT_EQ(comma[13], "\tСиндром1_1=Сигмоида1( X-0,5 )");
}

TEST(VerbalizeTest, WeightedSumTerms) {
  struct Case {
    float w1, w2, w3, bias;
    const char* text;
  };
  const Case cases[] = {
      {1, -1, 0.5f, -0.25f, "x1-x2+0.5*x3-0.25"},
      {-1, 1, 0, 0.5f, "-x1+x2+0.5"},
      {-0.5f, 2, -1, 0, "-0.5*x1+2*x2-x3"},
      {0, 0, -2, 1, "-2*x3+1"},
      {0, 0, 0, 0.75f, "0.75"},
      {0, 0, 0, -1, "-1"},
      {0, 0, 0, 0, ""},
  };
  auto net = ZeroNet(testing_support::SimpleShape(3, {3}, 1), {});
  const std::vector<std::string> names = {"x1", "x2", "x3"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    // A hidden neuron and an output read their biases from different places.
    for (int layer : {0, 1}) {
      SetWeight(*net, layer, 0, 0, c.w1);
      SetWeight(*net, layer, 0, 1, c.w2);
      SetWeight(*net, layer, 0, 2, c.w3);
      SetBias(*net, layer, 0, c.bias);
      EXPECT_EQ(WeightedSumText(*net, layer, 0, names, '.'), c.text);
    }
  }
}

// The lines of the first level's section, from its heading to the next empty line.
std::vector<std::string> LevelSection(const std::vector<std::string>& lines) {
  auto begin = std::find(lines.begin(), lines.end(), "Синдромы 1-го уровня:");
  auto end = std::find(begin, lines.end(), "");
  return {begin, end};
}

TEST(VerbalizeTest, MonotoneHeadingsSplitTheLevel) {
  struct Case {
    int neurons;
    std::vector<int> described;  // neurons given a non-zero bias
    std::vector<std::string> section;
  };
  const std::string excite = "    Возбуждающие синдромы:";
  const std::string inhibit = "    Тормозящие синдромы:";
  const std::vector<Case> cases = {
      {1, {0}, {"Синдромы 1-го уровня:", excite, "\tСиндром1_1=Сигмоида1( 1 )"}},
      {2,
       {0, 1},
       {"Синдромы 1-го уровня:", excite, "\tСиндром1_1=Сигмоида1( 1 )", inhibit,
        "\tСиндром1_2=Сигмоида1( 2 )"}},
      {3,
       {0, 1, 2},
       {"Синдромы 1-го уровня:", excite, "\tСиндром1_1=Сигмоида1( 1 )",
        "\tСиндром1_2=Сигмоида1( 2 )", inhibit, "\tСиндром1_3=Сигмоида1( 3 )"}},
      // The inhibitory heading stands even when no inhibitory neuron is described,
      // and numbering runs over the described neurons only.
      {3, {1}, {"Синдромы 1-го уровня:", excite, "\tСиндром1_1=Сигмоида1( 2 )", inhibit}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.neurons);
    for (bool monotone : {true, false}) {
      NetShape shape = testing_support::SimpleShape(1, {c.neurons}, 1);
      shape.monotone = monotone;
      auto net = ZeroNet(shape, {});
      for (int j : c.described) SetBias(*net, 0, j, static_cast<float>(j + 1));
      std::vector<std::string> expected = c.section;
      if (!monotone) std::erase_if(expected, [](const std::string& s) { return s[0] == ' '; });
      EXPECT_EQ(LevelSection(VerbalizeNet(*net, '.')), expected);
    }
  }
}

// Every level names its syndromes by its own number and sums over the
// syndromes of the level below, not over the inputs; a neuron left without a
// syndrome leaves an empty name in the next level's sum.
TEST(VerbalizeTest, DeeperLevelsSumTheSyndromesBelow) {
  NetShape shape = testing_support::SimpleShape(2, {3, 2}, 1);
  shape.characteristic = 0.5f;
  auto net = ZeroNet(shape, {"P", "Q", "Y"});
  net->Desc.Characteristic[1] = 0.25f;
  SetWeight(*net, 0, 0, 1, 1);  // level 1: neurons 1 and 3 described
  SetWeight(*net, 0, 2, 0, -1);
  SetBias(*net, 0, 2, 0.125f);
  // Level 2, neuron 1: from Синдром1_1, from the undescribed neuron, from Синдром1_2.
  SetWeight(*net, 1, 0, 0, 1);
  SetWeight(*net, 1, 0, 1, 4);
  SetWeight(*net, 1, 0, 2, -1);
  SetWeight(*net, 1, 1, 2, 3);  // level 2, neuron 2
  SetWeight(*net, 2, 0, 1, -0.5f);

  const std::vector<std::string> lines = VerbalizeNet(*net, '.');
  auto begin = std::find(lines.begin(), lines.end(), "Функциональные преобразователи:");
  auto end = std::find(begin, lines.end(), "Постобработка конечных синдромов:");
  ASSERT_NE(end, lines.end());
  const std::vector<std::string> expected = {
      "Функциональные преобразователи:",
      "\tСигмоида1(A)=A/(0.5+|A|)",
      "\tСигмоида2(A)=A/(0.25+|A|)",
      "",
      "Синдромы 1-го уровня:",
      "\tСиндром1_1=Сигмоида1( Q )",
      "\tСиндром1_2=Сигмоида1( -P+0.125 )",
      "",
      "Синдромы 2-го уровня:",
      "\tСиндром2_1=Сигмоида2( Синдром1_1+4*-Синдром1_2 )",
      "\tСиндром2_2=Сигмоида2( 3*Синдром1_2 )",
      "",
      "Конечные синдромы:",
      "\tY=-0.5*Синдром2_2",
      "",
  };
  EXPECT_EQ(std::vector<std::string>(begin, end), expected);
}

// A net whose counts disagree with its vectors (as a damaged record might
// leave it) still gives a text, without reading past any vector.
TEST(VerbalizeTest, InconsistentNetGivesATextWithoutStrayReads) {
  NetShape shape;
  shape.inputs = {FieldSpec{3, true}, FieldSpec{}};
  shape.hidden = {2, 2};
  shape.outputs = {FieldSpec{2, false}, FieldSpec{}};
  struct Damage {
    const char* name;
    void (*apply)(NeuralNet&);
  };
  const Damage damages[] = {
      {"no parameters", [](NeuralNet& n) { n.Parameters.clear(); }},
      {"no layer map", [](NeuralNet& n) { n.LayerMap.clear(); }},
      {"short layer map", [](NeuralNet& n) { n.LayerMap.resize(5); }},
      {"no input names", [](NeuralNet& n) { n.InputNames.clear(); }},
      {"too many layers", [](NeuralNet& n) { n.Desc.NumOfLayers = 40; }},
      {"negative layers", [](NeuralNet& n) { n.Desc.NumOfLayers = -3; }},
      {"more neurons than built", [](NeuralNet& n) { n.Desc.NumOfNeurons[1] = 90; }},
      {"negative neurons", [](NeuralNet& n) { n.Desc.NumOfNeurons[0] = -7; }},
      {"more inputs than built", [](NeuralNet& n) { n.Desc.NumOfInputs = 500; }},
      {"more outputs than built", [](NeuralNet& n) { n.Desc.NumOfOutputs = 500; }},
      {"states without ranges", [](NeuralNet& n) { n.Desc.Fields[0].States.resize(1); }},
      {"negative state count", [](NeuralNet& n) { n.Desc.Fields[2].NumOfDiscreteStates = -4; }},
      {"layer map past the vector", [](NeuralNet& n) { n.LayerMap[8] = 1 << 30; }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    auto net = ZeroNet(shape, {});
    std::fill(net->Parameters.begin(), net->Parameters.end(), 0.5f);
    damage.apply(*net);
    const std::vector<std::string> lines = VerbalizeNet(*net, '.');
    EXPECT_EQ(lines.front(), "Поля базы данных (исходные симптомы):");
    EXPECT_EQ(lines.back().rfind("\t", 0), 0u);
  }
}

TEST(VerbalizeTest, InputCodingLines) {
  NetShape shape;
  FieldSpec unordered{3, false};
  FieldSpec ordered{3, true};
  FieldSpec retired{2, false};
  FieldSpec negative_centre{0, false, 0.1f, -10, 4};
  FieldSpec many_states{18, false};
  shape.inputs = {unordered, retired, ordered, negative_centre, many_states};
  shape.hidden = {1};
  shape.outputs = {FieldSpec{}};
  auto net = ZeroNet(shape, {"A", "R", "O", "Z", "M", "Y"});
  net->Desc.Fields[0].StateMask = 0xffff & ~2u;  // state 2 of A pruned
  net->Desc.Fields[1].Usage = FieldUsage::NotUsed;
  net->Desc.Fields[2].States[1] = StateRange{2, 2.5f};
  net->Desc.Fields[4].StateMask = 0xffffffffu;  // bits beyond the 16th mean nothing

  const std::vector<std::string> lines = VerbalizeNet(*net, '.');
  auto begin =
      std::find(lines.begin(), lines.end(), "Предобработка входных полей БД для подачи сети:");
  ASSERT_NE(begin, lines.end());
  std::vector<std::string> section(begin + 1, std::find(begin, lines.end(), ""));
  std::vector<std::string> expected = {
      "\tA_1=1, если A принадлежит диапазону [1,1], а иначе -1",
      "\tA_2",
      "\tA_3=1, если A принадлежит диапазону [3,3], а иначе -1",
      "\tO_1=1",
      "\tO_2=1, если O принадлежит диапазонам [2,2.5], [3,3], а иначе -1",
      "\tO_3=1, если O принадлежит диапазонам [3,3], а иначе -1",
      "\tZ=(Z--3)/7",
  };
  for (int s = 1; s <= 18; ++s) {
    const std::string name = "\tM_" + std::to_string(s);
    const std::string range = std::to_string(s);
    // Only the first 16 states have a mask bit; the rest never show a formula.
    expected.push_back(s <= 16 ? name + "=1, если M принадлежит диапазону [" + range + "," + range +
                                     "], а иначе -1"
                               : name);
  }
  EXPECT_EQ(section, expected);

  // The retired field R is gone from the symptoms too, but its names still
  // take their input positions, so O and Z keep theirs.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "\tR"), 0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "\tZ"), 1);
}

TEST(VerbalizeTest, OutputLinesAndPostprocessing) {
  NetShape shape;
  shape.inputs = {FieldSpec{}};
  shape.hidden = {2};
  shape.outputs = {FieldSpec{2, false}, FieldSpec{3, true}, FieldSpec{0, false, 0.1f, 0.1f, 0.3f}};
  auto net = ZeroNet(shape, {"X", "C", "K", "V"});
  SetBias(*net, 0, 1, 0.5f);    // only the second neuron is described
  SetWeight(*net, 1, 0, 0, 3);  // ... but the first one still feeds output C_1
  SetWeight(*net, 1, 0, 1, 1);
  SetWeight(*net, 1, 5, 1, -1);
  SetBias(*net, 1, 5, 2);

  const std::vector<std::string> lines = VerbalizeNet(*net, '.');
  auto begin = std::find(lines.begin(), lines.end(), "Конечные синдромы:");
  ASSERT_NE(begin, lines.end());
  const std::vector<std::string> tail(begin, lines.end());
  const std::vector<std::string> expected = {
      "Конечные синдромы:",
      "\tC_1=3*+Синдром1_1",
      "\tC_2=",
      "\tK_1=",
      "\tK_2=",
      "\tK_3=",
      "\tV=-Синдром1_1+2",
      "",
      "Постобработка конечных синдромов:",
      "\tC принадлежит диапазону, соответствующему синдрому с максимальным значением из "
      "синдромов C_1,...,C_2",
      "\tK принадлежит диапазону, соответствующему последнему синдрому со значением, большим 0, "
      "из синдромов K_1,...,K_3",
      "\tV=((V*0.200000010430813)+0.400000013411045)/2",
  };
  EXPECT_EQ(tail, expected);
}

TEST(VerbalizeTest, ContinuousInputWithOneValueShowsTheDivisorUsed) {
  NetShape shape = testing_support::SimpleShape(1, {1}, 1);
  shape.inputs[0].min_value = shape.inputs[0].max_value = 7;
  auto net = ZeroNet(shape, {"X"});
  const std::vector<std::string> lines = VerbalizeNet(*net, '.');
  EXPECT_NE(std::find(lines.begin(), lines.end(), "\tX=(X-7)/1"), lines.end());
}

TEST(VerbalizeTest, GeneralFormatWithFifteenDigits) {
  struct Case {
    double x;
    const char* text;
  };
  const Case cases[] = {
      {1, "1"},
      {-2.5, "-2.5"},
      {0.1f, "0.100000001490116"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1.23456789012346E15"},
      {0.0001234, "0.0001234"},
      {0.00001234, "1.234E-5"},
      {1e20, "1E20"},
      {0, "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatGeneral15(c.x, '.'), c.text) << c.x;
  EXPECT_EQ(FormatGeneral15(0.5, ','), "0,5");
}

}  // namespace
}  // namespace velmar
