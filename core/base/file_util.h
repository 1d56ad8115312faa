#ifndef VELMAR_CORE_BASE_FILE_UTIL_H_
#define VELMAR_CORE_BASE_FILE_UTIL_H_

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/base/status.h"

namespace velmar {

// Reads a whole file. Files larger than `max_bytes` are refused rather than
// allocated.
Status ReadFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& out,
                     uint64_t max_bytes = uint64_t{1} << 32);

// A file written beside its target and renamed over it on Commit, so that the
// target holds either its old or its complete new contents. Without Commit,
// or when Commit fails, the temporary file is removed and the target is left
// untouched.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file in the target's directory.
  Status Open();
  Status Write(std::span<const uint8_t> bytes);
  Status Write(std::string_view text);
  // Flushes, syncs and renames the temporary file over the target.
  Status Commit();
  // Removes the temporary file; the target is untouched.
  void Abandon();

  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temp_path() const { return temp_path_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_path_;
  int fd_ = -1;
  bool failed_ = false;
};

// Writes `bytes` to `target` through an AtomicFile.
Status WriteFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes);
Status WriteFileAtomically(const std::filesystem::path& target, std::string_view text);

// Several files that must change together (a table and its memo file): all
// are written to temporaries first and renamed only when every write worked.
// A failure during the renames may leave the earlier ones in place.
Status WriteFilesAtomically(
    const std::vector<std::pair<std::filesystem::path, std::vector<uint8_t>>>& files);

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_FILE_UTIL_H_
