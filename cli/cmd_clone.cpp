#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/data/network_validation.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli clone PROJECT --net NAME|INDEX [--seed S]\n\n"
    "Adds a copy of a network: the same architecture and field coding under the\n"
    "next free name, with fresh random weights (weights are never copied).\n"
    "INDEX counts from 1. --seed fixes the seed of the new weights.\n";

int RunClone(CommandContext& context);

const Command kClone{"clone", "add a copy of a network with fresh weights", kUsage, &RunClone,
                     true};
const CommandRegistrar kRegistrar(kClone);

int RunClone(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args, {"--net", "--seed"}, {})) {
    return UsageError(context, kClone, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, kClone, "expected PROJECT");
  SeedOverride seed;
  if (int code = ApplySeedOption(context, kClone, args, seed); code != kExitOk) return code;

  const std::string path = args.positional()[0];
  Project project;
  int index = -1;
  if (int code = LoadProjectAndNamedNet(context, path, args, project, index); code != kExitOk) {
    return code;
  }
  if (!project.CanAddNetwork()) return Refuse(context, kOperationImpossible, kNetworkLimitText);

  const std::string source = project.Net(index).Desc.Name;
  if (Status s = project.AddNetwork(project.CloneNetworkDescription(index)); !s.ok()) {
    return Refuse(context, kOperationImpossible, s.message());
  }
  if (int code = SaveProjectForCommand(context, project, path); code != kExitOk) return code;
  const NeuralNet& net = *project.CurrentNet();
  context.out << "Создана сеть " << net.Desc.Name << " по образцу сети " << source << " ("
              << project.NetCount() << " в проекте)\n"
              << NetworkSelectionText(net.Desc) << "\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
