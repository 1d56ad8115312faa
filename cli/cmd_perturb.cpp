#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/base/format_real.h"
#include "core/engine/perturb.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli perturb PROJECT --net NAME|INDEX [--level X] [--seed S]\n\n"
    "Adds a random perturbation of level X (0 to 1, default 0.01) to the weights\n"
    "and biases of a network: each moves by at most a tenth of X, within its\n"
    "bounds. The project is saved. --seed S fixes the random vector.\n";

int RunPerturb(CommandContext& context);

const Command kPerturb{"perturb", "add a small random perturbation to a network's weights", kUsage,
                       &RunPerturb, true};
const CommandRegistrar kRegistrar(kPerturb);

int RunPerturb(CommandContext& context) {
  const Command& self = kPerturb;
  Args args;
  if (!args.Parse(context.args, {"--net", "--level", "--seed"}, {})) {
    return UsageError(context, self, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, self, "one PROJECT expected");
  SeedOverride seed;
  if (int code = ApplySeedOption(context, self, args, seed); code != kExitOk) return code;

  const char separator = context.host.DecimalSeparator();
  const std::string level_text = args.Get("--level").value_or(DefaultBumpLevelText(separator));
  const std::optional<float> level = ParseBumpLevel(level_text, context.host);
  if (!level) return kExitRefused;  // the host has shown the message

  const std::filesystem::path project_path = args.positional()[0];
  Project project;
  int index = 0;
  if (int code = LoadProjectAndNamedNet(context, project_path, args, project, index);
      code != kExitOk) {
    return code;
  }

  NeuralNet& net = project.Net(index);
  Perturb(net, *level);
  project.SetModified(true);
  if (int code = SaveProjectForCommand(context, project, project_path); code != kExitOk) {
    return code;
  }
  context.out << "Возмущение весов " << net.Desc.Name << ": уровень "
              << FormatReal(*level, separator) << "\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
