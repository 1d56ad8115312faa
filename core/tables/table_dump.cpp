#include "core/tables/table_dump.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/base/code_page.h"
#include "core/base/format_real.h"

namespace velmar {
namespace {

// Text for the human listing: tabs, line breaks and the other control bytes
// are shown escaped, so that one record stays on one line and a name or value
// cannot drive the terminal.
std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

// The value for the human listing.
std::string PlainText(const Value& v, char separator) {
  if (IsNullValue(v)) return "";
  if (auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) return FormatReal(*d, separator);
  if (auto* s = std::get_if<std::string>(&v)) return Printable(*s);
  if (auto* d = std::get_if<Date>(&v)) return DateText(*d);
  if (auto* t = std::get_if<TimeOfDay>(&v)) return TimeText(t->milliseconds);
  if (auto* t = std::get_if<Timestamp>(&v))
    return DateText(t->date) + " " + TimeText(t->milliseconds);
  if (auto* b = std::get_if<Bytes>(&v)) {
    std::string s(1, '<');
    s += std::to_string(b->size());
    return s + " байт>";
  }
  return "";
}

}  // namespace

std::string ValueToJson(const Value& v) {
  if (IsNullValue(v)) return "null";
  if (auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) {
    if (!std::isfinite(*d)) return "null";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, *d);
    return std::string(buf, r.ptr);
  }
  if (auto* s = std::get_if<std::string>(&v)) return JsonQuote(*s);
  if (auto* d = std::get_if<Date>(&v)) return JsonQuote(DateText(*d));
  if (auto* t = std::get_if<TimeOfDay>(&v)) return JsonQuote(TimeText(t->milliseconds));
  if (auto* t = std::get_if<Timestamp>(&v)) {
    return JsonQuote(DateText(t->date) + "T" + TimeText(t->milliseconds));
  }
  if (auto* b = std::get_if<Bytes>(&v))
    return "{\"kind\":\"bytes\",\"hex\":\"" + HexText(*b) + "\"}";
  return "null";
}

std::string FormatName(const TableFormat& format) {
  switch (format.family) {
    case TableFamily::kParadox:
      return format.level == 7 ? "Paradox for Win32" : "Paradox " + std::to_string(format.level);
    case TableFamily::kDbase:
      return "dBase";
    case TableFamily::kFoxPro:
      return "FoxPro";
  }
  return "?";
}

std::string DumpTableJson(const Table& table) {
  std::string out = "{\n  \"file\": " + JsonQuote(table.Path().filename().string());
  for (const auto& [key, json] : table.DumpFacts()) out += ",\n  " + JsonQuote(key) + ": " + json;
  out += ",\n  \"columns\": [";
  for (int c = 0; c < table.ColumnCount(); ++c) {
    const ColumnDef& col = table.Column(c);
    const NumericCategory category = CategoryOf(col.kind);
    out += c ? ",\n    {" : "\n    {";
    out += "\"name\":" + JsonQuote(col.name);
    out += ",\"type\":" + JsonQuote(std::string(1, col.native_type));
    out += ",\"length\":" + std::to_string(col.length);
    out += ",\"decimals\":" + std::to_string(col.decimals);
    out += ",\"category\":" + JsonQuote(CategoryName(category));
    if (category == NumericCategory::kNone) out += ",\"kind\":" + JsonQuote(table.DumpKind(c));
    for (const auto& [key, json] : table.ColumnDumpFacts(c)) {
      out += ',';
      out += JsonQuote(key);
      out += ':';
      out += json;
    }
    out += "}";
  }
  out += table.ColumnCount() ? "\n  ],\n" : "],\n";
  out += "  \"record_count\": " + std::to_string(table.RecordCount()) + ",\n  \"records\": [";
  bool first = true;
  for (int row = 0; row < table.RecordCount(); ++row) {
    out += first ? "\n    [" : ",\n    [";
    first = false;
    for (int c = 0; c < table.ColumnCount(); ++c) {
      if (c) out += ",";
      std::string json = table.ValueJsonAt(row, c);
      out += json.empty() ? ValueToJson(table.ValueAt(row, c)) : json;
    }
    out += "]";
  }
  out += first ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

std::string DescribeTable(const Table& table) {
  std::string out = "Файл: " + Printable(table.Path().filename().string()) + "\n";
  const TableFormat format = table.Format();
  out += "Формат: " + FormatName(format) + " (уровень " + std::to_string(format.level) + ")\n";
  out += "Кодовая страница: " + std::to_string(table.CodePage()) + "\n";
  out += "Записей: " + std::to_string(table.RecordCount()) + "\n";
  out += "Полей: " + std::to_string(table.ColumnCount()) + "\n";
  for (int c = 0; c < table.ColumnCount(); ++c) {
    const ColumnDef& col = table.Column(c);
    out += "  " + std::to_string(c + 1) + ". " + Printable(col.name) + "\t" +
           std::string(1, col.native_type) + "(" + std::to_string(col.length);
    if (col.decimals) {
      out += ',';
      out += std::to_string(col.decimals);
    }
    out += ")\t" + std::string(CategoryName(CategoryOf(col.kind)));
    if (!IsNumeric(col.kind)) out += " (" + table.DumpKind(c) + ")";
    out += "\n";
  }
  return out;
}

std::string DumpTableText(const Table& table, char decimal_separator) {
  std::string out = DescribeTable(table) + "\n№";
  for (int c = 0; c < table.ColumnCount(); ++c) {
    out += '\t';
    out += Printable(table.Column(c).name);
  }
  out += "\n";
  for (int row = 0; row < table.RecordCount(); ++row) {
    out += std::to_string(table.RecordNumberAt(row));
    for (int c = 0; c < table.ColumnCount(); ++c) {
      out += '\t';
      out += PlainText(table.ValueAt(row, c), decimal_separator);
    }
    out += "\n";
  }
  return out;
}

}  // namespace velmar
