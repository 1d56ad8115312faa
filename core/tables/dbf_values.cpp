#include "core/tables/dbf_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/base/byte_order.h"
#include "core/base/code_page.h"
#include "core/tables/dbf_code_page.h"
#include "core/tables/table_files.h"
#include "core/tables/value_text.h"

namespace velmar::dbf {
namespace {

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

// dBase 7 stores I, +, O and @ so that their bytes sort like their values.
int64_t Db7Int(const uint8_t* p) { return static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u); }
double Db7Double(const uint8_t* p) {
  uint64_t bits = LoadBe64(p);
  bits = (bits & 0x8000000000000000ull) ? (bits ^ 0x8000000000000000ull) : ~bits;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
void PutDb7Double(uint8_t* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
  StoreBe64(p, bits);
}

double LeDouble(const uint8_t* p) {
  double v;
  uint64_t bits = LoadLe64(p);
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

bool TrueLetter(uint8_t c) { return c == 'T' || c == 't' || c == 'Y' || c == 'y'; }

std::string ShortestDouble(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
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

bool StoredDate(const uint8_t* p, Date& d) {
  return ParseDateText(std::string_view(reinterpret_cast<const char*>(p), 8), d);
}

// --- Value conversions used by EncodeValue ---

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

bool ValueToText(const Value& v, std::string& out) {
  if (auto* s = std::get_if<std::string>(&v)) return out = *s, true;
  if (auto* i = std::get_if<int64_t>(&v)) return out = std::to_string(*i), true;
  if (auto* d = std::get_if<double>(&v)) return out = ShortestDouble(*d), true;
  if (auto* b = std::get_if<bool>(&v)) return out.assign(1, *b ? 'T' : 'F'), true;
  if (auto* d = std::get_if<Date>(&v)) return out = DateText(*d), true;
  if (auto* t = std::get_if<TimeOfDay>(&v)) return out = TimeText(t->milliseconds), true;
  if (auto* t = std::get_if<Timestamp>(&v)) {
    return out = DateText(t->date) + "T" + TimeText(t->milliseconds), true;
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
    std::string t = AsciiLower(std::string(TrimView(*s)));
    if (t == "t" || t == "y" || t == "true" || t == "yes" || t == "1") return out = true, true;
    if (t == "f" || t == "n" || t == "false" || t == "no" || t == "0") return out = false, true;
  }
  return false;
}

// --- Encoding, one function a group of types ---

Status Refuse(const Field& f, const std::string& why) {
  return Status::Invalid("Поле " + f.def.name + ": " + why);
}

Status TextBytes(const Field& f, const std::string& text, int code_page, std::string& out) {
  if (!CanEncodeDbfText(text, code_page)) {
    return Refuse(
        f, "текст содержит знаки, которых нет в кодировке таблицы (" + CodecName(code_page) + ")");
  }
  out = code_page == kCodePageUtf8 ? text : EncodeDbfText(text, code_page);
  return Status::Ok();
}

Status EncodeText(const Field& f, const Value& value, int code_page, std::string& bytes) {
  std::string text;
  if (!ValueToText(value, text)) return Refuse(f, "значение не является текстом");
  std::string enc;
  VELMAR_RETURN_IF_ERROR(TextBytes(f, text, code_page, enc));
  while (!enc.empty() && enc.back() == ' ' && f.codec == Codec::kChar) enc.pop_back();
  if (static_cast<int>(enc.size()) > f.def.length) {
    return Refuse(f, "текст длиннее поля (" + std::to_string(f.def.length) + " символов)");
  }
  bytes = enc;
  return Status::Ok();
}

// N/F: the digits right-aligned, with the field's decimals.
Status EncodeNumber(const Field& f, const Value& value, std::string& bytes) {
  const int len = f.def.length;
  double x;
  if (!ValueToNumber(value, x)) return Refuse(f, "значение не является числом");
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
    if (std::fabs(x) >= 1e300) return Refuse(f, "число не помещается в поле");
    r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, dec);
    if (r.ec != std::errc()) return Refuse(f, "число не помещается в поле");
  }
  std::string s(buf, r.ptr);
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  if (static_cast<int>(s.size()) > len) {
    return Refuse(f, "число " + s + " не помещается в поле ширины " + std::to_string(len));
  }
  bytes.assign(static_cast<size_t>(len - static_cast<int>(s.size())), ' ');
  bytes += s;
  return Status::Ok();
}

Status EncodeMemo(const Field& f, const Value& value, int code_page, MemoStyle memo_style,
                  std::string& bytes) {
  if (f.binary) {
    if (auto* b = std::get_if<Bytes>(&value)) {
      bytes.assign(b->begin(), b->end());
    } else if (auto* s = std::get_if<std::string>(&value)) {
      bytes = *s;
    } else {
      return Refuse(f, "значение не является двоичными данными");
    }
  } else {
    std::string text;
    if (!ValueToText(value, text)) return Refuse(f, "значение не является текстом");
    VELMAR_RETURN_IF_ERROR(TextBytes(f, text, code_page, bytes));
  }
  // dBase III ends a memo at the first 0x1A.
  if (memo_style == MemoStyle::kDbase3 && bytes.find('\x1a') != std::string::npos) {
    return Refuse(f, "знак 0x1A не может храниться в примечании dBase III");
  }
  return Status::Ok();
}

// The binary numbers: I, + and O of dBase 7, I, B and Y of Visual FoxPro.
Status EncodeBinaryNumber(const Field& f, const Value& value, std::string& bytes) {
  double x;
  const bool number = ValueToNumber(value, x);
  if (f.codec == Codec::kInt32 || f.codec == Codec::kDb7Int) {
    if (!number || x != std::floor(x) || x < -2147483648.0 || x > 2147483647.0) {
      return Refuse(f, "значение не является целым числом");
    }
    bytes.assign(4, '\0');
    auto* p = reinterpret_cast<uint8_t*>(bytes.data());
    const auto v = static_cast<uint32_t>(static_cast<int32_t>(x));
    if (f.codec == Codec::kInt32)
      StoreLe32(p, v);
    else
      StoreBe32(p, v ^ 0x80000000u);
    return Status::Ok();
  }
  if (f.codec == Codec::kCurrency) {
    if (!number || std::fabs(x) > 9.2e14) return Refuse(f, "значение не является денежной суммой");
    bytes.assign(8, '\0');
    StoreLe64(reinterpret_cast<uint8_t*>(bytes.data()),
              static_cast<uint64_t>(std::llround(x * 10000.0)));
    return Status::Ok();
  }
  if (!number) return Refuse(f, "значение не является числом");
  bytes.assign(8, '\0');
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  if (f.codec == Codec::kDouble) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    StoreLe64(p, bits);
  } else {
    PutDb7Double(p, x);
  }
  return Status::Ok();
}

// T of Visual FoxPro and @ of dBase 7.
Status EncodeDateTime(const Field& f, const Value& value, std::string& bytes) {
  Date d;
  int32_t ms = 0;
  if (auto* t = std::get_if<Timestamp>(&value)) {
    d = t->date;
    ms = t->milliseconds;
  } else if (!ValueToDate(value, d)) {
    return Refuse(f, "значение не является датой и временем");
  }
  if (!ValidDate(d) || ms < 0 || ms >= kMsPerDay) return Refuse(f, "неверные дата или время");
  bytes.assign(8, '\0');
  auto* p = reinterpret_cast<uint8_t*>(bytes.data());
  if (f.codec == Codec::kDateTime) {
    StoreLe32(p, static_cast<uint32_t>(JulianFromDate(d)));
    StoreLe32(p + 4, static_cast<uint32_t>(ms));
  } else {
    PutDb7Double(p, static_cast<double>(JulianFromDate(d) * kMsPerDay + ms));
  }
  return Status::Ok();
}

}  // namespace

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

// The common shape (blanks, sign, up to 18 digits with a point) is read
// directly; anything else goes through NormalizeNumber and from_chars.
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

bool StoredNull(const Field& f, const uint8_t* p) {
  switch (f.codec) {
    case Codec::kNumber:
      return !ParseNumber(p, f.def.length).has_value();
    case Codec::kLogical:
      return std::strchr("TtYyFfNn", p[0]) == nullptr || p[0] == 0;
    case Codec::kDate: {
      Date d;
      return !StoredDate(p, d) || !ValidDate(d);
    }
    case Codec::kDateTime:
      return LoadLe64(p) == 0;
    case Codec::kDb7Int:
    case Codec::kDb7Double:
    case Codec::kDb7Timestamp:
      return std::all_of(p, p + f.def.length, [](uint8_t b) { return b == 0; });
    default:
      return false;
  }
}

float StoredFloat(const Field& f, const uint8_t* p) {
  switch (f.codec) {
    case Codec::kNumber: {
      auto v = ParseNumber(p, f.def.length);
      return v ? static_cast<float>(*v) : 0.0f;
    }
    case Codec::kLogical:
      return TrueLetter(p[0]) ? 1 : 0;
    case Codec::kInt32:
      return static_cast<float>(static_cast<int32_t>(LoadLe32(p)));
    case Codec::kDouble:
      return static_cast<float>(LeDouble(p));
    case Codec::kCurrency:
      return static_cast<float>(static_cast<double>(static_cast<int64_t>(LoadLe64(p))) / 10000.0);
    case Codec::kDb7Int:
      return StoredNull(f, p) ? 0 : static_cast<float>(Db7Int(p));
    case Codec::kDb7Double:
      return StoredNull(f, p) ? 0 : static_cast<float>(Db7Double(p));
    default:
      return 0;
  }
}

Value StoredValue(const Field& f, const uint8_t* p, int code_page, bool short_value) {
  const int len = f.def.length;
  auto text = [&](int n) {
    return DecodeDbfText(std::string_view(reinterpret_cast<const char*>(p), n), code_page);
  };
  switch (f.codec) {
    case Codec::kChar: {
      int n = len;
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
      return text(n);
    }
    case Codec::kNumber:
      return *ParseNumber(p, len);
    case Codec::kLogical:
      return TrueLetter(p[0]);
    case Codec::kDate: {
      Date d;
      StoredDate(p, d);
      return d;
    }
    case Codec::kInt32:
      return int64_t{static_cast<int32_t>(LoadLe32(p))};
    case Codec::kDouble:
      return LeDouble(p);
    case Codec::kCurrency:
      return static_cast<double>(static_cast<int64_t>(LoadLe64(p))) / 10000.0;
    case Codec::kDateTime: {
      Timestamp t;
      t.date = DateFromJulian(static_cast<int32_t>(LoadLe32(p)));
      t.milliseconds = static_cast<int32_t>(LoadLe32(p + 4));
      return t;
    }
    case Codec::kVarChar:
    case Codec::kVarBinary: {
      int n = len;
      if (short_value) n = std::min<int>(p[len - 1], len - 1);
      if (f.codec == Codec::kVarBinary) return Bytes(p, p + n);
      return text(n);
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
    case Codec::kMemo:
      break;
  }
  return Value{};
}

std::string StoredJson(const Field& f, const uint8_t* p) {
  if (f.codec == Codec::kNumber) {
    std::string s =
        NormalizeNumber(std::string_view(reinterpret_cast<const char*>(p), f.def.length));
    return s.empty() ? "null" : s;
  }
  if (f.codec == Codec::kCurrency) {
    const int64_t v = static_cast<int64_t>(LoadLe64(p));
    const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::string frac = std::to_string(mag % 10000);
    frac.insert(0, 4 - frac.size(), '0');
    std::string text(v < 0 ? 1 : 0, '-');
    text += std::to_string(mag / 10000);
    text += '.';
    text += frac;
    return text;
  }
  return {};
}

Status EncodeValue(const Field& f, const Value& value, int code_page, MemoStyle memo_style,
                   std::string& bytes) {
  switch (f.codec) {
    case Codec::kChar:
    case Codec::kVarChar:
      return EncodeText(f, value, code_page, bytes);
    case Codec::kNumber:
      return EncodeNumber(f, value, bytes);
    case Codec::kLogical: {
      bool b;
      if (!ValueToBool(value, b)) return Refuse(f, "значение не является логическим");
      bytes.assign(1, b ? 'T' : 'F');
      return Status::Ok();
    }
    case Codec::kDate: {
      Date d;
      if (!ValueToDate(value, d)) return Refuse(f, "значение не является датой");
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
      bytes = buf;
      return Status::Ok();
    }
    case Codec::kMemo:
      return EncodeMemo(f, value, code_page, memo_style, bytes);
    case Codec::kInt32:
    case Codec::kDb7Int:
    case Codec::kDouble:
    case Codec::kDb7Double:
    case Codec::kCurrency:
      return EncodeBinaryNumber(f, value, bytes);
    case Codec::kDateTime:
    case Codec::kDb7Timestamp:
      return EncodeDateTime(f, value, bytes);
    case Codec::kVarBinary: {
      auto* b = std::get_if<Bytes>(&value);
      if (!b) return Refuse(f, "значение не является двоичными данными");
      if (static_cast<int>(b->size()) > f.def.length) return Refuse(f, "данные длиннее поля");
      bytes.assign(b->begin(), b->end());
      return Status::Ok();
    }
    case Codec::kNullFlags:
    case Codec::kRaw:
      break;
  }
  return Refuse(f, "поле этого типа не редактируется");
}

}  // namespace velmar::dbf
