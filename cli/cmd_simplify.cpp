#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "cli/terminal_training_view.h"
#include "core/engine/training_driver.h"
#include "core/simplify/pruning.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli simplify PROJECT --data TABLE [--net NAME|INDEX]\n"
    "                           --mode inputs|synapses|binarize|uniform|biases|neurons\n"
    "                           [--symptoms N] [--seed S]\n\n"
    "Simplifies a network of PROJECT: in every iteration the least significant\n"
    "input, synapse, bias or neuron is removed (or one weight is brought to a\n"
    "level of the project's binary weight set) and the network is retrained on\n"
    "the records of TABLE; the first change after which it no longer solves\n"
    "every example is undone and ends the run. Ctrl+C stops the run the same\n"
    "way (the change under way is undone). Progress goes to stderr, the four\n"
    "counters to stdout, and the project is saved.\n"
    "--mode uniform keeps at most N incoming synapses on every neuron\n"
    "(--symptoms N, 1..100, default 3). --net may be left out when the project\n"
    "holds one network. --seed S fixes the seed of the retraining's perturbations.\n";

struct ModeName {
  const char* name;
  int32_t code;
  const char* caption;
};

constexpr ModeName kModes[] = {
    {"inputs", kPruneInputs, "Сокращение числа входных сигналов"},
    {"synapses", kPruneSynapses, "Сокращение числа синапсов"},
    {"binarize", kBinarizeWeights, "Бинаризация весов синапсов и неоднородных входов"},
    {"uniform", kPruneUniform, "Равномерное упрощение сети"},
    {"biases", kPruneBiases, "Сокращение числа неоднородных входов"},
    {"neurons", kPruneNeurons, "Сокращение числа нейронов"},
};

const ModeName* FindMode(const std::string& text) {
  for (const ModeName& mode : kModes) {
    if (text == mode.name || text == std::to_string(mode.code)) return &mode;
  }
  return nullptr;
}

int RunSimplify(CommandContext& context);

const Command kSimplify{"simplify", "prune or binarize a network while it solves its examples",
                        kUsage, &RunSimplify, true};
const CommandRegistrar kRegistrar(kSimplify);

int RunSimplify(CommandContext& context) {
  const Command& self = kSimplify;
  Args args;
  if (!args.Parse(context.args, {"--data", "--net", "--mode", "--symptoms", "--seed"}, {})) {
    return UsageError(context, self, args.error());
  }
  if (int code = CheckProjectAndData(context, self, args); code != kExitOk) return code;
  const std::optional<std::string> mode_text = args.Get("--mode");
  if (!mode_text) return UsageError(context, self, "--mode is required");
  const ModeName* mode = FindMode(*mode_text);
  if (mode == nullptr) return UsageError(context, self, "unknown mode " + *mode_text);
  const std::optional<std::string> symptoms = args.Get("--symptoms");
  if (symptoms && mode->code != kPruneUniform) {
    return UsageError(context, self, "--symptoms applies to --mode uniform only");
  }
  SeedOverride seed;
  if (int code = ApplySeedOption(context, self, args, seed); code != kExitOk) return code;

  Workspace workspace(context.host);
  Project& project = workspace.project();
  int index = 0;
  if (int code = LoadProjectAndNet(context, args, workspace, index); code != kExitOk) return code;
  NeuralNet& net = project.Net(index);
  if (symptoms && !ParseNumOfSymptoms(*symptoms)) {
    return Refuse(context, "Ошибка", "Неверное число приходящих на нейрон сигналов");
  }
  if (int code = OpenDataForCommand(context, args, workspace); code != kExitOk) return code;
  project.Select(index);
  if (symptoms) net.NumOfSymptoms = *ParseNumOfSymptoms(*symptoms);

  TerminalTrainingView view(context.err, context.host);
  EngineContext engine = workspace.Context(view);
  // Refuse before anything is shown when no taskbook can be built; the host
  // has printed why.
  if (!PrepareTaskBook(net, engine)) return kExitRefused;

  StopOnInterrupt stop(context.host, net, view);
  Simplify(net, mode->code, engine);
  view.Finish();

  context.out << "Сеть: " << net.Desc.Name << "\n";
  context.out << "Режим: " << mode->caption << "\n";
  for (const CounterLabel& counter : CounterLabels(net)) {
    context.out << counter.caption << " " << counter.text << "\n";
  }
  if (stop.requested()) context.out << "Упрощение прервано пользователем\n";

  project.SetModified(true);
  return SaveProjectForCommand(context, project, args.positional()[0]);
}

}  // namespace
}  // namespace velmar::cli
