#ifndef VELMAR_CORE_TABLES_VALUE_TEXT_H_
#define VELMAR_CORE_TABLES_VALUE_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "core/tables/table.h"

// The one way dates, times, bytes and strings are spelled in text: dumps,
// conversions between formats and text columns all use these.
namespace velmar {

// "2024-03-01".
std::string DateText(const Date& date);
// "13:05:09", with ".250" when there are milliseconds.
std::string TimeText(int32_t milliseconds);
// Lower-case hex digits, two a byte.
std::string HexText(const Bytes& bytes);
// A JSON string literal of UTF-8 text, quotes included; bytes that are not
// UTF-8 (a file name in another code page) become U+FFFD.
std::string JsonQuote(std::string_view utf8);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_VALUE_TEXT_H_
