#include "core/project/workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/engine/training_driver.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

class WorkspaceTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCurrentClock(&clock_);
    dir_ = testing_support::FreshTempDir("workspace");
    iris_ = dir_ / "iris.dbf";
    fs::copy_file(fs::path(VELMAR_EXAMPLES) / "iris.dbf", iris_);
  }
  void TearDown() override { SetCurrentClock(nullptr); }

  // Adds the default network over the open table and builds its taskbook.
  NeuralNet& NetWithTaskBook() {
    DataDescription desc = workspace_.project().NewNetworkDescription(workspace_.Statistics());
    desc.Fields.back().Usage = FieldUsage::Output;
    EXPECT_TRUE(workspace_.project().AddNetwork(desc).ok());
    NeuralNet& net = workspace_.project().Net(workspace_.project().NetCount() - 1);
    EngineContext context = workspace_.Context();
    EXPECT_TRUE(PrepareTaskBook(net, context));
    return net;
  }

  FixedClock clock_{20240501};
  testing_support::RecordingHost host_;
  Workspace workspace_{host_};
  fs::path dir_;
  fs::path iris_;
};

TEST_F(WorkspaceTest, ATableWithTwoColumnsOfOneNameIsRefusedNamingIt) {
  // The second field descriptor of the header takes the first one's name.
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(iris_, bytes).ok());
  std::copy(bytes.begin() + 32, bytes.begin() + 43, bytes.begin() + 64);
  const fs::path twice = dir_ / "twice.dbf";
  ASSERT_TRUE(WriteFileAtomically(twice, bytes).ok());
  const Status status = workspace_.OpenDataFile(twice);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "В файле данных два поля с именем SEPAL_LEN");
  EXPECT_FALSE(workspace_.HasDataFile());
}

TEST_F(WorkspaceTest, OpensADataFileAndGathersItsStatisticsWhenAsked) {
  ASSERT_TRUE(workspace_.OpenDataFile(iris_).ok());
  ASSERT_TRUE(workspace_.HasDataFile());
  EXPECT_EQ(workspace_.DataPath(), iris_);
  EXPECT_EQ(host_.cursors, (std::vector<CursorShape>{CursorShape::kBusy, CursorShape::kArrow}));
  const FieldTemplate& statistics = workspace_.Statistics();
  ASSERT_EQ(statistics.size(), 5u);
  EXPECT_EQ(statistics[0].MinValue, 4.3f);
  EXPECT_EQ(statistics[0].MaxValue, 7.9f);
  EXPECT_EQ(statistics[4].NumOfDiscreteStates, 3);

  Workspace later(host_);
  host_.cursors.clear();
  ASSERT_TRUE(later.OpenDataFile(iris_, FieldStatistics::kOnFirstUse).ok());
  EXPECT_TRUE(host_.cursors.empty()) << "nothing walks the table before it is needed";
  EXPECT_EQ(later.Statistics().size(), 5u);
  EXPECT_EQ(host_.cursors.size(), 2u);
}

TEST_F(WorkspaceTest, AFailedOpenLeavesTheOpenDataFileAndProjectAsTheyWere) {
  ASSERT_TRUE(workspace_.OpenDataFile(iris_).ok());
  Table* table = workspace_.table();
  EXPECT_FALSE(workspace_.OpenDataFile(dir_ / "missing.dbf").ok());
  EXPECT_EQ(workspace_.table(), table);
  EXPECT_EQ(workspace_.DataPath(), iris_);
  EXPECT_EQ(workspace_.Statistics().size(), 5u);

  workspace_.project().Options().TrainingMethod = 1;
  EXPECT_FALSE(workspace_.LoadProject(dir_ / "missing.vmp").ok());
  EXPECT_EQ(workspace_.project().Options().TrainingMethod, 1);

  workspace_.CloseDataFile();
  EXPECT_FALSE(workspace_.HasDataFile());
  EXPECT_TRUE(workspace_.Statistics().empty());
  EXPECT_EQ(workspace_.Context().table, nullptr);
}

TEST_F(WorkspaceTest, TheContextReachesTheCurrentProjectAndTable) {
  ASSERT_TRUE(workspace_.OpenDataFile(iris_).ok());
  EngineContext context = workspace_.Context();
  EXPECT_EQ(context.table, workspace_.table());
  EXPECT_EQ(&context.host, &host_);
  context.options.SensitivityNorm = 1;
  EXPECT_EQ(workspace_.project().Options().SensitivityNorm, 1);

  NullTrainingView view;
  EXPECT_EQ(&workspace_.Context(view).view, &view);

  workspace_.NewProject();
  EXPECT_EQ(workspace_.Context().options.SensitivityNorm, 0);
}

TEST_F(WorkspaceTest, AnEditPostedInTheTableReachesTheStatisticsAndTheNextTraining) {
  ASSERT_TRUE(workspace_.OpenDataFile(iris_).ok());
  NeuralNet& net = NetWithTaskBook();
  ASSERT_NE(net.Book, nullptr);
  ASSERT_EQ(net.Book->Count(), 150u);

  // Posted away from the cursor, as a grid posts the row it edited.
  Table& table = *workspace_.table();
  table.MoveTo(0);
  ASSERT_TRUE(table.SetValueAt(7, 0, Value{9.5}).ok());
  ASSERT_TRUE(table.PostAt(7).ok());
  EXPECT_EQ(workspace_.Statistics()[0].MaxValue, 9.5f);
  EXPECT_EQ(net.Book, nullptr) << "the taskbook still holds the old record";

  // A record without an input value leaves the next taskbook.
  ASSERT_TRUE(table.SetValueAt(8, 1, Value{}).ok());
  ASSERT_TRUE(table.PostAt(8).ok());
  EngineContext context = workspace_.Context();
  ASSERT_TRUE(PrepareTaskBook(net, context));
  EXPECT_EQ(net.Book->Count(), 149u);

  for (const bool append : {true, false}) {
    SCOPED_TRACE(append);
    ASSERT_TRUE(PrepareTaskBook(net, context));
    ASSERT_TRUE((append ? table.Append() : table.Insert()).ok());
    EXPECT_EQ(net.Book, nullptr);
  }
  ASSERT_TRUE(PrepareTaskBook(net, context));
  table.MoveTo(3);
  ASSERT_TRUE(table.Delete().ok());
  EXPECT_EQ(net.Book, nullptr);
  EXPECT_EQ(workspace_.Statistics()[0].MaxValue, 9.5f) << "statistics never shrink";
  EXPECT_TRUE(table.Modified());
}

TEST_F(WorkspaceTest, ATableSavedUnderAnotherFormatIsStillFollowed) {
  ASSERT_TRUE(workspace_.OpenDataFile(iris_).ok());
  NeuralNet& net = NetWithTaskBook();
  fs::path saved_as;
  ASSERT_TRUE(workspace_.SaveDataFileAs(dir_ / "iris.db", 4, saved_as).ok());
  EXPECT_EQ(workspace_.DataPath(), saved_as);
  EngineContext context = workspace_.Context();
  ASSERT_TRUE(PrepareTaskBook(net, context));
  ASSERT_TRUE(workspace_.table()->SetValueAt(0, 0, Value{0.5}).ok());
  ASSERT_TRUE(workspace_.table()->PostAt(0).ok());
  EXPECT_EQ(net.Book, nullptr);
  EXPECT_EQ(workspace_.Statistics()[0].MinValue, 0.5f);
}

}  // namespace
}  // namespace velmar
