#ifndef VELMAR_FUZZ_FUZZ_FILE_H_
#define VELMAR_FUZZ_FUZZ_FILE_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace velmar::fuzz {

// A folder of the fuzzing process's own, made once and removed at exit. The
// readers take paths, so every input is written to a file here first.
inline const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path folder = [] {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path base =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path(ec);
    if (ec || base.empty()) base = "/tmp";
    std::string pattern = (base / "velmar-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    static std::string made;
    made = pattern;
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(made, ignored);
    });
    return fs::path(pattern);
  }();
  return folder;
}

// Plain writes: the atomic writer syncs to disk, far too slow per input.
inline void WriteScratchFile(const std::filesystem::path& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  if (std::fclose(file) != 0) std::abort();
}

}  // namespace velmar::fuzz

#endif  // VELMAR_FUZZ_FUZZ_FILE_H_
