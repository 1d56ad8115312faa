#include "core/tables/paradox_values.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include "core/base/byte_order.h"
#include "core/base/code_page.h"
#include "core/base/format_real.h"
#include "core/tables/paradox_format.h"

namespace velmar::paradox {
namespace {

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

int32_t FlippedInt32(const uint8_t* p) { return static_cast<int32_t>(LoadBe32(p) ^ 0x80000000u); }

bool EncodeInteger(const Field& f, const Value& value, uint8_t* buf) {
  int64_t v;
  if (!ToInteger(value, v)) return false;
  if (f.code == kShort) {
    // The smallest value of each width encodes to all zero bytes, which is null.
    if (v <= -32768 || v > 32767) return false;
    StoreBe16(buf, static_cast<uint16_t>(v) ^ 0x8000);
    return true;
  }
  if (v <= std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  StoreBe32(buf, static_cast<uint32_t>(v) ^ 0x80000000u);
  return true;
}

bool EncodeDate(const Value& value, uint8_t* buf) {
  Date date;
  if (auto* d = std::get_if<Date>(&value)) {
    date = *d;
  } else if (auto* t = std::get_if<Timestamp>(&value); t && t->milliseconds == 0) {
    date = t->date;
  } else if (auto* s = std::get_if<std::string>(&value); !s || !ParseDate(*s, date)) {
    return false;
  }
  if (!IsValidDate(date)) return false;
  StoreBe32(buf, static_cast<uint32_t>(DayNumber(date)) ^ 0x80000000u);
  return true;
}

bool EncodeTimestamp(const Value& value, uint8_t* buf) {
  Timestamp ts;
  if (auto* t = std::get_if<Timestamp>(&value)) {
    ts = *t;
  } else if (auto* d = std::get_if<Date>(&value)) {
    ts.date = *d;
  } else {
    return false;
  }
  if (!IsValidDate(ts.date) || ts.milliseconds < 0 || ts.milliseconds >= 86400000) return false;
  EncodeDouble(buf, static_cast<double>(DayNumber(ts.date)) * 86400000.0 + ts.milliseconds);
  return true;
}

}  // namespace

bool AllZero(const uint8_t* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (p[i]) return false;
  }
  return true;
}

Value DecodeValue(const Field& f, const uint8_t* p, int code_page) {
  if (AllZero(p, f.size)) return {};
  switch (f.code) {
    case kAlpha: {
      const void* nul = std::memchr(p, 0, f.size);
      size_t n = nul ? static_cast<const uint8_t*>(nul) - p : f.size;
      return DecodeToUtf8(std::string_view(reinterpret_cast<const char*>(p), n), code_page);
    }
    case kShort:
      return int64_t{static_cast<int16_t>(LoadBe16(p) ^ 0x8000)};
    case kLong:
    case kAutoInc:
      return int64_t{FlippedInt32(p)};
    case kNumber:
    case kCurrency:
      return DecodeDouble(p);
    case kBcd:
      return DecodeBcd(p);
    case kLogical:
      return p[0] != 0x80;
    case kDate:
      return DateFromDayNumber(FlippedInt32(p));
    case kTime:
      return TimeOfDay{FlippedInt32(p)};
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

float DecodeFloat(uint8_t code, const uint8_t* p) {
  switch (code) {
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
    // As DecodeValue reads it: 0x80 is false, any other stored byte true.
    case kLogical:
      return p[0] != 0 && p[0] != 0x80 ? 1.0f : 0.0f;
    default:
      return 0;
  }
}

bool TextOfValue(const Value& value, std::string& text) {
  if (auto* s = std::get_if<std::string>(&value)) {
    text = *s;
  } else if (auto* i = std::get_if<int64_t>(&value)) {
    text = std::to_string(*i);
  } else if (auto* d = std::get_if<double>(&value)) {
    text = FormatReal(*d);
  } else {
    return false;
  }
  return true;
}

bool EncodeFixed(const Field& f, int decimals, const Value& value, uint8_t* buf) {
  switch (f.code) {
    case kShort:
    case kLong:
    case kAutoInc:
      return EncodeInteger(f, value, buf);
    case kNumber:
    case kCurrency: {
      double d;
      if (!ToDouble(value, d)) return false;
      if (auto* i = std::get_if<int64_t>(&value); i && static_cast<int64_t>(d) != *i) return false;
      EncodeDouble(buf, d);
      return true;
    }
    case kBcd: {
      double d;
      return ToDouble(value, d) && EncodeBcd(buf, d, decimals);
    }
    case kLogical: {
      if (auto* b = std::get_if<bool>(&value)) {
        buf[0] = *b ? 0x81 : 0x80;
        return true;
      }
      int64_t v;
      if (!ToInteger(value, v) || (v != 0 && v != 1)) return false;
      buf[0] = v ? 0x81 : 0x80;
      return true;
    }
    case kDate:
      return EncodeDate(value, buf);
    case kTime: {
      auto* t = std::get_if<TimeOfDay>(&value);
      if (!t || t->milliseconds < 0 || t->milliseconds >= 86400000) return false;
      StoreBe32(buf, static_cast<uint32_t>(t->milliseconds) ^ 0x80000000u);
      return true;
    }
    case kTimestamp:
      return EncodeTimestamp(value, buf);
    default:
      return false;
  }
}

}  // namespace velmar::paradox
