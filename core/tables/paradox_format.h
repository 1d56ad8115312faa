#ifndef VELMAR_CORE_TABLES_PARADOX_FORMAT_H_
#define VELMAR_CORE_TABLES_PARADOX_FORMAT_H_

#include <cstdint>
#include <string>

#include "core/base/byte_order.h"
#include "core/tables/table.h"

// Field encodings of Paradox tables. Every field whose bytes are all zero is
// null; the encodings below are chosen by the format so that a value never
// encodes to all zero bytes (the one exception, the smallest integer of
// each width, cannot be stored).
namespace velmar::paradox {

// Type codes as stored in the header's field list, and what each becomes.
// AsFloat gives the value of the numeric ones as a float (booleans 1 and 0)
// and 0 for null and for every other type.
//
// clang-format off
// | code | letter | level | FieldKind      | category | Value     | stored as                              |
// |------|--------|-------|----------------|----------|-----------|----------------------------------------|
// | 0x01 | A      | 3     | kText          | -        | string    | code-page text, NUL-padded             |
// | 0x02 | D      | 3     | kDate          | -        | Date      | day number (1 = 0001-01-01) as I       |
// | 0x03 | S      | 3     | kSmallInt      | smallint | int64     | int16 big-endian, top bit flipped      |
// | 0x04 | I      | 5     | kInteger       | integer  | int64     | int32 big-endian, top bit flipped      |
// | 0x05 | $      | 3     | kCurrency      | currency | double    | as N                                   |
// | 0x06 | N      | 3     | kFloat         | float    | double    | sortable big-endian double             |
// | 0x09 | L      | 5     | kBoolean       | boolean  | bool      | 0x80 false, 0x81 true                  |
// | 0x0C | M      | 4     | kMemo          | -        | string    | leader + blob descriptor, text in .MB  |
// | 0x0D | B      | 4     | kBinary        | -        | Bytes     | leader + blob descriptor               |
// | 0x0E | F      | 4     | kFormattedMemo | -        | Bytes     | leader + blob descriptor               |
// | 0x0F | O      | 4     | kOle           | -        | Bytes     | leader + blob descriptor               |
// | 0x10 | G      | 4     | kGraphic       | -        | Bytes     | leader + blob descriptor               |
// | 0x14 | T      | 5     | kTime          | -        | TimeOfDay | milliseconds since midnight as I       |
// | 0x15 | @      | 5     | kTimestamp     | -        | Timestamp | milliseconds as N; by 86 400 000 a day |
// | 0x16 | +      | 5     | kAutoIncrement | -        | int64     | as I                                   |
// | 0x17 | #      | 5     | kBcd           | -        | double    | 17 bytes of BCD (see DecodeBcd)        |
// | 0x18 | Y      | 5     | kBytes         | -        | Bytes     | raw bytes                              |
// clang-format on
//
// A field whose bytes are all zero is null (a blob: length 0), whatever
// its type.
enum TypeCode : uint8_t {
  kAlpha = 0x01,
  kDate = 0x02,
  kShort = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kNumber = 0x06,
  kLogical = 0x09,
  kMemo = 0x0C,
  kBlob = 0x0D,
  kFormattedMemo = 0x0E,
  kOle = 0x0F,
  kGraphic = 0x10,
  kTime = 0x14,
  kTimestamp = 0x15,
  kAutoInc = 0x16,
  kBcd = 0x17,
  kBytes = 0x18,
};

constexpr int kBcdSize = 17;
constexpr int kBlobDescriptorSize = 10;
constexpr int kMaxNameLength = 25;

// The native letter of a type code ('A', 'D', ...), or 0 when unknown.
char TypeLetter(uint8_t code);
// The type code of a native letter, or 0 when unknown.
uint8_t TypeCodeOf(char letter);
FieldKind KindOfType(uint8_t code);
bool IsBlobType(uint8_t code);
// The lowest table level that has the type: 3 for the types of Paradox 3.5,
// 4 for blobs, 5 for the rest.
int MinimumLevel(uint8_t code);

// Day numbers count from 1 = 0001-01-01 (proleptic Gregorian).
int64_t DayNumber(const Date& date);
Date DateFromDayNumber(int64_t day);
bool IsValidDate(const Date& date);

// Numbers and currency: a big-endian double with the sign bit flipped for
// positives and every bit inverted for negatives, so the bytes sort as the
// values do.
inline uint64_t EncodeDoubleBits(uint64_t bits) {
  return (bits & 0x8000000000000000ull) ? ~bits : bits ^ 0x8000000000000000ull;
}
inline uint64_t DecodeDoubleBits(uint64_t stored) {
  return (stored & 0x8000000000000000ull) ? stored ^ 0x8000000000000000ull : ~stored;
}
double DecodeDouble(const uint8_t* p);
void EncodeDouble(uint8_t* p, double value);

// BCD: byte 0 holds the sign (0x80 set = positive) and the decimals in its
// low 6 bits; then 32 digit nibbles, each inverted (xor 0xF) for negatives.
// Nibbles that are not digits end the number.
double DecodeBcd(const uint8_t* p);
// Writes `value` rounded to `decimals`; false when it has too many integer
// digits.
bool EncodeBcd(uint8_t* p, double value, int decimals);

}  // namespace velmar::paradox

#endif  // VELMAR_CORE_TABLES_PARADOX_FORMAT_H_
