#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/project/option_names.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli set PROJECT [--method 0..3|sd|partan|cg|bfgs] [--sens-norm 0|1]\n"
    "         [--bin-set 0..3] [--extend 0|1]\n\n"
    "Sets the project's options and saves the project:\n"
    "  --method     optimization method: 0 sd (steepest descent), 1 partan\n"
    "               (modified ParTan), 2 cg (conjugate gradients), 3 bfgs\n"
    "  --sens-norm  significance norm: 0 sum of moduli, 1 maximum of modulus\n"
    "  --bin-set    binarized weights: 0 ±1; 1 ±0.5, ±1; 2 ±0.25 .. ±1; 3 ±0.1 .. ±1\n"
    "  --extend     1: rebuild the taskbook after each pruned input\n";

bool ParseOption(const std::string& text, int max, int32_t& value) {
  long long parsed = 0;
  if (!ParseInt(text, parsed) || parsed < 0 || parsed > max) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseMethod(const std::string& text, int32_t& value) {
  if (const std::optional<int32_t> by_key = TrainingMethodFromKey(text)) {
    value = *by_key;
    return true;
  }
  return ParseOption(text, static_cast<int>(kTrainingMethodNames.size()) - 1, value);
}

int RunSet(CommandContext& context);

const Command kSet{"set", "set a project's options", kUsage, &RunSet, true};
const CommandRegistrar kRegistrar(kSet);

int RunSet(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args, {"--method", "--sens-norm", "--bin-set", "--extend"}, {})) {
    return UsageError(context, kSet, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, kSet, "expected PROJECT");

  const std::string path = args.positional()[0];
  Project project;
  if (int code = LoadProjectForCommand(context, path, project); code != kExitOk) return code;
  // Every value is checked before the project changes.
  ProjectOptions wanted = project.Options();
  bool extend_given = false;
  for (const auto& [option, value] : args.options()) {
    bool ok = false;
    if (option == "--method") ok = ParseMethod(value, wanted.TrainingMethod);
    if (option == "--sens-norm") ok = ParseOption(value, 1, wanted.SensitivityNorm);
    if (option == "--bin-set") ok = ParseOption(value, 3, wanted.BinaryWeightSet);
    if (option == "--extend") {
      ok = ParseOption(value, 1, wanted.ExtendTaskbook);
      extend_given = true;
    }
    if (!ok) return UsageError(context, kSet, "bad value for " + option + ": " + value);
  }

  ProjectOptions& options = project.Options();
  // Printed only once the project is saved: a failed save changes nothing.
  std::string changes;
  const auto report = [&](const char* label, int32_t before, int32_t after) {
    changes += label;
    changes += ": ";
    if (before == after) {
      changes += std::to_string(after) + " (без изменений)\n";
    } else {
      changes += std::to_string(before) + " -> " + std::to_string(after) + "\n";
    }
  };
  report("Метод оптимизации", options.TrainingMethod, wanted.TrainingMethod);
  report("Норма накопления значимости", options.SensitivityNorm, wanted.SensitivityNorm);
  report("Веса бинаризованных синапсов", options.BinaryWeightSet, wanted.BinaryWeightSet);
  report("Расширять задачник при контрастировании входов", options.ExtendTaskbook,
         wanted.ExtendTaskbook);
  options.TrainingMethod = wanted.TrainingMethod;
  options.SensitivityNorm = wanted.SensitivityNorm;
  options.BinaryWeightSet = wanted.BinaryWeightSet;
  if (extend_given) project.SetExtendTaskbook(wanted.ExtendTaskbook);

  if (int code = SaveProjectForCommand(context, project, path); code != kExitOk) return code;
  context.out << changes;
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
