#include "core/tables/dbf_code_page.h"

#include <array>
#include <unordered_map>

#include "core/base/code_page.h"

namespace velmar {
namespace {

struct DriverEntry {
  uint8_t marker;
  int code_page;
};

// Language-driver bytes as dBase, FoxPro and Visual FoxPro write them. The
// first entry for a code page is the one we write.
constexpr DriverEntry kDrivers[] = {
    {0x01, 437},   {0x02, 850},
    {0x03, 1252},  {0x04, 10000},
    {0x08, 865},   {0x09, 437},
    {0x0A, 850},   {0x0B, 437},
    {0x0D, 437},   {0x0E, 850},
    {0x0F, 437},   {0x10, 850},
    {0x11, 437},   {0x12, 850},
    {0x13, 932},   {0x14, 850},
    {0x15, 437},   {0x16, 850},
    {0x17, 865},   {0x18, 437},
    {0x19, 437},   {0x1A, 850},
    {0x1B, 437},   {0x1C, 863},
    {0x1D, 850},   {0x1F, 852},
    {0x22, 852},   {0x23, 852},
    {0x24, 860},   {0x25, 850},
    {0x26, 866},   {0x37, 850},
    {0x40, 852},   {0x4D, 936},
    {0x4E, 949},   {0x4F, 950},
    {0x50, 874},   {0x57, 1252},
    {0x58, 1252},  {0x59, 1252},
    {0x64, 852},   {0x65, 866},
    {0x66, 865},   {0x67, 861},
    {0x68, 895},   {0x69, kCodePageMazovia},
    {0x6A, 737},   {0x6B, 857},
    {0x6C, 863},   {0x78, 950},
    {0x79, 949},   {0x7A, 936},
    {0x7B, 932},   {0x7C, 874},
    {0x7D, 1255},  {0x7E, 1256},
    {0x86, 737},   {0x87, 852},
    {0x88, 857},   {0x96, 10007},
    {0x97, 10029}, {0x98, 10006},
    {0xC8, 1250},  {0xC9, 1251},
    {0xCA, 1254},  {0xCB, 1253},
    {0xCC, 1257},
};

struct MazoviaLetter {
  uint8_t byte;
  char32_t code_point;
};

constexpr MazoviaLetter kMazovia[] = {
    {0x8F, U'Ą'}, {0x86, U'ą'}, {0x95, U'Ć'}, {0x8D, U'ć'}, {0x90, U'Ę'}, {0x91, U'ę'},
    {0x9C, U'Ł'}, {0x92, U'ł'}, {0xA5, U'Ń'}, {0xA4, U'ń'}, {0xA3, U'Ó'}, {0xA2, U'ó'},
    {0x98, U'Ś'}, {0x9E, U'ś'}, {0xA0, U'Ź'}, {0xA6, U'ź'}, {0xA1, U'Ż'}, {0xA7, U'ż'},
};

struct MazoviaTables {
  std::array<std::string, 256> decode;
  std::unordered_map<char32_t, uint8_t> encode;
};

const MazoviaTables& Mazovia() {
  static const MazoviaTables tables = [] {
    MazoviaTables t;
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      t.decode[static_cast<size_t>(b)] = DecodeToUtf8(std::string_view(&byte, 1), 437);
    }
    for (const auto& letter : kMazovia) {
      std::string utf8;
      AppendUtf8(utf8, letter.code_point);
      t.decode[letter.byte] = utf8;
    }
    for (int b = 255; b >= 0; --b) {
      const std::string& utf8 = t.decode[static_cast<size_t>(b)];
      size_t pos = 0;
      t.encode[NextCodePoint(utf8, pos)] = static_cast<uint8_t>(b);
    }
    return t;
  }();
  return tables;
}

}  // namespace

int CodePageOfLanguageDriver(uint8_t marker) {
  if (marker == 0) return 437;
  if (marker == 0xF0) return kCodePageUtf8;
  for (const auto& entry : kDrivers) {
    if (entry.marker == marker) return entry.code_page;
  }
  return 0;
}

uint8_t LanguageDriverOfCodePage(int code_page) {
  for (const auto& entry : kDrivers) {
    if (entry.code_page == code_page) return entry.marker;
  }
  return 0;
}

std::string DecodeDbfText(std::string_view bytes, int code_page) {
  if (code_page != kCodePageMazovia) return DecodeToUtf8(bytes, code_page);
  const auto& table = Mazovia().decode;
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) out += table[c];
  return out;
}

std::string EncodeDbfText(std::string_view utf8, int code_page) {
  if (code_page != kCodePageMazovia) return EncodeFromUtf8(utf8, code_page);
  const auto& table = Mazovia().encode;
  std::string out;
  size_t pos = 0;
  while (pos < utf8.size()) {
    auto it = table.find(NextCodePoint(utf8, pos));
    out += it == table.end() ? '?' : static_cast<char>(it->second);
  }
  return out;
}

bool CanEncodeDbfText(std::string_view utf8, int code_page) {
  if (code_page != kCodePageMazovia) return CanEncode(utf8, code_page);
  const auto& table = Mazovia().encode;
  size_t pos = 0;
  while (pos < utf8.size()) {
    if (!table.count(NextCodePoint(utf8, pos))) return false;
  }
  return true;
}

std::string CodecName(int code_page) {
  if (code_page == kCodePageUtf8) return "utf-8";
  if (code_page == kCodePageMazovia) return "mazovia";
  if (code_page == 10000) return "mac_roman";
  return "cp" + std::to_string(code_page);
}

}  // namespace velmar
