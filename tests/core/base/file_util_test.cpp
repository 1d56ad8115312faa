#include "core/base/file_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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
    for (auto& e : fs::directory_iterator(dir_)) n += e.is_regular_file() && !e.is_symlink();
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

TEST_F(AtomicFileTest, TemporaryNameDoesNotGrowWithTheTargetsAndSaysWhatItIs) {
  // A legal name of 255 bytes leaves no room for a longer temporary one.
  const fs::path target = dir_ / std::string(255, 'p');
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("one")).ok());
  AtomicFile file(target);
  ASSERT_TRUE(file.Open().ok());
  const std::string name = file.temp_path().filename().string();
  EXPECT_EQ(name.rfind("velmar-save-", 0), 0u) << name;
  EXPECT_EQ(name.size(), std::string("velmar-save-XXXXXX.tmp").size()) << name;
  ASSERT_TRUE(file.Write(std::string_view("two")).ok());
  ASSERT_TRUE(file.Commit().ok());
  EXPECT_EQ(Slurp(target), "two");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(AtomicFileTest, ReadOnlyTargetIsRefusedAndKept) {
  const fs::path target = dir_ / "ro.vmp";
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("old")).ok());
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const Status status = WriteFileAtomically(target, std::string_view("new"));
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("защищен от записи"), std::string::npos) << status.message();
  EXPECT_EQ(Slurp(target), "old");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(AtomicFileTest, SavingThroughALinkWritesItsTargetAndKeepsTheLink) {
  fs::create_directories(dir_ / "real");
  const fs::path real = dir_ / "real" / "p.vmp";
  ASSERT_TRUE(WriteFileAtomically(real, std::string_view("old")).ok());
  const fs::path link = dir_ / "link.vmp";
  fs::create_symlink(fs::path("real") / "p.vmp", link);
  ASSERT_TRUE(WriteFileAtomically(link, std::string_view("new")).ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Slurp(real), "new");
  EXPECT_EQ(FileCount(), 0);  // only the link and the folder here
}

TEST_F(AtomicFileTest, TemporaryTakesTheTargetsModeAndANewFileIsPrivateMeanwhile) {
  const fs::path target = dir_ / "private.vmp";
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Open().ok());
    struct stat st;
    ASSERT_EQ(::stat(file.temp_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_TRUE(file.Commit().ok());
  }
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);

  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  AtomicFile again(target);
  ASSERT_TRUE(again.Open().ok());
  ASSERT_EQ(::stat(again.temp_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(again.Commit().ok());
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AtomicFileTest, InterruptOrTerminateDuringASaveLeavesNoTemporary) {
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    const fs::path target = dir_ / "big.vmp";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(sig, SIG_DFL);
      AtomicFile file(target);
      if (!file.Open().ok() || !file.Write(std::string_view("partial")).ok()) ::_exit(3);
      ::raise(sig);
      ::_exit(4);  // not reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(FileCount(), 0);
  }
}

TEST_F(AtomicFileTest, OnlyOneHolderLocksAFileAndTheLockFollowsASave) {
  const fs::path target = dir_ / "p.vmp";
  ASSERT_TRUE(WriteFileAtomically(target, std::string_view("v1")).ok());
  FileLock first;
  ASSERT_TRUE(first.Acquire(target).ok());
  FileLock second;
  const Status refused = second.Acquire(target);
  EXPECT_TRUE(refused.IsCancelled()) << refused.message();
  EXPECT_NE(refused.message().find("уже открыт для изменения"), std::string::npos);

  // The holder saves: the new file is locked before it takes the name.
  AtomicFile file(target);
  ASSERT_TRUE(file.Open().ok());
  ASSERT_TRUE(file.Write(std::string_view("v2")).ok());
  ASSERT_TRUE(file.Commit(&first).ok());
  EXPECT_TRUE(second.Acquire(target).IsCancelled());

  first.Release();
  EXPECT_TRUE(second.Acquire(target).ok());
  EXPECT_EQ(Slurp(target), "v2");
}

TEST_F(AtomicFileTest, TableAndMemoChangeTogetherWhateverMomentAKillComes) {
  // A child saves numbered pairs over and over; it is killed at a random
  // moment, and the next reader must find both files of one pair.
  const fs::path table = dir_ / "t.dbf";
  const fs::path memo = dir_ / "t.dbt";
  auto pair = [&](int n) {
    std::vector<uint8_t> bytes(20000 + 37 * (n % 50), static_cast<uint8_t>(n));
    return std::vector<std::pair<fs::path, std::vector<uint8_t>>>{{table, bytes}, {memo, bytes}};
  };
  ASSERT_TRUE(WriteFilesAtomically(pair(0)).ok());
  std::mt19937 random(12345);
  int mixed = 0, interrupted = 0;
  for (int kill = 0; kill < 60; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int n = 1;; ++n) (void)WriteFilesAtomically(pair(n));
    }
    ::usleep(300 + random() % 4000);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    std::error_code ec;
    for (auto& e : fs::directory_iterator(dir_)) {
      interrupted += e.path().filename().string().rfind("velmar-journal-", 0) == 0;
    }
    ASSERT_TRUE(CompleteInterruptedSave(table).ok());
    const std::string a = Slurp(table);
    const std::string b = Slurp(memo);
    mixed += a != b;
  }
  EXPECT_EQ(mixed, 0) << "journals found after kills: " << interrupted;
  // The next save starts from a clean folder: no journal is left behind.
  ASSERT_TRUE(WriteFilesAtomically(pair(7)).ok());
  for (auto& e : fs::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().rfind("velmar-journal-", 0), std::string::npos);
  }
}

TEST(OutputClashTest, TheCommandsOwnFilesAndCompanionsAreRecognised) {
  const fs::path dir = fs::path(::testing::TempDir()) / "clash";
  fs::create_directories(dir);
  std::ofstream(dir / "d.dbf") << "x";
  fs::create_symlink("d.dbf", dir / "alias.dbf");
  struct Case {
    fs::path output, input;
    bool clash;
  };
  const Case cases[] = {
      {dir / "d.dbf", dir / "d.dbf", true},     {dir / "." / "d.dbf", dir / "d.dbf", true},
      {dir / "alias.dbf", dir / "d.dbf", true}, {dir / "d.dbt", dir / "d.dbf", true},
      {dir / "D.FPT", dir / "d.dbf", true},     {dir / "d.txt", dir / "d.dbf", false},
      {dir / "e.dbt", dir / "d.dbf", false},    {dir / "t.mb", dir / "t.db", true},
      {dir / "t.X0A", dir / "t.db", true},      {dir / "t.y06", dir / "t.db", true},
      {dir / "t.xyz", dir / "t.db", false},     {dir / "g.vmp", dir / "g.vmp", true},
      {dir / "g.txt", dir / "g.vmp", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutputClashesWithInput(c.output, c.input), c.clash)
        << c.output << " over " << c.input;
  }
}

}  // namespace
}  // namespace velmar
