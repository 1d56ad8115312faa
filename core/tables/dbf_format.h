#ifndef VELMAR_CORE_TABLES_DBF_FORMAT_H_
#define VELMAR_CORE_TABLES_DBF_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

// The header of a dBase or FoxPro table file: the version byte, the counts
// and the field descriptors, read and written.
namespace velmar::dbf {

// How each stored type letter becomes a column. Text is decoded with the
// code page the language-driver byte names. AsFloat gives the value of the
// numeric ones as a float (booleans 1 and 0) and 0 for null and for every
// other type.
//
// clang-format off
// | letter | where              | FieldKind      | category | Value            | stored as                        |
// |--------|--------------------|----------------|----------|------------------|----------------------------------|
// | C      | all                | kText          | -        | string           | text, trailing blanks/NULs cut   |
// | N, F   | all                | kFloat         | float    | double           | ASCII digits; blank = null       |
// | L      | all                | kBoolean       | boolean  | bool             | T/t/Y/y, F/f/N/n; ? or blank null|
// | D      | all                | kDate          | -        | Date             | YYYYMMDD; blank = null           |
// | M      | all                | kMemo          | -        | string           | memo block: 10 digits or 4 bytes |
// | M      | VFP, flag 0x04     | kBinary        | -        | Bytes            | binary memo block                |
// | B      | dBase IV/7         | kBinary        | -        | Bytes            | binary memo block                |
// | G      | all                | kOle           | -        | Bytes            | memo block                       |
// | P      | FoxPro             | kGraphic       | -        | Bytes            | memo block                       |
// | W      | dBase 7, VFP       | kBinary        | -        | Bytes            | memo block                       |
// | I      | VFP                | kInteger       | integer  | int64            | int32 little-endian              |
// | I      | dBase 7            | kInteger       | integer  | int64            | int32 big-endian, top bit flipped|
// | +      | dBase 7            | kAutoIncrement | -        | int64            | as dBase 7 I                     |
// | O      | dBase 7            | kFloat         | float    | double           | sortable big-endian double       |
// | @      | dBase 7            | kTimestamp     | -        | Timestamp        | sortable double, ms from Julian 0|
// | B      | VFP                | kFloat         | float    | double           | double little-endian             |
// | Y      | VFP                | kCurrency      | currency | double           | int64 / 10000, little-endian     |
// | T      | VFP                | kTimestamp     | -        | Timestamp        | Julian day + ms, int32 each      |
// | V      | VFP                | kText          | -        | string           | length in last byte when flagged |
// | Q      | VFP                | kBytes         | -        | Bytes            | as V                             |
// | 0      | VFP _NullFlags     | kNullFlags     | -        | Bytes            | null and varlength bits          |
// | other  |                    | kOther         | -        | Bytes            | raw                              |
// clang-format on
//
// Written by CreateHeader (the editor's dBase and FoxPro formats):
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
constexpr int kMsPerDay = 86400000;

// What the header of a table file says, and its bytes as read.
struct Header {
  TableFormat format;
  uint8_t version = 0x03;
  bool vfp = false;    // Visual FoxPro
  bool db7 = false;    // dBase 7
  uint8_t marker = 0;  // language-driver byte
  int code_page = 437;
  std::vector<uint8_t> bytes;
  int size = 0;
  int record_size = 1;
  uint32_t record_count = 0;
  std::vector<Field> fields;
  int null_flags_offset = -1;
  int null_flags_bytes = 0;
  bool has_memo_fields = false;

  // FoxPro 2.x, FoxBASE or Visual FoxPro rather than dBase.
  bool FoxPro() const { return vfp || version == 0xf5 || version == 0xfb; }
  // Whether `bit` of the _NullFlags column is set in `record`.
  bool Bit(const uint8_t* record, int bit) const {
    if (bit < 0) return false;
    return (record[null_flags_offset + bit / 8] >> (bit % 8)) & 1;
  }
  void SetBit(uint8_t* record, int bit, bool on) const;
};

// Reads the header of a file of `file_size` bytes; the counts are checked
// against the size.
Status ParseHeader(const uint8_t* file, size_t file_size, Header& out);

// The header of an empty table of `columns` in `format` (dBase III or
// FoxPro 2.x), with text in `code_page` or, when no language-driver byte
// names it, in cp1251; `used_code_page` tells which.
Status CreateHeader(const TableFormat& format, const std::vector<ColumnDef>& columns, int code_page,
                    std::vector<uint8_t>& header, int& used_code_page);

// "dBase III with .DBT memo", ... for the dumps.
std::string VersionName(uint8_t version);
// "0x8b".
std::string Hex2(unsigned v);

}  // namespace velmar::dbf

#endif  // VELMAR_CORE_TABLES_DBF_FORMAT_H_
