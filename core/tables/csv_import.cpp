#include "core/tables/csv_import.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "core/base/code_page.h"
#include "core/base/file_util.h"
#include "core/tables/table_convert.h"

namespace velmar {
namespace {

constexpr size_t kMaxCsvBytes = size_t{512} << 20;
constexpr int kMaxColumns = 255;
constexpr int kSniffRecords = 50;

struct Record {
  int line = 0;  // where the record starts, 1-based
  std::vector<std::string> cells;
};

std::string Where(int line, int column, const std::string& name) {
  std::string text = "Строка " + std::to_string(line);
  if (column > 0) {
    text += ", столбец " + std::to_string(column);
    if (!name.empty()) text += " «" + name + "»";
  }
  return text + ": ";
}

// Splits UTF-8 text into records. Quotes open only at the start of a cell;
// inside, "" is a quote and line ends are kept.
Status Parse(std::string_view text, char delimiter, std::vector<Record>& records) {
  records.clear();
  size_t i = 0;
  int line = 1;
  while (i < text.size()) {
    Record record;
    record.line = line;
    std::string cell;
    bool done = false;
    while (!done) {
      if (i < text.size() && text[i] == '"') {
        const int opened = line;
        ++i;
        for (;;) {
          if (i >= text.size()) {
            return Status::Invalid(Where(opened, static_cast<int>(record.cells.size()) + 1, "") +
                                   "кавычка не закрыта до конца файла");
          }
          const char c = text[i++];
          if (c == '"') {
            if (i < text.size() && text[i] == '"') {
              cell += '"';
              ++i;
              continue;
            }
            break;
          }
          if (c == '\n') ++line;
          cell += c;
        }
        if (i < text.size() && text[i] != delimiter && text[i] != '\n' && text[i] != '\r') {
          return Status::Invalid(Where(line, static_cast<int>(record.cells.size()) + 1, "") +
                                 "после закрывающей кавычки ожидался разделитель");
        }
      } else {
        while (i < text.size() && text[i] != delimiter && text[i] != '\n') cell += text[i++];
        if (!cell.empty() && cell.back() == '\r' && (i >= text.size() || text[i] == '\n')) {
          cell.pop_back();
        }
      }
      record.cells.push_back(std::move(cell));
      cell.clear();
      if (i < text.size() && text[i] == '\r') ++i;
      if (i >= text.size()) {
        done = true;
      } else if (text[i] == delimiter) {
        ++i;
      } else if (text[i] == '\n') {
        ++i;
        ++line;
        done = true;
      }
    }
    // A blank line is no record.
    if (record.cells.size() == 1 && record.cells[0].empty()) continue;
    records.push_back(std::move(record));
  }
  return Status::Ok();
}

// The delimiter that splits the first records into the same number (> 1) of
// cells; quotes are skipped over.
char SniffDelimiter(std::string_view text) {
  const char candidates[] = {',', ';', '\t', '|'};
  char best = ',';
  int best_cells = 1;
  for (char d : candidates) {
    std::vector<int> counts;
    int count = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size() && counts.size() < kSniffRecords; ++i) {
      const char c = text[i];
      if (c == '"') quoted = !quoted;
      if (quoted) continue;
      if (c == d) ++count;
      if (c == '\n') {
        if (i > 0 && text[i - 1] != '\n') counts.push_back(count);
        count = 0;
      }
    }
    if (count > 0) counts.push_back(count);
    if (counts.empty() || counts[0] == 0) continue;
    if (std::any_of(counts.begin(), counts.end(), [&](int n) { return n != counts[0]; })) continue;
    if (counts[0] + 1 > best_cells) {
      best = d;
      best_cells = counts[0] + 1;
    }
  }
  return best;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// A plain number: sign, digits, one decimal separator, an exponent. Gives
// its integer digits and decimals as written.
struct NumberText {
  bool ok = false;
  bool integer = false;
  int int_digits = 0;
  int decimals = 0;
  bool exponent = false;
};

NumberText ReadNumberText(std::string_view s, char decimal) {
  NumberText n;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  const size_t int_start = i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  n.int_digits = static_cast<int>(i - int_start);
  // "007" is a code, not a number.
  if (n.int_digits > 1 && s[int_start] == '0') return n;
  bool point = false;
  if (i < s.size() && s[i] == decimal) {
    point = true;
    ++i;
    const size_t dec_start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    n.decimals = static_cast<int>(i - dec_start);
  }
  if (n.int_digits + n.decimals == 0) return n;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    const size_t exp_start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i == exp_start) return n;
    n.exponent = true;
  }
  if (i != s.size()) return n;
  n.ok = true;
  n.integer = !point && !n.exponent;
  return n;
}

bool ParseDouble(std::string_view s, char decimal, double& value) {
  std::string text(s);
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  for (char& c : text) {
    if (c == decimal) c = '.';
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// 1 true, 0 false, -1 not a logical value.
int ReadLogical(std::string_view s) {
  const std::string l = Lower(s);
  if (l == "true" || l == "t" || l == "yes" || l == "y" || l == ".t.") return 1;
  if (l == "false" || l == "f" || l == "no" || l == "n" || l == ".f.") return 0;
  return -1;
}

bool ValidDate(int y, int m, int d) {
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days[m - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m != 2 || d <= 28 || leap;
}

bool ReadDate(std::string_view s, Date& date) {
  auto digits = [&](size_t at, size_t count, int& v) {
    v = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
      v = v * 10 + (s[i] - '0');
    }
    return true;
  };
  int y = 0, m = 0, d = 0;
  if (s.size() != 10) return false;
  if (s[4] == '-' && s[7] == '-') {
    if (!digits(0, 4, y) || !digits(5, 2, m) || !digits(8, 2, d)) return false;
  } else if (s[2] == '.' && s[5] == '.') {
    if (!digits(0, 2, d) || !digits(3, 2, m) || !digits(6, 4, y)) return false;
  } else {
    return false;
  }
  if (!ValidDate(y, m, d)) return false;
  date = Date{y, m, d};
  return true;
}

size_t CodePoints(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

bool ValidUtf8(std::string_view s, size_t& bad_at) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t extra = c < 0x80           ? 0
                         : (c >> 5) == 0x6  ? 1
                         : (c >> 4) == 0xE  ? 2
                         : (c >> 3) == 0x1E ? 3
                                            : 4;
    bool ok = extra < 4;
    for (size_t k = 1; ok && k <= extra; ++k) {
      ok = i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    }
    if (!ok) {
      bad_at = i;
      return false;
    }
    i += extra + 1;
  }
  return true;
}

enum class Inferred { kLogical, kInteger, kNumber, kDate, kText };

struct ColumnGuess {
  bool logical = true, integer = true, number = true, date = true;
  bool any = false;
  bool negative = false;
  int int_digits = 1, decimals = 0;
  size_t width = 1;
  Inferred Kind() const {
    if (!any) return Inferred::kText;
    if (logical) return Inferred::kLogical;
    if (integer) return Inferred::kInteger;
    if (number) return Inferred::kNumber;
    if (date) return Inferred::kDate;
    return Inferred::kText;
  }
};

// Characters of a decimal field that holds every number seen.
int NumberLength(const ColumnGuess& g) {
  const int decimals = std::min(g.decimals, 15);
  return (g.negative ? 1 : 0) + std::max(g.int_digits, 1) + (decimals ? decimals + 1 : 0);
}

void Observe(ColumnGuess& g, std::string_view raw, char decimal) {
  g.width = std::max(g.width, CodePoints(raw));
  const std::string_view s = Trim(raw);
  if (s.empty()) return;
  g.any = true;
  if (g.logical && ReadLogical(s) < 0) g.logical = false;
  if (g.integer || g.number) {
    const NumberText n = ReadNumberText(s, decimal);
    double v = 0;
    if (!n.ok || !ParseDouble(s, decimal, v)) {
      g.integer = g.number = false;
    } else {
      // Integers beyond 9 digits go to a number column (a double holds 15 exactly).
      if (!n.integer || n.int_digits > 9) g.integer = false;
      if (n.exponent) {
        // Measure the value as it would be written out in full.
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed);
        const std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
        const size_t dot = t.find('.');
        g.int_digits =
            std::max<int>(g.int_digits, static_cast<int>(dot == t.npos ? t.size() : dot));
        if (dot != t.npos)
          g.decimals = std::max<int>(g.decimals, static_cast<int>(t.size() - dot - 1));
      } else {
        g.int_digits = std::max(g.int_digits, n.int_digits);
        g.decimals = std::max(g.decimals, n.decimals);
      }
      if (v < 0) g.negative = true;
      if (n.int_digits + n.decimals > 15 && !n.exponent) g.number = g.integer = false;
    }
  }
  Date d;
  if (g.date && !ReadDate(s, d)) g.date = false;
}

// The records held in memory, for the table converter.
class CsvTable : public Table {
 public:
  CsvTable(std::vector<ColumnDef> columns, std::vector<std::vector<Value>> rows, int code_page)
      : columns_(std::move(columns)), rows_(std::move(rows)), code_page_(code_page) {}
  int ColumnCount() const override { return static_cast<int>(columns_.size()); }
  const ColumnDef& Column(int index) const override { return columns_[index]; }
  int RecordCount() const override { return static_cast<int>(rows_.size()); }
  bool IsNullAt(int row, int column) const override { return IsNullValue(Cell(row, column)); }
  float AsFloatAt(int row, int column) const override {
    const Value& v = Cell(row, column);
    if (const double* d = std::get_if<double>(&v)) return static_cast<float>(*d);
    if (const int64_t* i = std::get_if<int64_t>(&v)) return static_cast<float>(*i);
    if (const bool* b = std::get_if<bool>(&v)) return *b ? 1.0f : 0.0f;
    return 0;
  }
  Value ValueAt(int row, int column) const override { return Cell(row, column); }
  TableFormat Format() const override { return TableFormat{TableFamily::kDbase, 0}; }
  int CodePage() const override { return code_page_; }

 private:
  const Value& Cell(int row, int column) const {
    static const Value kNull;
    if (row < 0 || row >= RecordCount() || column < 0 || column >= ColumnCount()) return kNull;
    return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
  }
  std::vector<ColumnDef> columns_;
  std::vector<std::vector<Value>> rows_;
  int code_page_;
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A name the format can hold: control characters never (a dBase header
// ends at a carriage return), and dBase and FoxPro names keep to letters,
// digits and '_' among the ASCII characters.
std::string FieldName(std::string_view raw, bool paradox) {
  std::string name(Trim(raw));
  for (char& ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) ch = '_';
    if (!paradox && c < 0x80 && !std::isalnum(c) && c != '_') ch = '_';
  }
  return name;
}

// Names made fit for the format, unique (case-insensitively) and never empty.
std::vector<std::string> UniqueNames(const std::vector<std::string>& names, bool paradox) {
  std::vector<std::string> out;
  std::vector<std::string> taken;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string base = FieldName(names[i], paradox);
    if (base.empty()) base = "FIELD" + std::to_string(i + 1);
    std::string name = base;
    for (int n = 2; std::find(taken.begin(), taken.end(), Upper(name)) != taken.end(); ++n) {
      name = base + "_" + std::to_string(n);
    }
    taken.push_back(Upper(name));
    out.push_back(name);
  }
  return out;
}

int TargetCodePage(const TableFormat& format, int code_page) {
  if (format.family == TableFamily::kParadox && format.level == 3) return 437;
  return code_page;
}

}  // namespace

Status ReadCsvText(std::string_view bytes, const TableFormat& format,
                   const CsvImportOptions& options, CsvImportReport& report,
                   std::unique_ptr<Table>& records_out) {
  report = CsvImportReport{};
  // Text as UTF-8.
  std::string text;
  bool utf8 = options.encoding == CsvEncoding::kUtf8;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
    utf8 = true;
  }
  if (utf8) {
    size_t bad = 0;
    if (!ValidUtf8(bytes, bad)) {
      const int line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + bad, '\n'));
      return Status::Invalid(Where(line, 0, "") +
                             "текст не в UTF-8; укажите кодировку (--encoding cp1251 или cp866)");
    }
    text.assign(bytes);
  } else {
    text = DecodeToUtf8(bytes, options.encoding == CsvEncoding::kCp866 ? 866 : 1251);
  }
  const int code_page = options.encoding == CsvEncoding::kCp866 ? 866 : kCodePageWindowsCyrillic;

  report.delimiter = options.delimiter != 0 ? options.delimiter : SniffDelimiter(text);
  std::vector<Record> records;
  VELMAR_RETURN_IF_ERROR(Parse(text, report.delimiter, records));
  if (records.empty()) return Status::Invalid("В файле нет ни одной записи");

  const size_t width = records[0].cells.size();
  if (width > kMaxColumns) {
    return Status::Invalid(Where(records[0].line, 0, "") + "больше " + std::to_string(kMaxColumns) +
                           " столбцов");
  }
  std::vector<std::string> names;
  if (options.header) {
    names = records[0].cells;
  } else {
    for (size_t c = 0; c < width; ++c) names.push_back("FIELD" + std::to_string(c + 1));
  }
  names = UniqueNames(names, format.family == TableFamily::kParadox);
  const size_t first = options.header ? 1 : 0;
  for (size_t r = first; r < records.size(); ++r) {
    const Record& rec = records[r];
    if (rec.cells.size() != width) {
      const int column = static_cast<int>(std::min(rec.cells.size(), width)) + 1;
      return Status::Invalid(Where(rec.line, column, "") + "в записи " +
                             std::to_string(rec.cells.size()) + " полей, а в заголовке " +
                             std::to_string(width));
    }
  }

  // The decimal comma: numbers written "5,1" and none "5.1".
  report.decimal = options.decimal;
  if (report.decimal == 0) {
    report.decimal = '.';
    if (report.delimiter != ',') {
      bool comma = false, point = false;
      for (size_t r = first; r < records.size(); ++r) {
        for (const std::string& cell : records[r].cells) {
          const std::string_view s = Trim(cell);
          if (s.find(',') != s.npos && ReadNumberText(s, ',').ok) comma = true;
          if (s.find('.') != s.npos && ReadNumberText(s, '.').ok) point = true;
        }
      }
      if (comma && !point) report.decimal = ',';
    }
  }
  const char decimal = report.decimal;

  std::vector<ColumnGuess> guesses(width);
  for (size_t r = first; r < records.size(); ++r) {
    for (size_t c = 0; c < width; ++c) Observe(guesses[c], records[r].cells[c], decimal);
  }

  const bool paradox = format.family == TableFamily::kParadox;
  const size_t text_limit = paradox ? 255 : 254;
  const int number_limit = format.family == TableFamily::kFoxPro ? 20 : 19;
  std::vector<ColumnDef> columns(width);
  std::vector<Inferred> kinds(width);
  for (size_t c = 0; c < width; ++c) {
    ColumnDef& def = columns[c];
    const ColumnGuess& g = guesses[c];
    def.name = names[c];
    kinds[c] = g.Kind();
    switch (kinds[c]) {
      case Inferred::kLogical:
        def.kind = FieldKind::kBoolean;
        def.native_type = 'L';
        def.length = 1;
        break;
      case Inferred::kInteger:
        def.kind = FieldKind::kInteger;
        def.native_type = 'N';
        def.length = 11;
        break;
      case Inferred::kNumber: {
        def.kind = FieldKind::kFloat;
        def.native_type = 'N';
        def.decimals = std::min(g.decimals, 15);
        def.length = NumberLength(g);
        if (!paradox && def.length > number_limit) {
          // Name the first value that is too wide on its own.
          for (size_t r = first; r < records.size(); ++r) {
            ColumnGuess one;
            Observe(one, records[r].cells[c], decimal);
            if (one.any && NumberLength(one) > number_limit) {
              return Status::Invalid(Where(records[r].line, static_cast<int>(c) + 1, def.name) +
                                     "число не помещается в числовое поле " +
                                     std::to_string(number_limit) + " знаков");
            }
          }
          return Status::Invalid(Where(records[first].line, static_cast<int>(c) + 1, def.name) +
                                 "числа столбца не помещаются в числовое поле " +
                                 std::to_string(number_limit) + " знаков");
        }
        break;
      }
      case Inferred::kDate:
        def.kind = FieldKind::kDate;
        def.native_type = 'D';
        def.length = 8;
        break;
      case Inferred::kText:
        def.kind = FieldKind::kText;
        def.native_type = 'C';
        def.length = static_cast<int>(std::min(g.width, text_limit));
        break;
    }
  }

  const int target_code_page = TargetCodePage(format, code_page);
  std::vector<std::vector<Value>> rows;
  rows.reserve(records.size() - first);
  for (size_t r = first; r < records.size(); ++r) {
    std::vector<Value> row(width);
    for (size_t c = 0; c < width; ++c) {
      const std::string& cell = records[r].cells[c];
      const std::string_view s = Trim(cell);
      const std::string where = Where(records[r].line, static_cast<int>(c) + 1, columns[c].name);
      if (s.empty()) continue;
      switch (kinds[c]) {
        case Inferred::kLogical:
          row[c] = ReadLogical(s) == 1;
          break;
        case Inferred::kInteger: {
          double v = 0;
          ParseDouble(s, decimal, v);
          row[c] = static_cast<int64_t>(v);
          break;
        }
        case Inferred::kNumber: {
          double v = 0;
          ParseDouble(s, decimal, v);
          row[c] = v;
          break;
        }
        case Inferred::kDate: {
          Date d;
          ReadDate(s, d);
          row[c] = d;
          break;
        }
        case Inferred::kText:
          if (CodePoints(cell) > text_limit) {
            return Status::Invalid(where + "текст длиннее " + std::to_string(text_limit) +
                                   " знаков");
          }
          if (!CanEncode(cell, target_code_page)) {
            return Status::Invalid(where + "в тексте есть знаки вне кодовой страницы " +
                                   std::to_string(target_code_page));
          }
          row[c] = cell;
          break;
      }
    }
    rows.push_back(std::move(row));
  }

  auto table = std::make_unique<CsvTable>(columns, std::move(rows), code_page);
  std::vector<ColumnDef> written;
  VELMAR_RETURN_IF_ERROR(ConvertedColumns(*table, format, written));
  std::vector<std::string> original;
  if (options.header) {
    original = records[0].cells;
  } else {
    original = names;
  }
  for (size_t c = 0; c < written.size() && c < original.size(); ++c) {
    if (written[c].name != original[c]) report.renamed.emplace_back(original[c], written[c].name);
  }
  report.columns = written;
  report.records = table->RecordCount();
  records_out = std::move(table);
  return Status::Ok();
}

Status ImportCsvText(std::string_view bytes, const std::filesystem::path& target,
                     const TableFormat& format, const CsvImportOptions& options,
                     CsvImportReport& report, std::unique_ptr<Table>& out) {
  std::unique_ptr<Table> records;
  VELMAR_RETURN_IF_ERROR(ReadCsvText(bytes, format, options, report, records));
  VELMAR_RETURN_IF_ERROR(ConvertTable(*records, target, format, out));
  report.records = out->RecordCount();
  return Status::Ok();
}

Status ImportCsv(const std::filesystem::path& source, const std::filesystem::path& target,
                 const TableFormat& format, const CsvImportOptions& options,
                 CsvImportReport& report, std::unique_ptr<Table>& out) {
  std::vector<uint8_t> bytes;
  VELMAR_RETURN_IF_ERROR(ReadFileBytes(source, bytes, kMaxCsvBytes));
  return ImportCsvText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       target, format, options, report, out);
}

}  // namespace velmar
