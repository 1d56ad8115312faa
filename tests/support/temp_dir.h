#ifndef VELMAR_TESTS_SUPPORT_TEMP_DIR_H_
#define VELMAR_TESTS_SUPPORT_TEMP_DIR_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velmar::testing_support {

// An empty folder of that name inside the test process's temporary folder.
inline std::filesystem::path FreshTempDir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_TEMP_DIR_H_
