#include "core/base/file_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace velmar {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("velmar_atomic_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int FileCount() {
    int n = 0;
    for (auto& e : fs::directory_iterator(dir_)) n += e.is_regular_file() ? 1 : 0;
    return n;
  }

  fs::path dir_;
};

TEST_F(AtomicFileTest, ReplacesTheTargetAndLeavesNoTemporary) {
  const fs::path target = dir_ / "a.txt";
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("first")).ok());
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("second")).ok());
  EXPECT_EQ(Slurp(target), "second");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(AtomicFileTest, UncommittedWriteLeavesTheTargetUntouched) {
  const fs::path target = dir_ / "a.txt";
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("kept")).ok());
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Open().ok());
    ASSERT_TRUE(file.Write(std::string_view("half")).ok());
    EXPECT_EQ(FileCount(), 2);
  }  // abandoned
  EXPECT_EQ(Slurp(target), "kept");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(AtomicFileTest, FailureToRenameKeepsTheTargetAndCleansUp) {
  // A directory in the target's place makes the rename fail.
  const fs::path target = dir_ / "sub";
  fs::create_directories(target / "inner");
  const Status status = WriteFileAtomically(target, std::string_view("x"));
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(fs::is_directory(target / "inner"));
  EXPECT_EQ(FileCount(), 0);
}

TEST_F(AtomicFileTest, MissingDirectoryIsAnError) {
  EXPECT_FALSE(WriteFileAtomically(dir_ / "no" / "such" / "file", std::string_view("x")).ok());
}

TEST_F(AtomicFileTest, ReadFileBytesRefusesMissingAndOversizedFiles) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(dir_ / "missing", bytes).IsNotFound());
  const fs::path target = dir_ / "b.bin";
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("12345")).ok());
  EXPECT_TRUE(ReadFileBytes(target, bytes).ok());
  EXPECT_EQ(bytes.size(), 5u);
  EXPECT_TRUE(ReadFileBytes(target, bytes, 4).IsUnsupported());
  EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace velmar
