#include "core/tables/table_convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "core/base/code_page.h"
#include "core/base/format_real.h"
#include "core/tables/paradox_format.h"
#include "core/tables/table_factory.h"
#include "core/tables/table_files.h"
#include "core/tables/value_text.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

constexpr int kParadoxNameLimit = 25;
constexpr int kDbfNameLimit = 10;
constexpr int kDbfTextLimit = 254;

bool IsParadox(const TableFormat& f) { return f.family == TableFamily::kParadox; }

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// The first `limit` characters of a UTF-8 name.
std::string CutName(const std::string& name, size_t limit) {
  size_t pos = 0, count = 0;
  while (pos < name.size() && count < limit) {
    NextCodePoint(name, pos);
    ++count;
  }
  return name.substr(0, pos);
}

size_t NameLength(const std::string& name) {
  size_t pos = 0, count = 0;
  while (pos < name.size()) {
    NextCodePoint(name, pos);
    ++count;
  }
  return count;
}

// Shortens names past the target's limit, keeping them distinct (compared
// without regard to case, as the formats do) with a numeric suffix.
void FitNames(std::vector<ColumnDef>& columns, size_t limit) {
  std::vector<std::string> taken;
  for (const ColumnDef& c : columns) {
    if (NameLength(c.name) <= limit) taken.push_back(Upper(c.name));
  }
  for (ColumnDef& c : columns) {
    if (NameLength(c.name) <= limit) continue;
    std::string name = CutName(c.name, limit);
    for (int n = 1; std::find(taken.begin(), taken.end(), Upper(name)) != taken.end(); ++n) {
      std::string suffix = std::to_string(n);
      suffix.insert(suffix.begin(), '_');
      name = CutName(c.name, limit - suffix.size()) + suffix;
    }
    taken.push_back(Upper(name));
    c.name = name;
  }
}

Status Refuse(const ColumnDef& c, const TableFormat& format) {
  std::string target = IsParadox(format)
                           ? "Paradox уровня " + std::to_string(format.level)
                           : (format.family == TableFamily::kDbase ? "dBase" : "FoxPro");
  return Status::Unsupported("Поле «" + c.name + "» (" + KindName(c.kind) +
                             ") нельзя представить в таблице " + target);
}

ColumnDef Def(const ColumnDef& source, char type, int length = 0, int decimals = 0) {
  ColumnDef d;
  d.name = source.name;
  d.native_type = type;
  d.length = length;
  d.decimals = decimals;
  return d;
}

Status ParadoxColumn(const ColumnDef& c, int level, ColumnDef& out) {
  const bool modern = level >= 5;
  switch (c.kind) {
    case FieldKind::kText:
      out = Def(c, 'A', std::clamp(c.length, 1, 255));
      return Status::Ok();
    case FieldKind::kSmallInt:
      out = Def(c, 'S');
      return Status::Ok();
    case FieldKind::kInteger:
    case FieldKind::kWord:
      out = Def(c, modern ? 'I' : 'N');
      return Status::Ok();
    case FieldKind::kAutoIncrement:
      out = Def(c, modern ? '+' : 'N');
      return Status::Ok();
    case FieldKind::kBoolean:
      out = Def(c, modern ? 'L' : 'S');
      return Status::Ok();
    case FieldKind::kFloat:
      out = Def(c, 'N');
      return Status::Ok();
    case FieldKind::kCurrency:
      out = Def(c, '$');
      return Status::Ok();
    case FieldKind::kBcd:
      out = modern ? Def(c, '#', 17, std::clamp(c.decimals, 0, 32)) : Def(c, 'N');
      return Status::Ok();
    case FieldKind::kDate:
      out = Def(c, 'D');
      return Status::Ok();
    case FieldKind::kTime:
      out = modern ? Def(c, 'T') : Def(c, 'A', 12);
      return Status::Ok();
    case FieldKind::kTimestamp:
      out = modern ? Def(c, '@') : Def(c, 'A', 23);
      return Status::Ok();
    default:
      break;
  }
  if (level < 4) return Status::Unsupported("");
  // Blobs keep their leader when they come from Paradox.
  const int blob_length = c.native_type == 'M' || c.native_type == 'B' || c.native_type == 'F' ||
                                  c.native_type == 'O' || c.native_type == 'G'
                              ? std::clamp(c.length, 11, 250)
                              : 11;
  switch (c.kind) {
    case FieldKind::kMemo:
      out = Def(c, 'M', blob_length);
      return Status::Ok();
    case FieldKind::kFormattedMemo:
      out = Def(c, 'F', blob_length);
      return Status::Ok();
    case FieldKind::kBinary:
      out = Def(c, 'B', blob_length);
      return Status::Ok();
    case FieldKind::kOle:
      out = Def(c, 'O', blob_length);
      return Status::Ok();
    case FieldKind::kGraphic:
      out = Def(c, 'G', blob_length);
      return Status::Ok();
    case FieldKind::kBytes:
      out = modern ? Def(c, 'Y', std::clamp(c.length, 1, 255)) : Def(c, 'B', 11);
      return Status::Ok();
    default:
      return Status::Unsupported("");
  }
}

// Digits a column of doubles needs in a dBase N field: integer digits and
// decimals of the shortest text of each value.
struct NumberWidth {
  int int_digits = 1;
  int decimals = 0;
  bool negative = false;
  bool any = false;  // a value was seen
  void Add(double v) {
    any = true;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed);
    std::string_view text(buf, res.ptr - buf);
    size_t dot = text.find('.');
    int ints = static_cast<int>(dot == std::string_view::npos ? text.size() : dot);
    int decs = dot == std::string_view::npos ? 0 : static_cast<int>(text.size() - dot - 1);
    int_digits = std::max(int_digits, ints);
    decimals = std::max(decimals, decs);
    negative |= v < 0;
  }
};

// `dbf_source`: the column comes from a dBase or FoxPro table, so an N or F
// type is already a decimal layout.
Status DbfColumn(const ColumnDef& c, const TableFormat& format, const NumberWidth& width,
                 bool dbf_source, ColumnDef& out) {
  const int max_width = format.family == TableFamily::kDbase ? 19 : 20;
  auto number = [&](int ints, int decimals) {
    ints = std::max(ints, 1);
    decimals = std::clamp(decimals, 0, 15);
    int sign = width.negative ? 1 : 0;
    // Give up decimals first: a double has only 15-17 significant digits.
    while (decimals > 0 && sign + ints + 1 + decimals > max_width) --decimals;
    int w = sign + ints + (decimals ? 1 + decimals : 0);
    out = Def(c, 'N', w, decimals);
    return w <= max_width ? Status::Ok()
                          : Status::Unsupported("Значения поля «" + c.name +
                                                "» не помещаются в числовое поле " +
                                                std::to_string(max_width) + " знаков");
  };
  switch (c.kind) {
    case FieldKind::kText:
      out = Def(c, 'C', std::clamp(c.length, 1, kDbfTextLimit));
      return Status::Ok();
    case FieldKind::kSmallInt:
      out = Def(c, 'N', 6, 0);
      return Status::Ok();
    case FieldKind::kWord:
      out = Def(c, 'N', 5, 0);
      return Status::Ok();
    case FieldKind::kInteger:
    case FieldKind::kAutoIncrement:
      out = Def(c, 'N', 11, 0);
      return Status::Ok();
    case FieldKind::kBoolean:
      out = Def(c, 'L', 1);
      return Status::Ok();
    case FieldKind::kFloat:
    case FieldKind::kCurrency:
    case FieldKind::kBcd: {
      if (dbf_source && (c.native_type == 'N' || c.native_type == 'F') && c.length > 0 &&
          c.length <= max_width && c.kind == FieldKind::kFloat &&
          (c.length >= 3 || c.decimals == 0)) {
        // Already a decimal field: keep its layout when it holds the values.
        int ints = c.length - (c.decimals ? c.decimals + 1 : 0) - (width.negative ? 1 : 0);
        if (ints >= width.int_digits && c.decimals >= width.decimals) {
          out = Def(c, 'N', c.length, c.decimals);
          return Status::Ok();
        }
      }
      // Currency counts in ten-thousandths and BCD has its own decimals.
      const int own = c.kind == FieldKind::kCurrency ? 4
                      : c.kind == FieldKind::kBcd    ? std::clamp(c.decimals, 0, 15)
                                                     : 0;
      if (!width.any) {
        // No values to measure: room for ordinary ones.
        out = Def(c, 'N', max_width, c.kind == FieldKind::kFloat ? 6 : own);
        return Status::Ok();
      }
      return number(width.int_digits, std::max(width.decimals, own));
    }
    case FieldKind::kDate:
      out = Def(c, 'D', 8);
      return Status::Ok();
    case FieldKind::kTime:
      out = Def(c, 'C', 12);
      return Status::Ok();
    case FieldKind::kTimestamp:
      out = Def(c, 'C', 23);
      return Status::Ok();
    case FieldKind::kMemo:
      out = Def(c, 'M', 10);
      return Status::Ok();
    case FieldKind::kOle:
    case FieldKind::kBinary:
    case FieldKind::kGraphic:
      // FoxPro keeps the blobs of another DBF table as they are; a Paradox
      // blob has a layout of its own and stays refused.
      if (!dbf_source || format.family != TableFamily::kFoxPro) return Status::Unsupported("");
      out = Def(c, c.kind == FieldKind::kGraphic ? 'P' : 'G', 10);
      return Status::Ok();
    default:
      return Status::Unsupported("");
  }
}

FieldKind TargetKind(char type, const TableFormat& format) {
  if (IsParadox(format)) return paradox::KindOfType(paradox::TypeCodeOf(type));
  switch (type) {
    case 'C':
      return FieldKind::kText;
    case 'N':
      return FieldKind::kFloat;
    case 'L':
      return FieldKind::kBoolean;
    case 'D':
      return FieldKind::kDate;
    case 'M':
      return FieldKind::kMemo;
    case 'G':
      return FieldKind::kOle;
    case 'P':
      return FieldKind::kGraphic;
    default:
      return FieldKind::kOther;
  }
}

bool NeedsWidth(FieldKind kind) {
  return kind == FieldKind::kFloat || kind == FieldKind::kCurrency || kind == FieldKind::kBcd;
}

// The columns of the target with the indexes of their source columns
// (system columns such as FoxPro's null flags are not data and are left out).
Status MapColumns(const Table& source, const TableFormat& format, std::vector<ColumnDef>& columns,
                  std::vector<int>& from) {
  columns.clear();
  from.clear();
  std::vector<NumberWidth> widths(source.ColumnCount());
  if (!IsParadox(format)) {
    bool any = false;
    for (int c = 0; c < source.ColumnCount(); ++c) any |= NeedsWidth(source.Column(c).kind);
    if (any) {
      for (int row = 0; row < source.RecordCount(); ++row) {
        for (int c = 0; c < source.ColumnCount(); ++c) {
          if (!NeedsWidth(source.Column(c).kind) || source.IsNullAt(row, c)) continue;
          Value v = source.ValueAt(row, c);
          if (auto* d = std::get_if<double>(&v)) widths[c].Add(*d);
          if (auto* i = std::get_if<int64_t>(&v)) widths[c].Add(static_cast<double>(*i));
        }
      }
    }
  }
  const bool dbf_source = source.Format().family != TableFamily::kParadox;
  for (int c = 0; c < source.ColumnCount(); ++c) {
    const ColumnDef& def = source.Column(c);
    if (def.kind == FieldKind::kNullFlags) continue;
    ColumnDef out;
    Status s = IsParadox(format) ? ParadoxColumn(def, format.level, out)
                                 : DbfColumn(def, format, widths[c], dbf_source, out);
    if (!s.ok()) return s.message().empty() ? Refuse(def, format) : s;
    // The kind of the type chosen: a time kept as text is text to the target.
    out.kind = TargetKind(out.native_type, format);
    columns.push_back(out);
    from.push_back(c);
  }
  if (columns.empty()) return Status::Unsupported("В таблице нет полей для преобразования");
  FitNames(columns, IsParadox(format) ? kParadoxNameLimit : kDbfNameLimit);
  return Status::Ok();
}

// The value as the target column takes it.
Value Adapt(const Value& v, const ColumnDef& target) {
  if (IsNullValue(v)) return v;
  const char t = target.native_type;
  if (t == 'A' || t == 'C') {
    if (std::holds_alternative<std::string>(v)) return v;
    return ValueText(v);
  }
  if (auto* b = std::get_if<bool>(&v); b && t != 'L') return int64_t{*b ? 1 : 0};
  if (t == 'N') {
    if (auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  }
  return v;
}

int TextCodePage(const Table& source, const TableFormat& format) {
  const int cp = source.CodePage();
  if (IsParadox(format)) {
    if (format.level == 3) return 437;
    return IsKnownCodePage(cp) && cp != kCodePageUtf8 ? cp : kCodePageWindowsCyrillic;
  }
  return cp;
}

}  // namespace

std::string ValueText(const Value& value, char decimal_separator) {
  struct Visitor {
    char sep;
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const { return FormatReal(d, sep); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const Date& d) const { return DateText(d); }
    std::string operator()(const TimeOfDay& t) const { return TimeText(t.milliseconds); }
    std::string operator()(const Timestamp& t) const {
      return DateText(t.date) + "T" + TimeText(t.milliseconds);
    }
    std::string operator()(const Bytes& b) const { return HexText(b); }
  };
  return std::visit(Visitor{decimal_separator}, value);
}

Status ConvertedColumns(const Table& source, const TableFormat& format,
                        std::vector<ColumnDef>& columns) {
  std::vector<int> from;
  return MapColumns(source, format, columns, from);
}

namespace {

// A table written under the name of a memo, blob or index file would be
// overwritten by its own memo or taken for another table's index, and the
// clean-up of stale indexes would remove it.
Status CheckTableDestination(const fs::path& target) {
  const std::string ext = AsciiLower(target.extension().string());
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  bool companion = false;
  for (const char* e : {".dbt", ".fpt", ".dct", ".cdx", ".mdx", ".ndx", ".idx", ".px", ".mb", ".tv",
                        ".fam", ".val"}) {
    companion = companion || ext == e;
  }
  companion = companion || (ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y') &&
                            ((hex(ext[2]) && hex(ext[3])) || (ext[2] == 'g' && hex(ext[3]))));
  if (companion) {
    return Status::Invalid("Имя " + target.filename().string() +
                           " принадлежит служебному файлу таблицы (" + target.extension().string() +
                           "); выберите другое расширение");
  }
  return Status::Ok();
}

}  // namespace

Status ConvertTable(const Table& source, const fs::path& target, const TableFormat& format,
                    std::unique_ptr<Table>& out) {
  VELMAR_RETURN_IF_ERROR(CheckTableDestination(target));
  std::vector<ColumnDef> columns;
  std::vector<int> from;
  VELMAR_RETURN_IF_ERROR(MapColumns(source, format, columns, from));
  std::unique_ptr<Table> table;
  const int code_page = TextCodePage(source, format);
  VELMAR_RETURN_IF_ERROR(CreateTable(target, format, columns, code_page, table));
  Status status;
  for (int row = 0; status.ok() && row < source.RecordCount(); ++row) {
    status = table->Append();
    for (size_t c = 0; status.ok() && c < columns.size(); ++c) {
      status =
          table->SetValue(static_cast<int>(c), Adapt(source.ValueAt(row, from[c]), columns[c]));
      if (!status.ok()) {
        status = Status::Unsupported("Запись " + std::to_string(source.RecordNumberAt(row)) +
                                     ", поле «" + source.Column(from[c]).name +
                                     "»: " + status.message());
      }
    }
    if (status.ok()) status = table->Post();
  }
  VELMAR_RETURN_IF_ERROR(status);
  VELMAR_RETURN_IF_ERROR(table->Save());
  table->First();
  out = std::move(table);
  return Status::Ok();
}

int FormatIndex(const fs::path& file, int level) {
  const std::string ext = Upper(file.extension().string());
  if (ext == ".DB") {
    switch (level) {
      case 4:
        return 2;
      case 5:
        return 3;
      case 7:
        return 4;
      default:
        return 1;
    }
  }
  if (ext == ".DBF") return level == 25 ? 6 : 5;
  return 1;
}

Status SaveTableAs(std::unique_ptr<Table>& table, const fs::path& caption, int format_index,
                   fs::path& saved_as) {
  TableFormat format;
  if (!table || !FormatFromIndex(format_index, format)) {
    return Status::Invalid("Неверный формат таблицы: " + std::to_string(format_index));
  }
  const int position = table->Position();
  const bool keep = caption.extension().string() == table->Path().extension().string() &&
                    table->Format().level == format.level;
  if (keep) {
    VELMAR_RETURN_IF_ERROR(table->SaveAs(caption, table->Format()));
    table->MoveTo(position);
    saved_as = caption;
    return Status::Ok();
  }
  const fs::path target = ConvertedCaption(caption.string(), format);
  std::unique_ptr<Table> converted;
  VELMAR_RETURN_IF_ERROR(ConvertTable(*table, target, format, converted));
  converted->MoveTo(position);
  table = std::move(converted);
  saved_as = target;
  return Status::Ok();
}

std::string ConvertedCaption(const std::string& caption, const TableFormat& format) {
  // Only the file name is cut: a period in a folder name must not move the
  // table to another place.
  const size_t name_start =
      caption.find_last_of("/\\") == std::string::npos ? 0 : caption.find_last_of("/\\") + 1;
  const size_t period = caption.find('.', name_start);
  std::string stem = period == std::string::npos ? caption : caption.substr(0, period);
  return stem + (IsParadox(format) ? ".db" : ".dbf");
}

}  // namespace velmar
