#include "core/tables/paradox_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace velmar::paradox {

char TypeLetter(uint8_t code) {
  switch (code) {
    case kAlpha:
      return 'A';
    case kDate:
      return 'D';
    case kShort:
      return 'S';
    case kLong:
      return 'I';
    case kCurrency:
      return '$';
    case kNumber:
      return 'N';
    case kLogical:
      return 'L';
    case kMemo:
      return 'M';
    case kBlob:
      return 'B';
    case kFormattedMemo:
      return 'F';
    case kOle:
      return 'O';
    case kGraphic:
      return 'G';
    case kTime:
      return 'T';
    case kTimestamp:
      return '@';
    case kAutoInc:
      return '+';
    case kBcd:
      return '#';
    case kBytes:
      return 'Y';
    default:
      return 0;
  }
}

uint8_t TypeCodeOf(char letter) {
  static constexpr uint8_t kCodes[] = {
      kAlpha,         kDate, kShort,   kLong, kCurrency,  kNumber,  kLogical, kMemo, kBlob,
      kFormattedMemo, kOle,  kGraphic, kTime, kTimestamp, kAutoInc, kBcd,     kBytes};
  for (uint8_t code : kCodes) {
    if (TypeLetter(code) == letter) return code;
  }
  return 0;
}

FieldKind KindOfType(uint8_t code) {
  switch (code) {
    case kAlpha:
      return FieldKind::kText;
    case kDate:
      return FieldKind::kDate;
    case kShort:
      return FieldKind::kSmallInt;
    case kLong:
      return FieldKind::kInteger;
    case kCurrency:
      return FieldKind::kCurrency;
    case kNumber:
      return FieldKind::kFloat;
    case kLogical:
      return FieldKind::kBoolean;
    case kMemo:
      return FieldKind::kMemo;
    case kBlob:
      return FieldKind::kBinary;
    case kFormattedMemo:
      return FieldKind::kFormattedMemo;
    case kOle:
      return FieldKind::kOle;
    case kGraphic:
      return FieldKind::kGraphic;
    case kTime:
      return FieldKind::kTime;
    case kTimestamp:
      return FieldKind::kTimestamp;
    case kAutoInc:
      return FieldKind::kAutoIncrement;
    case kBcd:
      return FieldKind::kBcd;
    case kBytes:
      return FieldKind::kBytes;
    default:
      return FieldKind::kOther;
  }
}

bool IsBlobType(uint8_t code) {
  return code == kMemo || code == kBlob || code == kFormattedMemo || code == kOle ||
         code == kGraphic;
}

int MinimumLevel(uint8_t code) {
  switch (code) {
    case kAlpha:
    case kDate:
    case kShort:
    case kCurrency:
    case kNumber:
      return 3;
    case kMemo:
    case kBlob:
    case kFormattedMemo:
    case kOle:
    case kGraphic:
      return 4;
    default:
      return 5;
  }
}

// Civil-date arithmetic on days since 1970-01-01.
static int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr int64_t kDayOfEpoch = 719163;  // day number of 1970-01-01

int64_t DayNumber(const Date& date) {
  return DaysFromCivil(date.year, date.month, date.day) + kDayOfEpoch;
}

Date DateFromDayNumber(int64_t day) {
  int64_t z = day - kDayOfEpoch + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  return Date{static_cast<int32_t>(y), static_cast<int32_t>(m), static_cast<int32_t>(d)};
}

bool IsValidDate(const Date& date) {
  if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1) {
    return false;
  }
  return DateFromDayNumber(DayNumber(date)) == date;
}

double DecodeDouble(const uint8_t* p) {
  return std::bit_cast<double>(DecodeDoubleBits(LoadBe64(p)));
}

void EncodeDouble(uint8_t* p, double value) {
  StoreBe64(p, EncodeDoubleBits(std::bit_cast<uint64_t>(value)));
}

double DecodeBcd(const uint8_t* p) {
  const bool negative = (p[0] & 0x80) == 0;
  int decimals = p[0] & 0x3F;
  if (decimals > 32) decimals = 32;
  char text[40];
  int n = 0;
  if (negative) text[n++] = '-';
  bool stopped = false;
  for (int i = 0; i < 32; ++i) {
    if (i == 32 - decimals) {
      if (i == 0) text[n++] = '0';
      text[n++] = '.';
    }
    uint8_t nibble = (i % 2 == 0) ? p[1 + i / 2] >> 4 : p[1 + i / 2] & 0x0F;
    if (negative) nibble ^= 0x0F;
    if (nibble > 9) stopped = true;
    text[n++] = static_cast<char>('0' + (stopped ? 0 : nibble));
  }
  double value = 0;
  std::from_chars(text, text + n, value);
  return value;
}

bool EncodeBcd(uint8_t* p, double value, int decimals) {
  if (!std::isfinite(value) || decimals < 0 || decimals > 32) return false;
  const bool negative = value < 0;
  // Digits come from the shortest decimal text that gives the double back,
  // so 0.1 is stored as 0.1 and not as its binary expansion.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
  if (res.ec != std::errc()) return false;
  std::string text(buf, res.ptr);
  std::string int_part = text, frac_part;
  if (size_t dot = text.find('.'); dot != std::string::npos) {
    int_part = text.substr(0, dot);
    frac_part = text.substr(dot + 1);
  }
  if (int_part == "0") int_part.clear();
  // Round half away from zero to the column's decimals.
  if (static_cast<int>(frac_part.size()) > decimals) {
    bool round_up = frac_part[decimals] >= '5';
    frac_part.resize(decimals);
    if (round_up) {
      std::string all = int_part + frac_part;
      int i = static_cast<int>(all.size()) - 1;
      for (; i >= 0; --i) {
        if (all[i] == '9') {
          all[i] = '0';
        } else {
          ++all[i];
          break;
        }
      }
      if (i < 0) all.insert(all.begin(), '1');
      int_part = all.substr(0, all.size() - decimals);
      frac_part = all.substr(all.size() - decimals);
    }
  }
  frac_part.resize(decimals, '0');
  if (static_cast<int>(int_part.size()) > 32 - decimals) return false;
  std::string digits(32 - decimals - int_part.size(), '0');
  digits += int_part;
  digits += frac_part;
  bool all_zero = digits.find_first_not_of('0') == std::string::npos;
  bool neg = negative && !all_zero;
  p[0] = static_cast<uint8_t>((neg ? 0x00 : 0x80) | 0x40 | decimals);
  for (int i = 0; i < 16; ++i) {
    uint8_t hi = static_cast<uint8_t>(digits[2 * i] - '0');
    uint8_t lo = static_cast<uint8_t>(digits[2 * i + 1] - '0');
    if (neg) {
      hi ^= 0x0F;
      lo ^= 0x0F;
    }
    p[1 + i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return true;
}

}  // namespace velmar::paradox
