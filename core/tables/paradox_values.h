#ifndef VELMAR_CORE_TABLES_PARADOX_VALUES_H_
#define VELMAR_CORE_TABLES_PARADOX_VALUES_H_

#include <cstdint>
#include <string>

#include "core/tables/paradox_header.h"
#include "core/tables/table.h"

// The values of Paradox fields other than blobs: stored bytes read as a
// Value, and Values encoded to the bytes a field stores.
namespace velmar::paradox {

bool AllZero(const uint8_t* p, int n);

// The value of a field that is not a blob; null when its bytes are all zero.
Value DecodeValue(const Field& f, const uint8_t* p, int code_page);
// The engine's float of a field; 0 for null and the types that are not numbers.
float DecodeFloat(uint8_t code, const uint8_t* p);

// The text an Alpha field stores for `value` (text, or a number written
// out); false when the value is neither.
bool TextOfValue(const Value& value, std::string& text);

// Encodes `value` into the `f.size` bytes of `buf` for the fixed-size types
// (numbers, logical, dates and times); false when the type cannot hold it.
// `decimals` is a BCD field's.
bool EncodeFixed(const Field& f, int decimals, const Value& value, uint8_t* buf);

}  // namespace velmar::paradox

#endif  // VELMAR_CORE_TABLES_PARADOX_VALUES_H_
