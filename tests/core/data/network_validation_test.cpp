#include "core/data/network_validation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmar {
namespace {

TEST(NetworkValidationTest, NeuronCounts) {
  struct Case {
    const char* text;
    std::optional<int32_t> stored;
  };
  const Case cases[] = {{"1", 1},    {"100", 100}, {" 42 ", 42}, {"+7", 7},
                        {"0", {}},   {"101", {}},  {"-3", {}},   {"", {}},
                        {"ten", {}}, {"5.5", {}},  {"5x", {}},   {"99999999999", {}}};
  for (const Case& c : cases) {
    int32_t value = 10;
    const auto error = ParseNeuronCount(c.text, value);
    if (c.stored) {
      EXPECT_FALSE(error) << c.text;
      EXPECT_EQ(value, *c.stored) << c.text;
    } else {
      ASSERT_TRUE(error) << c.text;
      EXPECT_EQ(error->caption, "Неверное число нейронов");
      EXPECT_EQ(error->text, "Число нейронов должно находиться в интервале от 1 до 100");
      EXPECT_EQ(value, 10) << "a refused value must leave the stored one";
    }
  }
}

TEST(NetworkValidationTest, Characteristics) {
  struct Case {
    const char* text;
    char separator;
    std::optional<float> stored;
  };
  const Case cases[] = {{"0.0001", '.', 0.0001f},
                        {"1", '.', 1.0f},
                        {"0,5", ',', 0.5f},
                        {"0.25", ',', 0.25f},
                        {"1e-4", '.', 0.0001f},
                        {"0.00005", '.', {}},
                        {"2", '.', {}},
                        {"0", '.', {}},
                        {"-0.5", '.', {}},
                        {"abc", '.', {}},
                        {"inf", '.', {}},
                        {"nan", '.', {}},
                        {"", '.', {}},
                        {"1.0000001", '.', {}}};
  for (const Case& c : cases) {
    float value = 0.1f;
    const auto error = ParseCharacteristic(c.text, c.separator, value);
    if (c.stored) {
      EXPECT_FALSE(error) << c.text;
      EXPECT_EQ(value, *c.stored) << c.text;
    } else {
      ASSERT_TRUE(error) << c.text;
      EXPECT_EQ(error->caption, "Неверное значение характеристики");
      EXPECT_EQ(error->text,
                "Значение характеристики должно находиться в интервале от 0.0001 до 1");
      EXPECT_EQ(value, 0.1f);
    }
  }
}

TEST(NetworkValidationTest, GapLimitsDependOnTheType) {
  FieldDescription continuous;
  continuous.MinValue = 2;
  continuous.MaxValue = 4.5f;
  FieldDescription discrete = continuous;
  discrete.IsDiscrete = 1;
  // The range 0.7 - 0.1 is a little under 0.6 in float32, yet is shown as 0.6.
  FieldDescription inexact;
  inexact.MinValue = 0.1f;
  inexact.MaxValue = 0.7f;
  struct Case {
    const FieldDescription* field;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {&continuous, "2.5", true},   {&continuous, "0", true},      {&continuous, "2.6", false},
      {&continuous, "-0.1", false}, {&continuous, "x", false},     {&discrete, "1", true},
      {&discrete, "0.3", true},     {&discrete, "1.5", false},     {&discrete, "-1", false},
      {&inexact, "0.6", true},      {&inexact, "0.6000001", false}};
  for (const Case& c : cases) {
    float gap = 0.2f;
    const auto error = ParseGap(c.text, *c.field, '.', gap);
    EXPECT_EQ(!error, c.accepted) << c.text;
    if (c.accepted) continue;
    EXPECT_EQ(gap, 0.2f);
    if (c.field == &inexact) {
      EXPECT_NE(error->text.find("до 0.6 (мин"), std::string::npos) << error->text;
    } else if (c.field == &discrete) {
      EXPECT_EQ(error->caption, "Неверное значение уровня надежности");
      EXPECT_EQ(error->text,
                "Для этого поля уровень надежности должен лежать в диапазоне от 0 (мин. "
                "надежность) до 1 (макс. надежность)");
    } else {
      EXPECT_EQ(error->caption, "Неверное значение точности");
      EXPECT_EQ(error->text,
                "Для этого поля точность должна лежать в диапазоне от 0 (макс. точность) до 2.5 "
                "(мин. точность)");
    }
  }
  float gap = 0;
  const auto comma = ParseGap("3", continuous, ',', gap);
  ASSERT_TRUE(comma);
  EXPECT_NE(comma->text.find("до 2,5 (мин"), std::string::npos) << comma->text;
}

// "The text as a float" includes an exponent with its sign.
TEST(NetworkValidationTest, FloatEditsTakeAnExponentSign) {
  float characteristic = 0.1f;
  EXPECT_FALSE(ParseCharacteristic("1E+0", '.', characteristic));
  EXPECT_EQ(characteristic, 1.0f);
  EXPECT_FALSE(ParseCharacteristic(" 5e-1 ", '.', characteristic));
  EXPECT_EQ(characteristic, 0.5f);
  EXPECT_TRUE(ParseCharacteristic("1E+2", '.', characteristic));  // read, but out of range

  FieldDescription wide;
  wide.MinValue = 0;
  wide.MaxValue = 200;
  float gap = 0;
  EXPECT_FALSE(ParseGap("1E+2", wide, '.', gap));
  EXPECT_EQ(gap, 100.0f);
  EXPECT_FALSE(ParseGap("2,5e+0", wide, ',', gap));
  EXPECT_EQ(gap, 2.5f);
  float bound = kUnsetValue;
  EXPECT_FALSE(ParseStateBound("-1.5E+1", '.', bound));
  EXPECT_EQ(bound, -15.0f);
  // A sign alone, or two of them, is still no exponent.
  EXPECT_TRUE(ParseGap("1E+", wide, '.', gap));
  EXPECT_TRUE(ParseGap("1E+-2", wide, '.', gap));
  EXPECT_TRUE(ParseGap("1+2", wide, '.', gap));
}

TEST(NetworkValidationTest, StateBoundsRefuseOnlyOverASetValue) {
  float unset = kUnsetValue;
  EXPECT_FALSE(ParseStateBound("abc", '.', unset));
  EXPECT_EQ(unset, kUnsetValue);
  EXPECT_FALSE(ParseStateBound("-2.5", '.', unset));
  EXPECT_EQ(unset, -2.5f);
  const auto error = ParseStateBound("abc", '.', unset);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->caption, "Ошибка");
  EXPECT_EQ(error->text, "Неверное числовое значение");
  EXPECT_EQ(unset, -2.5f);
}

DataDescription ThreeFields() {
  DataDescription d;
  for (const char* name : {"A", "B", "C"}) {
    FieldDescription f;
    f.Name = name;
    f.Usage = FieldUsage::Input;
    f.MinValue = 0;
    f.MaxValue = 10;
    d.Fields.push_back(f);
  }
  d.Fields[2].Usage = FieldUsage::Output;
  d.Fields[1].IsDiscrete = 1;
  d.Fields[1].NumOfDiscreteStates = 5;
  d.Fields[1].States.assign(kMaxStates, StateRange{});
  d.NumOfFields = 3;
  d.NumOfInpFields = 2;
  d.NumOfInputs = 6;
  d.NumOfOutFields = 1;
  d.NumOfOutputs = 1;
  return d;
}

// A damaged state count (negative, as a broken project file may hold) is a
// field of no signals: moving it must not take signals off the counters.
TEST(NetworkValidationTest, DamagedStateCountMovesNoSignals) {
  DataDescription d = ThreeFields();
  d.Fields[1].NumOfDiscreteStates = -3;
  d.NumOfInputs = 1;
  ChangeFieldUsage(d, 1, FieldUsage::Output);
  EXPECT_EQ(d.NumOfInputs, 1);
  EXPECT_EQ(d.NumOfOutputs, 1);
  EXPECT_EQ(d.NumOfOutFields, 2);
}

TEST(NetworkValidationTest, UsageAndStateChangesKeepTheCounters) {
  DataDescription d = ThreeFields();
  ChangeFieldUsage(d, 1, FieldUsage::Output);  // discrete width 5 moves over
  EXPECT_EQ(d.NumOfInpFields, 1);
  EXPECT_EQ(d.NumOfInputs, 1);
  EXPECT_EQ(d.NumOfOutFields, 2);
  EXPECT_EQ(d.NumOfOutputs, 6);
  EXPECT_TRUE(CanConfirmDescription(d));

  ChangeFieldUsage(d, 1, FieldUsage::NotUsed);
  ChangeNumOfStates(d, 1, 8);  // not used: no counter moves
  EXPECT_EQ(d.NumOfInputs, 1);
  EXPECT_EQ(d.NumOfOutputs, 1);
  ChangeFieldUsage(d, 1, FieldUsage::Input);
  EXPECT_EQ(d.NumOfInputs, 9);
  ChangeNumOfStates(d, 1, 3);
  EXPECT_EQ(d.NumOfInputs, 4);
  ChangeFieldUsage(d, 1, FieldUsage::Input);  // unchanged usage: no double count
  EXPECT_EQ(d.NumOfInpFields, 2);

  ChangeFieldUsage(d, 2, FieldUsage::Input);
  EXPECT_FALSE(CanConfirmDescription(d));
  ChangeFieldUsage(d, 2, FieldUsage::Output);
  ChangeFieldUsage(d, 0, FieldUsage::NotUsed);
  ChangeFieldUsage(d, 1, FieldUsage::NotUsed);
  EXPECT_FALSE(CanConfirmDescription(d));
}

TEST(NetworkValidationTest, StatesBeyondTheCountKeepTheirRanges) {
  DataDescription d = ThreeFields();
  d.Fields[1].States[4] = {4, 4};
  ChangeNumOfStates(d, 1, 3);
  ChangeNumOfStates(d, 1, 5);
  EXPECT_EQ(d.Fields[1].States[4], (StateRange{4, 4}));
  EXPECT_EQ(d.Fields[1].States[3], StateRange{});
  EXPECT_EQ(d.NumOfInputs, 6);
}

TEST(NetworkValidationTest, CompactionKeepsInputsAndOutputsInOrder) {
  DataDescription d = ThreeFields();
  FieldDescription text;
  text.Name = "T";
  text.Usage = FieldUsage::NotNumeric;
  d.Fields.insert(d.Fields.begin(), text);
  ChangeFieldUsage(d, 1, FieldUsage::NotUsed);
  d.NumOfFields = 4;
  d.NumOfLayers = 2;
  CompactDescription(d);
  ASSERT_EQ(d.NumOfFields, 2);
  EXPECT_EQ(d.Fields[0].Name, "B");
  EXPECT_EQ(d.Fields[0].NumOfDiscreteStates, 5);
  EXPECT_EQ(d.Fields[1].Name, "C");
  EXPECT_EQ(d.NeuronType[1], 0);
  EXPECT_EQ(d.NeuronType[2], -1);
  EXPECT_EQ(d.NeuronType[9], -1);
}

TEST(NetworkValidationTest, CancelInEditModeRestoresCharacteristicsAndGaps) {
  DataDescription d = ThreeFields();
  d.Characteristic.fill(0.1f);
  d.Fields[2].Gap = 1;
  const EditBackup backup = TakeEditBackup(d);
  d.Characteristic[0] = 0.9f;
  d.Fields[2].Gap = 0.5f;
  d.Name = "renamed";
  RestoreEditBackup(d, backup);
  EXPECT_EQ(d.Characteristic[0], 0.1f);
  EXPECT_EQ(d.Fields[2].Gap, 1.0f);
  EXPECT_EQ(d.Name, "renamed");  // the name changes only on OK, so it is not backed up
}

}  // namespace
}  // namespace velmar
