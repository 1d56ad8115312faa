#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "core/simplify/significance.h"
#include "core/simplify/significance_text.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli significance PROJECT --data TABLE [--net NAME|INDEX] [-o FILE]\n"
    "       [--json]\n\n"
    "Computes the significance of every input signal of a network of PROJECT\n"
    "over the records of TABLE and writes one line per signal: its name, a tab\n"
    "and the indicator (the most significant input has 1). The lines go to\n"
    "FILE when -o is given (replaced only once complete), else to stdout. The\n"
    "project is not changed. --net may be left out when the project holds one\n"
    "network. --json prints the rows as one JSON document on stdout instead.\n";

int RunSignificance(CommandContext& context);

const Command kSignificance{"significance", "show how significant each input of a network is",
                            kUsage, &RunSignificance};
const CommandRegistrar kRegistrar(kSignificance);

int RunSignificance(CommandContext& context) {
  const Command& self = kSignificance;
  Args args;
  if (!args.Parse(context.args, {"--data", "--net", "-o"}, {"--json"})) {
    return UsageError(context, self, args.error());
  }
  if (int code = CheckProjectAndData(context, self, args); code != kExitOk) return code;
  if (args.Has("--json") && args.Has("-o")) {
    return UsageError(context, self, "--json and -o exclude each other");
  }

  Workspace workspace(context.host);
  int index = 0;
  if (int code = OpenNetAndData(context, args, workspace, index); code != kExitOk) return code;

  NeuralNet& net = workspace.project().Net(index);
  EngineContext engine = workspace.Context();
  if (!ComputeSignificance(net, engine)) return kExitRefused;  // the host has said why

  if (args.Has("--json")) {
    context.out << SignificanceJson(net);
    return kExitOk;
  }
  const char separator = context.host.DecimalSeparator();
  if (const std::optional<std::string> file = args.Get("-o")) {
    return WriteOutputForCommand(context, *file, SignificanceText(net, separator));
  }
  context.out << SignificanceText(net, separator);
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
