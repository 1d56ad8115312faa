#include <memory>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cmd_table_import.h"
#include "cli/command.h"
#include "core/tables/table.h"
#include "core/tables/table_convert.h"
#include "core/tables/table_dump.h"
#include "core/tables/table_factory.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli table info FILE\n"
    "       velmar-cli table dump FILE [--json]\n"
    "       velmar-cli table convert SRC DST --format N\n"
    "       velmar-cli table import SRC.csv DST --format N [--delimiter C] [--decimal C]\n"
    "                  [--encoding utf-8|cp1251|cp866] [--header yes|no]\n\n"
    "info     the table's format, level, code page, record count and columns\n"
    "         with their types and numeric categories\n"
    "dump     every record, tab-separated; with --json the full dump as JSON\n"
    "convert  writes SRC to DST in format N: 1 Paradox 3.5, 2 Paradox 4,\n"
    "         3 Paradox 5, 4 Paradox for Win32, 5 dBase, 6 FoxPro\n"
    "import   reads a CSV file (RFC 4180 quotes, a BOM, LF or CRLF) and writes DST\n"
    "         in format N; each column becomes logical, integer, number, date or\n"
    "         text by its values, empty cells are nulls. The delimiter and a decimal\n"
    "         comma are guessed unless given; --header no names columns FIELD1...\n";

int RunTable(CommandContext& context);

const Command kTable{"table", "show, dump and convert Paradox, dBase and FoxPro tables", kUsage,
                     &RunTable};
const CommandRegistrar kRegistrar(kTable);

int RefuseOpen(CommandContext& context, const std::string& name, const Status& status) {
  return Refuse(context, "Ошибка открытия файла",
                "Не удается открыть файл " + name + "\n\n" + status.message());
}

int RunTable(CommandContext& context) {
  const Command& self = kTable;
  if (!context.args.empty() && context.args[0] == "import") return RunTableImport(context, self);
  Args args;
  if (!args.Parse(context.args, {"--format"}, {"--json"})) {
    return UsageError(context, self, args.error());
  }
  const auto& pos = args.positional();
  if (pos.empty()) return UsageError(context, self, "missing subcommand");
  const std::string& sub = pos[0];

  if (sub == "info" || sub == "dump") {
    if (pos.size() != 2) return UsageError(context, self, "expected one FILE");
    if (args.Has("--format") || (sub == "info" && args.Has("--json"))) {
      return UsageError(context, self, "option not valid for " + sub);
    }
    std::unique_ptr<Table> table;
    Status s = OpenTable(pos[1], table);
    if (!s.ok()) return RefuseOpen(context, pos[1], s);
    if (sub == "info") {
      context.out << DescribeTable(*table);
    } else if (args.Has("--json")) {
      context.out << DumpTableJson(*table);
    } else {
      context.out << DumpTableText(*table, context.host.DecimalSeparator());
    }
    return kExitOk;
  }

  if (sub == "convert") {
    if (pos.size() != 3) return UsageError(context, self, "expected SRC and DST");
    if (args.Has("--json")) return UsageError(context, self, "--json is not valid for convert");
    auto format_text = args.Get("--format");
    if (!format_text) return UsageError(context, self, "missing --format N");
    long long index = 0;
    TableFormat format;
    // Checked before narrowing, so 4294967297 is not taken for 1.
    if (!ParseInt(*format_text, index) || index < 1 || index > 6 ||
        !FormatFromIndex(static_cast<int>(index), format)) {
      return UsageError(context, self, "--format must be 1 to 6");
    }
    std::unique_ptr<Table> source;
    Status s = OpenTable(pos[1], source);
    if (!s.ok()) return RefuseOpen(context, pos[1], s);
    std::unique_ptr<Table> target;
    s = ConvertTable(*source, pos[2], format, target);
    if (!s.ok()) return Refuse(context, "Операция невозможна", s.message());
    context.out << "Записано: " << pos[2] << " (" << FormatName(format) << ", "
                << target->RecordCount() << " записей, " << target->ColumnCount() << " полей)\n";
    return kExitOk;
  }
  return UsageError(context, self, "unknown subcommand " + sub);
}

}  // namespace
}  // namespace velmar::cli
