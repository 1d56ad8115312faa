#include "core/tables/dbf_memo.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <system_error>

#include "core/base/byte_order.h"
#include "core/base/file_util.h"
#include "core/tables/dbf_format.h"
#include "core/tables/table_files.h"

namespace velmar::dbf {
namespace {

namespace fs = std::filesystem;

bool UpperCaseExtension(const fs::path& path) {
  std::string ext = path.extension().string();
  bool upper = false;
  for (char c : ext) {
    if (std::islower(static_cast<unsigned char>(c))) return false;
    if (std::isupper(static_cast<unsigned char>(c))) upper = true;
  }
  return upper;
}

// The style of a memo file found as `memo_ext` beside a table of `version`.
void SetStyle(const std::string& memo_ext, uint8_t version, MemoFile& memo) {
  if (memo_ext == ".fpt" || memo_ext == ".dct") {
    memo.style = MemoStyle::kFoxPro;
    memo.block_size = memo.bytes.size() >= 8 ? LoadBe16(memo.bytes.data() + 6) : 64;
    if (memo.block_size == 0) memo.block_size = 64;
  } else if (version == 0x83 || version == 0x03) {
    memo.style = MemoStyle::kDbase3;
    memo.block_size = 512;
  } else {
    memo.style = MemoStyle::kDbase4;
    memo.block_size = memo.bytes.size() >= 22 ? LoadLe16(memo.bytes.data() + 20) : 512;
    if (memo.block_size < 16) memo.block_size = 512;
  }
}

}  // namespace

std::optional<std::string_view> MemoFile::Stored(uint32_t block) const {
  if (block == 0 || bytes.empty()) return std::nullopt;
  const uint64_t start = uint64_t{block} * block_size;
  const uint64_t size = bytes.size();
  if (start >= size) return std::nullopt;
  const char* base = reinterpret_cast<const char*>(bytes.data());
  switch (style) {
    case MemoStyle::kFoxPro: {
      if (start + 8 > size) return std::nullopt;
      const uint64_t length = LoadBe32(bytes.data() + start + 4);
      if (length > size - start - 8) return std::nullopt;
      return std::string_view(base + start + 8, length);
    }
    case MemoStyle::kDbase4: {
      const uint8_t* p = bytes.data() + start;
      if (start + 8 <= size && p[0] == 0xFF && p[1] == 0xFF && p[2] == 0x08 && p[3] == 0x00) {
        uint64_t length = LoadLe32(p + 4);
        length = length >= 8 ? length - 8 : 0;
        length = std::min<uint64_t>(length, size - start - 8);
        return std::string_view(base + start + 8, length);
      }
      [[fallthrough]];
    }
    case MemoStyle::kDbase3: {
      std::string_view rest(base + start, size - start);
      size_t end = rest.find('\x1a');
      return rest.substr(0, end);
    }
    case MemoStyle::kNone:
      break;
  }
  return std::nullopt;
}

fs::path MemoFile::PathFor(const fs::path& table) const {
  if (!path.empty() && table == table_path) return path;
  std::string ext;
  if (AsciiLower(table.extension().string()) == ".dbc")
    ext = ".dct";
  else
    ext = style == MemoStyle::kFoxPro ? ".fpt" : ".dbt";
  // Written under the table's own name only: a memo file of another case
  // belongs to another table (reading looks companions up case-blind).
  fs::path exact = table;
  exact.replace_extension(ext);
  std::error_code ec;
  if (fs::is_regular_file(exact, ec)) return exact;
  if (UpperCaseExtension(table)) {
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  fs::path p = table;
  p.replace_extension(ext);
  return p;
}

Status LoadMemoFile(const fs::path& table_path, uint8_t version, bool vfp, MemoFile& memo) {
  const std::string table_ext = AsciiLower(table_path.extension().string());
  std::vector<std::string> candidates;
  if (table_ext == ".dbc")
    candidates = {".dct", ".fpt"};
  else if (vfp || version == 0xf5 || version == 0xfb)
    candidates = {".fpt", ".dbt"};
  else
    candidates = {".dbt", ".fpt"};
  fs::path found;
  for (const auto& ext : candidates) {
    found = FindCompanion(table_path, ext);
    if (!found.empty()) break;
  }
  if (found.empty()) {
    memo.missing = true;
    memo.style = (vfp || version == 0xf5) ? MemoStyle::kFoxPro
                 : version == 0x83        ? MemoStyle::kDbase3
                                          : MemoStyle::kDbase4;
    memo.block_size = memo.style == MemoStyle::kFoxPro ? 64 : 512;
    return Status::Ok();
  }
  Status s = ReadFileBytes(found, memo.bytes, kMaxMemoBytes);
  if (!s.ok()) {
    return Status::IoError("не удается прочитать файл примечаний " + found.filename().string() +
                           ": " + s.message());
  }
  memo.path = found;
  memo.table_path = table_path;
  SetStyle(AsciiLower(found.extension().string()), version, memo);
  return Status::Ok();
}

uint32_t MemoReference(const uint8_t* p, int length) {
  if (length == 4) return LoadLe32(p);
  uint64_t v = 0;
  for (int i = 0; i < length; ++i) {
    if (p[i] >= '0' && p[i] <= '9') {
      v = v * 10 + (p[i] - '0');
      if (v > 0xFFFFFFFFull) return 0;
    } else if (p[i] != ' ' && p[i] != 0) {
      return 0;
    }
  }
  return static_cast<uint32_t>(v);
}

void StoreMemoReference(uint8_t* p, int length, uint32_t block) {
  if (length == 4) {
    StoreLe32(p, block);
    return;
  }
  std::memset(p, ' ', static_cast<size_t>(length));
  if (block) {
    std::string digits = std::to_string(block);
    std::memcpy(p + length - digits.size(), digits.data(), digits.size());
  }
}

MemoWriter::MemoWriter(MemoStyle style, uint32_t block_size)
    : style_(style),
      block_size_(style == MemoStyle::kDbase3 ? 512 : std::max<uint32_t>(block_size, 1)) {
  if (style_ != MemoStyle::kNone) {
    bytes_.assign(512, 0);
    while (bytes_.size() % block_size_) bytes_.push_back(0);
  }
}

Status MemoWriter::Add(std::string_view content, uint32_t memo_type, uint32_t& block) {
  if (bytes_.size() / block_size_ > 0xFFFFFFF0u) {
    return Status::Invalid("файл примечаний слишком велик");
  }
  block = static_cast<uint32_t>(bytes_.size() / block_size_);
  const size_t at = bytes_.size();
  switch (style_) {
    case MemoStyle::kFoxPro:
      bytes_.resize(at + 8);
      StoreBe32(bytes_.data() + at, memo_type);
      StoreBe32(bytes_.data() + at + 4, static_cast<uint32_t>(content.size()));
      bytes_.insert(bytes_.end(), content.begin(), content.end());
      break;
    case MemoStyle::kDbase4:
      bytes_.resize(at + 8);
      bytes_[at] = 0xFF;
      bytes_[at + 1] = 0xFF;
      bytes_[at + 2] = 0x08;
      bytes_[at + 3] = 0x00;
      StoreLe32(bytes_.data() + at + 4, static_cast<uint32_t>(content.size() + 8));
      bytes_.insert(bytes_.end(), content.begin(), content.end());
      break;
    default:
      bytes_.insert(bytes_.end(), content.begin(), content.end());
      bytes_.push_back(0x1A);
      bytes_.push_back(0x1A);
      break;
  }
  while (bytes_.size() % block_size_) bytes_.push_back(0);
  if (bytes_.size() > kMaxMemoBytes) return Status::Invalid("файл примечаний слишком велик");
  return Status::Ok();
}

std::vector<uint8_t> MemoWriter::Finish() {
  if (style_ == MemoStyle::kNone) return std::move(bytes_);
  const uint32_t next_block = static_cast<uint32_t>(bytes_.size() / block_size_);
  if (style_ == MemoStyle::kFoxPro) {
    StoreBe32(bytes_.data(), next_block);
    bytes_[6] = static_cast<uint8_t>(block_size_ >> 8);
    bytes_[7] = static_cast<uint8_t>(block_size_);
  } else {
    StoreLe32(bytes_.data(), next_block);
    if (style_ == MemoStyle::kDbase4) {
      StoreLe16(bytes_.data() + 20, block_size_);
    } else {
      bytes_[16] = 0x03;
    }
  }
  return std::move(bytes_);
}

fs::path FindCompanion(const fs::path& table, const std::string& ext) {
  fs::path exact = table;
  exact.replace_extension(ext);
  std::error_code ec;
  if (fs::is_regular_file(exact, ec)) return exact;
  const std::string want = AsciiLower(table.stem().string() + ext);
  fs::path dir = table.parent_path();
  if (dir.empty()) dir = ".";
  fs::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (AsciiLower(it->path().filename().string()) == want && it->is_regular_file(ec)) {
      return it->path();
    }
  }
  return {};
}

}  // namespace velmar::dbf
