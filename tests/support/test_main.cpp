// Every test process gets a temporary folder of its own, so that tests run in
// parallel by CTest (or a second build on the same machine) never share files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / "velmar-test-XXXXXX").string();
  fs::path own;
  if (::mkdtemp(pattern.data()) != nullptr) {
    own = pattern;
    ::setenv("TEST_TMPDIR", own.c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  if (!own.empty()) fs::remove_all(own, ec);
  return result;
}
