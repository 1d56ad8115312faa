#include "core/project/project.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/base/random.h"
#include "core/data/network_validation.h"
#include "core/project/project_file.h"
#include "tests/support/memory_table.h"

namespace velmar {
namespace {

using testing_support::MemoryTable;

class ProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCurrentClock(&clock_);
    // Columns A..L; "NAME" is text and so not numeric.
    std::vector<std::string> names;
    for (char c = 'A'; c <= 'K'; ++c) names.push_back(std::string(1, c));
    std::vector<std::vector<std::optional<double>>> rows;
    for (int r = 0; r < 6; ++r) {
      std::vector<std::optional<double>> row;
      for (size_t c = 0; c < names.size(); ++c) row.push_back(r * (c + 1) + 0.5 * c);
      rows.push_back(row);
    }
    table_ = MemoryTable::FromNumbers(names, rows);
    table_.AddColumn("NAME", FieldKind::kText, 10);
    field_template_ = BuildFieldTemplate(table_);
  }
  void TearDown() override { SetCurrentClock(nullptr); }

  // A description over the table with inputs A..E and output K.
  DataDescription FiveInputsOneOutput(const Project& project) {
    DataDescription desc = project.NewNetworkDescription(field_template_);
    for (int f = 5; f < 10; ++f) ChangeFieldUsage(desc, f, FieldUsage::NotUsed);
    return desc;
  }

  FixedClock clock_{99};
  MemoryTable table_;
  FieldTemplate field_template_;
};

TEST_F(ProjectTest, NewNetworkIsCompactedCreatedAndCounted) {
  Project project;
  DataDescription desc = FiveInputsOneOutput(project);
  EXPECT_EQ(desc.Name, "Network1");
  EXPECT_EQ(desc.Fields.size(), 12u);
  EXPECT_EQ(desc.Fields[11].Usage, FieldUsage::NotNumeric);
  EXPECT_EQ(desc.Fields[10].Usage, FieldUsage::Output);
  desc.NumOfLayers = 2;
  ASSERT_TRUE(project.AddNetwork(desc).ok());

  ASSERT_EQ(project.NetCount(), 1);
  EXPECT_EQ(project.CurrentIndex(), 0);
  EXPECT_EQ(project.NetNameCounter(), 1);
  EXPECT_TRUE(project.Modified());
  const NeuralNet& net = project.Net(0);
  ASSERT_EQ(net.Desc.NumOfFields, 6);
  ASSERT_EQ(net.Desc.Fields.size(), 6u);
  const char* kept[] = {"A", "B", "C", "D", "E", "K"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(net.Desc.Fields[i].Name, kept[i]);
  EXPECT_EQ(net.Desc.NeuronType[1], 0);
  for (int l = 2; l < kMaxLayers; ++l) EXPECT_EQ(net.Desc.NeuronType[l], -1) << l;
  EXPECT_EQ(net.NumOfParameters, NumOfParametersFor(net.Desc));
  EXPECT_EQ(NetworkSelectionText(net.Desc),
            "Число входных полей: \t5\nЧисло входов сети: \t5\nЧисло выходных полей: \t1"
            "\nЧисло выходов сети: \t1\nСлой 1:\t10 нейронов\nСлой 2:\t10 нейронов");

  EXPECT_EQ(project.NewNetworkDescription(field_template_).Name, "Network2");
}

TEST_F(ProjectTest, RefusalsChangeNothing) {
  Project project;
  DataDescription no_output = FiveInputsOneOutput(project);
  ChangeFieldUsage(no_output, 10, FieldUsage::NotUsed);
  EXPECT_FALSE(project.AddNetwork(no_output).ok());
  EXPECT_EQ(project.NetCount(), 0);
  EXPECT_EQ(project.NetNameCounter(), 0);
  EXPECT_FALSE(project.Modified());

  // Shapes no network can be laid out in (a clone of a damaged project may
  // bring them into the dialog): refused before anything is built.
  struct Bad {
    const char* what;
    void (*spoil)(DataDescription&);
  };
  const Bad bad[] = {
      {"empty layer", [](DataDescription& d) { d.NumOfLayers = 4, d.NumOfNeurons[3] = 0; }},
      {"negative layer", [](DataDescription& d) { d.NumOfNeurons[0] = -3; }},
      {"101 neurons", [](DataDescription& d) { d.NumOfNeurons[2] = 101; }},
      {"no layers", [](DataDescription& d) { d.NumOfLayers = 0; }},
      {"11 layers", [](DataDescription& d) { d.NumOfLayers = 11; }},
      {"inputs miscounted", [](DataDescription& d) { d.NumOfInputs += 1; }},
      {"discrete output without states",
       [](DataDescription& d) {
         d.Fields[10].IsDiscrete = 1;
         d.Fields[10].NumOfDiscreteStates = 0;
       }},
  };
  for (const Bad& b : bad) {
    DataDescription desc = FiveInputsOneOutput(project);
    b.spoil(desc);
    EXPECT_FALSE(project.AddNetwork(desc).ok()) << b.what;
    EXPECT_EQ(project.NetCount(), 0) << b.what;
    EXPECT_EQ(project.NetNameCounter(), 0) << b.what;
    EXPECT_FALSE(project.Modified()) << b.what;
  }

  for (int i = 0; i < kMaxNetworks; ++i) {
    ASSERT_TRUE(project.AddNetwork(FiveInputsOneOutput(project)).ok()) << i;
  }
  EXPECT_FALSE(project.CanAddNetwork());
  const Status refused = project.AddNetwork(FiveInputsOneOutput(project));
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), kNetworkLimitText);
  EXPECT_EQ(project.NetCount(), kMaxNetworks);
  EXPECT_EQ(project.NetNameCounter(), kMaxNetworks);
}

TEST_F(ProjectTest, DeleteSelectsTheLineAbove) {
  struct Case {
    int count, deleted, selected;
  };
  const Case cases[] = {{1, 0, -1}, {3, 0, 0}, {3, 1, 0}, {3, 2, 1}, {2, 1, 0}};
  for (const Case& c : cases) {
    Project project;
    for (int i = 0; i < c.count; ++i) {
      ASSERT_TRUE(project.AddNetwork(FiveInputsOneOutput(project)).ok());
    }
    project.SetModified(false);
    const std::string next = c.deleted + 1 < c.count ? project.Net(c.deleted + 1).Desc.Name : "";
    ASSERT_TRUE(project.DeleteNetwork(c.deleted).ok());
    EXPECT_EQ(project.NetCount(), c.count - 1);
    EXPECT_EQ(project.CurrentIndex(), c.selected) << c.count << " " << c.deleted;
    EXPECT_TRUE(project.Modified());
    if (!next.empty()) {
      EXPECT_EQ(project.Net(c.deleted).Desc.Name, next);
    }
  }
  Project empty;
  EXPECT_FALSE(empty.DeleteNetwork(0).ok());
}

TEST_F(ProjectTest, NamesFollowTheCounterNotTheCount) {
  Project project;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(project.AddNetwork(FiveInputsOneOutput(project)).ok());
  ASSERT_TRUE(project.DeleteNetwork(2).ok());
  ASSERT_TRUE(project.DeleteNetwork(0).ok());
  EXPECT_EQ(project.NewNetworkDescription(field_template_).Name, "Network4");
  EXPECT_EQ(project.CloneNetworkDescription(0).Name, "Network4");
}

TEST_F(ProjectTest, NameCounterStopsAtItsLimitAndStaysLoadable) {
  constexpr int32_t kLast = std::numeric_limits<int32_t>::max();
  Project project;
  project.SetNetNameCounter(kLast - 1);
  ASSERT_TRUE(project.AddNetwork(FiveInputsOneOutput(project)).ok());
  EXPECT_EQ(project.Net(0).Desc.Name, "Network2147483647");
  EXPECT_EQ(project.NetNameCounter(), kLast);

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(SerializeProject(project, bytes).ok());
  Project loaded;
  ASSERT_TRUE(ParseProject(bytes, loaded).ok()) << "a project we saved must open again";
  EXPECT_EQ(loaded.NetNameCounter(), kLast);

  loaded.SetModified(false);
  EXPECT_FALSE(loaded.AddNetwork(FiveInputsOneOutput(loaded)).ok());
  EXPECT_FALSE(loaded.AddNetwork(loaded.CloneNetworkDescription(0)).ok());
  EXPECT_EQ(loaded.NetCount(), 1);
  EXPECT_EQ(loaded.NetNameCounter(), kLast);
  EXPECT_FALSE(loaded.Modified());
}

TEST_F(ProjectTest, CloneStartsFromFreshParameters) {
  Project project;
  DataDescription desc = FiveInputsOneOutput(project);
  desc.IsMonotonical = 1;
  ASSERT_TRUE(project.AddNetwork(desc).ok());
  project.Net(0).Parameters.assign(project.Net(0).Parameters.size(), 0.75f);
  clock_.Set(12345);
  ASSERT_TRUE(project.AddNetwork(project.CloneNetworkDescription(0)).ok());
  const NeuralNet& copy = project.Net(1);
  EXPECT_EQ(copy.Desc.Name, "Network2");
  EXPECT_EQ(copy.Desc.IsMonotonical, 1);
  EXPECT_EQ(copy.Desc.Fields, project.Net(0).Desc.Fields);
  EXPECT_EQ(copy.NumOfParameters, project.Net(0).NumOfParameters);
  for (float p : copy.Parameters) EXPECT_LE(std::abs(p), 0.25f);  // never the copied 0.75
}

TEST_F(ProjectTest, EditModeAppliesCharacteristicsAndTolerances) {
  Project project;
  ASSERT_TRUE(project.AddNetwork(FiveInputsOneOutput(project)).ok());
  project.SetModified(false);
  NeuralNet& net = project.Net(0);
  const std::vector<float> weights_before = net.Parameters;
  ASSERT_EQ(net.AcceptanceList.size(), 1u);
  const float accuracy_before = net.AcceptanceList[0].Parameter;
  net.Desc.Characteristic[0] = 0.5f;
  net.Desc.Fields[5].Gap = 0.125f;
  project.ParametersChanged(0);
  EXPECT_TRUE(project.Modified());
  for (int j = 0; j < net.Desc.NumOfNeurons[0]; ++j) {
    EXPECT_EQ(net.Parameters[net.NeuronStart(0) + 2 * j], 0.5f);
    EXPECT_EQ(net.Parameters[net.NeuronStart(0) + 2 * j + 1],
              weights_before[net.NeuronStart(0) + 2 * j + 1]);
  }
  EXPECT_EQ(net.Parameters[0], weights_before[0]);
  // The new tolerance decides what counts as solved from now on.
  ASSERT_EQ(net.AcceptanceList.size(), 1u);
  const FieldDescription& out = net.Desc.Fields[5];
  ASSERT_EQ(out.Usage, FieldUsage::Output);
  EXPECT_NE(net.AcceptanceList[0].Parameter, accuracy_before);
  EXPECT_FLOAT_EQ(net.AcceptanceList[0].Parameter, 0.25f / (out.MaxValue - out.MinValue));
}

TEST_F(ProjectTest, ExtendTaskbookDiscardsTaskbooksWithoutModifying) {
  Project project;
  ASSERT_TRUE(project.AddNetwork(FiveInputsOneOutput(project)).ok());
  project.SetModified(false);
  project.Net(0).Book = std::make_unique<TaskBook>();
  project.SetExtendTaskbook(1);
  project.SetExtendTaskbook(0);
  EXPECT_EQ(project.Options().ExtendTaskbook, 0);
  EXPECT_EQ(project.Net(0).Book, nullptr);
  EXPECT_FALSE(project.Modified());
}

}  // namespace
}  // namespace velmar
