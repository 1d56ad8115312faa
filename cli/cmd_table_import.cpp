#include "cli/cmd_table_import.h"

#include <memory>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "core/tables/csv_import.h"
#include "core/tables/table_dump.h"

namespace velmar::cli {
namespace {

// A one-character option: the character itself, or "tab" / "\t".
bool CharOption(const std::string& text, char& c) {
  if (text == "tab" || text == "\\t") {
    c = '\t';
    return true;
  }
  if (text.size() != 1 || text[0] == '"' || text[0] == '\n' || text[0] == '\r') return false;
  c = text[0];
  return true;
}

std::string CharText(char c) { return c == '\t' ? "tab" : "«" + std::string(1, c) + "»"; }

std::string TypeText(const ColumnDef& c) {
  std::string text(1, c.native_type);
  if (c.native_type == 'C' || c.native_type == 'A' || (c.native_type == 'N' && c.length > 0)) {
    text += '(';
    text += std::to_string(c.length);
    if (c.decimals > 0) {
      text += ',';
      text += std::to_string(c.decimals);
    }
    text += ')';
  }
  return text;
}

}  // namespace

int RunTableImport(CommandContext& context, const Command& table) {
  Args args;
  if (!args.Parse(context.args, {"--format", "--delimiter", "--decimal", "--encoding", "--header"},
                  {})) {
    return UsageError(context, table, args.error());
  }
  const auto& pos = args.positional();
  if (pos.size() != 3) return UsageError(context, table, "import expects SRC.csv and DST");
  const auto format_text = args.Get("--format");
  if (!format_text) return UsageError(context, table, "missing --format N");
  long long index = 0;
  TableFormat format;
  if (!ParseInt(*format_text, index) || !FormatFromIndex(static_cast<int>(index), format)) {
    return UsageError(context, table, "--format must be 1 to 6");
  }
  CsvImportOptions options;
  if (const auto d = args.Get("--delimiter"); d && !CharOption(*d, options.delimiter)) {
    return UsageError(context, table, "--delimiter takes one character (or tab)");
  }
  if (const auto d = args.Get("--decimal")) {
    if (*d != "." && *d != ",") return UsageError(context, table, "--decimal must be . or ,");
    options.decimal = (*d)[0];
  }
  if (options.decimal != 0 && options.decimal == options.delimiter) {
    return UsageError(context, table, "--decimal and --delimiter must differ");
  }
  if (const auto e = args.Get("--encoding")) {
    if (*e == "utf-8" || *e == "utf8") {
      options.encoding = CsvEncoding::kUtf8;
    } else if (*e == "cp1251") {
      options.encoding = CsvEncoding::kCp1251;
    } else if (*e == "cp866") {
      options.encoding = CsvEncoding::kCp866;
    } else {
      return UsageError(context, table, "--encoding must be utf-8, cp1251 or cp866");
    }
  }
  if (const auto h = args.Get("--header")) {
    if (*h != "yes" && *h != "no") return UsageError(context, table, "--header must be yes or no");
    options.header = *h == "yes";
  }

  CsvImportReport report;
  std::unique_ptr<Table> out;
  const Status s = ImportCsv(pos[1], pos[2], format, options, report, out);
  if (!s.ok()) {
    return Refuse(context, "Ошибка импорта", pos[1] + ": " + s.message());
  }
  std::ostream& o = context.out;
  o << "Записано: " << pos[2] << " (" << FormatName(format) << ", " << report.records
    << " записей, " << report.columns.size() << " полей)\n";
  o << "Разделитель: " << CharText(report.delimiter)
    << "; десятичный знак: " << CharText(report.decimal) << "\n";
  for (const ColumnDef& c : report.columns) o << "  " << c.name << "\t" << TypeText(c) << "\n";
  for (const auto& [from, to] : report.renamed) {
    o << "Переименовано: «" << from << "» -> «" << to << "»\n";
  }
  return kExitOk;
}

}  // namespace velmar::cli
