#include "core/tables/dbf_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/base/code_page.h"
#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/tables/dbf_code_page.h"
#include "core/tables/table_convert.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

// How each stored type letter becomes a column. Text is decoded with the
// code page the language-driver byte names. AsFloat gives the value of the
// numeric ones as a float (booleans 1 and 0) and 0 for null and for every
// other type.
//
// | letter | where              | FieldKind      | category | Value            | stored as |
// |--------|--------------------|----------------|----------|------------------|----------------------------------|
// | C      | all                | kText          | -        | string           | text, trailing
// blanks/NULs cut   | | N, F   | all                | kFloat         | float    | double | ASCII
// digits; blank = null       | | L      | all                | kBoolean       | boolean  | bool |
// T/t/Y/y, F/f/N/n; ? or blank null| | D      | all                | kDate          | -        |
// Date             | YYYYMMDD; blank = null           | | M      | all                | kMemo | -
// | string           | memo block: 10 digits or 4 bytes | | M      | VFP, flag 0x04     | kBinary
// | -        | Bytes            | binary memo block                | | B      | dBase IV/7 |
// kBinary        | -        | Bytes            | binary memo block                | | G      | all
// | kOle           | -        | Bytes            | memo block                       | | P      |
// FoxPro             | kGraphic       | -        | Bytes            | memo block | | W      | dBase
// 7, VFP       | kBinary        | -        | Bytes            | memo block                       |
// | I      | VFP                | kInteger       | integer  | int64            | int32
// little-endian              | | I      | dBase 7            | kInteger       | integer  | int64 |
// int32 big-endian, top bit flipped| | +      | dBase 7            | kAutoIncrement | -        |
// int64            | as dBase 7 I                     | | O      | dBase 7            | kFloat |
// float    | double           | sortable big-endian double       | | @      | dBase 7            |
// kTimestamp     | -        | Timestamp        | sortable double, ms from Julian 0| | B      | VFP
// | kFloat         | float    | double           | double little-endian             | | Y      |
// VFP                | kCurrency      | currency | double           | int64 / 10000, little-endian
// | | T      | VFP                | kTimestamp     | -        | Timestamp        | Julian day + ms,
// int32 each      | | V      | VFP                | kText          | -        | string           |
// length in last byte when flagged | | Q      | VFP                | kBytes         | -        |
// Bytes            | as V                             | | 0      | VFP _NullFlags     | kNullFlags
// | -        | Bytes            | null and varlength bits          | | other  | | kOther         |
// -        | Bytes            | raw                              |
//
// Written by CreateDbfTable (the editor's dBase and FoxPro formats):
// text C (up to 255), N/F keep their width, small integer N(6,0), word
// N(5,0), integer and autoincrement N(11,0), float N(20,6), currency
// N(20,4), BCD N(20,d), boolean L, date D, memos M; FoxPro adds OLE and
// binary as G and graphics as P. Time, timestamp and raw bytes have no
// dBase III or FoxPro 2 type and are refused.

enum class Codec : uint8_t {
  kChar,
  kNumber,
  kLogical,
  kDate,
  kMemo,
  kInt32,
  kDouble,
  kCurrency,
  kDateTime,
  kVarChar,
  kVarBinary,
  kNullFlags,
  kDb7Int,
  kDb7Double,
  kDb7Timestamp,
  kRaw,
};

enum class MemoStyle { kNone, kDbase3, kDbase4, kFoxPro };

struct Field {
  ColumnDef def;
  Codec codec = Codec::kRaw;
  int offset = 0;          // from the start of the record (byte 0 is the deletion flag)
  int descriptor = 0;      // offset of its descriptor in the header
  int null_bit = -1;       // _NullFlags bit set when the value is null
  int length_bit = -1;     // _NullFlags bit set when a V/Q value is shorter than the field
  bool binary = false;     // memo holds bytes, not text
  uint32_t memo_type = 1;  // FoxPro memo block type to write
  std::string dump_kind;
};

constexpr uint64_t kMaxTableBytes = uint64_t{1} << 31;
constexpr uint64_t kMaxMemoBytes = uint64_t{1} << 31;
constexpr int kDescriptorSize = 32;
constexpr int kDb7DescriptorSize = 48;
constexpr int kDb7HeaderSize = 68;
constexpr int kMsPerDay = 86400000;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}
uint64_t Be64(const uint8_t* p) {
  return (static_cast<uint64_t>(Be32(p)) << 32) | static_cast<uint64_t>(Be32(p + 4));
}
void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void PutBe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
}

std::string Hex2(unsigned v) {
  static const char* kHex = "0123456789abcdef";
  std::string s = "0x";
  s += kHex[(v >> 4) & 15];
  s += kHex[v & 15];
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Julian day numbers: VFP datetimes count from them, and 1899-12-30 is 2415019.
Date DateFromJulian(int64_t jd) {
  int64_t a = jd + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  Date date;
  date.day = static_cast<int32_t>(e - (153 * m + 2) / 5 + 1);
  date.month = static_cast<int32_t>(m + 3 - 12 * (m / 10));
  date.year = static_cast<int32_t>(100 * b + d - 4800 + m / 10);
  return date;
}

int64_t JulianFromDate(const Date& date) {
  int64_t a = (14 - date.month) / 12;
  int64_t y = int64_t{date.year} + 4800 - a;
  int64_t m = date.month + 12 * a - 3;
  return date.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

bool ValidDate(const Date& d) {
  if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return d.day <= kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
}

std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\0')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

// The stored digits of an N/F field as a JSON number ("1.00" stays "1.00");
// empty when the field is blank or not a number.
std::string NormalizeNumber(std::string_view raw) {
  std::string_view s = TrimView(raw);
  while (!s.empty() && s.front() == '*') s.remove_prefix(1);
  while (!s.empty() && s.back() == '*') s.remove_suffix(1);
  if (s.empty()) return {};
  std::string out;
  size_t i = 0;
  if (s[i] == '-' || s[i] == '+') {
    if (s[i] == '-') out += '-';
    ++i;
  }
  size_t int_start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  std::string_view int_part = s.substr(int_start, i - int_start);
  std::string_view frac_part;
  if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
    size_t f = ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    frac_part = s.substr(f, i - f);
  }
  if (int_part.empty() && frac_part.empty()) return {};
  std::string_view exp_part;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t e = i++;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == digits) return {};
    exp_part = s.substr(e, i - e);
  }
  if (i != s.size()) return {};
  while (int_part.size() > 1 && int_part.front() == '0') int_part.remove_prefix(1);
  out += int_part.empty() ? std::string_view("0") : int_part;
  if (!frac_part.empty()) {
    out += '.';
    out += frac_part;
  }
  out += exp_part;
  if (out == "-0" || out.rfind("-0.", 0) == 0) {
    bool all_zero = out.find_first_not_of("-0.") == std::string::npos;
    if (all_zero && exp_part.empty()) out.erase(0, 1);
  }
  return out;
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

// Parses the digits of an N/F field. The common shape (blanks, sign, up to
// 18 digits with a point) is read directly; anything else goes through
// NormalizeNumber and from_chars.
std::optional<double> ParseNumber(const uint8_t* p, int n) {
  int i = 0;
  while (i < n && p[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (p[i] == '-' || p[i] == '+')) negative = p[i++] == '-';
  int64_t mantissa = 0;
  int digits = 0, fraction = 0;
  bool any = false;
  // Counted before the digit is taken: a 19th would overflow the mantissa.
  while (i < n && p[i] >= '0' && p[i] <= '9') {
    if (++digits > 18) goto slow;
    mantissa = mantissa * 10 + (p[i++] - '0');
    any = true;
  }
  if (i < n && p[i] == '.') {
    ++i;
    while (i < n && p[i] >= '0' && p[i] <= '9') {
      if (++digits > 18) goto slow;
      mantissa = mantissa * 10 + (p[i++] - '0');
      any = true;
      ++fraction;
    }
  }
  while (i < n && p[i] == ' ') ++i;
  if (i == n) {
    if (!any) return std::nullopt;
    double v = static_cast<double>(mantissa) / kPow10[fraction];
    return negative ? -v : v;
  }
slow:
  std::string text = NormalizeNumber(std::string_view(reinterpret_cast<const char*>(p), n));
  if (text.empty()) return std::nullopt;
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// dBase 7 stores I, +, O and @ so that their bytes sort like their values.
int64_t Db7Int(const uint8_t* p) { return static_cast<int32_t>(Be32(p) ^ 0x80000000u); }
double Db7Double(const uint8_t* p) {
  uint64_t bits = Be64(p);
  bits = (bits & 0x8000000000000000ull) ? (bits ^ 0x8000000000000000ull) : ~bits;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
void PutDb7Double(uint8_t* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
  PutBe64(p, bits);
}

std::string ShortestDouble(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// --- Value conversions used by SetValue ---

bool ValueToNumber(const Value& v, double& out) {
  if (auto* b = std::get_if<bool>(&v)) return out = *b ? 1 : 0, true;
  if (auto* i = std::get_if<int64_t>(&v)) return out = static_cast<double>(*i), true;
  if (auto* d = std::get_if<double>(&v)) return out = *d, std::isfinite(*d);
  if (auto* s = std::get_if<std::string>(&v)) {
    std::string text = NormalizeNumber(*s);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
  }
  return false;
}

std::string DateText(const Date& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}
std::string TimeText(int32_t ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
  std::string s = buf;
  if (ms % 1000) {
    std::snprintf(buf, sizeof buf, ".%03d", ms % 1000);
    s += buf;
  }
  return s;
}

bool ValueToText(const Value& v, std::string& out) {
  if (auto* s = std::get_if<std::string>(&v)) return out = *s, true;
  if (auto* i = std::get_if<int64_t>(&v)) return out = std::to_string(*i), true;
  if (auto* d = std::get_if<double>(&v)) return out = ShortestDouble(*d), true;
  if (auto* b = std::get_if<bool>(&v)) return out = *b ? "T" : "F", true;
  if (auto* d = std::get_if<Date>(&v)) return out = DateText(*d), true;
  if (auto* t = std::get_if<TimeOfDay>(&v)) return out = TimeText(t->milliseconds), true;
  if (auto* t = std::get_if<Timestamp>(&v)) {
    return out = DateText(t->date) + "T" + TimeText(t->milliseconds), true;
  }
  return false;
}

bool ParseDateText(std::string_view s, Date& d) {
  s = TrimView(s);
  auto num = [&](size_t pos, size_t len, int32_t& out) {
    if (pos + len > s.size()) return false;
    auto [end, ec] = std::from_chars(s.data() + pos, s.data() + pos + len, out);
    return ec == std::errc() && end == s.data() + pos + len;
  };
  if (s.size() == 8) return num(0, 4, d.year) && num(4, 2, d.month) && num(6, 2, d.day);
  if (s.size() == 10 && s[4] == '-' && s[7] == '-') {
    return num(0, 4, d.year) && num(5, 2, d.month) && num(8, 2, d.day);
  }
  return false;
}

bool ValueToDate(const Value& v, Date& out) {
  if (auto* d = std::get_if<Date>(&v)) return out = *d, ValidDate(out);
  if (auto* t = std::get_if<Timestamp>(&v)) return out = t->date, ValidDate(out);
  if (auto* s = std::get_if<std::string>(&v)) return ParseDateText(*s, out) && ValidDate(out);
  return false;
}

bool ValueToBool(const Value& v, bool& out) {
  if (auto* b = std::get_if<bool>(&v)) return out = *b, true;
  if (auto* i = std::get_if<int64_t>(&v)) return out = *i != 0, true;
  if (auto* d = std::get_if<double>(&v)) return out = *d != 0, true;
  if (auto* s = std::get_if<std::string>(&v)) {
    std::string t = Lower(std::string(TrimView(*s)));
    if (t == "t" || t == "y" || t == "true" || t == "yes" || t == "1") return out = true, true;
    if (t == "f" || t == "n" || t == "false" || t == "no" || t == "0") return out = false, true;
  }
  return false;
}

// Finds `stem` + `ext` in `dir` whatever the case of either; an exact match wins.
fs::path FindCompanion(const fs::path& table, const std::string& ext) {
  fs::path exact = table;
  exact.replace_extension(ext);
  std::error_code ec;
  if (fs::is_regular_file(exact, ec)) return exact;
  const std::string want = Lower(table.stem().string() + ext);
  fs::path dir = table.parent_path();
  if (dir.empty()) dir = ".";
  fs::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == want && it->is_regular_file(ec)) {
      return it->path();
    }
  }
  return {};
}

bool UpperCaseExtension(const fs::path& path) {
  std::string ext = path.extension().string();
  bool upper = false;
  for (char c : ext) {
    if (std::islower(static_cast<unsigned char>(c))) return false;
    if (std::isupper(static_cast<unsigned char>(c))) upper = true;
  }
  return upper;
}

class DbfTable final : public Table {
 public:
  // Reads the table at `path` and its memo file.
  Status Load(const fs::path& path);
  // Sets up an empty table from header bytes made by CreateDbfTable.
  Status InitEmpty(const fs::path& path, std::vector<uint8_t> header, const TableFormat& format);

  int ColumnCount() const override { return static_cast<int>(fields_.size()); }
  const ColumnDef& Column(int index) const override { return fields_[index].def; }
  int RecordCount() const override { return record_count_; }
  int RecordNumberAt(int row) const override {
    if (row < 0 || row >= record_count_) return row + 1;
    return static_cast<int>(RecordId(row));
  }

  bool IsNullAt(int row, int column) const override;
  float AsFloatAt(int row, int column) const override;
  Value ValueAt(int row, int column) const override;
  Status SetValueAt(int row, int column, const Value& value) override;

  TableFormat Format() const override { return format_; }
  int CodePage() const override { return code_page_; }
  Status Save() override;
  Status SaveAs(const fs::path& path, const TableFormat& format) override;

  std::vector<std::pair<std::string, std::string>> DumpFacts() const override;
  std::vector<std::pair<std::string, std::string>> ColumnDumpFacts(int column) const override;
  std::string DumpKind(int column) const override;
  std::string ValueJsonAt(int row, int column) const override;

 protected:
  Status AppendRecord() override;
  Status InsertRecord() override;
  Status DeleteRecord() override;

 private:
  Status ParseHeader(const uint8_t* file, size_t file_size);
  Status LoadMemo(const fs::path& path);
  Status CheckMemoReferences() const;
  const uint8_t* RecordAt(int row) const {
    return data_.data() + static_cast<size_t>(row) * record_size_;
  }
  uint8_t* MutableRecordAt(int row) {
    return data_.data() + static_cast<size_t>(row) * record_size_;
  }
  bool InRange(int row, int column) const {
    return row >= 0 && row < record_count_ && column >= 0 && column < ColumnCount();
  }
  uint32_t RecordId(int position) const {
    return ids_.empty() ? static_cast<uint32_t>(position + 1) : ids_[position];
  }
  void MaterializeIds();
  bool Bit(const uint8_t* rec, int bit) const;
  void SetBit(uint8_t* rec, int bit, bool on) const;
  // The memo bytes of a field of the current record; nullopt for null.
  std::optional<std::string_view> MemoBytes(const uint8_t* rec, uint32_t id, int column) const;
  std::optional<std::string_view> StoredMemo(uint32_t block) const;
  uint32_t MemoRef(const uint8_t* p, const Field& f) const;
  std::string Text(const uint8_t* p, int n) const {
    return DecodeDbfText(std::string_view(reinterpret_cast<const char*>(p), n), code_page_);
  }
  std::vector<uint8_t> BlankRecord();
  Status InsertAt(int position);
  Status Encode(const Field& field, const Value& value, std::string& bytes) const;
  Status Serialize(const fs::path& memo_path, std::vector<uint8_t>& dbf, std::vector<uint8_t>& memo,
                   std::vector<uint8_t>& new_data) const;
  fs::path MemoPathFor(const fs::path& table) const;
  Status ConvertInto(const fs::path& path, const TableFormat& format);

  TableFormat format_;
  uint8_t version_ = 0x03;
  bool vfp_ = false;
  bool db7_ = false;
  uint8_t marker_ = 0;
  int code_page_ = 437;
  std::vector<uint8_t> header_;
  int header_size_ = 0;
  int record_size_ = 1;
  uint32_t header_record_count_ = 0;
  std::vector<Field> fields_;
  int null_flags_offset_ = -1;
  int null_flags_bytes_ = 0;
  bool has_memo_fields_ = false;

  std::vector<uint8_t> data_;
  int record_count_ = 0;
  std::vector<uint32_t> ids_;  // record numbers when they are not 1..n
  uint32_t next_id_ = 1;
  uint32_t file_slots_ = 0;  // records the file held, deleted ones included

  MemoStyle memo_style_ = MemoStyle::kNone;
  std::vector<uint8_t> memo_;
  uint32_t memo_block_size_ = 512;
  bool memo_missing_ = false;
  fs::path memo_path_;        // memo file as found or last written
  fs::path memo_table_path_;  // the table path memo_path_ belongs to
  std::map<std::pair<uint32_t, int>, std::optional<std::string>> memo_edits_;
};

Status DbfTable::ParseHeader(const uint8_t* file, size_t file_size) {
  version_ = file[0];
  switch (version_) {
    case 0x03:
    case 0x83:
    case 0x8b:
    case 0x8e:
    case 0x43:
    case 0x63:
    case 0xcb:
      format_ = {TableFamily::kDbase, 0};
      break;
    case 0x04:
    case 0x8c:
      db7_ = true;
      format_ = {TableFamily::kDbase, 0};
      break;
    case 0xf5:
    case 0xfb:
      format_ = {TableFamily::kFoxPro, 25};
      break;
    case 0x30:
    case 0x31:
    case 0x32:
      vfp_ = true;
      format_ = {TableFamily::kFoxPro, 25};
      break;
    case 0x02:
      return Status::Unsupported("таблицы dBase II не поддерживаются");
    default:
      return Status::Corrupt("файл не является таблицей dBase или FoxPro (байт версии " +
                             Hex2(version_) + ")");
  }
  header_record_count_ = Le32(file + 4);
  header_size_ = Le16(file + 8);
  record_size_ = Le16(file + 10);
  marker_ = file[29];
  code_page_ = CodePageOfLanguageDriver(marker_);
  if (code_page_ == 0) code_page_ = 437;

  const int start = db7_ ? kDb7HeaderSize : 32;
  const int descriptor_size = db7_ ? kDb7DescriptorSize : kDescriptorSize;
  if (header_size_ < start + 1 || static_cast<size_t>(header_size_) > file_size) {
    return Status::Corrupt("неверный размер заголовка таблицы");
  }
  if (record_size_ < 1) return Status::Corrupt("неверный размер записи таблицы");
  const uint64_t data_bytes = uint64_t{header_record_count_} * static_cast<uint64_t>(record_size_);
  if (data_bytes > file_size - static_cast<size_t>(header_size_)) {
    return Status::Corrupt("файл короче, чем указано в заголовке: " +
                           std::to_string(header_record_count_) + " записей не помещаются");
  }

  fields_.clear();
  int pos = start;
  while (pos < header_size_ && file[pos] != 0x0D) {
    if (pos + descriptor_size > header_size_) {
      return Status::Corrupt("описание полей выходит за пределы заголовка");
    }
    const uint8_t* d = file + pos;
    Field f;
    f.descriptor = pos;
    const int name_len = db7_ ? 32 : 11;
    int n = 0;
    while (n < name_len && d[n] != 0) ++n;
    f.def.name = Text(d, n);
    const uint8_t type = db7_ ? d[32] : d[11];
    f.def.native_type = static_cast<char>(type);
    f.def.length = db7_ ? d[33] : d[16];
    f.def.decimals = db7_ ? d[34] : d[17];
    f.def.flags = vfp_ ? d[18] : 0;
    const int len = f.def.length;
    auto fixed = [&](Codec codec, FieldKind kind, int size) {
      if (len == size) {
        f.codec = codec;
        f.def.kind = kind;
      } else {
        f.codec = Codec::kRaw;
        f.def.kind = FieldKind::kOther;
      }
    };
    auto memo = [&](FieldKind kind, bool binary) {
      if (len == 4 || len == 10) {
        f.codec = Codec::kMemo;
        f.def.kind = kind;
        f.binary = binary;
      } else {
        f.codec = Codec::kRaw;
        f.def.kind = FieldKind::kOther;
      }
    };
    switch (type) {
      case 'C':
        f.codec = Codec::kChar;
        f.def.kind = FieldKind::kText;
        break;
      case 'N':
      case 'F':
        f.codec = Codec::kNumber;
        f.def.kind = FieldKind::kFloat;
        break;
      case 'L':
        f.codec = Codec::kLogical;
        f.def.kind = FieldKind::kBoolean;
        break;
      case 'D':
        fixed(Codec::kDate, FieldKind::kDate, 8);
        break;
      case 'M':
        if (vfp_ && (f.def.flags & 0x04)) {
          memo(FieldKind::kBinary, true);
          f.dump_kind = "binary-memo";
        } else {
          memo(FieldKind::kMemo, false);
        }
        break;
      case 'G':
        memo(FieldKind::kOle, true);
        f.memo_type = 2;
        f.dump_kind = "general";
        break;
      case 'P':
        memo(FieldKind::kGraphic, true);
        f.memo_type = 0;
        f.dump_kind = "picture";
        break;
      case 'W':
        memo(FieldKind::kBinary, true);
        f.dump_kind = "blob";
        break;
      case 'B':
        if (vfp_) {
          fixed(Codec::kDouble, FieldKind::kFloat, 8);
        } else {
          memo(FieldKind::kBinary, true);
          f.dump_kind = "binary-memo";
        }
        break;
      case 'I':
        if (db7_)
          fixed(Codec::kDb7Int, FieldKind::kInteger, 4);
        else
          fixed(Codec::kInt32, FieldKind::kInteger, 4);
        break;
      case '+':
        fixed(Codec::kDb7Int, FieldKind::kAutoIncrement, 4);
        break;
      case 'O':
        fixed(Codec::kDb7Double, FieldKind::kFloat, 8);
        break;
      case '@':
        fixed(Codec::kDb7Timestamp, FieldKind::kTimestamp, 8);
        break;
      case 'Y':
        fixed(Codec::kCurrency, FieldKind::kCurrency, 8);
        break;
      case 'T':
        fixed(Codec::kDateTime, FieldKind::kTimestamp, 8);
        f.dump_kind = "datetime";
        break;
      case 'V':
        f.codec = Codec::kVarChar;
        f.def.kind = FieldKind::kText;
        break;
      case 'Q':
        f.codec = Codec::kVarBinary;
        f.def.kind = FieldKind::kBytes;
        f.dump_kind = "varbinary";
        break;
      case '0':
        f.codec = Codec::kNullFlags;
        f.def.kind = FieldKind::kNullFlags;
        break;
      default:
        f.codec = Codec::kRaw;
        f.def.kind = FieldKind::kOther;
        break;
    }
    if (f.codec == Codec::kRaw && f.dump_kind.empty()) f.dump_kind = "other";
    if (len == 0 && f.codec != Codec::kRaw) {
      f.codec = Codec::kRaw;
      f.def.kind = FieldKind::kOther;
    }
    fields_.push_back(std::move(f));
    pos += descriptor_size;
  }

  // FoxPro and Clipper keep the high byte of long text widths in the
  // decimals; use it only when the plain widths do not fill the record.
  auto total = [&](bool wide) {
    int64_t sum = 1;
    for (const auto& f : fields_) {
      sum += f.def.length;
      if (wide && f.codec == Codec::kChar) sum += int64_t{f.def.decimals} * 256;
    }
    return sum;
  };
  if (total(false) != record_size_ && total(true) == record_size_) {
    for (auto& f : fields_) {
      if (f.codec == Codec::kChar) {
        f.def.length += f.def.decimals * 256;
        f.def.decimals = 0;
      }
    }
  }
  int offset = 1;
  for (auto& f : fields_) {
    f.offset = offset;
    offset += f.def.length;
    if (offset > record_size_) return Status::Corrupt("поля не помещаются в запись таблицы");
  }

  int bit = 0;
  for (auto& f : fields_) {
    if (f.codec == Codec::kVarChar || f.codec == Codec::kVarBinary) f.length_bit = bit++;
    if (f.def.flags & 0x02) f.null_bit = bit++;
    if (f.codec == Codec::kNullFlags) {
      null_flags_offset_ = f.offset;
      null_flags_bytes_ = f.def.length;
    }
    if (f.codec == Codec::kMemo) has_memo_fields_ = true;
  }
  if (null_flags_offset_ < 0 || !vfp_) {
    for (auto& f : fields_) f.null_bit = f.length_bit = -1;
  } else {
    for (auto& f : fields_) {
      if (f.null_bit >= null_flags_bytes_ * 8) f.null_bit = -1;
      if (f.length_bit >= null_flags_bytes_ * 8) f.length_bit = -1;
    }
  }
  header_.assign(file, file + header_size_);
  return Status::Ok();
}

Status DbfTable::Load(const fs::path& path) {
  std::vector<uint8_t> file;
  VELMAR_RETURN_IF_ERROR(ReadFileBytes(path, file, kMaxTableBytes));
  if (file.size() < 32) return Status::Corrupt("файл слишком короткий для таблицы dBase");
  VELMAR_RETURN_IF_ERROR(ParseHeader(file.data(), file.size()));
  SetPath(path);

  const size_t rs = static_cast<size_t>(record_size_);
  size_t live = 0;
  const uint8_t* records = file.data() + header_size_;
  for (uint32_t i = 0; i < header_record_count_; ++i) {
    if (records[i * rs] != '*') ++live;
  }
  data_.reserve(live * rs);
  if (live != header_record_count_) ids_.reserve(live);
  for (uint32_t i = 0; i < header_record_count_; ++i) {
    const uint8_t* rec = records + i * rs;
    if (rec[0] == '*') continue;
    data_.insert(data_.end(), rec, rec + rs);
    if (live != header_record_count_) ids_.push_back(i + 1);
  }
  record_count_ = static_cast<int>(live);
  file_slots_ = header_record_count_;
  next_id_ = file_slots_ + 1;
  file.clear();
  file.shrink_to_fit();

  if (has_memo_fields_) {
    VELMAR_RETURN_IF_ERROR(LoadMemo(path));
    VELMAR_RETURN_IF_ERROR(CheckMemoReferences());
  }
  First();
  return Status::Ok();
}

// Memos of a sound file do not overlap, so together they fit in the memo
// file. Records that all point at one large memo would multiply it in every
// listing of the table; such a file is refused. The walk stops as soon as the
// sum passes the file size, so it costs at most twice the file.
Status DbfTable::CheckMemoReferences() const {
  if (memo_.empty()) return Status::Ok();
  uint64_t referenced = 0;
  for (int r = 0; r < record_count_; ++r) {
    const uint8_t* rec = data_.data() + static_cast<size_t>(r) * record_size_;
    for (const Field& f : fields_) {
      if (f.codec != Codec::kMemo || Bit(rec, f.null_bit)) continue;
      const auto bytes = StoredMemo(MemoRef(rec + f.offset, f));
      if (!bytes) continue;
      referenced += bytes->size();
      if (referenced > memo_.size()) {
        return Status::Corrupt("файл примечаний " + memo_path_.filename().string() +
                               " повреждён: записи ссылаются на одни и те же блоки");
      }
    }
  }
  return Status::Ok();
}

Status DbfTable::LoadMemo(const fs::path& path) {
  const std::string table_ext = Lower(path.extension().string());
  std::vector<std::string> candidates;
  if (table_ext == ".dbc")
    candidates = {".dct", ".fpt"};
  else if (vfp_ || version_ == 0xf5 || version_ == 0xfb)
    candidates = {".fpt", ".dbt"};
  else
    candidates = {".dbt", ".fpt"};
  fs::path found;
  for (const auto& ext : candidates) {
    found = FindCompanion(path, ext);
    if (!found.empty()) break;
  }
  if (found.empty()) {
    memo_missing_ = true;
    memo_style_ = (vfp_ || version_ == 0xf5) ? MemoStyle::kFoxPro
                  : version_ == 0x83         ? MemoStyle::kDbase3
                                             : MemoStyle::kDbase4;
    memo_block_size_ = memo_style_ == MemoStyle::kFoxPro ? 64 : 512;
    return Status::Ok();
  }
  Status s = ReadFileBytes(found, memo_, kMaxMemoBytes);
  if (!s.ok()) {
    return Status::IoError("не удается прочитать файл примечаний " + found.filename().string() +
                           ": " + s.message());
  }
  memo_path_ = found;
  memo_table_path_ = path;
  const std::string memo_ext = Lower(found.extension().string());
  if (memo_ext == ".fpt" || memo_ext == ".dct") {
    memo_style_ = MemoStyle::kFoxPro;
    memo_block_size_ = memo_.size() >= 8 ? Be16(memo_.data() + 6) : 64;
    if (memo_block_size_ == 0) memo_block_size_ = 64;
  } else if (version_ == 0x83 || version_ == 0x03) {
    memo_style_ = MemoStyle::kDbase3;
    memo_block_size_ = 512;
  } else {
    memo_style_ = MemoStyle::kDbase4;
    memo_block_size_ = memo_.size() >= 22 ? Le16(memo_.data() + 20) : 512;
    if (memo_block_size_ < 16) memo_block_size_ = 512;
  }
  return Status::Ok();
}

Status DbfTable::InitEmpty(const fs::path& path, std::vector<uint8_t> header,
                           const TableFormat& format) {
  VELMAR_RETURN_IF_ERROR(ParseHeader(header.data(), header.size()));
  format_ = format;
  SetPath(path);
  if (has_memo_fields_) {
    memo_style_ = version_ == 0xf5 ? MemoStyle::kFoxPro : MemoStyle::kDbase3;
    memo_block_size_ = memo_style_ == MemoStyle::kFoxPro ? 64 : 512;
  }
  return Status::Ok();
}

bool DbfTable::Bit(const uint8_t* rec, int bit) const {
  if (bit < 0) return false;
  return (rec[null_flags_offset_ + bit / 8] >> (bit % 8)) & 1;
}

void DbfTable::SetBit(uint8_t* rec, int bit, bool on) const {
  if (bit < 0) return;
  uint8_t& b = rec[null_flags_offset_ + bit / 8];
  if (on)
    b = static_cast<uint8_t>(b | (1 << (bit % 8)));
  else
    b = static_cast<uint8_t>(b & ~(1 << (bit % 8)));
}

uint32_t DbfTable::MemoRef(const uint8_t* p, const Field& f) const {
  if (f.def.length == 4) return Le32(p);
  uint64_t v = 0;
  for (int i = 0; i < f.def.length; ++i) {
    if (p[i] >= '0' && p[i] <= '9') {
      v = v * 10 + (p[i] - '0');
      if (v > 0xFFFFFFFFull) return 0;
    } else if (p[i] != ' ' && p[i] != 0) {
      return 0;
    }
  }
  return static_cast<uint32_t>(v);
}

std::optional<std::string_view> DbfTable::StoredMemo(uint32_t block) const {
  if (block == 0 || memo_.empty()) return std::nullopt;
  const uint64_t start = uint64_t{block} * memo_block_size_;
  const uint64_t size = memo_.size();
  if (start >= size) return std::nullopt;
  const char* base = reinterpret_cast<const char*>(memo_.data());
  switch (memo_style_) {
    case MemoStyle::kFoxPro: {
      if (start + 8 > size) return std::nullopt;
      const uint64_t length = Be32(memo_.data() + start + 4);
      if (length > size - start - 8) return std::nullopt;
      return std::string_view(base + start + 8, length);
    }
    case MemoStyle::kDbase4: {
      const uint8_t* p = memo_.data() + start;
      if (start + 8 <= size && p[0] == 0xFF && p[1] == 0xFF && p[2] == 0x08 && p[3] == 0x00) {
        uint64_t length = Le32(p + 4);
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

std::optional<std::string_view> DbfTable::MemoBytes(const uint8_t* rec, uint32_t id,
                                                    int column) const {
  const Field& f = fields_[column];
  if (Bit(rec, f.null_bit)) return std::nullopt;
  if (!memo_edits_.empty()) {
    auto it = memo_edits_.find({id, column});
    if (it != memo_edits_.end()) {
      if (!it->second) return std::nullopt;
      return std::string_view(*it->second);
    }
  }
  return StoredMemo(MemoRef(rec + f.offset, f));
}

bool DbfTable::IsNullAt(int row, int column) const {
  if (!InRange(row, column)) return true;
  const Field& f = fields_[column];
  const uint8_t* rec = RecordAt(row);
  if (Bit(rec, f.null_bit)) return true;
  const uint8_t* p = rec + f.offset;
  switch (f.codec) {
    case Codec::kNumber:
      return !ParseNumber(p, f.def.length).has_value();
    case Codec::kLogical:
      return std::strchr("TtYyFfNn", p[0]) == nullptr || p[0] == 0;
    case Codec::kDate: {
      Date d;
      return !ParseDateText(std::string_view(reinterpret_cast<const char*>(p), 8), d) ||
             !ValidDate(d);
    }
    case Codec::kMemo:
      return !MemoBytes(rec, RecordId(row), column).has_value();
    case Codec::kDateTime:
      return Le64(p) == 0;
    case Codec::kDb7Int:
    case Codec::kDb7Double:
    case Codec::kDb7Timestamp:
      return std::all_of(p, p + f.def.length, [](uint8_t b) { return b == 0; });
    default:
      return false;
  }
}

float DbfTable::AsFloatAt(int row, int column) const {
  if (!InRange(row, column)) return 0;
  const Field& f = fields_[column];
  const uint8_t* rec = RecordAt(row);
  const uint8_t* p = rec + f.offset;
  if (f.codec == Codec::kNumber) {
    if (f.null_bit >= 0 && Bit(rec, f.null_bit)) return 0;
    auto v = ParseNumber(p, f.def.length);
    return v ? static_cast<float>(*v) : 0.0f;
  }
  if (Bit(rec, f.null_bit)) return 0;
  switch (f.codec) {
    case Codec::kLogical:
      return (p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y') ? 1 : 0;
    case Codec::kInt32:
      return static_cast<float>(static_cast<int32_t>(Le32(p)));
    case Codec::kDouble: {
      double v;
      uint64_t bits = Le64(p);
      std::memcpy(&v, &bits, sizeof v);
      return static_cast<float>(v);
    }
    case Codec::kCurrency:
      return static_cast<float>(static_cast<double>(static_cast<int64_t>(Le64(p))) / 10000.0);
    case Codec::kDb7Int:
      return IsNullAt(row, column) ? 0 : static_cast<float>(Db7Int(p));
    case Codec::kDb7Double:
      return IsNullAt(row, column) ? 0 : static_cast<float>(Db7Double(p));
    default:
      return 0;
  }
}

Value DbfTable::ValueAt(int row, int column) const {
  if (IsNullAt(row, column)) return Value{};
  const Field& f = fields_[column];
  const uint8_t* rec = RecordAt(row);
  const uint8_t* p = rec + f.offset;
  const int len = f.def.length;
  switch (f.codec) {
    case Codec::kChar: {
      int n = len;
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
      return Text(p, n);
    }
    case Codec::kNumber:
      return *ParseNumber(p, len);
    case Codec::kLogical:
      return p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y';
    case Codec::kDate: {
      Date d;
      ParseDateText(std::string_view(reinterpret_cast<const char*>(p), 8), d);
      return d;
    }
    case Codec::kMemo: {
      auto bytes = MemoBytes(rec, RecordId(row), column);
      if (!bytes) return Value{};
      if (f.binary) return Bytes(bytes->begin(), bytes->end());
      return DecodeDbfText(*bytes, code_page_);
    }
    case Codec::kInt32:
      return int64_t{static_cast<int32_t>(Le32(p))};
    case Codec::kDouble: {
      double v;
      uint64_t bits = Le64(p);
      std::memcpy(&v, &bits, sizeof v);
      return v;
    }
    case Codec::kCurrency:
      return static_cast<double>(static_cast<int64_t>(Le64(p))) / 10000.0;
    case Codec::kDateTime: {
      Timestamp t;
      t.date = DateFromJulian(static_cast<int32_t>(Le32(p)));
      t.milliseconds = static_cast<int32_t>(Le32(p + 4));
      return t;
    }
    case Codec::kVarChar:
    case Codec::kVarBinary: {
      int n = len;
      if (Bit(rec, f.length_bit)) n = std::min<int>(p[len - 1], len - 1);
      if (f.codec == Codec::kVarBinary) return Bytes(p, p + n);
      return Text(p, n);
    }
    case Codec::kDb7Int:
      return Db7Int(p);
    case Codec::kDb7Double:
      return Db7Double(p);
    case Codec::kDb7Timestamp: {
      double ms = Db7Double(p);
      if (!std::isfinite(ms) || ms < 0 || ms > 1e15) return Value{};
      auto total = static_cast<int64_t>(ms);
      Timestamp t;
      t.date = DateFromJulian(total / kMsPerDay);
      t.milliseconds = static_cast<int32_t>(total % kMsPerDay);
      return t;
    }
    case Codec::kNullFlags:
    case Codec::kRaw:
      return Bytes(p, p + len);
  }
  return Value{};
}

std::string DbfTable::ValueJsonAt(int row, int column) const {
  if (IsNullAt(row, column)) return "null";
  const Field& f = fields_[column];
  const uint8_t* p = RecordAt(row) + f.offset;
  switch (f.codec) {
    case Codec::kNumber: {
      std::string s =
          NormalizeNumber(std::string_view(reinterpret_cast<const char*>(p), f.def.length));
      return s.empty() ? "null" : s;
    }
    case Codec::kCurrency: {
      const int64_t v = static_cast<int64_t>(Le64(p));
      const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      std::string frac = std::to_string(mag % 10000);
      frac.insert(0, 4 - frac.size(), '0');
      return (v < 0 ? "-" : "") + std::to_string(mag / 10000) + "." + frac;
    }
    case Codec::kMemo:
      if (f.binary) {
        auto bytes = MemoBytes(RecordAt(row), RecordId(row), column);
        return "{\"kind\":\"memo\",\"length\":" + std::to_string(bytes ? bytes->size() : 0) + "}";
      }
      return {};
    default:
      return {};
  }
}

std::string DbfTable::DumpKind(int column) const {
  const Field& f = fields_[column];
  return f.dump_kind.empty() ? std::string(KindName(f.def.kind)) : f.dump_kind;
}

std::vector<std::pair<std::string, std::string>> DbfTable::ColumnDumpFacts(int column) const {
  if (!vfp_ || fields_[column].def.flags == 0) return {};
  return {{"vfp_flags", std::to_string(fields_[column].def.flags)}};
}

std::string VersionName(uint8_t version) {
  switch (version) {
    case 0x03:
      return "dBase III (no memo)";
    case 0x83:
      return "dBase III with .DBT memo";
    case 0x8b:
      return "dBase IV with .DBT memo";
    case 0x8e:
      return "dBase IV with SQL table";
    case 0x43:
    case 0x63:
      return "dBase IV SQL table (no memo)";
    case 0xcb:
      return "dBase IV SQL table with memo";
    case 0x04:
      return "dBase 7 (no memo)";
    case 0x8c:
      return "dBase 7 with memo";
    case 0xf5:
      return "FoxPro 2.x with .FPT memo";
    case 0xfb:
      return "FoxBASE";
    case 0x30:
      return "Visual FoxPro";
    case 0x31:
      return "Visual FoxPro with autoincrement";
    case 0x32:
      return "Visual FoxPro with Varchar/Varbinary";
    default:
      return "unknown";
  }
}

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::vector<std::pair<std::string, std::string>> DbfTable::DumpFacts() const {
  std::vector<std::pair<std::string, std::string>> facts;
  std::vector<std::string> companions;
  static const std::set<std::string> kCompanionExts = {".dbt", ".fpt", ".cdx", ".mdx", ".idx",
                                                       ".ndx", ".ntx", ".dct", ".dcx"};
  std::error_code ec;
  fs::path dir = Path().parent_path();
  if (dir.empty()) dir = ".";
  const std::string stem = Lower(Path().stem().string());
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (Lower(p.stem().string()) == stem && kCompanionExts.count(Lower(p.extension().string())) &&
        p.filename() != Path().filename()) {
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
  facts.emplace_back("format", "\"dbf\"");
  facts.emplace_back("version_byte", std::to_string(version_));
  facts.emplace_back("version_hex", JsonString(Hex2(version_)));
  facts.emplace_back("version", JsonString(VersionName(version_)));
  const bool foxpro = vfp_ || version_ == 0xf5 || version_ == 0xfb;
  facts.emplace_back("family", foxpro ? "\"foxpro\"" : "\"dbase\"");
  facts.emplace_back("code_page_marker", std::to_string(marker_));
  facts.emplace_back("code_page_marker_hex", JsonString(Hex2(marker_)));
  facts.emplace_back("text_codec", JsonString(CodecName(code_page_)));
  facts.emplace_back("header_size", std::to_string(header_size_));
  facts.emplace_back("record_size", std::to_string(record_size_));
  facts.emplace_back("header_record_count", std::to_string(header_record_count_));
  facts.emplace_back("memo_file_missing", memo_missing_ ? "true" : "false");

  std::vector<uint32_t> live;
  for (int i = 0; i < record_count_; ++i) {
    if (RecordId(i) <= file_slots_) live.push_back(RecordId(i));
  }
  std::sort(live.begin(), live.end());
  std::vector<uint32_t> deleted;
  size_t k = 0;
  for (uint32_t n = 1; n <= file_slots_; ++n) {
    if (k < live.size() && live[k] == n)
      ++k;
    else
      deleted.push_back(n);
  }
  facts.emplace_back("deleted_record_count", std::to_string(deleted.size()));
  facts.emplace_back("deleted_records",
                     "\"listed records are the live ones, in file order; records flagged '*' "
                     "are left out\"");
  if (!deleted.empty()) {
    auto join = [](const std::vector<uint32_t>& v) {
      std::string s = "[";
      for (size_t i = 0; i < v.size(); ++i) {
        if (i) s += ',';
        s += std::to_string(v[i]);
      }
      return s + "]";
    };
    std::vector<uint32_t> numbers;
    for (int i = 0; i < record_count_; ++i) numbers.push_back(RecordId(i));
    facts.emplace_back("deleted_record_numbers", join(deleted));
    facts.emplace_back("record_numbers", join(numbers));
  }
  return facts;
}

// --- Editing ---

void DbfTable::MaterializeIds() {
  if (!ids_.empty() || record_count_ == 0) return;
  ids_.resize(static_cast<size_t>(record_count_));
  for (int i = 0; i < record_count_; ++i) ids_[i] = static_cast<uint32_t>(i + 1);
}

std::vector<uint8_t> DbfTable::BlankRecord() {
  std::vector<uint8_t> rec(static_cast<size_t>(record_size_), ' ');
  for (const auto& f : fields_) {
    uint8_t* p = rec.data() + f.offset;
    switch (f.codec) {
      case Codec::kMemo:
        if (f.def.length == 4) std::memset(p, 0, 4);
        break;
      case Codec::kInt32:
      case Codec::kDouble:
      case Codec::kCurrency:
      case Codec::kDateTime:
      case Codec::kVarBinary:
      case Codec::kNullFlags:
      case Codec::kDb7Int:
      case Codec::kDb7Double:
      case Codec::kDb7Timestamp:
      case Codec::kRaw:
        std::memset(p, 0, static_cast<size_t>(f.def.length));
        break;
      default:
        break;
    }
  }
  for (auto& f : fields_) {
    SetBit(rec.data(), f.null_bit, true);
    if (f.length_bit >= 0) {
      SetBit(rec.data(), f.length_bit, true);
      rec[static_cast<size_t>(f.offset + f.def.length - 1)] = 0;
    }
    // Visual FoxPro autoincrement: take the next value from the descriptor.
    if (vfp_ && (f.def.flags & 0x08) && f.codec == Codec::kInt32 &&
        static_cast<size_t>(f.descriptor) + 24 <= header_.size()) {
      uint8_t* d = header_.data() + f.descriptor;
      const uint32_t next = Le32(d + 19);
      PutLe32(rec.data() + f.offset, next);
      PutLe32(d + 19, next + (d[23] ? d[23] : 1));
      SetBit(rec.data(), f.null_bit, false);
    }
  }
  return rec;
}

Status DbfTable::InsertAt(int position) {
  if (record_count_ >= std::numeric_limits<int>::max() - 1 ||
      next_id_ == std::numeric_limits<uint32_t>::max()) {
    return Status::Invalid("в таблице слишком много записей");
  }
  std::vector<uint8_t> blank = BlankRecord();
  MaterializeIds();
  data_.insert(data_.begin() + static_cast<std::ptrdiff_t>(position) * record_size_, blank.begin(),
               blank.end());
  ids_.insert(ids_.begin() + position, next_id_++);
  ++record_count_;
  MoveTo(position);
  SetModified(true);
  return Status::Ok();
}

Status DbfTable::AppendRecord() { return InsertAt(record_count_); }
Status DbfTable::InsertRecord() { return InsertAt(Eof() ? record_count_ : Position()); }

Status DbfTable::DeleteRecord() {
  if (Eof()) return Status::Invalid("нет текущей записи");
  MaterializeIds();
  const int pos = Position();
  const uint32_t id = ids_[pos];
  data_.erase(data_.begin() + static_cast<std::ptrdiff_t>(pos) * record_size_,
              data_.begin() + static_cast<std::ptrdiff_t>(pos + 1) * record_size_);
  ids_.erase(ids_.begin() + pos);
  for (auto it = memo_edits_.lower_bound({id, 0});
       it != memo_edits_.end() && it->first.first == id;) {
    it = memo_edits_.erase(it);
  }
  --record_count_;
  // The next record becomes current, or the new last one.
  MoveTo(pos < record_count_ ? pos : record_count_ - 1);
  SetModified(true);
  return Status::Ok();
}

Status DbfTable::Encode(const Field& f, const Value& value, std::string& bytes) const {
  const std::string& name = f.def.name;
  const int len = f.def.length;
  auto refuse = [&](const std::string& why) {
    return Status::Invalid("Поле " + name + ": " + why);
  };
  auto text_bytes = [&](const std::string& text, std::string& out) -> Status {
    if (!CanEncodeDbfText(text, code_page_)) {
      return refuse("текст содержит знаки, которых нет в кодировке таблицы (" +
                    CodecName(code_page_) + ")");
    }
    out = code_page_ == kCodePageUtf8 ? text : EncodeDbfText(text, code_page_);
    return Status::Ok();
  };
  switch (f.codec) {
    case Codec::kChar:
    case Codec::kVarChar: {
      std::string text;
      if (!ValueToText(value, text)) return refuse("значение не является текстом");
      std::string enc;
      VELMAR_RETURN_IF_ERROR(text_bytes(text, enc));
      while (!enc.empty() && enc.back() == ' ' && f.codec == Codec::kChar) enc.pop_back();
      const int room = f.codec == Codec::kVarChar && f.length_bit >= 0 ? len : len;
      if (static_cast<int>(enc.size()) > room) {
        return refuse("текст длиннее поля (" + std::to_string(len) + " символов)");
      }
      bytes = enc;
      return Status::Ok();
    }
    case Codec::kNumber: {
      double x;
      if (!ValueToNumber(value, x)) return refuse("значение не является числом");
      const int dec = std::clamp(f.def.decimals, 0, 30);
      char buf[512];
      std::to_chars_result r;
      if (auto* i = std::get_if<int64_t>(&value)) {
        r = std::to_chars(buf, buf + 64, *i);
        if (dec > 0) {
          *r.ptr++ = '.';
          std::memset(r.ptr, '0', static_cast<size_t>(dec));
          r.ptr += dec;
        }
      } else {
        if (std::fabs(x) >= 1e300) return refuse("число не помещается в поле");
        r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, dec);
        if (r.ec != std::errc()) return refuse("число не помещается в поле");
      }
      std::string s(buf, r.ptr);
      if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
      if (static_cast<int>(s.size()) > len) {
        return refuse("число " + s + " не помещается в поле ширины " + std::to_string(len));
      }
      bytes.assign(static_cast<size_t>(len - static_cast<int>(s.size())), ' ');
      bytes += s;
      return Status::Ok();
    }
    case Codec::kLogical: {
      bool b;
      if (!ValueToBool(value, b)) return refuse("значение не является логическим");
      bytes = b ? "T" : "F";
      return Status::Ok();
    }
    case Codec::kDate: {
      Date d;
      if (!ValueToDate(value, d)) return refuse("значение не является датой");
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
      bytes = buf;
      return Status::Ok();
    }
    case Codec::kMemo: {
      if (f.binary) {
        if (auto* b = std::get_if<Bytes>(&value)) {
          bytes.assign(b->begin(), b->end());
        } else if (auto* s = std::get_if<std::string>(&value)) {
          bytes = *s;
        } else {
          return refuse("значение не является двоичными данными");
        }
      } else {
        std::string text;
        if (!ValueToText(value, text)) return refuse("значение не является текстом");
        VELMAR_RETURN_IF_ERROR(text_bytes(text, bytes));
      }
      // dBase III ends a memo at the first 0x1A.
      if (memo_style_ == MemoStyle::kDbase3 && bytes.find('\x1a') != std::string::npos) {
        return refuse("знак 0x1A не может храниться в примечании dBase III");
      }
      return Status::Ok();
    }
    case Codec::kInt32:
    case Codec::kDb7Int: {
      double x;
      if (!ValueToNumber(value, x) || x != std::floor(x) || x < -2147483648.0 || x > 2147483647.0) {
        return refuse("значение не является целым числом");
      }
      bytes.assign(4, '\0');
      auto* p = reinterpret_cast<uint8_t*>(bytes.data());
      const auto v = static_cast<uint32_t>(static_cast<int32_t>(x));
      if (f.codec == Codec::kInt32)
        PutLe32(p, v);
      else
        PutBe32(p, v ^ 0x80000000u);
      return Status::Ok();
    }
    case Codec::kDouble:
    case Codec::kDb7Double: {
      double x;
      if (!ValueToNumber(value, x)) return refuse("значение не является числом");
      bytes.assign(8, '\0');
      auto* p = reinterpret_cast<uint8_t*>(bytes.data());
      if (f.codec == Codec::kDouble) {
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        PutLe64(p, bits);
      } else {
        PutDb7Double(p, x);
      }
      return Status::Ok();
    }
    case Codec::kCurrency: {
      double x;
      if (!ValueToNumber(value, x) || std::fabs(x) > 9.2e14) {
        return refuse("значение не является денежной суммой");
      }
      bytes.assign(8, '\0');
      PutLe64(reinterpret_cast<uint8_t*>(bytes.data()),
              static_cast<uint64_t>(std::llround(x * 10000.0)));
      return Status::Ok();
    }
    case Codec::kDateTime:
    case Codec::kDb7Timestamp: {
      Date d;
      int32_t ms = 0;
      if (auto* t = std::get_if<Timestamp>(&value)) {
        d = t->date;
        ms = t->milliseconds;
      } else if (!ValueToDate(value, d)) {
        return refuse("значение не является датой и временем");
      }
      if (!ValidDate(d) || ms < 0 || ms >= kMsPerDay) return refuse("неверные дата или время");
      bytes.assign(8, '\0');
      auto* p = reinterpret_cast<uint8_t*>(bytes.data());
      if (f.codec == Codec::kDateTime) {
        PutLe32(p, static_cast<uint32_t>(JulianFromDate(d)));
        PutLe32(p + 4, static_cast<uint32_t>(ms));
      } else {
        PutDb7Double(p, static_cast<double>(JulianFromDate(d) * kMsPerDay + ms));
      }
      return Status::Ok();
    }
    case Codec::kVarBinary: {
      auto* b = std::get_if<Bytes>(&value);
      if (!b) return refuse("значение не является двоичными данными");
      if (static_cast<int>(b->size()) > len) return refuse("данные длиннее поля");
      bytes.assign(b->begin(), b->end());
      return Status::Ok();
    }
    case Codec::kNullFlags:
    case Codec::kRaw:
      return refuse("поле этого типа не редактируется");
  }
  return refuse("поле этого типа не редактируется");
}

Status DbfTable::SetValueAt(int row, int column, const Value& value) {
  if (column < 0 || column >= ColumnCount()) return Status::Invalid("нет такого поля");
  if (row < 0 || row >= record_count_) return Status::Invalid("нет текущей записи");
  const Field& f = fields_[column];
  uint8_t* rec = MutableRecordAt(row);
  uint8_t* p = rec + f.offset;
  const size_t len = static_cast<size_t>(f.def.length);
  const uint32_t id = RecordId(row);

  if (IsNullValue(value)) {
    if (f.codec == Codec::kNullFlags || f.codec == Codec::kRaw) {
      return Status::Invalid("Поле " + f.def.name + ": поле этого типа не редактируется");
    }
    if (f.null_bit >= 0) {
      SetBit(rec, f.null_bit, true);
    } else {
      switch (f.codec) {
        case Codec::kMemo:
          break;
        case Codec::kChar:
        case Codec::kNumber:
        case Codec::kLogical:
        case Codec::kDate:
          std::memset(p, ' ', len);
          break;
        case Codec::kVarChar:
          std::memset(p, ' ', len);
          if (f.length_bit >= 0) {
            SetBit(rec, f.length_bit, true);
            p[len - 1] = 0;
          }
          break;
        default:
          std::memset(p, 0, len);
          break;
      }
    }
    if (f.codec == Codec::kMemo) memo_edits_[{id, column}] = std::nullopt;
    SetModified(true);
    return Status::Ok();
  }

  std::string bytes;
  VELMAR_RETURN_IF_ERROR(Encode(f, value, bytes));
  switch (f.codec) {
    case Codec::kMemo:
      memo_edits_[{id, column}] = std::move(bytes);
      break;
    case Codec::kChar:
      std::memset(p, ' ', len);
      std::memcpy(p, bytes.data(), bytes.size());
      break;
    case Codec::kVarChar:
    case Codec::kVarBinary: {
      std::memset(p, f.codec == Codec::kVarChar ? ' ' : 0, len);
      std::memcpy(p, bytes.data(), bytes.size());
      if (f.length_bit >= 0) {
        const bool short_value = bytes.size() < len;
        SetBit(rec, f.length_bit, short_value);
        if (short_value) p[len - 1] = static_cast<uint8_t>(bytes.size());
      }
      break;
    }
    default:
      std::memcpy(p, bytes.data(), std::min(bytes.size(), len));
      break;
  }
  SetBit(rec, f.null_bit, false);
  SetModified(true);
  return Status::Ok();
}

// --- Writing ---

fs::path DbfTable::MemoPathFor(const fs::path& table) const {
  if (!memo_path_.empty() && table == memo_table_path_) return memo_path_;
  std::string ext;
  if (Lower(table.extension().string()) == ".dbc")
    ext = ".dct";
  else
    ext = memo_style_ == MemoStyle::kFoxPro ? ".fpt" : ".dbt";
  fs::path existing = FindCompanion(table, ext);
  if (!existing.empty()) return existing;
  if (UpperCaseExtension(table)) {
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  fs::path p = table;
  p.replace_extension(ext);
  return p;
}

Status DbfTable::Serialize(const fs::path& memo_path, std::vector<uint8_t>& dbf,
                           std::vector<uint8_t>& memo, std::vector<uint8_t>& new_data) const {
  (void)memo_path;
  new_data = data_;
  memo.clear();
  const bool with_memo = memo_style_ != MemoStyle::kNone;
  const uint32_t bs =
      memo_style_ == MemoStyle::kDbase3 ? 512 : std::max<uint32_t>(memo_block_size_, 1);
  if (with_memo) {
    memo.assign(512, 0);
    while (memo.size() % bs) memo.push_back(0);
  }
  for (int r = 0; r < record_count_; ++r) {
    uint8_t* rec = new_data.data() + static_cast<size_t>(r) * record_size_;
    rec[0] = ' ';
    if (!has_memo_fields_) continue;
    const uint32_t id = RecordId(r);
    for (int c = 0; c < ColumnCount(); ++c) {
      const Field& f = fields_[c];
      if (f.codec != Codec::kMemo) continue;
      auto content = MemoBytes(data_.data() + static_cast<size_t>(r) * record_size_, id, c);
      uint32_t block = 0;
      if (content) {
        if (memo.size() / bs > 0xFFFFFFF0u) return Status::Invalid("файл примечаний слишком велик");
        block = static_cast<uint32_t>(memo.size() / bs);
        const size_t at = memo.size();
        switch (memo_style_) {
          case MemoStyle::kFoxPro:
            memo.resize(at + 8);
            PutBe32(memo.data() + at, f.memo_type);
            PutBe32(memo.data() + at + 4, static_cast<uint32_t>(content->size()));
            memo.insert(memo.end(), content->begin(), content->end());
            break;
          case MemoStyle::kDbase4:
            memo.resize(at + 8);
            memo[at] = 0xFF;
            memo[at + 1] = 0xFF;
            memo[at + 2] = 0x08;
            memo[at + 3] = 0x00;
            PutLe32(memo.data() + at + 4, static_cast<uint32_t>(content->size() + 8));
            memo.insert(memo.end(), content->begin(), content->end());
            break;
          default:
            memo.insert(memo.end(), content->begin(), content->end());
            memo.push_back(0x1A);
            memo.push_back(0x1A);
            break;
        }
        while (memo.size() % bs) memo.push_back(0);
        if (memo.size() > kMaxMemoBytes) return Status::Invalid("файл примечаний слишком велик");
      }
      uint8_t* p = rec + f.offset;
      if (f.def.length == 4) {
        PutLe32(p, block);
      } else {
        std::memset(p, ' ', static_cast<size_t>(f.def.length));
        if (block) {
          std::string digits = std::to_string(block);
          std::memcpy(p + f.def.length - digits.size(), digits.data(), digits.size());
        }
      }
      if (f.null_bit >= 0 && !content) SetBit(rec, f.null_bit, true);
    }
  }
  if (with_memo) {
    const uint32_t next_block = static_cast<uint32_t>(memo.size() / bs);
    if (memo_style_ == MemoStyle::kFoxPro) {
      PutBe32(memo.data(), next_block);
      memo[6] = static_cast<uint8_t>(bs >> 8);
      memo[7] = static_cast<uint8_t>(bs);
    } else {
      PutLe32(memo.data(), next_block);
      if (memo_style_ == MemoStyle::kDbase4) {
        PutLe16(memo.data() + 20, bs);
      } else {
        memo[16] = 0x03;
      }
    }
  }

  dbf = header_;
  const int64_t now = CurrentClock().NowSeconds();
  const Date today = DateFromJulian(now / 86400 + 2440588);
  dbf[1] = static_cast<uint8_t>(std::clamp(today.year - 1900, 0, 255));
  dbf[2] = static_cast<uint8_t>(today.month);
  dbf[3] = static_cast<uint8_t>(today.day);
  PutLe32(dbf.data() + 4, static_cast<uint32_t>(record_count_));
  // The index files are not rewritten, so the table must stop pointing at them.
  dbf[28] = static_cast<uint8_t>(dbf[28] & ~0x01);
  if (!vfp_ && !db7_) {
    for (const auto& f : fields_) dbf[static_cast<size_t>(f.descriptor) + 31] = 0;
  }
  dbf.insert(dbf.end(), new_data.begin(), new_data.end());
  dbf.push_back(0x1A);
  return Status::Ok();
}

Status DbfTable::Save() {
  const fs::path memo_path = MemoPathFor(Path());
  std::vector<uint8_t> dbf, memo, new_data;
  VELMAR_RETURN_IF_ERROR(Serialize(memo_path, dbf, memo, new_data));
  std::vector<std::pair<fs::path, std::vector<uint8_t>>> files;
  files.emplace_back(Path(), std::move(dbf));
  const bool with_memo = memo_style_ != MemoStyle::kNone;
  if (with_memo) files.emplace_back(memo_path, memo);
  VELMAR_RETURN_IF_ERROR(WriteFilesAtomically(files));

  data_ = std::move(new_data);
  for (size_t r = 0; r < static_cast<size_t>(record_count_); ++r) {
    data_[r * static_cast<size_t>(record_size_)] = ' ';
  }
  header_.assign(files[0].second.begin(), files[0].second.begin() + header_size_);
  header_record_count_ = static_cast<uint32_t>(record_count_);
  file_slots_ = header_record_count_;
  ids_.clear();
  ids_.shrink_to_fit();
  next_id_ = file_slots_ + 1;
  memo_edits_.clear();
  if (with_memo) {
    memo_ = std::move(memo);
    memo_path_ = memo_path;
    memo_table_path_ = Path();
    memo_missing_ = false;
  }
  SetModified(false);
  return Status::Ok();
}

Status CreateDbfHeader(const TableFormat& format, const std::vector<ColumnDef>& columns,
                       int code_page, std::vector<uint8_t>& header, int& used_code_page);

Status DbfTable::ConvertInto(const fs::path& path, const TableFormat& format) {
  // The shared conversion picks each column's type from what it holds (a
  // double keeps its digits, a datetime becomes text); it leaves the cursor
  // where it was.
  const Mark mark = MarkPosition();
  std::unique_ptr<Table> created;
  VELMAR_RETURN_IF_ERROR(ConvertTable(*this, path, format, created));
  // CreateTable makes DBF tables of this class for the DBF formats.
  auto& target = static_cast<DbfTable&>(*created);
  // The table becomes the converted one; views keep their listener.
  DbfTable& moved = target;
  format_ = moved.format_;
  version_ = moved.version_;
  vfp_ = moved.vfp_;
  db7_ = moved.db7_;
  marker_ = moved.marker_;
  code_page_ = moved.code_page_;
  header_ = std::move(moved.header_);
  header_size_ = moved.header_size_;
  record_size_ = moved.record_size_;
  header_record_count_ = moved.header_record_count_;
  fields_ = std::move(moved.fields_);
  null_flags_offset_ = moved.null_flags_offset_;
  null_flags_bytes_ = moved.null_flags_bytes_;
  has_memo_fields_ = moved.has_memo_fields_;
  data_ = std::move(moved.data_);
  record_count_ = moved.record_count_;
  ids_ = std::move(moved.ids_);
  next_id_ = moved.next_id_;
  file_slots_ = moved.file_slots_;
  memo_style_ = moved.memo_style_;
  memo_ = std::move(moved.memo_);
  memo_block_size_ = moved.memo_block_size_;
  memo_missing_ = moved.memo_missing_;
  memo_path_ = moved.memo_path_;
  memo_table_path_ = moved.memo_table_path_;
  memo_edits_.clear();
  SetPath(path);
  MoveTo(std::min(mark, record_count_));
  SetModified(false);
  return Status::Ok();
}

Status DbfTable::SaveAs(const fs::path& path, const TableFormat& format) {
  if (format.family == TableFamily::kParadox) {
    // A Paradox copy is written beside; this table stays a DBF table and
    // the caller opens the copy.
    std::unique_ptr<Table> converted;
    return ConvertTable(*this, path, format, converted);
  }
  if (format == format_) {
    const fs::path old = Path();
    SetPath(path);
    Status s = Save();
    if (!s.ok()) SetPath(old);
    return s;
  }
  return ConvertInto(path, format);
}

// --- Creating ---

struct NewField {
  std::string name;  // encoded
  char type;
  int length;
  int decimals;
};

Status MapColumn(const ColumnDef& c, bool foxpro, NewField& out) {
  const std::string what = "Поле " + c.name + ": ";
  const char* target = foxpro ? "FoxPro" : "dBase";
  auto number = [&](int length, int decimals) {
    out.type = 'N';
    out.length = length;
    out.decimals = decimals;
  };
  switch (c.kind) {
    case FieldKind::kText:
      if (c.length < 1 || c.length > 255) {
        return Status::Invalid(what + "текст длиной " + std::to_string(c.length) +
                               " не помещается в формат " + target + " (не более 255)");
      }
      out.type = 'C';
      out.length = c.length;
      out.decimals = 0;
      return Status::Ok();
    case FieldKind::kFloat:
      if ((c.native_type == 'N' || c.native_type == 'F') && c.length >= 1 && c.length <= 20 &&
          c.decimals >= 0 && c.decimals < c.length) {
        number(c.length, c.decimals);
        if (foxpro && c.native_type == 'F') out.type = 'F';
      } else {
        number(20, 6);
      }
      return Status::Ok();
    case FieldKind::kSmallInt:
      number(6, 0);
      return Status::Ok();
    case FieldKind::kWord:
      number(5, 0);
      return Status::Ok();
    case FieldKind::kInteger:
    case FieldKind::kAutoIncrement:
      number(11, 0);
      return Status::Ok();
    case FieldKind::kCurrency:
      number(20, 4);
      return Status::Ok();
    case FieldKind::kBcd:
      number(20, std::clamp(c.decimals, 0, 18));
      return Status::Ok();
    case FieldKind::kBoolean:
      out.type = 'L';
      out.length = 1;
      out.decimals = 0;
      return Status::Ok();
    case FieldKind::kDate:
      out.type = 'D';
      out.length = 8;
      out.decimals = 0;
      return Status::Ok();
    case FieldKind::kMemo:
    case FieldKind::kFormattedMemo:
      out.type = 'M';
      out.length = 10;
      out.decimals = 0;
      return Status::Ok();
    case FieldKind::kOle:
    case FieldKind::kBinary:
    case FieldKind::kGraphic:
      if (foxpro) {
        out.type = c.kind == FieldKind::kGraphic ? 'P' : 'G';
        out.length = 10;
        out.decimals = 0;
        return Status::Ok();
      }
      return Status::Invalid(what + "двоичные данные не могут храниться в формате dBase");
    case FieldKind::kTime:
      return Status::Invalid(what + "тип «время» не поддерживается форматом " + target);
    case FieldKind::kTimestamp:
      return Status::Invalid(what + "тип «дата и время» не поддерживается форматом " + target);
    default:
      return Status::Invalid(what + "тип «" + std::string(KindName(c.kind)) +
                             "» не поддерживается форматом " + target);
  }
}

Status CreateDbfHeader(const TableFormat& format, const std::vector<ColumnDef>& columns,
                       int code_page, std::vector<uint8_t>& header, int& used_code_page) {
  if (format.family == TableFamily::kParadox) {
    return Status::Invalid("формат Paradox не является форматом dBase");
  }
  const bool foxpro = format.family == TableFamily::kFoxPro;
  if (columns.size() > 255) return Status::Invalid("в таблице dBase не может быть более 255 полей");
  uint8_t marker = LanguageDriverOfCodePage(code_page);
  used_code_page = code_page;
  if (marker == 0) {
    used_code_page = kCodePageWindowsCyrillic;
    marker = LanguageDriverOfCodePage(used_code_page);
  }
  std::vector<NewField> fields;
  std::set<std::string> used_names;
  bool memo = false;
  int record_size = 1;
  for (size_t i = 0; i < columns.size(); ++i) {
    NewField f;
    VELMAR_RETURN_IF_ERROR(MapColumn(columns[i], foxpro, f));
    // Names hold at most 10 bytes; longer or repeated ones are cut and numbered.
    std::string name = EncodeDbfText(columns[i].name, used_code_page);
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    if (name.empty()) name = "FIELD" + std::to_string(i + 1);
    if (name.size() > 10) name.resize(10);
    std::string base = name;
    for (int n = 1; used_names.count(Lower(name)); ++n) {
      std::string suffix = std::to_string(n);
      suffix.insert(suffix.begin(), '_');
      name = base.substr(0, 10 - suffix.size()) + suffix;
    }
    used_names.insert(Lower(name));
    f.name = name;
    memo = memo || f.type == 'M' || f.type == 'G' || f.type == 'P';
    record_size += f.length;
    fields.push_back(f);
  }
  if (record_size > 65535) return Status::Invalid("запись таблицы длиннее 65535 байт");
  const int header_size = 32 + 32 * static_cast<int>(fields.size()) + 1;
  header.assign(static_cast<size_t>(header_size), 0);
  header[0] = memo ? (foxpro ? 0xF5 : 0x83) : 0x03;
  PutLe16(header.data() + 8, static_cast<uint32_t>(header_size));
  PutLe16(header.data() + 10, static_cast<uint32_t>(record_size));
  header[29] = marker;
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* d = header.data() + 32 + 32 * i;
    std::memcpy(d, fields[i].name.data(), fields[i].name.size());
    d[11] = static_cast<uint8_t>(fields[i].type);
    d[16] = static_cast<uint8_t>(fields[i].length);
    d[17] = static_cast<uint8_t>(fields[i].decimals);
  }
  header[static_cast<size_t>(header_size - 1)] = 0x0D;
  return Status::Ok();
}

}  // namespace

Status OpenDbfTable(const std::filesystem::path& path, std::unique_ptr<Table>& out) {
  auto table = std::make_unique<DbfTable>();
  VELMAR_RETURN_IF_ERROR(table->Load(path));
  out = std::move(table);
  return Status::Ok();
}

Status CreateDbfTable(const std::filesystem::path& path, const TableFormat& format,
                      const std::vector<ColumnDef>& columns, int code_page,
                      std::unique_ptr<Table>& out) {
  std::vector<uint8_t> header;
  int used_code_page = 0;
  VELMAR_RETURN_IF_ERROR(CreateDbfHeader(format, columns, code_page, header, used_code_page));
  auto table = std::make_unique<DbfTable>();
  VELMAR_RETURN_IF_ERROR(table->InitEmpty(path, std::move(header), format));
  out = std::move(table);
  return Status::Ok();
}

}  // namespace velmar
