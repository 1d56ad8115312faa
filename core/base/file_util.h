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

class FileLock;

// A file written beside its target and renamed over it on Commit, so that the
// target holds either its old or its complete new contents. Without Commit,
// or when Commit fails, the temporary file is removed and the target is left
// untouched.
//
// A target that is a symbolic link is written through the link (the link
// stays). An existing target the user may not write is refused. The
// temporary file has a name of fixed length ("velmar-save-XXXXXX.tmp"), the
// target's permissions (0600 for a new file until it is renamed), and is
// removed when the process is ended by SIGINT or SIGTERM meanwhile.
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
  // Flushes, syncs and renames the temporary file over the target. With
  // `lock`, the lock moves to the new file before it takes the target's name,
  // so no other writer can slip in between.
  Status Commit(FileLock* lock = nullptr);
  // Commit in two halves, for files that change together: Prepare flushes
  // and closes the temporary file; Publish renames it over the target. After
  // KeepOnSignal the temporary file outlives a signal, and after
  // LeaveToJournal a failed Publish too, for a journal names it.
  Status Prepare(FileLock* lock = nullptr);
  Status Publish();
  void KeepOnSignal();
  void LeaveToJournal();
  // Removes the temporary file; the target is untouched.
  void Abandon();

  const std::filesystem::path& target() const { return target_; }
  // The file actually written: the target with its symbolic links resolved.
  const std::filesystem::path& resolved() const { return resolved_; }
  const std::filesystem::path& temp_path() const { return temp_path_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path resolved_;
  std::filesystem::path temp_path_;
  int fd_ = -1;
  int slot_ = -1;  // in the table of temporaries removed on a signal
  int lock_fd_ = -1;
  FileLock* lock_ = nullptr;
  bool failed_ = false;
  bool target_existed_ = false;
  bool prepared_ = false;
  bool keep_ = false;
};

// An advisory lock (flock) on a file that is open for change, so that a
// second writer is refused instead of silently losing its work or the
// first's. Released on destruction.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Locks `path`, which must exist. Refused (with a message naming the file)
  // when another holder has it.
  Status Acquire(const std::filesystem::path& path);
  void Release();
  bool held() const { return fd_ >= 0; }
  // Takes over `fd`, already locked (used by AtomicFile::Commit).
  void Adopt(int fd);

 private:
  int fd_ = -1;
};

// True when writing `output` would overwrite `input` or one of its companion
// files (a table's memo and index files), including through another name of
// the same file.
bool OutputClashesWithInput(const std::filesystem::path& output,
                            const std::filesystem::path& input);

// Writes `bytes` to `target` through an AtomicFile.
Status WriteFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes);
Status WriteFileAtomically(const std::filesystem::path& target, std::string_view text);

// Several files that must change together (a table and its memo file): all
// are written to temporaries first; a journal beside the first file then
// names them, and only then are they renamed. A kill during the renames
// leaves the journal, and CompleteInterruptedSave finishes them, so a reader
// sees the old set or the new set, never a mix.
Status WriteFilesAtomically(
    const std::vector<std::pair<std::filesystem::path, std::vector<uint8_t>>>& files);

// Finishes the renames of a WriteFilesAtomically of which `first` was the
// first file, if a kill interrupted them; call it before reading the files.
Status CompleteInterruptedSave(const std::filesystem::path& first);

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_FILE_UTIL_H_
