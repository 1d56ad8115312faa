#include "core/project/project_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/project/project.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

FieldDescription Field(const std::string& name, FieldUsage usage, float min, float max, float gap) {
  FieldDescription f;
  f.Name = name;
  f.Usage = usage;
  f.MinValue = min;
  f.MaxValue = max;
  f.Gap = gap;
  return f;
}

void SetStates(FieldDescription& f, std::vector<StateRange> states, bool discrete) {
  f.NumOfDiscreteStates = static_cast<int32_t>(states.size());
  f.States.assign(kMaxStates, StateRange{});
  for (size_t i = 0; i < states.size(); ++i) f.States[i] = states[i];
  f.IsDiscrete = discrete ? 1 : 0;
}

// Two inputs (one discrete with 3 ordered states, one continuous carrying 5
// distinct values) and a continuous output, layers (3, 2).
DataDescription SampleDescription(const std::string& name) {
  DataDescription d;
  d.Name = name;
  d.NumOfLayers = 2;
  d.NumOfNeurons.fill(10);
  d.NumOfNeurons[0] = 3;
  d.NumOfNeurons[1] = 2;
  d.NeuronType.fill(-1);
  d.NeuronType[0] = d.NeuronType[1] = 0;
  d.Characteristic.fill(0.1f);
  d.Characteristic[1] = 0.25f;
  FieldDescription colour = Field("Цвет", FieldUsage::Input, 1, 3, 0.2f);
  SetStates(colour, {{1, 1}, {2, 2}, {3, 3}}, true);
  colour.Predecessor = 1;
  colour.StateMask = 0xfffd;
  FieldDescription x = Field("X", FieldUsage::Input, 0, 4, 0.4f);
  SetStates(x, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}, false);
  FieldDescription y = Field("Y", FieldUsage::Output, -1.5f, 2.5f, 0.4f);
  d.Fields = {colour, x, y};
  d.NumOfFields = 3;
  d.NumOfInpFields = 2;
  d.NumOfOutFields = 1;
  d.NumOfInputs = 4;
  d.NumOfOutputs = 1;
  return d;
}

class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetCurrentClock(&clock_); }
  void TearDown() override { SetCurrentClock(nullptr); }

  // A project with two networks whose every stored value differs from the
  // defaults, so that a field the reader or writer drops shows up.
  void FillProject(Project& project) {
    project.Options() = ProjectOptions{3, 1, 2, 1};
    ASSERT_TRUE(project.AddNetwork(SampleDescription("Сеть №1")).ok());
    DataDescription second = SampleDescription("");
    second.IsMonotonical = 1;
    second.NumOfLayers = 1;
    ASSERT_TRUE(project.AddNetwork(second).ok());
    NeuralNet& net = project.Net(0);
    for (int i = 0; i < net.NumOfParameters; ++i) {
      net.LowerBounds[i] = -0.5f - i;
      net.UpperBounds[i] = 0.5f + i;
    }
    net.ParamFlags[0] = kRemovedSynapseFlags;
    net.ParamFlags[1] = kBinarizedSynapseFlags;
    net.NumOfTrainingCycles = 17;
    net.NumOfPrunedInputs = 1;
    net.NumOfPrunedSynapses = 2;
    net.NumOfBinSynapses = 3;
    net.NumOfPrunedNeurons = 4;
    project.SetNetNameCounter(7);
  }

  FixedClock clock_{1234567};
};

int32_t Int32At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t{bytes[offset + i]} << (8 * i);
  return static_cast<int32_t>(v);
}

void PutInt32(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(uint32_t(value) >> (8 * i));
}

TEST(NumOfParametersTest, FollowsTheLayout) {
  struct Case {
    int layers, inputs, outputs;
    std::vector<int> neurons;
    int64_t expected;
  };
  const Case cases[] = {
      {1, 2, 1, {3}, 16},
      {2, 4, 2, {5, 3}, 59},
      {2, 4, 1, {3, 2}, 31},
      {3, 10, 3, {100, 100, 100}, 10 * 100 + 200 + 2 * (100 * 100 + 200) + 300 + 3},
  };
  for (const Case& c : cases) {
    DataDescription d;
    d.NumOfLayers = c.layers;
    d.NumOfInputs = c.inputs;
    d.NumOfOutputs = c.outputs;
    d.NumOfNeurons.fill(7);  // entries past NumOfLayers must not count
    for (size_t i = 0; i < c.neurons.size(); ++i) d.NumOfNeurons[i] = c.neurons[i];
    EXPECT_EQ(NumOfParametersFor(d), c.expected) << c.layers << " layers, " << c.inputs;
  }
}

TEST_F(ProjectFileTest, NewProjectIsThirtyBytes) {
  Project project;
  const fs::path path = fs::path(testing::TempDir()) / "empty.vmp";
  ASSERT_TRUE(SaveProject(project, path).ok());
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes).ok());
  ASSERT_EQ(bytes.size(), 30u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "VM0025");
  const int32_t expected[] = {0, 0, 2, 0, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Int32At(bytes, 6 + 4 * i), expected[i]) << i;

  Project loaded;
  ASSERT_TRUE(LoadProject(path, loaded).ok());
  EXPECT_EQ(loaded.NetCount(), 0);
  EXPECT_EQ(loaded.CurrentIndex(), -1);
  EXPECT_FALSE(loaded.Modified());
}

TEST_F(ProjectFileTest, RecordLayout) {
  Project project;
  FillProject(project);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(SerializeProject(project, bytes).ok());
  EXPECT_EQ(Int32At(bytes, 6), 2);
  EXPECT_EQ(Int32At(bytes, 10), 7);
  EXPECT_EQ(Int32At(bytes, 14), 3);
  EXPECT_EQ(Int32At(bytes, 26), 1);

  // Description block of the first network.
  size_t at = 30;
  EXPECT_EQ(bytes[at], 0);
  EXPECT_EQ(Int32At(bytes, at + 4), 2);        // NumOfLayers
  EXPECT_EQ(Int32At(bytes, at + 16), 4);       // NumOfInputs
  EXPECT_EQ(Int32At(bytes, at + 24), 3);       // NumOfNeurons[0]
  EXPECT_EQ(Int32At(bytes, at + 64 + 8), -1);  // NeuronType beyond the layers
  EXPECT_EQ(std::bit_cast<float>(Int32At(bytes, at + 108)), 0.25f);
  EXPECT_EQ(Int32At(bytes, at + 144), 3);  // NumOfFields
  at += 148;
  // "Сеть №1" in Windows-1251, counted with its zero.
  const std::vector<uint8_t> name = {0xD1, 0xE5, 0xF2, 0xFC, 0x20, 0xB9, 0x31, 0x00};
  ASSERT_EQ(Int32At(bytes, at), 8);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + at + 4, bytes.begin() + at + 12), name);
  at += 12;
  // First field: name, 28-byte block, zero placeholder, 3 ranges.
  ASSERT_EQ(Int32At(bytes, at), 5);
  at += 4 + 5;
  EXPECT_EQ(Int32At(bytes, at), 2);  // Usage Input
  EXPECT_EQ(bytes[at + 16], 1);      // IsDiscrete
  EXPECT_EQ(bytes[at + 17], 1);      // Predecessor
  EXPECT_EQ(Int32At(bytes, at + 20), 3);
  EXPECT_EQ(static_cast<uint32_t>(Int32At(bytes, at + 24)), 0xfffdu);
  EXPECT_EQ(Int32At(bytes, at + 28), 0);  // placeholder
  at += 32 + 3 * 8;
  // The continuous field keeps its 5 distinct values.
  ASSERT_EQ(Int32At(bytes, at), 2);
  at += 4 + 2;
  EXPECT_EQ(Int32At(bytes, at + 20), 5);
  at += 32 + 5 * 8;
  ASSERT_EQ(Int32At(bytes, at), 2);  // "Y"
  at += 4 + 2;
  EXPECT_EQ(Int32At(bytes, at + 20), 0);
  at += 32;
  // Four arrays, the cycle count and the totals.
  const NeuralNet& net = project.Net(0);
  EXPECT_EQ(net.NumOfParameters, 31);
  EXPECT_EQ(Int32At(bytes, at + 4 * 3 * 31), kRemovedSynapseFlags);
  at += 16 * 31;
  EXPECT_EQ(Int32At(bytes, at), 17);
  EXPECT_EQ(Int32At(bytes, at + 16), 4);
  at += 20;
  // The second network has an empty name: L = 1 and a single zero.
  EXPECT_EQ(bytes[at], 1);  // IsMonotonical
  EXPECT_EQ(Int32At(bytes, at + 148), 1);
  EXPECT_EQ(bytes[at + 152], 0);
}

TEST_F(ProjectFileTest, SaveAndLoadRoundTripBitForBit) {
  Project project;
  FillProject(project);
  const fs::path path = fs::path(testing::TempDir()) / "round.vmp";
  ASSERT_TRUE(SaveProject(project, path).ok());
  EXPECT_FALSE(project.Modified());

  Project loaded;
  ASSERT_TRUE(LoadProject(path, loaded).ok());
  ASSERT_EQ(loaded.NetCount(), 2);
  EXPECT_EQ(loaded.NetNameCounter(), 7);
  EXPECT_EQ(loaded.Options().TrainingMethod, 3);
  EXPECT_EQ(loaded.Options().SensitivityNorm, 1);
  EXPECT_EQ(loaded.Options().BinaryWeightSet, 2);
  EXPECT_EQ(loaded.Options().ExtendTaskbook, 1);
  EXPECT_EQ(loaded.CurrentIndex(), 0);
  EXPECT_FALSE(loaded.Modified());
  for (int i = 0; i < 2; ++i) {
    const NeuralNet& a = project.Net(i);
    const NeuralNet& b = loaded.Net(i);
    EXPECT_EQ(a.Desc, b.Desc) << i;
    EXPECT_EQ(a.Parameters, b.Parameters);
    EXPECT_EQ(a.LowerBounds, b.LowerBounds);
    EXPECT_EQ(a.UpperBounds, b.UpperBounds);
    EXPECT_EQ(a.ParamFlags, b.ParamFlags);
    EXPECT_EQ(a.NumOfTrainingCycles, b.NumOfTrainingCycles);
    EXPECT_EQ(a.NumOfPrunedInputs, b.NumOfPrunedInputs);
    EXPECT_EQ(a.NumOfPrunedSynapses, b.NumOfPrunedSynapses);
    EXPECT_EQ(a.NumOfBinSynapses, b.NumOfBinSynapses);
    EXPECT_EQ(a.NumOfPrunedNeurons, b.NumOfPrunedNeurons);
    // Rebuilt on load.
    EXPECT_EQ(b.InputNames.size(), static_cast<size_t>(b.Desc.NumOfInputs));
    EXPECT_EQ(b.AcceptanceList.size(), 1u);
  }
  EXPECT_EQ(loaded.Net(0).Desc.Name, "Сеть №1");

  std::vector<uint8_t> first, second;
  ASSERT_TRUE(SerializeProject(project, first).ok());
  ASSERT_TRUE(SerializeProject(loaded, second).ok());
  EXPECT_EQ(first, second);
}

TEST_F(ProjectFileTest, CounterSurvivesSaveAndLoad) {
  Project project;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(project.AddNetwork(SampleDescription("n")).ok());
  ASSERT_TRUE(project.DeleteNetwork(0).ok());
  ASSERT_TRUE(project.DeleteNetwork(0).ok());
  const fs::path path = fs::path(testing::TempDir()) / "counter.vmp";
  ASSERT_TRUE(SaveProject(project, path).ok());
  Project loaded;
  ASSERT_TRUE(LoadProject(path, loaded).ok());
  EXPECT_EQ(loaded.NetCount(), 1);
  EXPECT_EQ(loaded.NetNameCounter(), 3);
  EXPECT_EQ(loaded.CloneNetworkDescription(0).Name, "Network4");
}

TEST_F(ProjectFileTest, FailedSaveKeepsPreviousFileAndModified) {
  Project project;
  FillProject(project);
  const fs::path path = fs::path(testing::TempDir()) / "keep.vmp";
  ASSERT_TRUE(SaveProject(project, path).ok());
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadFileBytes(path, before).ok());

  project.Net(0).Desc.Name = std::string(300, 'n');  // too long to be stored
  project.SetModified(true);
  EXPECT_FALSE(SaveProject(project, path).ok());
  EXPECT_TRUE(project.Modified());
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadFileBytes(path, after).ok());
  EXPECT_EQ(before, after);

  project.Net(0).Desc.Name = "ok";
  EXPECT_FALSE(SaveProject(project, fs::path(testing::TempDir()) / "no-such-dir" / "x.vmp").ok());
  EXPECT_TRUE(project.Modified());
}

TEST_F(ProjectFileTest, TextsThatCannotBeStoredAreRefused) {
  // Names come from the user and from tables in other code pages; writing a
  // "?" for a lost character would leave a network that no longer finds its
  // field.
  struct Case {
    const char* what;
    std::string net_name, field_name;
  };
  const Case cases[] = {
      {"greek field name", "n", "\xCE\x94x"},
      {"japanese net name", "\xE6\x97\xA5", "X"},
      {"zero byte in a field name", "n", std::string("a\0b", 3)},
      {"field name of 260 bytes", "n", std::string(260, 'f')},
  };
  for (const Case& c : cases) {
    Project project;
    FillProject(project);
    std::vector<uint8_t> good;
    ASSERT_TRUE(SerializeProject(project, good).ok()) << c.what;
    project.Net(1).Desc.Name = c.net_name;
    project.Net(1).Desc.Fields[1].Name = c.field_name;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(SerializeProject(project, bytes).ok()) << c.what;
  }
  Project fits;
  FillProject(fits);
  fits.Net(1).Desc.Fields[1].Name = std::string(259, 'f');
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(SerializeProject(fits, bytes).ok());
}

TEST_F(ProjectFileTest, CorruptFilesAreRejectedAndLeaveNothing) {
  Project project;
  FillProject(project);
  std::vector<uint8_t> good;
  ASSERT_TRUE(SerializeProject(project, good).ok());
  const size_t net = 30;
  const size_t name = net + 148;
  const size_t field = name + 12;  // first field's name length
  const size_t field_block = field + 4 + 5;

  struct Case {
    const char* what;
    size_t offset;
    int32_t value;
  };
  const Case cases[] = {
      {"negative net count", 6, -1},
      {"101 networks", 6, 101},
      {"more networks than stored", 6, 3},
      {"negative counter", 10, -5},
      {"method 4", 14, 4},
      {"negative method", 14, -1},
      {"norm 2", 18, 2},
      {"binary set 4", 22, 4},
      {"extend 2", 26, 2},
      {"0 layers", net + 4, 0},
      {"11 layers", net + 4, 11},
      {"0 neurons", net + 24, 0},
      {"101 neurons", net + 28, 101},
      {"inputs mismatch", net + 16, 5},
      {"outputs mismatch", net + 20, 2},
      {"negative fields", net + 144, -1},
      {"huge field count", net + 144, 1 << 30},
      {"text length 0", name, 0},
      {"text length 261", name, 261},
      {"negative text length", name, -8},
      {"usage 4", field_block, 4},
      {"21 states", field_block + 20, 21},
      {"negative states", field_block + 20, -1},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    PutInt32(bad, c.offset, c.value);
    Project loaded;
    EXPECT_FALSE(ParseProject(bad, loaded).ok()) << c.what;
    EXPECT_EQ(loaded.NetCount(), 0) << c.what;
    EXPECT_EQ(loaded.Options().TrainingMethod, 2) << c.what;
  }

  std::vector<uint8_t> lower = good;
  lower[0] = 'v';
  lower[1] = 'm';
  Project loaded;
  EXPECT_FALSE(ParseProject(lower, loaded).ok());
  std::vector<uint8_t> discrete = good;
  discrete[field_block + 16] = 2;
  EXPECT_FALSE(ParseProject(discrete, loaded).ok());
  std::vector<uint8_t> unterminated = good;
  unterminated[name + 4 + 7] = 'x';
  EXPECT_FALSE(ParseProject(unterminated, loaded).ok());
  std::vector<uint8_t> trailing = good;
  trailing.push_back(0);
  EXPECT_FALSE(ParseProject(trailing, loaded).ok());
  for (size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(ParseProject(std::span(good.data(), size), loaded).ok()) << size;
  }
  EXPECT_EQ(loaded.NetCount(), 0);
  EXPECT_FALSE(LoadProject(fs::path(testing::TempDir()) / "missing.vmp", loaded).ok());
}

// The expected file of a small project, written out field by field from the
// format's tables rather than by the writer, so that a field swapped the same
// way in the reader and the writer shows up.
class ExpectedStream {
 public:
  ExpectedStream& Ascii(const char* text) {
    for (const char* p = text; *p != 0; ++p) bytes.push_back(static_cast<uint8_t>(*p));
    return *this;
  }
  ExpectedStream& Byte(uint8_t value) {
    bytes.push_back(value);
    return *this;
  }
  ExpectedStream& I32(int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
  }
  ExpectedStream& F32(float value) { return I32(std::bit_cast<int32_t>(value)); }
  // A counted string of Windows-1251 bytes.
  ExpectedStream& Text(std::vector<uint8_t> cp1251) {
    I32(static_cast<int32_t>(cp1251.size() + 1));
    bytes.insert(bytes.end(), cp1251.begin(), cp1251.end());
    return Byte(0);
  }
  std::vector<uint8_t> bytes;
};

// One network "Сеть" over a continuous input X (0..5) and an ordered
// discrete output "Класс" with two states; one layer of two neurons.
constexpr float kHandParams[12] = {0.5f, -0.25f, 0.25f, 0.125f, 0.75f,   -1.0f,
                                   2.0f, 0.0f,   1.0f,  -0.75f, 0.0625f, -1.0f};
constexpr float kHandLower[12] = {-8, -7, 0.0001f, -6, 0.0001f, -5, -4, 0, 1, -3, -2, -1};
constexpr float kHandUpper[12] = {8, 7, 1, 6, 1, 5, 4, 0, 1, 3, 2, -1};
constexpr int32_t kHandFlags[12] = {6, 6, 33, 22, 33, 22, 6, 8, 5, 6, 22, 21};

std::vector<uint8_t> HandBuiltProjectFile() {
  ExpectedStream s;
  s.Ascii("VM0025").I32(1).I32(4).I32(1).I32(1).I32(3).I32(1);
  // Description block: monotone flag, reserved, layers, input and output
  // fields, input and output signals.
  s.Byte(0).Byte(0).Byte(0).Byte(0).I32(1).I32(1).I32(1).I32(1).I32(2);
  s.I32(2);
  for (int l = 1; l < 10; ++l) s.I32(10);
  s.I32(0);
  for (int l = 1; l < 10; ++l) s.I32(-1);
  s.F32(0.25f);
  for (int l = 1; l < 10; ++l) s.F32(0.1f);
  s.I32(2);                          // fields
  s.Text({0xD1, 0xE5, 0xF2, 0xFC});  // "Сеть"
  s.Text({'X'});
  s.I32(2).F32(0.5f).F32(0).F32(5).Byte(0).Byte(0).Byte(0).Byte(0).I32(0).I32(0xFFFF);
  s.I32(0);                                // placeholder, no states
  s.Text({0xCA, 0xEB, 0xE0, 0xF1, 0xF1});  // "Класс"
  s.I32(3).F32(0.25f).F32(1).F32(2).Byte(1).Byte(1).Byte(0).Byte(0).I32(2).I32(0xFFFD);
  s.I32(0).F32(1).F32(1).F32(2).F32(2);
  for (float v : kHandParams) s.F32(v);
  for (float v : kHandLower) s.F32(v);
  for (float v : kHandUpper) s.F32(v);
  for (int32_t v : kHandFlags) s.I32(v);
  s.I32(1234).I32(1).I32(2).I32(3).I32(4);
  return s.bytes;
}

void ExpectHandBuiltNet(const Project& project) {
  EXPECT_EQ(project.Options().TrainingMethod, 1);
  EXPECT_EQ(project.Options().SensitivityNorm, 1);
  EXPECT_EQ(project.Options().BinaryWeightSet, 3);
  EXPECT_EQ(project.Options().ExtendTaskbook, 1);
  EXPECT_EQ(project.NetNameCounter(), 4);
  ASSERT_EQ(project.NetCount(), 1);
  const NeuralNet& net = project.Net(0);
  const DataDescription& d = net.Desc;
  EXPECT_EQ(d.Name, "Сеть");
  EXPECT_EQ(d.IsMonotonical, 0);
  EXPECT_EQ(d.NumOfLayers, 1);
  EXPECT_EQ(d.NumOfInpFields, 1);
  EXPECT_EQ(d.NumOfOutFields, 1);
  EXPECT_EQ(d.NumOfInputs, 1);
  EXPECT_EQ(d.NumOfOutputs, 2);
  EXPECT_EQ(d.NumOfNeurons[0], 2);
  EXPECT_EQ(d.NumOfNeurons[9], 10);
  EXPECT_EQ(d.NeuronType[0], 0);
  EXPECT_EQ(d.NeuronType[1], -1);
  EXPECT_EQ(d.Characteristic[0], 0.25f);
  EXPECT_EQ(d.Characteristic[5], 0.1f);
  ASSERT_EQ(d.Fields.size(), 2u);
  const struct {
    const char* name;
    FieldUsage usage;
    float gap, min, max;
    int32_t discrete, states;
    uint32_t mask;
  } kFields[] = {
      {"X", FieldUsage::Input, 0.5f, 0, 5, 0, 0, 0xFFFF},
      {"Класс", FieldUsage::Output, 0.25f, 1, 2, 1, 2, 0xFFFD},
  };
  for (size_t i = 0; i < 2; ++i) {
    const FieldDescription& f = d.Fields[i];
    SCOPED_TRACE(kFields[i].name);
    EXPECT_EQ(f.Name, kFields[i].name);
    EXPECT_EQ(f.Usage, kFields[i].usage);
    EXPECT_EQ(f.Gap, kFields[i].gap);
    EXPECT_EQ(f.MinValue, kFields[i].min);
    EXPECT_EQ(f.MaxValue, kFields[i].max);
    EXPECT_EQ(f.IsDiscrete, kFields[i].discrete);
    EXPECT_EQ(f.NumOfDiscreteStates, kFields[i].states);
    EXPECT_EQ(f.StateMask, kFields[i].mask);
  }
  EXPECT_TRUE(d.Fields[0].States.empty());
  const FieldDescription& k = d.Fields[1];
  EXPECT_EQ(k.Predecessor, 1);
  ASSERT_EQ(k.States.size(), static_cast<size_t>(kMaxStates));
  EXPECT_EQ(k.States[0], (StateRange{1, 1}));
  EXPECT_EQ(k.States[1], (StateRange{2, 2}));
  EXPECT_EQ(k.States[2], StateRange{});
  ASSERT_EQ(net.NumOfParameters, 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(net.Parameters[i], kHandParams[i]) << i;
    EXPECT_EQ(net.LowerBounds[i], kHandLower[i]) << i;
    EXPECT_EQ(net.UpperBounds[i], kHandUpper[i]) << i;
    EXPECT_EQ(net.ParamFlags[i], kHandFlags[i]) << i;
  }
  EXPECT_EQ(net.NumOfTrainingCycles, 1234);
  EXPECT_EQ(net.NumOfPrunedInputs, 1);
  EXPECT_EQ(net.NumOfPrunedSynapses, 2);
  EXPECT_EQ(net.NumOfBinSynapses, 3);
  EXPECT_EQ(net.NumOfPrunedNeurons, 4);
}

TEST_F(ProjectFileTest, HandBuiltFileIsWhatTheWriterWritesAndTheReaderReads) {
  const std::vector<uint8_t> expected = HandBuiltProjectFile();

  Project loaded;
  ASSERT_TRUE(ParseProject(expected, loaded).ok());
  ExpectHandBuiltNet(loaded);

  Project project;
  project.Options() = ProjectOptions{1, 1, 3, 1};
  project.SetNetNameCounter(4);
  auto net = std::make_unique<NeuralNet>();
  DataDescription& d = net->Desc;
  d.Name = "Сеть";
  d.NumOfLayers = 1;
  d.NumOfNeurons.fill(10);
  d.NumOfNeurons[0] = 2;
  d.NeuronType.fill(-1);
  d.NeuronType[0] = 0;
  d.Characteristic.fill(0.1f);
  d.Characteristic[0] = 0.25f;
  d.Fields = {Field("X", FieldUsage::Input, 0, 5, 0.5f),
              Field("Класс", FieldUsage::Output, 1, 2, 0.25f)};
  SetStates(d.Fields[1], {{1, 1}, {2, 2}}, true);
  d.Fields[1].Predecessor = 1;
  d.Fields[1].StateMask = 0xFFFD;
  d.NumOfFields = 2;
  d.NumOfInpFields = 1;
  d.NumOfOutFields = 1;
  d.NumOfInputs = 1;
  d.NumOfOutputs = 2;
  BuildNet(*net);
  ASSERT_EQ(net->NumOfParameters, 12);
  net->Parameters.assign(std::begin(kHandParams), std::end(kHandParams));
  net->LowerBounds.assign(std::begin(kHandLower), std::end(kHandLower));
  net->UpperBounds.assign(std::begin(kHandUpper), std::end(kHandUpper));
  net->ParamFlags.assign(std::begin(kHandFlags), std::end(kHandFlags));
  net->NumOfTrainingCycles = 1234;
  net->NumOfPrunedInputs = 1;
  net->NumOfPrunedSynapses = 2;
  net->NumOfBinSynapses = 3;
  net->NumOfPrunedNeurons = 4;
  project.AppendLoadedNetwork(std::move(net));
  std::vector<uint8_t> written;
  ASSERT_TRUE(SerializeProject(project, written).ok());
  ASSERT_EQ(written.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(written[i], expected[i]) << "byte " << i;
  }
}

TEST_F(ProjectFileTest, NonFiniteParametersAndBoundsAreRefused) {
  Project project;
  FillProject(project);
  std::vector<uint8_t> good;
  ASSERT_TRUE(SerializeProject(project, good).ok());
  // The last network's arrays end 20 bytes before the end of the file.
  const size_t n = static_cast<size_t>(project.Net(1).NumOfParameters);
  const size_t parameters = good.size() - 20 - 16 * n;
  const float values[] = {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity()};
  for (const size_t array : {0, 1, 2}) {  // parameters, lower and upper bounds
    for (const float value : values) {
      std::vector<uint8_t> bad = good;
      PutInt32(bad, parameters + 4 * n * array + 4, std::bit_cast<int32_t>(value));
      Project loaded;
      EXPECT_FALSE(ParseProject(bad, loaded).ok()) << array << " " << value;
      EXPECT_EQ(loaded.NetCount(), 0);
    }
  }
  Project loaded;
  EXPECT_TRUE(ParseProject(good, loaded).ok());
}

TEST_F(ProjectFileTest, UndefinedCodePageByteSurvivesLoadAndSave) {
  // Windows-1251 leaves 0x98 undefined; a name holding it is stored again as
  // it was read, not as "?".
  Project project;
  FillProject(project);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(SerializeProject(project, bytes).ok());
  const size_t name = 30 + 148 + 4;  // "Сеть №1" after its length
  ASSERT_EQ(bytes[name + 4], ' ');
  bytes[name + 4] = 0x98;
  const size_t field_name = name + 8 + 4;  // "Цвет"
  bytes[field_name + 1] = 0x98;
  Project loaded;
  ASSERT_TRUE(ParseProject(bytes, loaded).ok());
  EXPECT_EQ(loaded.Net(0).Desc.Name.find('?'), std::string::npos);
  std::vector<uint8_t> again;
  ASSERT_TRUE(SerializeProject(loaded, again).ok());
  EXPECT_EQ(again, bytes);
  EXPECT_TRUE(CheckStorableText(loaded.Net(0).Desc.Fields[0].Name).ok());
}

// Random byte changes of a saved project: each copy is either rejected or
// read into a project that saves again; nothing may crash or over-allocate.
TEST_F(ProjectFileTest, MutatedFilesNeverCrash) {
  Project project;
  FillProject(project);
  std::vector<uint8_t> good;
  ASSERT_TRUE(SerializeProject(project, good).ok());
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<size_t> pos(0, good.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> bad = good;
    const int changes = 1 + round % 4;
    for (int k = 0; k < changes; ++k) {
      const size_t at = pos(rng);
      switch (round % 3) {
        case 0:
          bad[at] = static_cast<uint8_t>(byte(rng));
          break;
        case 1:
          bad[at] ^= static_cast<uint8_t>(1u << (byte(rng) % 8));
          break;
        default:
          bad[at] = (byte(rng) & 1) ? 0xff : 0x7f;
          break;
      }
    }
    if (round % 5 == 0) bad.resize(pos(rng));
    Project loaded;
    const Status status = ParseProject(bad, loaded);
    if (status.ok()) {
      ++accepted;
      std::vector<uint8_t> again;
      EXPECT_TRUE(SerializeProject(loaded, again).ok());
    } else {
      EXPECT_EQ(loaded.NetCount(), 0);
    }
  }
  // Changes to weights and ranges are legal; the test would be vacuous if all
  // mutations were refused.
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace velmar
