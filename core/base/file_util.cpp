#include "core/base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

namespace velmar {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() { return std::strerror(errno); }

std::string Describe(const fs::path& path, const std::string& what) {
  return path.string() + ": " + what;
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
  fs::path dir = target_.parent_path();
  if (dir.empty()) dir = ".";
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        dir / ("tmp" + std::to_string(rd() % 1000000u) + "." + target_.filename().string());
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      fd_ = fd;
      temp_path_ = candidate;
      failed_ = false;
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

Status AtomicFile::Commit() {
  if (fd_ < 0 || failed_) {
    Abandon();
    return Status::IoError(Describe(target_, "запись не удалась"));
  }
  if (::fsync(fd_) != 0) {
    const std::string why = ErrnoText();
    Abandon();
    return Status::IoError(Describe(target_, why));
  }
  // Keep the permissions of the file being replaced.
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0) ::fchmod(fd_, st.st_mode & 07777);
  if (::close(fd_) != 0) {
    fd_ = -1;
    const std::string why = ErrnoText();
    Abandon();
    return Status::IoError(Describe(target_, why));
  }
  fd_ = -1;
  if (::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    const std::string why = ErrnoText();
    Abandon();
    return Status::IoError(Describe(target_, why));
  }
  temp_path_.clear();
  // Make the rename itself durable.
  fs::path dir = target_.parent_path();
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
  if (!temp_path_.empty()) {
    std::error_code ec;
    fs::remove(temp_path_, ec);
    temp_path_.clear();
  }
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

Status WriteFilesAtomically(const std::vector<std::pair<fs::path, std::vector<uint8_t>>>& files) {
  std::vector<std::unique_ptr<AtomicFile>> pending;
  for (const auto& [path, bytes] : files) {
    auto file = std::make_unique<AtomicFile>(path);
    VELMAR_RETURN_IF_ERROR(file->Open());
    VELMAR_RETURN_IF_ERROR(file->Write(bytes));
    pending.push_back(std::move(file));
  }
  for (auto& file : pending) VELMAR_RETURN_IF_ERROR(file->Commit());
  return Status::Ok();
}

}  // namespace velmar
