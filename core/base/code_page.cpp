#include "core/base/code_page.h"

#include "core/base/code_page_tables.h"

namespace velmar {
namespace {

const char16_t* FindTable(int code_page) {
  for (int i = 0; i < internal::kCodePageTableCount; ++i) {
    if (internal::kCodePageTables[i].code_page == code_page)
      return internal::kCodePageTables[i].upper;
  }
  return nullptr;
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

bool IsKnownCodePage(int code_page) {
  return code_page == kCodePageUtf8 || FindTable(code_page) != nullptr;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back('?');
      return;
    }
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c <= 0x10FFFF) {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back('?');
  }
}

char32_t NextCodePoint(std::string_view s, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int extra = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + static_cast<size_t>(extra) >= s.size()) {
    ++pos;
    return kReplacement;
  }
  for (int i = 1; i <= extra; ++i) {
    const unsigned char b = byte(pos + static_cast<size_t>(i));
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += static_cast<size_t>(extra) + 1;
  return c;
}

namespace {

// A byte the page leaves undefined in 0x80..0x9F, kept as the C1 control of
// the same value when `keep_undefined` is set.
bool IsKeptUndefined(const char16_t* table, char32_t c, bool keep_undefined) {
  return keep_undefined && table != nullptr && c >= 0x80 && c < 0xA0 && table[c - 0x80] == 0;
}

std::string DecodeSingleByte(std::string_view bytes, const char16_t* table, bool keep_undefined) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out.push_back(ch);
    } else if (table != nullptr && table[b - 0x80] != 0) {
      AppendUtf8(out, table[b - 0x80]);
    } else if (IsKeptUndefined(table, b, keep_undefined)) {
      AppendUtf8(out, b);
    } else {
      out.push_back('?');
    }
  }
  return out;
}

}  // namespace

std::string DecodeToUtf8(std::string_view bytes, int code_page) {
  std::string out;
  out.reserve(bytes.size());
  if (code_page == kCodePageUtf8) {
    size_t pos = 0;
    while (pos < bytes.size()) {
      const char32_t c = NextCodePoint(bytes, pos);
      if (c == kReplacement) {
        out.push_back('?');
      } else {
        AppendUtf8(out, c);
      }
    }
    return out;
  }
  return DecodeSingleByte(bytes, FindTable(code_page), false);
}

namespace {

// Returns the byte for `c` in `table`, or 0 when the page cannot hold it.
unsigned char EncodeOne(const char16_t* table, char32_t c) {
  if (table == nullptr) return 0;
  for (int i = 0; i < 128; ++i) {
    if (table[i] != 0 && table[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return 0;
}

std::string EncodeSingleByte(std::string_view utf8, const char16_t* table, bool keep_undefined) {
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t c = NextCodePoint(utf8, pos);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    unsigned char b = EncodeOne(table, c);
    if (b == 0 && IsKeptUndefined(table, c, keep_undefined)) b = static_cast<unsigned char>(c);
    out.push_back(b != 0 ? static_cast<char>(b) : '?');
  }
  return out;
}

bool CanEncodeSingleByte(std::string_view utf8, const char16_t* table, bool keep_undefined) {
  size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t c = NextCodePoint(utf8, pos);
    if (c == kReplacement) return false;
    if (c >= 0x80 && EncodeOne(table, c) == 0 && !IsKeptUndefined(table, c, keep_undefined)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string EncodeFromUtf8(std::string_view utf8, int code_page) {
  if (code_page == kCodePageUtf8) {
    return DecodeToUtf8(utf8, kCodePageUtf8);  // drops malformed sequences to "?"
  }
  return EncodeSingleByte(utf8, FindTable(code_page), false);
}

bool CanEncode(std::string_view utf8, int code_page) {
  if (code_page == kCodePageUtf8) return true;
  return CanEncodeSingleByte(utf8, FindTable(code_page), false);
}

std::string Cp1251ToUtf8(std::string_view bytes) {
  return DecodeSingleByte(bytes, FindTable(kCodePageWindowsCyrillic), true);
}

std::string Utf8ToCp1251(std::string_view utf8) {
  return EncodeSingleByte(utf8, FindTable(kCodePageWindowsCyrillic), true);
}

bool CanEncodeCp1251(std::string_view utf8) {
  return CanEncodeSingleByte(utf8, FindTable(kCodePageWindowsCyrillic), true);
}

}  // namespace velmar
