#include "core/data/data_description.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/memory_table.h"
#include "tests/support/recording_host.h"

namespace velmar {
namespace {

using testing_support::MemoryTable;
using testing_support::RecordingHost;
using Rows = std::vector<std::vector<std::optional<double>>>;

// One float column named "X" holding `values`.
MemoryTable Column(const std::vector<double>& values) {
  Rows rows;
  for (double v : values) rows.push_back({v});
  return MemoryTable::FromNumbers({"X"}, rows);
}

std::vector<double> Range(int first, int count) {
  std::vector<double> v;
  for (int i = 0; i < count; ++i) v.push_back(first + i);
  return v;
}

FieldDescription Field(const std::string& name, FieldUsage usage, float min, float max) {
  FieldDescription f;
  f.Name = name;
  f.Usage = usage;
  f.MinValue = min;
  f.MaxValue = max;
  return f;
}

FieldDescription Discrete(const std::string& name, FieldUsage usage,
                          const std::vector<StateRange>& states, bool ordered = false) {
  FieldDescription f = Field(name, usage, states.front().From, states.back().To);
  f.IsDiscrete = 1;
  f.Predecessor = ordered ? 1 : 0;
  f.NumOfDiscreteStates = static_cast<int32_t>(states.size());
  f.States = states;
  f.States.resize(kMaxStates);
  return f;
}

DataDescription Describe(std::vector<FieldDescription> fields) {
  DataDescription d;
  d.Fields = std::move(fields);
  RecountDescription(d, true);
  return d;
}

// ---------------------------------------------------------------- statistics

TEST(FieldTemplateTest, RangeTenthOfRangeAndSortedDistinctValues) {
  MemoryTable table = Column({3, 1, 2, 1, 3});
  FieldTemplate ft = BuildFieldTemplate(table);
  ASSERT_EQ(ft.size(), 1u);
  const FieldDescription& f = ft[0];
  EXPECT_EQ(f.Name, "X");
  EXPECT_EQ(f.MinValue, 1.0f);
  EXPECT_EQ(f.MaxValue, 3.0f);
  EXPECT_FLOAT_EQ(f.Gap, 0.2f);
  EXPECT_EQ(f.StateMask, 0xffffu);
  ASSERT_EQ(f.NumOfDiscreteStates, 3);
  ASSERT_EQ(f.States.size(), static_cast<size_t>(kMaxStates));
  EXPECT_EQ(f.States[0], (StateRange{1, 1}));
  EXPECT_EQ(f.States[1], (StateRange{2, 2}));
  EXPECT_EQ(f.States[2], (StateRange{3, 3}));
  EXPECT_EQ(f.States[3].From, kUnsetValue);
  EXPECT_EQ(table.Position(), 0) << "the walk ends back on the first record";
}

TEST(FieldTemplateTest, SkipsNullsAndNonNumericColumns) {
  MemoryTable table(
      {{"T", FieldKind::kText},
       {"N", FieldKind::kInteger},
       {"Empty", FieldKind::kFloat},
       {"B", FieldKind::kBoolean}},
      {{std::string("7"), int64_t{4}, Value{}, true}, {std::string("9"), Value{}, Value{}, false}});
  FieldTemplate ft = BuildFieldTemplate(table);
  ASSERT_EQ(ft.size(), 4u);
  EXPECT_EQ(ft[0].MinValue, kUnsetValue);
  EXPECT_EQ(ft[0].MaxValue, -kUnsetValue);
  EXPECT_EQ(ft[0].NumOfDiscreteStates, 0);
  EXPECT_EQ(ft[1].MinValue, 4.0f);
  EXPECT_EQ(ft[1].MaxValue, 4.0f);
  EXPECT_EQ(ft[1].NumOfDiscreteStates, 1);
  EXPECT_EQ(ft[2].MinValue, kUnsetValue);
  EXPECT_EQ(ft[3].MinValue, 0.0f);
  EXPECT_EQ(ft[3].MaxValue, 1.0f);
  EXPECT_EQ(ft[3].NumOfDiscreteStates, 2);
}

TEST(FieldTemplateTest, TwentyDistinctValuesRule) {
  struct Case {
    const char* what;
    std::vector<double> values;
    int states;  // 0: list discarded
  };
  std::vector<double> twenty = Range(1, 20);
  std::vector<double> twenty_then_repeat = twenty;
  twenty_then_repeat.push_back(5);
  std::vector<double> repeats_then_twenty = {5, 5, 5};
  for (double v : Range(1, 20)) repeats_then_twenty.push_back(v);
  std::vector<double> descending;
  for (int i = 20; i >= 1; --i) descending.push_back(i);
  const Case cases[] = {
      {"exactly 20, the 20th last", twenty, 20},
      {"a repeat after the 20th discards", twenty_then_repeat, 0},
      {"repeats before the 20th are harmless", repeats_then_twenty, 20},
      {"25 distinct", Range(1, 25), 0},
      {"descending order stays sorted", descending, 20},
  };
  for (const Case& c : cases) {
    MemoryTable table = Column(c.values);
    FieldTemplate ft = BuildFieldTemplate(table);
    EXPECT_EQ(ft[0].NumOfDiscreteStates, c.states) << c.what;
    if (c.states == 0) {
      EXPECT_TRUE(ft[0].States.empty()) << c.what;
    } else {
      for (int k = 0; k < c.states; ++k) {
        EXPECT_EQ(ft[0].States[k], (StateRange{float(k + 1), float(k + 1)})) << c.what;
      }
    }
  }
}

TEST(FieldTemplateTest, ListOnceDiscardedNeverComesBack) {
  MemoryTable table = Column(Range(1, 21));
  FieldTemplate ft = BuildFieldTemplate(table);
  ASSERT_TRUE(ft[0].States.empty());
  MemoryTable more = Column({1});
  more.First();
  AddRecordToFieldTemplate(ft, more);
  EXPECT_EQ(ft[0].NumOfDiscreteStates, 0);
  EXPECT_TRUE(ft[0].States.empty());
  EXPECT_EQ(ft[0].MinValue, 1.0f);
  EXPECT_EQ(ft[0].MaxValue, 21.0f);
}

TEST(FieldTemplateTest, EditedRecordsOnlyWidenTheRange) {
  MemoryTable table = Column({2, 4});
  FieldTemplate ft = BuildFieldTemplate(table);
  MemoryTable edited = Column({10});
  edited.First();
  AddRecordToFieldTemplate(ft, edited);
  EXPECT_EQ(ft[0].MinValue, 2.0f);
  EXPECT_EQ(ft[0].MaxValue, 10.0f);
  EXPECT_FLOAT_EQ(ft[0].Gap, 0.8f);
  EXPECT_EQ(ft[0].NumOfDiscreteStates, 3);
}

TEST(FieldTemplateTest, ValuesBeyondFloatRangeAreNotCounted) {
  MemoryTable table = Column({1, 1e300, 3});
  FieldTemplate ft = BuildFieldTemplate(table);
  EXPECT_EQ(ft[0].MaxValue, 3.0f);
  EXPECT_EQ(ft[0].NumOfDiscreteStates, 2);
}

// ------------------------------------------------------ new and clone descriptions

TEST(NewDescriptionTest, LastNumericColumnIsTheOutput) {
  MemoryTable table({{"A", FieldKind::kFloat},
                     {"Name", FieldKind::kText},
                     {"B", FieldKind::kInteger},
                     {"Y", FieldKind::kFloat},
                     {"Note", FieldKind::kMemo}},
                    {{1.0, std::string("x"), int64_t{1}, 10.0, std::string("m")},
                     {3.0, std::string("y"), int64_t{2}, 20.0, Value{}}});
  const DataDescription d = NewDescription(BuildFieldTemplate(table), 4);
  EXPECT_EQ(d.Name, "Network5");
  EXPECT_EQ(d.NumOfLayers, 3);
  for (int l = 0; l < kMaxLayers; ++l) {
    EXPECT_EQ(d.NumOfNeurons[l], 10);
    EXPECT_EQ(d.NeuronType[l], 0);
    EXPECT_FLOAT_EQ(d.Characteristic[l], 0.1f);
  }
  ASSERT_EQ(d.NumOfFields, 5);
  EXPECT_EQ(d.Fields[0].Usage, FieldUsage::Input);
  EXPECT_EQ(d.Fields[1].Usage, FieldUsage::NotNumeric);
  EXPECT_EQ(d.Fields[2].Usage, FieldUsage::Input);
  EXPECT_EQ(d.Fields[3].Usage, FieldUsage::Output);
  EXPECT_EQ(d.Fields[4].Usage, FieldUsage::NotNumeric);
  EXPECT_FLOAT_EQ(d.Fields[3].Gap, 1.0f);
  EXPECT_EQ(d.Fields[1].Gap, 0.0f);
  EXPECT_EQ(d.Fields[1].States.size(), 0u) << "no distinct values: no state table";
  EXPECT_EQ(d.Fields[0].States.size(), static_cast<size_t>(kMaxStates));
  EXPECT_EQ(d.NumOfInpFields, 2);
  EXPECT_EQ(d.NumOfInputs, 2);
  EXPECT_EQ(d.NumOfOutFields, 1);
  EXPECT_EQ(d.NumOfOutputs, 1);
}

TEST(CloneDescriptionTest, RestoresPrunedInputsAndKeepsOutputs) {
  DataDescription source =
      Describe({Field("A", FieldUsage::NotUsed, 0, 1),
                Discrete("C", FieldUsage::Input, {{1, 1}, {2, 2}, {3, 3}}),
                Field("Y", FieldUsage::Output, 0, 10), Field("Z", FieldUsage::Input, 0, 1)});
  source.Fields[1].StateMask = 0x5;
  source.Fields[2].Gap = 0.25f;
  source.NumOfLayers = 2;
  source.NumOfNeurons[0] = 7;
  source.NeuronType = {0, 0, -1, -1, -1, -1, -1, -1, -1, -1};
  source.Characteristic[1] = 0.5f;
  source.IsMonotonical = 1;

  const DataDescription d = CloneDescription(source, 0);
  EXPECT_EQ(d.Name, "Network1");
  EXPECT_EQ(d.IsMonotonical, 1);
  EXPECT_EQ(d.NumOfLayers, 2);
  EXPECT_EQ(d.NumOfNeurons[0], 7);
  EXPECT_FLOAT_EQ(d.Characteristic[1], 0.5f);
  for (int l = 0; l < kMaxLayers; ++l) EXPECT_EQ(d.NeuronType[l], 0);
  ASSERT_EQ(d.Fields.size(), 4u);
  EXPECT_EQ(d.Fields[0].Usage, FieldUsage::Input);
  EXPECT_EQ(d.Fields[1].StateMask, kAllStatesMask);
  EXPECT_EQ(d.Fields[1].States[2], (StateRange{3, 3}));
  EXPECT_EQ(d.Fields[2].Usage, FieldUsage::Output);
  EXPECT_EQ(d.Fields[2].Gap, 0.25f);
  EXPECT_EQ(d.Fields[3].Usage, FieldUsage::Input) << "no new output is chosen";
  EXPECT_EQ(d.NumOfInpFields, 3);
  EXPECT_EQ(d.NumOfInputs, 5);
  EXPECT_EQ(d.NumOfOutFields, 1);
  EXPECT_EQ(d.NumOfOutputs, 1);
}

// --------------------------------------------------------------- field type

TEST(SetFieldTypeTest, DefaultStatesFromStatistics) {
  struct Case {
    const char* what;
    std::vector<double> values;
    std::vector<StateRange> states;
  };
  const Case cases[] = {
      {"single value 5", {5, 5}, {{5, 5}, {0, 0}}},
      {"single value 0", {0}, {{0, 0}, {1, 1}}},
      {"25 values: two halves", Range(0, 25), {{0, 12}, {12, 24}}},
      {"three values listed", {7, 1, 4}, {{1, 1}, {4, 4}, {7, 7}}},
  };
  for (const Case& c : cases) {
    MemoryTable table = Column(c.values);
    DataDescription d = NewDescription(BuildFieldTemplate(table), 0);
    ASSERT_EQ(d.Fields[0].Usage, FieldUsage::Output) << c.what;
    SetFieldType(d, 0, true);
    const FieldDescription& f = d.Fields[0];
    EXPECT_EQ(f.IsDiscrete, 1) << c.what;
    ASSERT_EQ(f.NumOfDiscreteStates, static_cast<int>(c.states.size())) << c.what;
    for (size_t k = 0; k < c.states.size(); ++k) EXPECT_EQ(f.States[k], c.states[k]) << c.what;
    EXPECT_EQ(d.NumOfOutputs, static_cast<int>(c.states.size())) << c.what;
    EXPECT_FLOAT_EQ(f.Gap, 0.1f) << c.what;
  }
}

TEST(SetFieldTypeTest, RoundTripMovesCountersAndKeepsStates) {
  DataDescription d =
      Describe({Field("A", FieldUsage::Input, 0, 10), Field("Y", FieldUsage::Output, 0, 50)});
  d.Fields[0].NumOfDiscreteStates = 5;
  d.Fields[0].States.assign(kMaxStates, StateRange{});
  for (int k = 0; k < 5; ++k) d.Fields[0].States[k] = {float(2 * k), float(2 * k)};
  d.Fields[0].Gap = 1.0f;

  SetFieldType(d, 0, true);
  EXPECT_EQ(d.NumOfInputs, 5);
  EXPECT_EQ(d.Fields[0].Gap, 1.0f) << "an input keeps its tolerance when made discrete";
  SetFieldType(d, 0, false);
  EXPECT_EQ(d.NumOfInputs, 1);
  EXPECT_FLOAT_EQ(d.Fields[0].Gap, 0.1f);
  EXPECT_EQ(d.Fields[0].NumOfDiscreteStates, 5);
  EXPECT_EQ(d.Fields[0].States[4], (StateRange{8, 8}));

  SetFieldType(d, 1, true);
  EXPECT_EQ(d.NumOfOutputs, 2);
  SetFieldType(d, 1, false);
  EXPECT_EQ(d.NumOfOutputs, 1);
  EXPECT_FLOAT_EQ(d.Fields[1].Gap, 5.0f) << "a tenth of the output's range";
  SetFieldType(d, 1, true);
  EXPECT_EQ(d.Fields[1].States[1], (StateRange{25, 50})) << "the halves come back";
}

// ----------------------------------------------------------- check data file

TEST(CheckDataFileTest, MatchesNamesExactlyAndReportsTheFirstMissing) {
  MemoryTable table = MemoryTable::FromNumbers({"a", "B", "B"}, {{1, 2, 3}});
  RecordingHost host;
  DataDescription d =
      Describe({Field("B", FieldUsage::Input, 0, 1), Field("gone", FieldUsage::NotNumeric, 0, 1),
                Field("a", FieldUsage::Output, 0, 1)});
  ASSERT_TRUE(CheckDataFile(table, d, host));
  EXPECT_EQ(d.FieldColumn, (std::vector<int32_t>{1, -1, 0}));
  EXPECT_TRUE(host.messages.empty());

  d.Fields[2].Name = "A";
  d.Fields.push_back(Field("Q", FieldUsage::Input, 0, 1));
  EXPECT_FALSE(CheckDataFile(table, d, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "В файле данных нет поля A");
  EXPECT_EQ(host.messages[0].caption, "Несовместимый файл данных");
}

// --------------------------------------------------------------- coding

struct Coded {
  std::vector<float> inputs, targets;
  bool inputs_ok = false, targets_ok = false;
};

Coded Code(MemoryTable& table, DataDescription& d, int row, bool extend = false) {
  RecordingHost host;
  EXPECT_TRUE(CheckDataFile(table, d, host));
  table.MoveTo(row);
  Coded c;
  c.inputs.assign(d.NumOfInputs, 99.0f);
  c.targets.assign(d.NumOfOutputs, 99.0f);
  CodeRecord(table, d, extend, c.inputs, c.targets, c.inputs_ok, c.targets_ok);
  return c;
}

TEST(CodeRecordTest, ContinuousScalingIsNotClipped) {
  struct Case {
    float min, max;
    double value;
    float code;
  };
  const Case cases[] = {{10, 20, 10, -1}, {10, 20, 15, 0}, {10, 20, 20, 1},
                        {10, 20, 25, 2},  {7, 7, 7, 0},    {7, 7, 9, 2}};
  for (const Case& c : cases) {
    MemoryTable table = MemoryTable::FromNumbers({"X", "Y"}, {{c.value, 0.0}});
    DataDescription d = Describe(
        {Field("X", FieldUsage::Input, c.min, c.max), Field("Y", FieldUsage::Output, 0, 1)});
    Coded coded = Code(table, d, 0);
    ASSERT_TRUE(coded.inputs_ok);
    EXPECT_FLOAT_EQ(coded.inputs[0], c.code) << c.min << ".." << c.max << " value " << c.value;
    EXPECT_FLOAT_EQ(coded.targets[0], -1.0f);
  }
}

TEST(CodeRecordTest, DiscreteOneHotAndThermometer) {
  const std::vector<StateRange> three = {{1, 1}, {2, 2}, {3, 3}};
  const std::vector<StateRange> halves = {{0, 5}, {5, 10}};
  struct Case {
    std::vector<StateRange> states;
    bool ordered;
    double value;
    std::vector<float> codes;  // empty: no vector
  };
  const Case cases[] = {
      {three, false, 2, {-1, 1, -1}}, {three, true, 2, {1, 1, -1}}, {three, true, 3, {1, 1, 1}},
      {three, false, 1, {1, -1, -1}}, {three, false, 4, {}},        {three, true, 4, {}},
      {halves, false, 5, {1, 1}},     {halves, true, 7, {1, 1}},    {halves, false, 7, {-1, 1}},
  };
  for (const Case& c : cases) {
    MemoryTable table = MemoryTable::FromNumbers({"C", "Y"}, {{c.value, 1.0}});
    DataDescription d = Describe({Discrete("C", FieldUsage::Input, c.states, c.ordered),
                                  Field("Y", FieldUsage::Output, 0, 2)});
    Coded coded = Code(table, d, 0);
    EXPECT_TRUE(coded.targets_ok);
    if (c.codes.empty()) {
      EXPECT_FALSE(coded.inputs_ok) << "value " << c.value;
      continue;
    }
    ASSERT_TRUE(coded.inputs_ok) << "value " << c.value;
    EXPECT_EQ(std::vector<float>(coded.inputs.begin(), coded.inputs.end()), c.codes)
        << "value " << c.value << (c.ordered ? " ordered" : "");
  }
}

TEST(CodeRecordTest, NullsAndContrastedInputs) {
  // Columns: A (pruned input), B (input), Y (output).
  MemoryTable table = MemoryTable::FromNumbers(
      {"A", "B", "Y"}, {{std::nullopt, 1.0, 2.0}, {5.0, std::nullopt, 2.0}, {5.0, 1.0, {}}});
  DataDescription d =
      Describe({Field("A", FieldUsage::NotUsed, 0, 10), Field("B", FieldUsage::Input, 0, 2),
                Field("Y", FieldUsage::Output, 0, 4)});
  ASSERT_EQ(d.NumOfInputs, 2);

  Coded dropped = Code(table, d, 0, false);
  EXPECT_FALSE(dropped.inputs_ok) << "a null in a pruned input drops the record";
  EXPECT_TRUE(dropped.targets_ok);
  Coded kept = Code(table, d, 0, true);
  ASSERT_TRUE(kept.inputs_ok) << "the extend option ignores it";
  EXPECT_EQ(kept.inputs, (std::vector<float>{0.0f, 0.0f}));
  EXPECT_EQ(kept.targets, (std::vector<float>{0.0f}));

  Coded pruned_value = Code(table, d, 1, false);
  EXPECT_FALSE(pruned_value.inputs_ok) << "input B is null";
  Coded no_target = Code(table, d, 2, false);
  EXPECT_TRUE(no_target.inputs_ok);
  EXPECT_FALSE(no_target.targets_ok);
  EXPECT_EQ(no_target.inputs, (std::vector<float>{0.0f, 0.0f})) << "pruned input fed with 0";
}

TEST(CodeRecordTest, ColumnTurnedTextCodesNothing) {
  MemoryTable table({{"X", FieldKind::kText}, {"Y", FieldKind::kFloat}}, {{std::string("1"), 1.0}});
  DataDescription d =
      Describe({Field("X", FieldUsage::Input, 0, 2), Field("Y", FieldUsage::Output, 0, 2)});
  Coded coded = Code(table, d, 0);
  EXPECT_FALSE(coded.inputs_ok);
  EXPECT_TRUE(coded.targets_ok);
}

TEST(CodeRecordTest, DescriptionWiderThanVectorsCodesNothing) {
  MemoryTable table = MemoryTable::FromNumbers({"X", "Y"}, {{1.0, 1.0}});
  DataDescription d =
      Describe({Field("X", FieldUsage::Input, 0, 2), Field("Y", FieldUsage::Output, 0, 2)});
  RecordingHost host;
  ASSERT_TRUE(CheckDataFile(table, d, host));
  table.First();
  std::vector<float> targets(1);
  bool inputs_ok = true, targets_ok = false;
  CodeRecord(table, d, false, std::span<float>(), targets, inputs_ok, targets_ok);
  EXPECT_FALSE(inputs_ok);
  EXPECT_TRUE(targets_ok);
}

// --------------------------------------------------------------- decoding

TEST(DecodeOutputsTest, ClassesAndConfidence) {
  const std::vector<StateRange> three = {{1, 1}, {2, 2}, {3, 3}};
  struct Case {
    bool ordered;
    float gap;
    std::vector<float> y;
    std::vector<float> t;
    int cls;
    const char* text;
    float confidence;
    const char* percent;
    int true_class;
  };
  const Case cases[] = {
      {false, 0.1f, {0.9f, 0.2f, -0.8f}, {}, 0, "Класс 1", 3.5f, "100%", -1},
      {true, 0.1f, {0.9f, 0.05f, -0.8f}, {1, 1, -1}, 1, "Класс 2", 0.5f, "50%", 1},
      {true, 0.1f, {-0.9f, -0.05f, -0.8f}, {}, -1, "Класс неизвестен", 0.5f, "50%", -1},
      {true, 0.1f, {0.9f, 0.0f, -0.8f}, {1, -1, -1}, 0, "Класс 1", 0.0f, "0%", 0},
      {false, 0.1f, {0.3f, 0.3f, 0.1f}, {-1, 1, -1}, 0, "Класс 1", 0.0f, "0%", 1},
      {false, 0.0f, {0.1f, 0.5f, 0.2f}, {}, 1, "Класс 2", kUnsetValue, "100%", -1},
      {false, 0.25f, {0.5f, 0.4f, 0.0f}, {}, 0, "Класс 1", 0.2f, "20%", -1},
  };
  for (const Case& c : cases) {
    FieldDescription f = Discrete("C", FieldUsage::Output, three, c.ordered);
    f.Gap = c.gap;
    const DecodedOutput out = DecodeOutputs(f, c.y, c.t, '.');
    EXPECT_EQ(out.class_index, c.cls) << c.text;
    EXPECT_EQ(out.text, c.text);
    EXPECT_FLOAT_EQ(out.confidence, c.confidence) << c.text;
    EXPECT_EQ(out.confidence_text, c.percent) << c.text;
    EXPECT_EQ(out.true_class, c.true_class) << c.text;
  }
}

TEST(DecodeOutputsTest, ContinuousInvertsTheCoding) {
  FieldDescription f = Field("Y", FieldUsage::Output, 10, 20);
  EXPECT_FLOAT_EQ(DecodeOutputs(f, std::vector<float>{0.5f}, {}, '.').value, 17.5f);
  EXPECT_EQ(DecodeOutputs(f, std::vector<float>{0.5f}, {}, ',').text, "17,5");
  EXPECT_EQ(DecodeOutputs(f, std::vector<float>{-1.0f}, {}, '.').text, "10");

  FieldDescription constant = Field("K", FieldUsage::Output, 7, 7);
  for (float y : {-3.0f, 0.0f, 0.4f}) {
    EXPECT_EQ(DecodeOutputs(constant, std::vector<float>{y}, {}, '.').value, 7.0f);
  }
}

TEST(DecodeOutputsTest, RoundTripThroughCodeRecord) {
  MemoryTable table = MemoryTable::FromNumbers({"X", "Y"}, {{1.0, 13.25}});
  DataDescription d =
      Describe({Field("X", FieldUsage::Input, 0, 2), Field("Y", FieldUsage::Output, -5, 30)});
  Coded coded = Code(table, d, 0);
  ASSERT_TRUE(coded.targets_ok);
  EXPECT_FLOAT_EQ(DecodeOutputs(d.Fields[1], coded.targets, {}, '.').value, 13.25f);
}

// --------------------------------------------------------------- signal names

TEST(InputSignalNamesTest, OneNamePerInputSignal) {
  DataDescription d = Describe({Field("Age", FieldUsage::Input, 0, 90),
                                Discrete("Kind", FieldUsage::Input, {{1, 1}, {2, 2}, {3, 3}}),
                                Field("Y", FieldUsage::Output, 0, 1),
                                Discrete("Old", FieldUsage::NotUsed, {{0, 0}, {1, 1}}),
                                Field("Text", FieldUsage::NotNumeric, 0, 0)});
  const std::vector<std::string> names = InputSignalNames(d);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Age", "Kind_1", "Kind_2", "Kind_3", "Old_1", "Old_2"}));
  EXPECT_EQ(static_cast<int>(names.size()), d.NumOfInputs);
}

}  // namespace
}  // namespace velmar
