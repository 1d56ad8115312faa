#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "core/base/format_real.h"
#include "core/data/data_description.h"
#include "core/tables/table.h"
#include "core/tables/table_factory.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: velmar-cli demo [--examples DIR] [--project FILE]\n\n"
    "Goes the whole way on the bundled example table (examples/iris.dbf): shows\n"
    "its columns and numeric ranges, creates a network, trains it, tests it,\n"
    "prunes inputs and synapses, binarizes the weights, and prints the\n"
    "significance of the inputs and the verbal description of the network.\n"
    "DIR defaults to ./examples, then to the source tree's folder. The project\n"
    "is written to FILE when given, else to a temporary folder that is removed.\n";

int RunDemo(CommandContext& context);

const Command kDemo{"demo", "go the whole way on the bundled example table", kUsage, &RunDemo};
const CommandRegistrar kRegistrar(kDemo);

fs::path FindExamples(const Args& args) {
  if (auto dir = args.Get("--examples")) return *dir;
  std::error_code ec;
  if (fs::exists("examples/iris.dbf", ec)) return "examples";
  return VELMAR_EXAMPLES_DIR;
}

void Heading(CommandContext& context, const std::string& title) {
  context.out << "\n== " << title << "\n";
}

// Runs one velmar-cli command in-process, echoing it first.
int Step(CommandContext& context, const std::vector<std::string>& args) {
  context.out << "$ velmar-cli";
  for (const std::string& arg : args) context.out << ' ' << arg;
  context.out << "\n";
  context.out.flush();
  return RunCli(args, context.out, context.err, context.host);
}

int ShowTable(CommandContext& context, const fs::path& table_path) {
  std::unique_ptr<Table> table;
  const Status status = OpenTable(table_path, table);
  if (!status.ok()) {
    return Refuse(context, "Ошибка открытия файла",
                  "Не удается открыть файл " + table_path.string() + "\n\n" + status.message());
  }
  const FieldTemplate stats = BuildFieldTemplate(*table);
  const char sep = context.host.DecimalSeparator();
  context.out << table_path.filename().string() << ": " << table->RecordCount() << " records\n";
  for (int i = 0; i < table->ColumnCount(); ++i) {
    const ColumnDef& column = table->Column(i);
    context.out << "  " << column.name << "  " << CategoryName(CategoryOf(column.kind));
    const FieldDescription& field = stats[static_cast<size_t>(i)];
    if (field.MinValue != kUnsetValue) {
      context.out << "  " << FormatReal(field.MinValue, sep) << " .. "
                  << FormatReal(field.MaxValue, sep);
      if (field.NumOfDiscreteStates > 0) {
        context.out << "  (" << field.NumOfDiscreteStates << " distinct values)";
      }
    }
    context.out << "\n";
  }
  return kExitOk;
}

int RunDemo(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args, {"--examples", "--project"}, {})) {
    return UsageError(context, kDemo, args.error());
  }
  if (!args.positional().empty()) return UsageError(context, kDemo, "unexpected argument");

  const fs::path table = FindExamples(args) / "iris.dbf";
  Heading(context, "The example table");
  if (const int code = ShowTable(context, table); code != kExitOk) return code;

  fs::path temp_dir;
  fs::path project;
  if (auto chosen = args.Get("--project")) {
    project = *chosen;
    // The demonstration writes the project and a test text beside it; it
    // replaces neither when it finds them there.
    for (const fs::path& file : {project, project.parent_path() / "test.txt"}) {
      std::error_code ec;
      if (fs::exists(fs::symlink_status(file, ec))) {
        return Refuse(context, "Операция невозможна",
                      "Файл " + file.string() + " уже существует; демонстрация его не заменяет");
      }
    }
  } else {
    // A folder of its own with an unpredictable name, readable by the user
    // alone, so that nobody can plant a link where the demonstration writes.
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "velmar-demo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      return Refuse(context, "Ошибка", "Не удается создать папку в " + base.string());
    }
    temp_dir = pattern;
    project = temp_dir / "demo.vmp";
  }
  const std::string p = project.string();
  const std::string t = table.string();
  const std::string seed = "1";

  struct Stage {
    const char* title;
    std::vector<std::string> args;
  };
  const std::vector<Stage> stages = {
      {"Create a network: four inputs, the class as a discrete output",
       {"new", p, "--data", t, "--discrete", "CLASS", "--layers", "1", "--neurons", "4", "--seed",
        seed}},
      {"The project", {"info", p}},
      {"Train", {"train", p, "--data", t, "--seed", seed}},
      {"Test against the table",
       {"test", p, "--data", t, "-o", (project.parent_path() / "test.txt").string()}},
      {"Prune inputs", {"simplify", p, "--data", t, "--mode", "inputs", "--seed", seed}},
      {"Prune synapses", {"simplify", p, "--data", t, "--mode", "synapses", "--seed", seed}},
      {"Binarize the weights", {"simplify", p, "--data", t, "--mode", "binarize", "--seed", seed}},
      {"Test the simplified network",
       {"test", p, "--data", t, "-o", (project.parent_path() / "test.txt").string()}},
      {"Significance of the inputs", {"significance", p, "--data", t}},
      {"Verbal description", {"verbalize", p}},
  };
  int code = kExitOk;
  for (const Stage& stage : stages) {
    Heading(context, stage.title);
    code = Step(context, stage.args);
    if (code != kExitOk) break;
  }
  if (!temp_dir.empty()) {
    std::error_code ec;
    fs::remove_all(temp_dir, ec);
  }
  return code;
}

}  // namespace
}  // namespace velmar::cli
