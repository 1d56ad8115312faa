#ifndef VELMAR_CORE_TABLES_DBF_VALUES_H_
#define VELMAR_CORE_TABLES_DBF_VALUES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/status.h"
#include "core/tables/dbf_format.h"
#include "core/tables/dbf_memo.h"
#include "core/tables/table.h"

// The values of DBF fields: the stored bytes of each type read as a Value,
// and Values encoded to the bytes a field stores.
namespace velmar::dbf {

// Julian day numbers: VFP datetimes count from them, and 1899-12-30 is 2415019.
Date DateFromJulian(int64_t jd);
int64_t JulianFromDate(const Date& date);
bool ValidDate(const Date& d);

// The digits of an N/F field of `n` bytes; nullopt when blank or not a number.
std::optional<double> ParseNumber(const uint8_t* p, int n);

// Whether the stored bytes `p` of a field that is not a memo read as null
// (the _NullFlags bit aside).
bool StoredNull(const Field& f, const uint8_t* p);
// The engine's float of the stored bytes of a field; 0 for null.
float StoredFloat(const Field& f, const uint8_t* p);
// The value of the stored bytes of a field that is not a memo. `short_value`
// is the _NullFlags bit of a V/Q field whose length is in its last byte.
Value StoredValue(const Field& f, const uint8_t* p, int code_page, bool short_value);
// The dump's JSON of stored digits (N/F) and currency (Y), which keep their
// own form; empty for the other types.
std::string StoredJson(const Field& f, const uint8_t* p);

// The bytes `f` stores for `value` (for memos: the memo's content), or why
// it cannot hold it. Text is encoded in `code_page`.
Status EncodeValue(const Field& f, const Value& value, int code_page, MemoStyle memo_style,
                   std::string& bytes);

}  // namespace velmar::dbf

#endif  // VELMAR_CORE_TABLES_DBF_VALUES_H_
