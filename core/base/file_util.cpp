#include "core/base/file_util.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>

namespace velmar {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() { return std::strerror(errno); }

std::string Describe(const fs::path& path, const std::string& what) {
  return path.string() + ": " + what;
}

// --- Temporary files removed when a signal ends the process ---------------
//
// The table is fixed and written without allocation, so that the handler
// reads it safely. A slot is free (0), being filled (1) or live (2).

constexpr int kTempSlots = 32;
struct TempSlot {
  std::atomic<int> state{0};
  char path[PATH_MAX] = {};
};
TempSlot g_temp_slots[kTempSlots];

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM};
struct sigaction g_previous[2];
std::mutex g_install_mutex;

int SignalIndex(int sig) { return sig == SIGINT ? 0 : 1; }

extern "C" void RemoveTemporariesOnSignal(int sig, siginfo_t* info, void* context);

struct sigaction OwnAction() {
  struct sigaction action = {};
  action.sa_sigaction = RemoveTemporariesOnSignal;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  return action;
}

extern "C" void RemoveTemporariesOnSignal(int sig, siginfo_t* info, void* context) {
  const int index = SignalIndex(sig);
  const struct sigaction previous = g_previous[index];
  const bool custom = (previous.sa_flags & SA_SIGINFO) != 0
                          ? previous.sa_sigaction != nullptr
                          : previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN;
  if (previous.sa_handler == SIG_IGN && (previous.sa_flags & SA_SIGINFO) == 0) return;
  if (custom) {
    // The program handles the signal itself and goes on; a save under way
    // finishes or removes its temporary file itself.
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
      previous.sa_sigaction(sig, info, context);
    } else {
      previous.sa_handler(sig);
    }
    // The handler may have put another disposition in place (a second
    // Ctrl+C that ends the program); keep cleaning up in front of it.
    struct sigaction now = {};
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_sigaction != RemoveTemporariesOnSignal) {
      g_previous[index] = now;
      const struct sigaction own = OwnAction();
      sigaction(sig, &own, nullptr);
    }
    return;
  }
  for (TempSlot& slot : g_temp_slots) {
    if (slot.state.load() == 2) unlink(slot.path);
  }
  sigaction(sig, &previous, nullptr);
  raise(sig);
}

void EnsureSignalCleanup() {
  std::lock_guard<std::mutex> guard(g_install_mutex);
  for (int sig : kCleanedSignals) {
    struct sigaction current = {};
    if (sigaction(sig, nullptr, &current) != 0) continue;
    if ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == RemoveTemporariesOnSignal) {
      continue;
    }
    g_previous[SignalIndex(sig)] = current;
    const struct sigaction own = OwnAction();
    sigaction(sig, &own, nullptr);
  }
}

int RegisterTemporary(const fs::path& path) {
  const std::string& text = path.native();
  if (text.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    int expected = 0;
    if (!g_temp_slots[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_temp_slots[i].path, text.c_str(), text.size() + 1);
    g_temp_slots[i].state.store(2);
    return i;
  }
  return -1;
}

void UnregisterTemporary(int& slot) {
  if (slot >= 0) g_temp_slots[slot].state.store(0);
  slot = -1;
}

// --- Names and modes --------------------------------------------------------

// The process's file creation mask, read without changing it.
mode_t CreationMask() {
  static const mode_t mask = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Umask:", 0) == 0) {
        return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
      }
    }
    return static_cast<mode_t>(022);
  }();
  return mask;
}

// Follows symbolic links to the file they name, so that a save replaces the
// real file and keeps the link.
Status ResolveLinks(const fs::path& target, fs::path& resolved) {
  fs::path path = target;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      resolved = path;
      return Status::Ok();
    }
    std::error_code ec;
    const fs::path link = fs::read_symlink(path, ec);
    if (ec) return Status::IoError(Describe(target, ec.message()));
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return Status::IoError(Describe(target, "слишком много символических ссылок"));
}

std::string TemporaryName(std::mt19937& random) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = "velmar-save-";
  for (int i = 0; i < 6; ++i) name += kChars[random() % (sizeof kChars - 1)];
  return name + ".tmp";
}

}  // namespace

Status ReadFileBytes(const fs::path& path, std::vector<uint8_t>& out, uint64_t max_bytes) {
  out.clear();
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    return Status::NotFound(Describe(path, "файл не найден"));
  }
  const uint64_t size = fs::file_size(path, ec);
  if (ec) return Status::IoError(Describe(path, ec.message()));
  if (size > max_bytes) return Status::Unsupported(Describe(path, "файл слишком велик"));
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::IoError(Describe(path, "не удается прочитать файл"));
  out.resize(static_cast<size_t>(size));
  if (size > 0 &&
      !in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size))) {
    out.clear();
    return Status::IoError(Describe(path, "ошибка чтения"));
  }
  return Status::Ok();
}

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() { Abandon(); }

Status AtomicFile::Open() {
  if (fd_ >= 0) return Status::Ok();
  VELMAR_RETURN_IF_ERROR(ResolveLinks(target_, resolved_));
  struct stat st;
  target_existed_ = ::stat(resolved_.c_str(), &st) == 0;
  mode_t mode = 0600;
  if (target_existed_) {
    if (!S_ISREG(st.st_mode)) {
      return Status::IoError(Describe(target_, "это не обычный файл"));
    }
    // A rename needs only the folder's permission; the file's own is the
    // user's word that it is not to be replaced.
    if ((st.st_mode & 0222) == 0 || ::access(resolved_.c_str(), W_OK) != 0) {
      return Status::IoError(Describe(target_, "файл защищен от записи"));
    }
    mode = st.st_mode & 07777;
  }
  fs::path dir = resolved_.parent_path();
  if (dir.empty()) dir = ".";
  EnsureSignalCleanup();
  std::random_device device;
  std::mt19937 random(device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = dir / TemporaryName(random);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fd_ = fd;
      temp_path_ = candidate;
      slot_ = RegisterTemporary(candidate);
      failed_ = false;
      if (target_existed_) {
        // Best effort: another user's file keeps its owner when root saves it.
        if (::fchown(fd_, st.st_uid, st.st_gid) != 0) errno = 0;
      }
      ::fchmod(fd_, mode);
      return Status::Ok();
    }
    if (errno != EEXIST) return Status::IoError(Describe(target_, ErrnoText()));
  }
  return Status::IoError(Describe(target_, "не удается создать временный файл"));
}

Status AtomicFile::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0 || failed_) return Status::IoError(Describe(target_, "файл не открыт для записи"));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return Status::IoError(Describe(target_, ErrnoText()));
    }
    done += static_cast<size_t>(n);
  }
  return Status::Ok();
}

Status AtomicFile::Write(std::string_view text) {
  return Write(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

Status AtomicFile::Commit(FileLock* lock) {
  VELMAR_RETURN_IF_ERROR(Prepare(lock));
  return Publish();
}

Status AtomicFile::Prepare(FileLock* lock) {
  if (fd_ < 0 || failed_) {
    Abandon();
    return Status::IoError(Describe(target_, "запись не удалась"));
  }
  if (::fsync(fd_) != 0) {
    const std::string why = ErrnoText();
    Abandon();
    return Status::IoError(Describe(target_, why));
  }
  // A new file gets the mode a plain create would have given it.
  if (!target_existed_) ::fchmod(fd_, 0666 & ~CreationMask());
  if (lock != nullptr) {
    lock_fd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (lock_fd_ >= 0 && ::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(lock_fd_);
      lock_fd_ = -1;
    }
    lock_ = lock;
  }
  if (::close(fd_) != 0) {
    fd_ = -1;
    const std::string why = ErrnoText();
    Abandon();
    return Status::IoError(Describe(target_, why));
  }
  fd_ = -1;
  prepared_ = true;
  return Status::Ok();
}

void AtomicFile::KeepOnSignal() { UnregisterTemporary(slot_); }

void AtomicFile::LeaveToJournal() { keep_ = true; }

Status AtomicFile::Publish() {
  if (!prepared_) {
    Abandon();
    return Status::IoError(Describe(target_, "запись не удалась"));
  }
  if (::rename(temp_path_.c_str(), resolved_.c_str()) != 0) {
    const std::string why = ErrnoText();
    // A journal still names the temporary file; the next reader finishes.
    if (keep_) temp_path_.clear();
    Abandon();
    return Status::IoError(Describe(target_, why));
  }
  UnregisterTemporary(slot_);
  temp_path_.clear();
  prepared_ = false;
  if (lock_fd_ >= 0 && lock_ != nullptr) lock_->Adopt(lock_fd_);
  lock_fd_ = -1;
  // Make the rename itself durable.
  fs::path dir = resolved_.parent_path();
  if (dir.empty()) dir = ".";
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  return Status::Ok();
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (lock_fd_ >= 0) {
    ::close(lock_fd_);
    lock_fd_ = -1;
  }
  prepared_ = false;
  if (!temp_path_.empty()) {
    std::error_code ec;
    if (!keep_) fs::remove(temp_path_, ec);
    temp_path_.clear();
  }
  UnregisterTemporary(slot_);
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void FileLock::Adopt(int fd) {
  Release();
  fd_ = fd;
}

Status FileLock::Acquire(const fs::path& path) {
  Release();
  // The file may be replaced by a save between the open and the lock; the
  // lock counts only when it sits on the file the name leads to.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Status::IoError(Describe(path, ErrnoText()));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) {
        return Status::Cancelled(
            Describe(path, "файл уже открыт для изменения другой командой или программой"));
      }
      errno = error;
      return Status::IoError(Describe(path, ErrnoText()));
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      return Status::Ok();
    }
    ::close(fd);
  }
  return Status::IoError(Describe(path, "файл все время заменяется"));
}

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool SamePath(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    const bool same = fs::equivalent(a, b, ec);
    if (!ec) return same;
  }
  const fs::path full_a = fs::absolute(a, ec).lexically_normal();
  const fs::path full_b = fs::absolute(b, ec).lexically_normal();
  return full_a == full_b;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Extensions (lower case, with the dot) of the files that belong to a table.
bool IsCompanionExtension(const std::string& table_ext, const std::string& ext) {
  if (table_ext == ".dbf") {
    for (const char* e : {".dbt", ".fpt", ".cdx", ".mdx", ".ndx", ".idx"}) {
      if (ext == e) return true;
    }
    return false;
  }
  if (table_ext == ".db") {
    for (const char* e : {".px", ".mb", ".tv", ".fam", ".val"}) {
      if (ext == e) return true;
    }
    // Secondary indexes: .Xnn and .Ynn with a hexadecimal field number.
    return ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y') && IsHexDigit(ext[2]) &&
           IsHexDigit(ext[3]);
  }
  return false;
}

}  // namespace

bool OutputClashesWithInput(const fs::path& output, const fs::path& input) {
  if (SamePath(output, input)) return true;
  const fs::path out_dir = output.parent_path().empty() ? "." : output.parent_path();
  const fs::path in_dir = input.parent_path().empty() ? "." : input.parent_path();
  // Companions are looked up without regard to case when a table is read.
  if (Lower(output.stem().string()) != Lower(input.stem().string())) return false;
  if (!IsCompanionExtension(Lower(input.extension().string()),
                            Lower(output.extension().string()))) {
    return false;
  }
  return SamePath(out_dir, in_dir);
}

Status WriteFileAtomically(const fs::path& target, std::span<const uint8_t> bytes) {
  AtomicFile file(target);
  VELMAR_RETURN_IF_ERROR(file.Open());
  VELMAR_RETURN_IF_ERROR(file.Write(bytes));
  return file.Commit();
}

Status WriteFileAtomically(const fs::path& target, std::string_view text) {
  return WriteFileAtomically(
      target, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

namespace {

constexpr char kJournalMagic[] = "velmar-journal 1\n";

// The journal of a set of files whose first is `first` (links resolved): a
// name of fixed length in its folder, from a hash of its file name.
fs::path JournalPath(const fs::path& first) {
  uint64_t hash = 1469598103934665603ull;
  for (const char c : first.filename().native()) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  fs::path dir = first.parent_path();
  if (dir.empty()) dir = ".";
  return dir / ("velmar-journal-" + std::string(hex) + ".tmp");
}

std::string FullPath(const fs::path& path) {
  std::error_code ec;
  return fs::absolute(path, ec).lexically_normal().string();
}

void AppendCounted(std::string& out, const std::string& text) {
  out += std::to_string(text.size());
  out += ':';
  out += text;
}

bool TakeCounted(std::string_view& in, std::string& out) {
  const size_t colon = in.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 9) return false;
  size_t size = 0;
  for (size_t i = 0; i < colon; ++i) {
    if (in[i] < '0' || in[i] > '9') return false;
    size = size * 10 + static_cast<size_t>(in[i] - '0');
  }
  if (in.size() - colon - 1 < size) return false;
  out.assign(in.substr(colon + 1, size));
  in.remove_prefix(colon + 1 + size);
  return true;
}

void SyncFolder(const fs::path& file) {
  fs::path dir = file.parent_path();
  if (dir.empty()) dir = ".";
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
}

}  // namespace

Status CompleteInterruptedSave(const fs::path& first) {
  fs::path resolved;
  if (!ResolveLinks(first, resolved).ok()) return Status::Ok();
  const fs::path journal = JournalPath(resolved);
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(journal, bytes, uint64_t{1} << 20).ok()) return Status::Ok();
  std::string_view in(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string_view magic(kJournalMagic);
  std::vector<std::pair<std::string, std::string>> renames;
  bool valid = in.substr(0, magic.size()) == magic;
  if (valid) in.remove_prefix(magic.size());
  while (valid && !in.empty() && in != "end\n") {
    std::string temp, target;
    valid = TakeCounted(in, temp) && TakeCounted(in, target);
    if (valid) renames.emplace_back(std::move(temp), std::move(target));
  }
  valid = valid && in == "end\n" && !renames.empty();
  // Another set's journal under the same hash is left alone.
  if (valid && renames.front().second != FullPath(resolved)) return Status::Ok();
  if (valid) {
    for (const auto& [temp, target] : renames) {
      struct stat st;
      if (::lstat(temp.c_str(), &st) != 0) continue;  // already in place
      if (::rename(temp.c_str(), target.c_str()) != 0) {
        return Status::IoError(Describe(target, ErrnoText()));
      }
    }
    SyncFolder(resolved);
  }
  std::error_code ec;
  fs::remove(journal, ec);
  SyncFolder(journal);
  return Status::Ok();
}

Status WriteFilesAtomically(const std::vector<std::pair<fs::path, std::vector<uint8_t>>>& files) {
  if (files.size() == 1) return WriteFileAtomically(files[0].first, files[0].second);
  if (files.empty()) return Status::Ok();
  VELMAR_RETURN_IF_ERROR(CompleteInterruptedSave(files[0].first));
  std::vector<std::unique_ptr<AtomicFile>> pending;
  for (const auto& [path, bytes] : files) {
    auto file = std::make_unique<AtomicFile>(path);
    VELMAR_RETURN_IF_ERROR(file->Open());
    VELMAR_RETURN_IF_ERROR(file->Write(bytes));
    pending.push_back(std::move(file));
  }
  std::string journal_text = kJournalMagic;
  for (auto& file : pending) {
    VELMAR_RETURN_IF_ERROR(file->Prepare());
    AppendCounted(journal_text, FullPath(file->temp_path()));
    AppendCounted(journal_text, FullPath(file->resolved()));
  }
  journal_text += "end\n";
  // From here the journal owns the temporary files: a signal leaves them for
  // the next reader to put in place.
  for (auto& file : pending) file->KeepOnSignal();
  const fs::path journal = JournalPath(pending.front()->resolved());
  VELMAR_RETURN_IF_ERROR(WriteFileAtomically(journal, journal_text));
  for (auto& file : pending) file->LeaveToJournal();
  for (auto& file : pending) VELMAR_RETURN_IF_ERROR(file->Publish());
  std::error_code ec;
  fs::remove(journal, ec);
  SyncFolder(journal);
  return Status::Ok();
}

}  // namespace velmar
