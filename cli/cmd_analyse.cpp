#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/data/training_set_analysis.h"
#include "core/engine/training_driver.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli analyse PROJECT --data TABLE [--net NAME|INDEX]\n\n"
    "Analyses the training set that a network of PROJECT takes from TABLE:\n"
    "the sample estimate of the Lipschitz constant of the mapping from coded\n"
    "inputs to coded targets over all pairs of records, the pair of records\n"
    "that gives it, and the groups of conflicting records (equal inputs,\n"
    "different targets). The report goes to stdout. --net may be left out\n"
    "when the project holds one network. The work grows with the square of\n"
    "the number of records.\n";

int RunAnalyse(CommandContext& context);

const Command kAnalyse{"analyse", "analyse the training set of a network", kUsage, &RunAnalyse};
const CommandRegistrar kRegistrar(kAnalyse);

int RunAnalyse(CommandContext& context) {
  const Command& self = kAnalyse;
  Args args;
  if (!args.Parse(context.args, {"--data", "--net"}, {})) {
    return UsageError(context, self, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, self, "one PROJECT expected");
  const std::optional<std::string> data = args.Get("--data");
  if (!data) return UsageError(context, self, "--data TABLE is required");

  Project project;
  int index = 0;
  if (int code = LoadProjectAndNet(context, args.positional()[0], args, project, index);
      code != kExitOk) {
    return code;
  }
  std::unique_ptr<Table> table;
  if (int code = OpenTableForCommand(context, *data, table); code != kExitOk) return code;

  NeuralNet& net = project.Net(index);
  EngineContext engine = MakeEngineContext(project, table.get(), context.host);
  if (!PrepareTaskBook(net, engine)) return kExitRefused;  // the host said why

  context.out << TrainingSetReport(AnalysePairs(*net.Book), context.host.DecimalSeparator())
              << "\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
