#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "core/base/format_real.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: velmar-cli demo [--examples DIR]\n\n"
    "Runs the core on the bundled example data (examples/iris.csv) and prints\n"
    "what it finds. DIR defaults to ./examples, then to the source tree's folder.\n";

fs::path FindExamples(const Args& args) {
  if (auto dir = args.Get("--examples")) return *dir;
  std::error_code ec;
  if (fs::exists("examples/iris.csv", ec)) return "examples";
  return VELMAR_EXAMPLES_DIR;
}

int RunDemo(CommandContext& context);

const Command kDemo{"demo", "run the core on the bundled example data", kUsage, &RunDemo};
const CommandRegistrar kRegistrar(kDemo);

int RunDemo(CommandContext& context) {
  const Command& self = kDemo;
  Args args;
  if (!args.Parse(context.args, {"--examples"}, {})) return UsageError(context, self, args.error());
  if (!args.positional().empty()) return UsageError(context, self, "unexpected argument");

  const fs::path csv = FindExamples(args) / "iris.csv";
  std::ifstream in(csv);
  if (!in) return Refuse(context, "Операция невозможна", "Не удается открыть файл " + csv.string());

  std::string line;
  std::getline(in, line);  // "records,features,label names..."
  const char sep = context.host.DecimalSeparator();
  std::vector<std::string> names = {"SEPAL_LEN", "SEPAL_WID", "PETAL_LEN", "PETAL_WID", "CLASS"};
  std::vector<double> lo(names.size(), 3.4028235e38), hi(names.size(), -3.4028235e38);
  int rows = 0;
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string cell;
    for (size_t i = 0; i < names.size() && std::getline(fields, cell, ','); ++i) {
      double v = 0;
      if (!ParseDouble(cell, v)) continue;
      lo[i] = std::min(lo[i], v);
      hi[i] = std::max(hi[i], v);
    }
    ++rows;
  }
  context.out << "Velmar demo: " << csv.string() << "\n" << rows << " records\n";
  for (size_t i = 0; i < names.size(); ++i) {
    context.out << "  " << names[i] << ": " << FormatReal(lo[i], sep) << " .. "
                << FormatReal(hi[i], sep) << "\n";
  }
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
