#include "core/simplify/significance_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velmar {
namespace {

namespace fs = std::filesystem;

TEST(SignificanceTextTest, OneLinePerSignalWithTabFormatRealAndLineFeed) {
  struct Case {
    std::vector<std::string> names;
    std::vector<float> values;
    char separator;
    const char* expected;
  };
  const Case cases[] = {
      {{"A", "B"}, {1.0f, 0.25f}, '.', "A\t1\nB\t0.25\n"},
      {{"A", "B"}, {1.0f, 0.25f}, ',', "A\t1\nB\t0,25\n"},
      {{"CLASS_1", "CLASS_2", "AGE"},
       {0.0f, 1e-5f, 1.0f},
       ',',
       "CLASS_1\t0\nCLASS_2\t1E-5\nAGE\t1\n"},
      {{"X"}, {0.1234567891f}, '.', "X\t0.1234568\n"},
      {{}, {}, '.', ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    NeuralNet net;
    net.InputNames = c.names;
    net.InputSignificance = c.values;
    EXPECT_EQ(SignificanceText(net, c.separator), c.expected);
  }
}

TEST(SignificanceTextTest, CaptionAndSavedFileReplacingAnOldOne) {
  NeuralNet net;
  net.Desc.Name = "Сеть1";
  net.InputNames = {"A", "B"};
  net.InputSignificance = {1.0f, 0.25f};
  EXPECT_EQ(SignificanceCaption(net), "Сеть1 - значимость входов");

  const fs::path dir = fs::path(testing::TempDir()) / "velmar_significance_text";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path file = dir / SignificanceCaption(net);
  {
    std::ofstream old(file, std::ios::binary);
    old << "an older and longer table that must go away\n";
  }
  ASSERT_TRUE(SaveSignificance(net, file, '.').ok());
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "A\t1\nB\t0.25\n");

  EXPECT_FALSE(SaveSignificance(net, dir / "missing" / "t.txt", '.').ok());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmar
