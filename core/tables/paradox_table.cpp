#include "core/tables/paradox_table.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/base/code_page.h"
#include "core/base/file_util.h"
#include "core/base/format_real.h"
#include "core/tables/paradox_format.h"
#include "core/tables/table_convert.h"

namespace velmar {

namespace fs = std::filesystem;
using namespace paradox;

namespace {

constexpr int kMbChunk = 4096;
constexpr int kWriteHeaderUnit = 2048;
constexpr int kCodePageRoman8 = 1051;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t{Le16(p)} | uint32_t{Le16(p + 2)} << 16; }
void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v & 0xFFFF);
  PutLe16(p + 2, v >> 16);
}

bool AllZero(const uint8_t* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (p[i]) return false;
  }
  return true;
}

int LevelOfVersion(int version) {
  if (version <= 4) return 3;
  if (version <= 9) return 4;
  if (version <= 11) return 5;
  return 7;
}

int VersionOfLevel(int level) {
  switch (level) {
    case 3:
      return 4;
    case 4:
      return 9;
    case 5:
      return 11;
    default:
      return 12;
  }
}

const char* VersionName(int version) {
  if (version == 3) return "3.0";
  if (version == 4) return "3.5";
  if (version <= 9) return "4.x";
  if (version <= 11) return "5.x";
  return "7.x";
}

std::string TextCodecName(int code_page) {
  if (code_page == kCodePageRoman8) return "hp_roman8";
  if (code_page == 936) return "gbk";
  if (code_page == kCodePageUtf8) return "utf-8";
  return "cp" + std::to_string(code_page);
}

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      static const char* kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

size_t CodePointCount(std::string_view utf8) {
  size_t n = 0, pos = 0;
  while (pos < utf8.size()) {
    NextCodePoint(utf8, pos);
    ++n;
  }
  return n;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Files that belong to a table: blobs, indexes, validity checks, views.
bool IsCompanionExtension(const std::string& ext) {
  if (ext == ".mb" || ext == ".px" || ext == ".val" || ext == ".tv" || ext == ".fam") return true;
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  // Secondary indexes: .Xnn/.Ynn (hex field number) and .XGn/.YGn.
  return ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y') &&
         ((hex(ext[2]) && hex(ext[3])) || (ext[2] == 'g' && hex(ext[3])));
}

// Primary (.PX) and secondary (.Xnn/.Ynn, .XGn/.YGn) index files.
bool IsIndexExtension(const std::string& ext) {
  return ext != ".mb" && ext != ".val" && ext != ".tv" && ext != ".fam" &&
         IsCompanionExtension(ext);
}

// Removes the index files of the table at `path` (its name in any case).
// They index the file as it was before the table was written unkeyed; left
// in place, other programs would take them for the table's own and refuse
// it as out of date. Best effort: the table itself is already saved.
void RemoveStaleIndexes(const fs::path& path) {
  std::error_code ec;
  fs::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  const std::string stem = AsciiLower(path.stem().string());
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    std::error_code type_ec;
    if (AsciiLower(p.stem().string()) == stem &&
        IsIndexExtension(AsciiLower(p.extension().string())) && it->is_regular_file(type_ec)) {
      stale.push_back(p);
    }
  }
  for (const fs::path& p : stale) fs::remove(p, ec);
}

// Fixed sizes in the record; 0 for the types whose size the header gives.
int FixedSize(uint8_t code) {
  switch (code) {
    case kDate:
    case kLong:
    case kTime:
    case kAutoInc:
      return 4;
    case kShort:
      return 2;
    case kCurrency:
    case kNumber:
    case kTimestamp:
      return 8;
    case kLogical:
      return 1;
    case kBcd:
      return kBcdSize;
    default:
      return 0;
  }
}

bool ParseNumber(std::string_view text, double& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  std::string copy(text);
  std::replace(copy.begin(), copy.end(), ',', '.');
  const char* begin = copy.data();
  if (*begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, copy.data() + copy.size(), out);
  return ec == std::errc() && ptr == copy.data() + copy.size() && std::isfinite(out);
}

bool ToDouble(const Value& v, double& out) {
  if (auto* b = std::get_if<bool>(&v)) {
    out = *b ? 1 : 0;
    return true;
  }
  if (auto* i = std::get_if<int64_t>(&v)) {
    out = static_cast<double>(*i);
    return true;
  }
  if (auto* d = std::get_if<double>(&v)) {
    out = *d;
    return std::isfinite(*d);
  }
  if (auto* s = std::get_if<std::string>(&v)) return ParseNumber(*s, out);
  return false;
}

bool ToInteger(const Value& v, int64_t& out) {
  if (auto* i = std::get_if<int64_t>(&v)) {
    out = *i;
    return true;
  }
  double d;
  if (!ToDouble(v, d) || d != std::floor(d) || std::fabs(d) > 9.2e18) return false;
  out = static_cast<int64_t>(d);
  return true;
}

bool ParseDate(std::string_view s, Date& out) {
  int y = 0, m = 0, d = 0;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  auto ok = [](std::string_view t, int& v) {
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && p == t.data() + t.size();
  };
  if (!ok(s.substr(0, 4), y) || !ok(s.substr(5, 2), m) || !ok(s.substr(8, 2), d)) return false;
  out = Date{y, m, d};
  return IsValidDate(out);
}

struct Field {
  uint8_t code = 0;
  int offset = 0;
  int size = 0;
};

struct HeaderFacts {
  int version_byte = 12;
  int file_type = 2;
  int code_page_word = -1;  // -1: the file stores none
  int sort_order = 0;
  std::string sort_order_id;
  int header_size = 0;
  int block_size = 0;
  int primary_key_fields = 0;
  int64_t header_record_count = 0;
};

class ParadoxTable final : public Table {
 public:
  ParadoxTable(fs::path path, int level, int code_page, std::vector<ColumnDef> columns,
               std::vector<Field> fields, int record_size)
      : level_(level),
        code_page_(code_page),
        columns_(std::move(columns)),
        fields_(std::move(fields)),
        record_size_(record_size) {
    SetPath(std::move(path));
    blobs_.emplace_back();  // index 0 means "no blob"
  }

  int ColumnCount() const override { return static_cast<int>(columns_.size()); }
  const ColumnDef& Column(int index) const override { return columns_[index]; }
  int RecordCount() const override { return record_count_; }

  bool IsNullAt(int row, int column) const override {
    const uint8_t* p = Cell(row, column);
    if (!p) return true;
    const Field& f = fields_[column];
    if (IsBlobType(f.code)) return BlobLength(p, f) == 0;
    return AllZero(p, f.size);
  }

  float AsFloatAt(int row, int column) const override {
    const uint8_t* p = Cell(row, column);
    if (!p) return 0;
    switch (fields_[column].code) {
      case kShort: {
        uint16_t raw = LoadBe16(p);
        return raw ? static_cast<float>(static_cast<int16_t>(raw ^ 0x8000)) : 0.0f;
      }
      case kLong: {
        uint32_t raw = LoadBe32(p);
        return raw ? static_cast<float>(static_cast<int32_t>(raw ^ 0x80000000u)) : 0.0f;
      }
      case kNumber:
      case kCurrency: {
        uint64_t raw = LoadBe64(p);
        return raw ? static_cast<float>(std::bit_cast<double>(DecodeDoubleBits(raw))) : 0.0f;
      }
      // As GetValue reads it: 0x80 is false, any other stored byte true.
      case kLogical:
        return p[0] != 0 && p[0] != 0x80 ? 1.0f : 0.0f;
      default:
        return 0;
    }
  }

  Value ValueAt(int row, int column) const override;
  std::string ValueJsonAt(int row, int column) const override;

  Status SetValueAt(int row, int column, const Value& value) override {
    Status status = StoreValue(row, column, value);
    if (status.ok()) SetModified(true);
    return status;
  }

  TableFormat Format() const override { return {TableFamily::kParadox, level_}; }
  int CodePage() const override { return code_page_; }
  Status Save() override { return WriteAs(Path(), level_); }
  Status SaveAs(const fs::path& path, const TableFormat& format) override {
    if (format.family != TableFamily::kParadox) {
      // A dBase or FoxPro copy is written beside; this table stays a Paradox
      // table and the caller opens the copy.
      std::unique_ptr<Table> converted;
      return ConvertTable(*this, path, format, converted);
    }
    return WriteAs(path, format.level);
  }

  std::vector<std::pair<std::string, std::string>> DumpFacts() const override;
  std::vector<std::pair<std::string, std::string>> ColumnDumpFacts(int column) const override {
    return {{"type_code", std::to_string(fields_[column].code)}};
  }

  size_t HeldBytes() const {
    size_t n = records_.capacity();
    for (const Bytes& b : blobs_) n += b.capacity();
    return n;
  }

  // --- Loading ---
  Status Load(const std::vector<uint8_t>& file, const HeaderFacts& facts);
  Status LoadBlobs(const std::vector<uint8_t>* mb);
  void SetFacts(const HeaderFacts& facts) { facts_ = facts; }
  void SetBlobPath(fs::path p) { blob_path_ = std::move(p); }

 protected:
  Status AppendRecord() override {
    records_.resize(records_.size() + record_size_, 0);
    ++record_count_;
    MoveTo(record_count_ - 1);
    NumberNewRecord(record_count_ - 1);
    SetModified(true);
    return Status::Ok();
  }
  Status InsertRecord() override {
    const int at = std::min(Position(), record_count_);
    records_.insert(records_.begin() + static_cast<ptrdiff_t>(at) * record_size_,
                    static_cast<size_t>(record_size_), uint8_t{0});
    ++record_count_;
    MoveTo(at);
    NumberNewRecord(at);
    SetModified(true);
    return Status::Ok();
  }
  Status DeleteRecord() override {
    if (Eof()) return Status::Invalid("Нет текущей записи для удаления");
    const auto begin = records_.begin() + static_cast<ptrdiff_t>(Position()) * record_size_;
    records_.erase(begin, begin + record_size_);
    --record_count_;
    // The next record becomes current, or the new last one.
    MoveTo(Position() < record_count_ ? Position() : record_count_ - 1);
    SetModified(true);
    return Status::Ok();
  }

 private:
  const uint8_t* Cell(int row, int column) const {
    if (row < 0 || row >= record_count_ || column < 0 || column >= ColumnCount()) return nullptr;
    return records_.data() + static_cast<size_t>(row) * record_size_ + fields_[column].offset;
  }
  uint8_t* MutableCell(int row, int column) {
    return records_.data() + static_cast<size_t>(row) * record_size_ + fields_[column].offset;
  }
  static uint32_t BlobLength(const uint8_t* p, const Field& f) {
    return Le32(p + f.size - kBlobDescriptorSize + 4);
  }
  // The blob bytes of a cell: in the leader or in the blob store.
  std::string_view BlobBytes(const uint8_t* p, const Field& f) const {
    const uint8_t* desc = p + f.size - kBlobDescriptorSize;
    const uint32_t length = Le32(desc + 4);
    const uint32_t index = Le32(desc);
    if (length == 0) return {};
    if (index == 0) {
      return {reinterpret_cast<const char*>(p),
              std::min<size_t>(length, f.size - kBlobDescriptorSize)};
    }
    const Bytes& b = blobs_[index];
    return {reinterpret_cast<const char*>(b.data()), b.size()};
  }
  Status StoreValue(int row, int column, const Value& value);
  // Gives a new record's autoincrement fields the next numbers, as Paradox
  // does; an explicit value set later replaces them.
  void NumberNewRecord(int row) {
    for (size_t c = 0; c < fields_.size(); ++c) {
      if (fields_[c].code != kAutoInc) continue;
      if (last_autoinc_ < 0) {
        last_autoinc_ = 0;
        const uint8_t* base = records_.data() + fields_[c].offset;
        for (int r = 0; r < record_count_; ++r) {
          const uint32_t raw = LoadBe32(base + static_cast<size_t>(r) * record_size_);
          if (raw) {
            last_autoinc_ =
                std::max<int64_t>(last_autoinc_, static_cast<int32_t>(raw ^ 0x80000000u));
          }
        }
      }
      if (last_autoinc_ < std::numeric_limits<int32_t>::max()) {
        StoreBe32(MutableCell(row, static_cast<int>(c)),
                  static_cast<uint32_t>(++last_autoinc_) ^ 0x80000000u);
      }
    }
  }
  Status SetBlob(int row, int column, std::string_view bytes);
  Status CheckText(const std::string& utf8, size_t max_bytes, const ColumnDef& def,
                   std::string& encoded) const;
  Status Build(const fs::path& path, int level, std::vector<uint8_t>& db, std::vector<uint8_t>& mb,
               HeaderFacts& facts) const;
  Status WriteAs(const fs::path& path, int level);

  int level_;
  int code_page_;
  std::vector<ColumnDef> columns_;
  std::vector<Field> fields_;
  int record_size_;
  int record_count_ = 0;
  std::vector<uint8_t> records_;
  std::vector<Bytes> blobs_;
  HeaderFacts facts_;
  fs::path blob_path_;
  bool blob_file_missing_ = false;
  int64_t last_autoinc_ = -1;  // -1: not yet taken from the records
};

Value ParadoxTable::ValueAt(int row, int column) const {
  const uint8_t* p = Cell(row, column);
  if (!p) return {};
  const Field& f = fields_[column];
  if (IsBlobType(f.code)) {
    if (BlobLength(p, f) == 0) return {};
    std::string_view bytes = BlobBytes(p, f);
    if (f.code == kMemo) return DecodeToUtf8(bytes, code_page_);
    return Bytes(bytes.begin(), bytes.end());
  }
  if (AllZero(p, f.size)) return {};
  switch (f.code) {
    case kAlpha: {
      const void* nul = std::memchr(p, 0, f.size);
      size_t n = nul ? static_cast<const uint8_t*>(nul) - p : f.size;
      return DecodeToUtf8(std::string_view(reinterpret_cast<const char*>(p), n), code_page_);
    }
    case kShort:
      return int64_t{static_cast<int16_t>(LoadBe16(p) ^ 0x8000)};
    case kLong:
    case kAutoInc:
      return int64_t{static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u)};
    case kNumber:
    case kCurrency:
      return DecodeDouble(p);
    case kBcd:
      return DecodeBcd(p);
    case kLogical:
      return p[0] != 0x80;
    case kDate:
      return DateFromDayNumber(static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u));
    case kTime:
      return TimeOfDay{static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u)};
    case kTimestamp: {
      const double ms = DecodeDouble(p);
      // Anything outside the calendar is damage, not a moment.
      if (!std::isfinite(ms) || std::fabs(ms) > 4e17) return {};
      const double day = std::floor(ms / 86400000.0);
      const auto rest = static_cast<int32_t>(std::llround(ms - day * 86400000.0));
      return Timestamp{DateFromDayNumber(static_cast<int64_t>(day)), rest};
    }
    case kBytes:
      return Bytes(p, p + f.size);
    default:
      return {};
  }
}

std::string ParadoxTable::ValueJsonAt(int row, int column) const {
  const uint8_t* p = Cell(row, column);
  if (!p) return {};
  const Field& f = fields_[column];
  if (IsBlobType(f.code) && f.code != kMemo) {
    const uint32_t length = BlobLength(p, f);
    if (length == 0) return {};
    return "{\"kind\":\"memo\",\"length\":" + std::to_string(BlobBytes(p, f).size()) + "}";
  }
  if (f.code == kBytes && !AllZero(p, f.size)) {
    static const char* kHex = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < f.size; ++i) {
      hex += kHex[p[i] >> 4];
      hex += kHex[p[i] & 15];
    }
    return "{\"kind\":\"bytes\",\"hex\":\"" + hex + "\"}";
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> ParadoxTable::DumpFacts() const {
  static const char* kFileTypes[] = {"indexed .DB (keyed table)", "primary index .PX",
                                     "non-indexed .DB (unkeyed table)"};
  std::vector<std::pair<std::string, std::string>> facts;
  std::vector<std::string> companions;
  std::error_code ec;
  fs::path dir = Path().parent_path();
  if (dir.empty()) dir = ".";
  const std::string stem = AsciiLower(Path().stem().string());
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (p.filename() != Path().filename() && AsciiLower(p.stem().string()) == stem &&
        IsCompanionExtension(AsciiLower(p.extension().string()))) {
      companions.push_back(p.filename().string());
    }
  }
  std::sort(companions.begin(), companions.end());
  std::string list = "[";
  for (size_t i = 0; i < companions.size(); ++i) {
    if (i) list += ',';
    list += JsonString(companions[i]);
  }
  facts.emplace_back("companions", list + "]");
  facts.emplace_back("format", "\"paradox\"");
  facts.emplace_back("version_byte", std::to_string(facts_.version_byte));
  facts.emplace_back("version", JsonString(VersionName(facts_.version_byte)));
  facts.emplace_back("level", std::to_string(level_));
  facts.emplace_back("file_type", std::to_string(facts_.file_type));
  facts.emplace_back("file_type_meaning", JsonString(kFileTypes[facts_.file_type == 0 ? 0 : 2]));
  facts.emplace_back("code_page", facts_.code_page_word < 0
                                      ? std::string("null")
                                      : std::to_string(facts_.code_page_word));
  facts.emplace_back("sort_order", std::to_string(facts_.sort_order));
  facts.emplace_back("sort_order_id", facts_.sort_order_id.empty()
                                          ? std::string("null")
                                          : JsonString(facts_.sort_order_id));
  facts.emplace_back("text_codec", JsonString(TextCodecName(code_page_)));
  facts.emplace_back("encrypted", "false");
  facts.emplace_back("record_size", std::to_string(record_size_));
  facts.emplace_back("header_size", std::to_string(facts_.header_size));
  facts.emplace_back("block_size", std::to_string(facts_.block_size));
  facts.emplace_back("primary_key_fields", std::to_string(facts_.primary_key_fields));
  facts.emplace_back("header_record_count", std::to_string(facts_.header_record_count));
  if (blob_file_missing_) facts.emplace_back("memo_file_missing", "true");
  return facts;
}

Status ParadoxTable::CheckText(const std::string& utf8, size_t max_bytes, const ColumnDef& def,
                               std::string& encoded) const {
  if (!CanEncode(utf8, code_page_)) {
    return Status::Invalid("Текст для поля «" + def.name +
                           "» содержит символы, которых нет в кодовой странице таблицы");
  }
  encoded = EncodeFromUtf8(utf8, code_page_);
  if (encoded.size() > max_bytes) {
    return Status::Invalid("Текст не помещается в поле «" + def.name + "» (не более " +
                           std::to_string(max_bytes) + " символов)");
  }
  return Status::Ok();
}

Status ParadoxTable::SetBlob(int row, int column, std::string_view bytes) {
  const Field& f = fields_[column];
  uint8_t* p = MutableCell(row, column);
  const int leader = f.size - kBlobDescriptorSize;
  std::memset(p, 0, f.size);
  if (bytes.empty()) return Status::Ok();
  if (bytes.size() > 0x7FFFFFFFu) return Status::Invalid("Слишком большое значение поля");
  uint8_t* desc = p + leader;
  // Text memos keep a copy of their beginning in the record.
  if (f.code == kMemo || bytes.size() <= static_cast<size_t>(leader)) {
    std::memcpy(p, bytes.data(), std::min<size_t>(bytes.size(), leader));
  }
  uint32_t index = 0;
  if (bytes.size() > static_cast<size_t>(leader)) {
    blobs_.emplace_back(bytes.begin(), bytes.end());
    index = static_cast<uint32_t>(blobs_.size() - 1);
  }
  PutLe32(desc, index);
  PutLe32(desc + 4, static_cast<uint32_t>(bytes.size()));
  return Status::Ok();
}

Status ParadoxTable::StoreValue(int row, int column, const Value& value) {
  if (column < 0 || column >= ColumnCount()) return Status::Invalid("Нет такого поля");
  if (row < 0 || row >= record_count_) return Status::Invalid("Нет текущей записи");
  const Field& f = fields_[column];
  const ColumnDef& def = columns_[column];
  auto refuse = [&def]() {
    return Status::Invalid("Значение не подходит для поля «" + def.name + "»");
  };
  if (IsNullValue(value)) {
    if (IsBlobType(f.code)) return SetBlob(row, column, {});
    std::memset(MutableCell(row, column), 0, f.size);
    return Status::Ok();
  }
  uint8_t buf[kBcdSize] = {};
  switch (f.code) {
    case kAlpha: {
      std::string text;
      if (auto* s = std::get_if<std::string>(&value)) {
        text = *s;
      } else if (auto* i = std::get_if<int64_t>(&value)) {
        text = std::to_string(*i);
      } else if (auto* d = std::get_if<double>(&value)) {
        text = FormatReal(*d);
      } else {
        return refuse();
      }
      std::string encoded;
      VELMAR_RETURN_IF_ERROR(CheckText(text, f.size, def, encoded));
      uint8_t* p = MutableCell(row, column);
      std::memset(p, 0, f.size);
      std::memcpy(p, encoded.data(), encoded.size());
      return Status::Ok();
    }
    case kMemo: {
      auto* s = std::get_if<std::string>(&value);
      if (!s) return refuse();
      std::string encoded;
      VELMAR_RETURN_IF_ERROR(CheckText(*s, 0x7FFFFFFF, def, encoded));
      return SetBlob(row, column, encoded);
    }
    case kBlob:
    case kFormattedMemo:
    case kOle:
    case kGraphic: {
      if (auto* b = std::get_if<Bytes>(&value)) {
        return SetBlob(row, column,
                       std::string_view(reinterpret_cast<const char*>(b->data()), b->size()));
      }
      if (auto* s = std::get_if<std::string>(&value)) return SetBlob(row, column, *s);
      return refuse();
    }
    case kBytes: {
      auto* b = std::get_if<Bytes>(&value);
      if (!b || b->size() > static_cast<size_t>(f.size)) return refuse();
      uint8_t* p = MutableCell(row, column);
      std::memset(p, 0, f.size);
      std::memcpy(p, b->data(), b->size());
      return Status::Ok();
    }
    case kShort: {
      int64_t v;
      // The smallest value of each width encodes to all zero bytes, which is null.
      if (!ToInteger(value, v) || v <= -32768 || v > 32767) return refuse();
      StoreBe16(buf, static_cast<uint16_t>(v) ^ 0x8000);
      break;
    }
    case kLong:
    case kAutoInc: {
      int64_t v;
      if (!ToInteger(value, v) || v <= std::numeric_limits<int32_t>::min() ||
          v > std::numeric_limits<int32_t>::max()) {
        return refuse();
      }
      StoreBe32(buf, static_cast<uint32_t>(v) ^ 0x80000000u);
      if (f.code == kAutoInc && last_autoinc_ >= 0) last_autoinc_ = std::max(last_autoinc_, v);
      break;
    }
    case kNumber:
    case kCurrency: {
      double d;
      if (!ToDouble(value, d)) return refuse();
      if (auto* i = std::get_if<int64_t>(&value); i && static_cast<int64_t>(d) != *i) {
        return refuse();
      }
      EncodeDouble(buf, d);
      break;
    }
    case kBcd: {
      double d;
      if (!ToDouble(value, d) || !EncodeBcd(buf, d, def.decimals)) return refuse();
      break;
    }
    case kLogical: {
      if (auto* b = std::get_if<bool>(&value)) {
        buf[0] = *b ? 0x81 : 0x80;
      } else {
        int64_t v;
        if (!ToInteger(value, v) || (v != 0 && v != 1)) return refuse();
        buf[0] = v ? 0x81 : 0x80;
      }
      break;
    }
    case kDate: {
      Date date;
      if (auto* d = std::get_if<Date>(&value)) {
        date = *d;
      } else if (auto* t = std::get_if<Timestamp>(&value); t && t->milliseconds == 0) {
        date = t->date;
      } else if (auto* s = std::get_if<std::string>(&value); !s || !ParseDate(*s, date)) {
        return refuse();
      }
      if (!IsValidDate(date)) return refuse();
      StoreBe32(buf, static_cast<uint32_t>(DayNumber(date)) ^ 0x80000000u);
      break;
    }
    case kTime: {
      auto* t = std::get_if<TimeOfDay>(&value);
      if (!t || t->milliseconds < 0 || t->milliseconds >= 86400000) return refuse();
      StoreBe32(buf, static_cast<uint32_t>(t->milliseconds) ^ 0x80000000u);
      break;
    }
    case kTimestamp: {
      Timestamp ts;
      if (auto* t = std::get_if<Timestamp>(&value)) {
        ts = *t;
      } else if (auto* d = std::get_if<Date>(&value)) {
        ts.date = *d;
      } else {
        return refuse();
      }
      if (!IsValidDate(ts.date) || ts.milliseconds < 0 || ts.milliseconds >= 86400000) {
        return refuse();
      }
      EncodeDouble(buf, static_cast<double>(DayNumber(ts.date)) * 86400000.0 + ts.milliseconds);
      break;
    }
    default:
      return refuse();
  }
  std::memcpy(MutableCell(row, column), buf, f.size);
  return Status::Ok();
}

// --- Reading ---

Status ParadoxTable::Load(const std::vector<uint8_t>& file, const HeaderFacts& facts) {
  facts_ = facts;
  const size_t size = file.size();
  const size_t header = facts.header_size;
  const size_t block_size = facts.block_size;
  // Blocks that are at least partly present; the last one may be cut short.
  const size_t present = size <= header ? 0 : (size - header + block_size - 1) / block_size;
  std::vector<bool> visited(std::min<size_t>(present, 65535) + 1, false);
  const uint8_t* base = file.data();
  unsigned block = Le16(base + 0x0E);
  const size_t capacity = (block_size - 6) / record_size_;
  while (block != 0) {
    if (block > present) {
      return Status::Corrupt("Цепочка блоков данных таблицы Paradox указывает за конец файла");
    }
    if (visited[block]) return Status::Corrupt("Цепочка блоков данных таблицы Paradox замкнута");
    visited[block] = true;
    const size_t offset = header + (block - 1) * block_size;
    if (offset + 6 > size) {
      return Status::Corrupt("Блок данных таблицы Paradox обрезан");
    }
    const unsigned next = Le16(base + offset);
    const auto add = static_cast<int16_t>(Le16(base + offset + 4));
    if (add >= 0) {
      if (add % record_size_ != 0) {
        return Status::Corrupt("Блок данных таблицы Paradox повреждён");
      }
      const size_t count = static_cast<size_t>(add) / record_size_ + 1;
      if (count > capacity || offset + 6 + count * record_size_ > size) {
        return Status::Corrupt("Блок данных таблицы Paradox повреждён");
      }
      if (record_count_ + count > static_cast<size_t>(std::numeric_limits<int>::max() / 2)) {
        return Status::Corrupt("Слишком много записей в таблице Paradox");
      }
      records_.insert(records_.end(), base + offset + 6, base + offset + 6 + count * record_size_);
      record_count_ += static_cast<int>(count);
    }
    block = next;
  }
  records_.shrink_to_fit();
  return Status::Ok();
}

Status ParadoxTable::LoadBlobs(const std::vector<uint8_t>* mb) {
  blob_file_missing_ = mb == nullptr;
  const Status bad = Status::Corrupt("Файл BLOB-полей (.mb) таблицы Paradox повреждён");
  // Blobs of a sound file do not overlap, so together they fit in the file;
  // records that all point at one large blob must not multiply it.
  size_t loaded = 0;
  for (int r = 0; r < record_count_; ++r) {
    uint8_t* rec = records_.data() + static_cast<size_t>(r) * record_size_;
    for (const Field& f : fields_) {
      if (!IsBlobType(f.code)) continue;
      const size_t leader = f.size - kBlobDescriptorSize;
      uint8_t* desc = rec + f.offset + leader;
      const uint32_t pointer = Le32(desc);
      const uint32_t length = Le32(desc + 4);
      if (length <= leader) {
        PutLe32(desc, 0);
        continue;
      }
      if (!mb) {
        std::memset(desc, 0, kBlobDescriptorSize);
        continue;
      }
      const size_t block = pointer & 0xFFFFFF00u;
      const unsigned index = pointer & 0xFF;
      if (block == 0 || block + 12 > mb->size()) return bad;
      const uint8_t* b = mb->data() + block;
      size_t start;
      if (index == 0xFF) {
        if (b[0] != 2) return bad;
        start = block + 9;
      } else {
        if (b[0] != 3 || index >= 64) return bad;
        const size_t entry = block + 12 + index * 5;
        if (entry + 5 > mb->size() || (*mb)[entry] == 0) return bad;
        start = block + size_t{(*mb)[entry]} * 16;
      }
      if (start + length > mb->size()) return bad;
      loaded += length;
      if (loaded > mb->size()) return bad;
      blobs_.emplace_back(mb->begin() + static_cast<ptrdiff_t>(start),
                          mb->begin() + static_cast<ptrdiff_t>(start + length));
      PutLe32(desc, static_cast<uint32_t>(blobs_.size() - 1));
    }
  }
  return Status::Ok();
}

// --- Writing ---

Status ParadoxTable::Build(const fs::path& path, int level, std::vector<uint8_t>& db,
                           std::vector<uint8_t>& mb, HeaderFacts& facts) const {
  if (level != 3 && level != 4 && level != 5 && level != 7) {
    return Status::Invalid("Неверный уровень таблицы Paradox: " + std::to_string(level));
  }
  bool has_blobs = false;
  int64_t max_autoinc = 0;
  for (size_t c = 0; c < fields_.size(); ++c) {
    if (MinimumLevel(fields_[c].code) > level) {
      return Status::Unsupported(
          "Поле «" + columns_[c].name + "» типа " + std::string(1, columns_[c].native_type) +
          " нельзя записать в таблицу Paradox уровня " + std::to_string(level));
    }
    has_blobs |= IsBlobType(fields_[c].code);
  }
  // Level 3 files carry no code page; readers take them as 437.
  const int code_page = level == 3 ? 437 : code_page_;
  std::vector<uint8_t> records = records_;
  if (code_page != code_page_) {
    for (int r = 0; r < record_count_; ++r) {
      for (size_t c = 0; c < fields_.size(); ++c) {
        const Field& f = fields_[c];
        // Only Alpha carries text at level 3: memos need level 4.
        if (f.code != kAlpha) continue;
        uint8_t* p = records.data() + static_cast<size_t>(r) * record_size_ + f.offset;
        const void* nul = std::memchr(p, 0, f.size);
        const size_t len = nul ? static_cast<const uint8_t*>(nul) - p : f.size;
        std::string text =
            DecodeToUtf8(std::string_view(reinterpret_cast<char*>(p), len), code_page_);
        if (!CanEncode(text, code_page)) {
          return Status::Unsupported("Текст поля «" + columns_[c].name +
                                     "» нельзя записать в кодовой странице 437");
        }
        std::string encoded = EncodeFromUtf8(text, code_page);
        if (encoded.size() != len) return Status::Unsupported("Текст не помещается в поле");
        std::memcpy(p, encoded.data(), len);
      }
    }
  }
  for (int r = 0; r < record_count_; ++r) {
    for (size_t c = 0; c < fields_.size(); ++c) {
      if (fields_[c].code != kAutoInc) continue;
      const uint8_t* p = records.data() + static_cast<size_t>(r) * record_size_ + fields_[c].offset;
      if (LoadBe32(p)) {
        max_autoinc =
            std::max<int64_t>(max_autoinc, static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u));
      }
    }
  }

  // The smallest block that holds a record and keeps the block count in a word.
  const int max_kb = level >= 5 ? 32 : 4;
  int block_kb = 0;
  size_t per_block = 0, blocks = 0;
  for (int kb : {2, 4, 8, 16, 32}) {
    if (kb > max_kb) break;
    per_block = (kb * 1024 - 6) / record_size_;
    if (per_block == 0) continue;
    blocks = (record_count_ + per_block - 1) / per_block;
    if (blocks <= 65535) {
      block_kb = kb;
      break;
    }
  }
  if (block_kb == 0) {
    return Status::Unsupported("Записи таблицы не помещаются в файл Paradox уровня " +
                               std::to_string(level));
  }
  const size_t block_size = static_cast<size_t>(block_kb) * 1024;
  const int version = VersionOfLevel(level);
  const int n = static_cast<int>(fields_.size());

  // Header contents after the fixed part.
  std::vector<uint8_t> tail;
  auto put = [&tail](const void* data, size_t len) {
    const auto* b = static_cast<const uint8_t*>(data);
    tail.insert(tail.end(), b, b + len);
  };
  for (const Field& f : fields_) {
    uint8_t info[2] = {f.code, static_cast<uint8_t>(f.code == kBcd ? 0 : f.size)};
    if (f.code == kBcd) info[1] = static_cast<uint8_t>(columns_[&f - fields_.data()].decimals);
    put(info, 2);
  }
  tail.resize(tail.size() + 4 + 4 * n, 0);  // name pointers, unused on disk
  std::string table_name = EncodeFromUtf8(path.filename().string(), code_page);
  const size_t name_room = version >= 12 ? 261 : 79;
  table_name.resize(std::min(table_name.size(), name_room - 1));
  table_name.resize(name_room, '\0');
  put(table_name.data(), table_name.size());
  for (const ColumnDef& c : columns_) {
    std::string name = EncodeFromUtf8(c.name, code_page);
    put(name.c_str(), name.size() + 1);
  }
  const bool roman8 = code_page == kCodePageRoman8;
  facts.sort_order = roman8 ? 0x14 : 0;
  facts.sort_order_id = level == 3 ? "" : (roman8 ? "BLROM800" : "ascii");
  if (level > 3) {
    for (int i = 1; i <= n; ++i) {
      uint8_t num[2];
      PutLe16(num, i);
      put(num, 2);
    }
    put(facts.sort_order_id.c_str(), facts.sort_order_id.size() + 1);
  }
  const size_t fixed = level > 3 ? 0x78 : 0x58;
  const size_t used = fixed + tail.size();
  const size_t header_size = (used + kWriteHeaderUnit - 1) / kWriteHeaderUnit * kWriteHeaderUnit;
  if (header_size > 0xF800) return Status::Unsupported("Слишком много полей для таблицы Paradox");

  db.assign(header_size + blocks * block_size, 0);
  uint8_t* h = db.data();
  PutLe16(h + 0x00, record_size_);
  PutLe16(h + 0x02, static_cast<uint32_t>(header_size));
  h[0x04] = 2;  // unkeyed: no primary index is written
  h[0x05] = static_cast<uint8_t>(block_kb);
  PutLe32(h + 0x06, record_count_);
  PutLe16(h + 0x0A, static_cast<uint32_t>(blocks));
  PutLe16(h + 0x0C, static_cast<uint32_t>(blocks));
  PutLe16(h + 0x0E, blocks ? 1 : 0);
  PutLe16(h + 0x10, static_cast<uint32_t>(blocks));
  PutLe16(h + 0x21, n);
  PutLe32(h + 0x25, level > 3 ? 0xFF00FF00u : 0);
  h[0x29] = static_cast<uint8_t>(facts.sort_order);
  h[0x39] = static_cast<uint8_t>(version);
  PutLe16(h + 0x3A, static_cast<uint32_t>(blocks));
  h[0x3E] = 0x1F;
  h[0x3F] = 0x0F;
  PutLe32(h + 0x49, static_cast<uint32_t>(max_autoinc));
  PutLe16(h + 0x51, static_cast<uint32_t>(used));
  if (level > 3) {
    h[0x56] = 0x20;
    PutLe16(h + 0x58, 0x100 | version);
    PutLe16(h + 0x5A, 0x100 | version);
    PutLe16(h + 0x64, n + 1);
    PutLe16(h + 0x6A, roman8 ? 0 : static_cast<uint32_t>(code_page));
    h[0x6C] = 1;
    h[0x6D] = 1;
  }
  std::memcpy(h + fixed, tail.data(), tail.size());

  // Blob file: a header chunk, then one block per blob that outgrows its leader.
  mb.clear();
  if (has_blobs) {
    mb.assign(kMbChunk, 0);
    PutLe16(&mb[1], 1);
    PutLe16(&mb[3], 1);
    PutLe16(&mb[11], 0x1000);
    PutLe16(&mb[13], 0x1000);
    mb[15] = 0x10;
    mb[16] = 0x40;
    PutLe16(&mb[19], 0x0008);
  }
  for (int r = 0; r < record_count_; ++r) {
    uint8_t* rec = records.data() + static_cast<size_t>(r) * record_size_;
    for (const Field& f : fields_) {
      if (!IsBlobType(f.code)) continue;
      uint8_t* desc = rec + f.offset + f.size - kBlobDescriptorSize;
      const uint32_t index = Le32(desc);
      if (index == 0) continue;
      const Bytes& blob = blobs_[index];
      const size_t offset = mb.size();
      const size_t chunks = (9 + blob.size() + kMbChunk - 1) / kMbChunk;
      if (offset + chunks * kMbChunk > 0xFFFFFF00u || chunks > 0xFFFF) {
        return Status::Unsupported("Файл BLOB-полей таблицы Paradox получается слишком большим");
      }
      mb.resize(offset + chunks * kMbChunk, 0);
      uint8_t* b = &mb[offset];
      b[0] = 2;
      PutLe16(b + 1, static_cast<uint32_t>(chunks));
      PutLe32(b + 3, static_cast<uint32_t>(blob.size()));
      PutLe16(b + 7, 1);
      std::memcpy(b + 9, blob.data(), blob.size());
      PutLe32(desc, static_cast<uint32_t>(offset) | 0xFF);
      PutLe16(desc + 8, 1);
    }
  }

  for (size_t b = 0; b < blocks; ++b) {
    uint8_t* p = db.data() + header_size + b * block_size;
    const size_t first = b * per_block;
    const size_t count = std::min(per_block, record_count_ - first);
    PutLe16(p, b + 1 < blocks ? static_cast<uint32_t>(b + 2) : 0);
    PutLe16(p + 2, static_cast<uint32_t>(b));
    PutLe16(p + 4, static_cast<uint32_t>((count - 1) * record_size_));
    std::memcpy(p + 6, records.data() + first * record_size_, count * record_size_);
  }

  facts.version_byte = version;
  facts.file_type = 2;
  facts.code_page_word = level == 3 ? -1 : (roman8 ? 0 : code_page);
  facts.header_size = static_cast<int>(header_size);
  facts.block_size = static_cast<int>(block_size);
  facts.primary_key_fields = 0;
  facts.header_record_count = record_count_;
  return Status::Ok();
}

Status ParadoxTable::WriteAs(const fs::path& path, int level) {
  std::vector<uint8_t> db, mb;
  HeaderFacts facts;
  VELMAR_RETURN_IF_ERROR(Build(path, level, db, mb, facts));
  std::vector<std::pair<fs::path, std::vector<uint8_t>>> files;
  files.emplace_back(path, std::move(db));
  const bool has_blobs = !mb.empty();
  fs::path blob_path = path == Path() && !blob_path_.empty() ? blob_path_ : ParadoxBlobPath(path);
  if (has_blobs) files.emplace_back(blob_path, std::move(mb));
  VELMAR_RETURN_IF_ERROR(WriteFilesAtomically(files));
  RemoveStaleIndexes(path);
  if (level == 3 && code_page_ != 437) {
    // The records were written transcoded; keep memory in step with the file.
    std::unique_ptr<Table> reopened;
    VELMAR_RETURN_IF_ERROR(OpenParadoxTable(path, reopened));
    auto* p = static_cast<ParadoxTable*>(reopened.get());
    records_ = std::move(p->records_);
    blobs_ = std::move(p->blobs_);
    code_page_ = 437;
  }
  facts_ = facts;
  level_ = level;
  if (has_blobs) blob_path_ = blob_path;
  blob_file_missing_ = false;
  SetPath(path);
  SetModified(false);
  return Status::Ok();
}

Status MakeFields(const std::vector<ColumnDef>& columns, int level, std::vector<Field>& fields,
                  std::vector<ColumnDef>& defs, int& record_size) {
  if (columns.empty() || columns.size() > 255) {
    return Status::Invalid("Таблица Paradox должна иметь от 1 до 255 полей");
  }
  record_size = 0;
  std::vector<std::string> seen;
  for (const ColumnDef& c : columns) {
    const uint8_t code = TypeCodeOf(c.native_type);
    if (code == 0) {
      return Status::Invalid("Тип поля «" + c.name + "» не поддерживается таблицами Paradox");
    }
    if (MinimumLevel(code) > level) {
      return Status::Unsupported("Поле «" + c.name + "» типа " + std::string(1, c.native_type) +
                                 " нельзя записать в таблицу Paradox уровня " +
                                 std::to_string(level));
    }
    if (c.name.empty() || CodePointCount(c.name) > static_cast<size_t>(kMaxNameLength)) {
      return Status::Invalid("Имя поля «" + c.name + "» должно содержать от 1 до 25 символов");
    }
    std::string key = AsciiLower(c.name);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
      return Status::Invalid("Имя поля «" + c.name + "» повторяется");
    }
    seen.push_back(key);
    int size = FixedSize(code);
    ColumnDef def;
    def.name = c.name;
    def.kind = KindOfType(code);
    def.native_type = c.native_type;
    if (size == 0) {
      size = c.length;
      const int min = IsBlobType(code) ? (code == kMemo ? 11 : 10) : 1;
      const int max = IsBlobType(code) ? 250 : 255;
      if (size < min || size > max) {
        return Status::Invalid("Неверная длина поля «" + c.name + "»: " + std::to_string(size));
      }
    }
    if (code == kBcd) {
      if (c.decimals < 0 || c.decimals > 32) {
        return Status::Invalid("Неверное число знаков после запятой в поле «" + c.name + "»");
      }
      def.decimals = c.decimals;
    }
    def.length = size;
    fields.push_back(Field{code, record_size, size});
    defs.push_back(def);
    record_size += size;
  }
  if (record_size + 6 > (level >= 5 ? 32768 : 4096)) {
    return Status::Unsupported("Запись таблицы Paradox уровня " + std::to_string(level) +
                               " получается слишком длинной");
  }
  return Status::Ok();
}

fs::path FindBlobFile(const fs::path& table_path) {
  std::error_code ec;
  for (const char* ext : {".mb", ".MB", ".Mb", ".mB"}) {
    fs::path candidate = table_path;
    candidate.replace_extension(ext);
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

}  // namespace

fs::path ParadoxBlobPath(const fs::path& table_path) {
  std::string ext = table_path.extension().string();
  bool upper = !ext.empty() &&
               std::none_of(ext.begin(), ext.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  fs::path p = table_path;
  p.replace_extension(upper ? ".MB" : ".mb");
  return p;
}

size_t ParadoxHeldBytes(const Table& table) {
  auto* p = dynamic_cast<const ParadoxTable*>(&table);
  return p ? p->HeldBytes() : 0;
}

Status OpenParadoxTable(const fs::path& path, std::unique_ptr<Table>& out) {
  std::vector<uint8_t> file;
  VELMAR_RETURN_IF_ERROR(ReadFileBytes(path, file, uint64_t{1} << 31));
  const Status corrupt = Status::Corrupt("Заголовок таблицы Paradox повреждён");
  if (file.size() < 0x58) return Status::Corrupt("Файл слишком короткий для таблицы Paradox");
  const uint8_t* h = file.data();
  const int record_size = Le16(h);
  HeaderFacts facts;
  facts.header_size = Le16(h + 0x02);
  facts.file_type = h[0x04];
  const int kb = h[0x05];
  facts.header_record_count = static_cast<int32_t>(Le32(h + 0x06));
  const int field_count = Le16(h + 0x21);
  facts.primary_key_fields = Le16(h + 0x23);
  const uint32_t encryption = Le32(h + 0x25);
  facts.sort_order = h[0x29];
  facts.version_byte = h[0x39];
  const int version = facts.version_byte;
  if (version < 3 || version > 12) {
    return Status::Unsupported("Неизвестная версия файла Paradox (" + std::to_string(version) +
                               ")");
  }
  if (facts.file_type != 0 && facts.file_type != 2) {
    return Status::Unsupported("Файл не является таблицей данных Paradox");
  }
  bool encrypted = version <= 4
                       ? encryption != 0
                       : (encryption == 0xFF00FF00u ? file.size() >= 0x60 && Le32(h + 0x5C) != 0
                                                    : encryption != 0);
  if (encrypted) {
    return Status::Unsupported(
        "Таблица Paradox зашифрована (защищена паролем); зашифрованные таблицы не "
        "поддерживаются");
  }
  if (kb != 1 && kb != 2 && kb != 3 && kb != 4 && kb != 8 && kb != 16 && kb != 32) return corrupt;
  facts.block_size = kb * 1024;
  const size_t base = version >= 5 ? 0x78 : 0x58;
  const size_t header = facts.header_size;
  if (header > file.size() || field_count < 1 || field_count > 255 || record_size < 1 ||
      base + 6 * static_cast<size_t>(field_count) + 4 > header ||
      record_size + 6 > facts.block_size) {
    return corrupt;
  }
  std::vector<ColumnDef> defs;
  std::vector<Field> fields;
  int offset = 0;
  for (int i = 0; i < field_count; ++i) {
    const uint8_t code = h[base + 2 * i];
    const int stated = h[base + 2 * i + 1];
    const char letter = TypeLetter(code);
    if (letter == 0) {
      return Status::Unsupported("Неизвестный тип поля в таблице Paradox (" + std::to_string(code) +
                                 ")");
    }
    int size = FixedSize(code);
    ColumnDef def;
    def.kind = KindOfType(code);
    def.native_type = letter;
    if (code == kBcd) {
      if (stated > 32) return corrupt;
      def.decimals = stated;
    } else if (size == 0) {
      size = stated;
      if (size < (IsBlobType(code) ? kBlobDescriptorSize : 1)) return corrupt;
    } else if (stated != size) {
      return corrupt;
    }
    def.length = size;
    fields.push_back(Field{code, offset, size});
    defs.push_back(def);
    offset += size;
  }
  if (offset != record_size) return corrupt;

  // Code page: 3.x files store none; word 0 with the HP sort order is Roman-8.
  size_t pos = base + 2 * field_count + 4 + 4 * static_cast<size_t>(field_count);
  pos += version >= 12 ? 261 : 79;
  std::vector<std::string> raw_names;
  for (int i = 0; i < field_count; ++i) {
    if (pos >= header) return corrupt;
    const void* nul = std::memchr(h + pos, 0, header - pos);
    if (!nul) return corrupt;
    const size_t len = static_cast<const uint8_t*>(nul) - (h + pos);
    raw_names.emplace_back(reinterpret_cast<const char*>(h + pos), len);
    pos += len + 1;
  }
  if (version >= 5) {
    pos += 2 * static_cast<size_t>(field_count);
    if (pos < header) {
      const void* nul = std::memchr(h + pos, 0, header - pos);
      if (nul) {
        facts.sort_order_id.assign(reinterpret_cast<const char*>(h + pos),
                                   static_cast<const uint8_t*>(nul) - (h + pos));
      }
    }
  }
  int code_page = 437;
  if (version >= 5) {
    facts.code_page_word = Le16(h + 0x6A);
    if (facts.code_page_word != 0) {
      code_page = facts.code_page_word;
    } else if (facts.sort_order_id == "BLROM800") {
      code_page = kCodePageRoman8;
    }
  }
  for (int i = 0; i < field_count; ++i) defs[i].name = DecodeToUtf8(raw_names[i], code_page);

  auto table = std::make_unique<ParadoxTable>(path, LevelOfVersion(version), code_page,
                                              std::move(defs), std::move(fields), record_size);
  VELMAR_RETURN_IF_ERROR(table->Load(file, facts));
  file.clear();
  file.shrink_to_fit();
  bool has_blobs = false;
  for (int c = 0; c < table->ColumnCount(); ++c)
    has_blobs |= IsBlobType(TypeCodeOf(table->Column(c).native_type));
  if (has_blobs) {
    const fs::path blob_path = FindBlobFile(path);
    if (blob_path.empty()) {
      VELMAR_RETURN_IF_ERROR(table->LoadBlobs(nullptr));
    } else {
      std::vector<uint8_t> mb;
      VELMAR_RETURN_IF_ERROR(ReadFileBytes(blob_path, mb, uint64_t{1} << 31));
      VELMAR_RETURN_IF_ERROR(table->LoadBlobs(&mb));
      table->SetBlobPath(blob_path);
    }
  }
  out = std::move(table);
  return Status::Ok();
}

Status CreateParadoxTable(const fs::path& path, const TableFormat& format,
                          const std::vector<ColumnDef>& columns, int code_page,
                          std::unique_ptr<Table>& out) {
  const int level = format.level;
  if (format.family != TableFamily::kParadox ||
      (level != 3 && level != 4 && level != 5 && level != 7)) {
    return Status::Invalid("Неверный формат таблицы Paradox");
  }
  if (level == 3) code_page = 437;
  if (!IsKnownCodePage(code_page) || code_page == kCodePageUtf8) {
    return Status::Unsupported("Кодовая страница " + std::to_string(code_page) +
                               " не подходит для таблицы Paradox");
  }
  std::vector<Field> fields;
  std::vector<ColumnDef> defs;
  int record_size = 0;
  VELMAR_RETURN_IF_ERROR(MakeFields(columns, level, fields, defs, record_size));
  for (const ColumnDef& d : defs) {
    if (!CanEncode(d.name, code_page)) {
      return Status::Invalid("Имя поля «" + d.name + "» нельзя записать в кодовой странице " +
                             std::to_string(code_page));
    }
  }
  auto table = std::make_unique<ParadoxTable>(path, level, code_page, std::move(defs),
                                              std::move(fields), record_size);
  HeaderFacts facts;
  facts.version_byte = VersionOfLevel(level);
  facts.code_page_word = level == 3 ? -1 : code_page;
  facts.header_size = kWriteHeaderUnit;
  facts.block_size = 2048;
  table->SetFacts(facts);
  out = std::move(table);
  return Status::Ok();
}

}  // namespace velmar
