#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "cli/terminal_training_view.h"
#include "core/engine/training_driver.h"
#include "core/project/option_names.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli train PROJECT --data TABLE [--net NAME|INDEX]\n"
    "                        [--method 0..3|sd|partan|cg|bfgs] [--seed S]\n\n"
    "Trains a network of PROJECT on the records of TABLE until every example is\n"
    "solved, no step lowers the error, or Ctrl+C asks it to stop (the current\n"
    "pass or search is finished first; a second Ctrl+C ends the program).\n"
    "Progress goes to stderr, the final figures to stdout, and the project is\n"
    "saved. --net may be left out when the project holds one network.\n"
    "--method picks the optimization method and stores it in the project:\n"
    "0 or sd (steepest descent), 1 or partan (modified ParTan), 2 or cg\n"
    "(conjugate gradients), 3 or bfgs (memoryless quasi-Newton).\n"
    "--seed S fixes the seed of every random perturbation in this run.\n";

bool ParseMethod(std::string text, int32_t& method) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (const std::optional<int32_t> by_key = TrainingMethodFromKey(text)) {
    method = *by_key;
    return true;
  }
  for (int32_t i = 0; i < static_cast<int32_t>(kTrainingMethodNames.size()); ++i) {
    if (text == std::to_string(i)) {
      method = i;
      return true;
    }
  }
  return false;
}

int RunTrain(CommandContext& context);

const Command kTrain{"train", "train a network of a project on a data table", kUsage, &RunTrain,
                     true};
const CommandRegistrar kRegistrar(kTrain);

int RunTrain(CommandContext& context) {
  const Command& self = kTrain;
  Args args;
  if (!args.Parse(context.args, {"--data", "--net", "--method", "--seed"}, {})) {
    return UsageError(context, self, args.error());
  }
  if (int code = CheckProjectAndData(context, self, args); code != kExitOk) return code;
  int32_t method = -1;
  if (const auto text = args.Get("--method"); text && !ParseMethod(*text, method)) {
    return UsageError(context, self, "unknown method " + *text);
  }
  SeedOverride seed;
  if (int code = ApplySeedOption(context, self, args, seed); code != kExitOk) return code;

  Workspace workspace(context.host);
  Project& project = workspace.project();
  int index = 0;
  if (int code = OpenNetAndData(context, args, workspace, index); code != kExitOk) return code;

  if (method >= 0) project.Options().TrainingMethod = method;
  const int32_t used = project.Options().TrainingMethod;
  if (used < 0 || used > 3) {
    return Refuse(context, kOperationImpossible,
                  "Неизвестный метод оптимизации " + std::to_string(used) + "; укажите --method");
  }
  NeuralNet& net = project.Net(index);
  project.Select(index);

  TerminalTrainingView view(context.err, context.host);
  StopOnInterrupt stop(context.host, net, view);
  EngineContext engine = workspace.Context(view);
  TrainingReport report;
  TrainNetwork(net, engine, report);
  view.Finish();
  if (!report.trained) return kExitRefused;  // the host has shown why

  context.out << "Сеть: " << net.Desc.Name << "\n";
  context.out << "Метод: " << kTrainingMethodNames[used] << "\n";
  context.out << "Число циклов обучения: " << net.NumOfTrainingCycles << "\n";
  context.out << "Средняя оценка: " << view.Label(TrainingLabel::kError) << "\n";
  context.out << "Правильно решенных примеров: " << view.Label(TrainingLabel::kNumOfExamples)
              << "\n";
  context.out << "Возмущений: " << report.perturbations << "\n";
  if (stop.requested()) context.out << "Обучение прервано пользователем\n";

  project.SetModified(true);
  return SaveProjectForCommand(context, project, args.positional()[0]);
}

}  // namespace
}  // namespace velmar::cli
