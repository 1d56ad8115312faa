#include "core/tables/value_text.h"

#include <cstdio>

#include "core/base/code_page.h"

namespace velmar {

std::string DateText(const Date& date) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year, date.month, date.day);
  return buf;
}

std::string TimeText(int32_t milliseconds) {
  const int32_t ms = milliseconds;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
  std::string s = buf;
  if (ms % 1000) {
    std::snprintf(buf, sizeof buf, ".%03d", ms % 1000);
    s += buf;
  }
  return s;
}

std::string HexText(const Bytes& bytes) {
  static const char* kHex = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

std::string JsonQuote(std::string_view utf8) {
  std::string out = "\"";
  size_t pos = 0;
  while (pos < utf8.size()) {
    const auto c = static_cast<unsigned char>(utf8[pos]);
    if (c >= 0x80) {
      // JSON is UTF-8: a byte sequence that is not (a file name in another
      // code page) becomes U+FFFD rather than invalid output.
      const size_t start = pos;
      if (NextCodePoint(utf8, pos) == 0xFFFD && pos == start + 1) {
        out += "\\ufffd";
      } else {
        out.append(utf8.substr(start, pos - start));
      }
      continue;
    }
    ++pos;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace velmar
