#ifndef VELMAR_CORE_BASE_CODE_PAGE_H_
#define VELMAR_CORE_BASE_CODE_PAGE_H_

#include <string>
#include <string_view>

namespace velmar {

// Code pages are named by their Windows numbers; HP Roman-8 is 1051 and
// UTF-8 is 65001. The single-byte pages know 437, 737, 850, 852, 857, 860,
// 861, 863, 865, 866, 874, 1250-1258, 10000, 10007 and 1051.
constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageWindowsCyrillic = 1251;

bool IsKnownCodePage(int code_page);

// Bytes in `code_page` to UTF-8. Undefined bytes, and anything of an unknown
// code page above 0x7F, become "?"; decoding never fails.
std::string DecodeToUtf8(std::string_view bytes, int code_page);

// UTF-8 to bytes in `code_page`. Characters the page cannot hold, and
// malformed UTF-8, become "?"; encoding never fails.
std::string EncodeFromUtf8(std::string_view utf8, int code_page);

// True when every character of `utf8` is representable in `code_page`.
bool CanEncode(std::string_view utf8, int code_page);

// The project file keeps its texts in Windows-1251. The one byte that page
// leaves undefined (0x98) is read as the C1 control of the same value and
// written back as that byte, so a name survives a load and a save unchanged.
std::string Cp1251ToUtf8(std::string_view bytes);
std::string Utf8ToCp1251(std::string_view utf8);
// True when Utf8ToCp1251 keeps every character of `utf8`.
bool CanEncodeCp1251(std::string_view utf8);

// Appends the UTF-8 form of a code point (surrogates and values past
// U+10FFFF become "?").
void AppendUtf8(std::string& out, char32_t code_point);

// Reads one code point from `utf8` at `pos` and advances `pos`; a malformed
// sequence yields U+FFFD and skips one byte.
char32_t NextCodePoint(std::string_view utf8, size_t& pos);

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_CODE_PAGE_H_
