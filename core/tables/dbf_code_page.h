#ifndef VELMAR_CORE_TABLES_DBF_CODE_PAGE_H_
#define VELMAR_CORE_TABLES_DBF_CODE_PAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

// Mazovia, the Polish DOS page: cp437 with 18 letters moved in. It has no
// Windows number; 620 is the number DOS tools gave it.
constexpr int kCodePageMazovia = 620;

// The code page a DBF language-driver byte (header offset 29) names. Byte 0
// declares none and reads as cp437; 0xF0 is not a dBase id but marks UTF-8
// text in files written by some converters. Unknown bytes give 0.
int CodePageOfLanguageDriver(uint8_t marker);

// The language-driver byte for writing text in `code_page`, 0 when no byte
// names it.
uint8_t LanguageDriverOfCodePage(int code_page);

// Like DecodeToUtf8 / EncodeFromUtf8 / CanEncode, with Mazovia added.
std::string DecodeDbfText(std::string_view bytes, int code_page);
std::string EncodeDbfText(std::string_view utf8, int code_page);
bool CanEncodeDbfText(std::string_view utf8, int code_page);

// "cp1252", "utf-8", "mazovia": the codec name the dumps use.
std::string CodecName(int code_page);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_DBF_CODE_PAGE_H_
