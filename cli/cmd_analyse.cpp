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
  if (int code = CheckProjectAndData(context, self, args); code != kExitOk) return code;

  Workspace workspace(context.host);
  int index = 0;
  if (int code = OpenNetAndData(context, args, workspace, index); code != kExitOk) return code;

  NeuralNet& net = workspace.project().Net(index);
  EngineContext engine = workspace.Context();
  if (!PrepareTaskBook(net, engine)) return kExitRefused;  // the host said why

  context.out << TrainingSetReport(AnalysePairs(*net.Book), context.host.DecimalSeparator())
              << "\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
