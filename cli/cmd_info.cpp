#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "core/base/format_real.h"
#include "core/project/option_names.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli info PROJECT [--json]\n\n"
    "Prints the project's options and, for each network, its name, its\n"
    "description, its fields (usage, type, states, tolerance) and its totals.\n"
    "--json prints the same as one JSON document (see the README).\n";

const char* UsageName(FieldUsage usage) {
  switch (usage) {
    case FieldUsage::NotNumeric:
      return "не числовое";
    case FieldUsage::NotUsed:
      return "не используется";
    case FieldUsage::Input:
      return "входное";
    case FieldUsage::Output:
      return "выходное";
  }
  return "?";
}

std::string DescribeField(const FieldDescription& f, char sep) {
  std::string line = f.Name + ": " + UsageName(f.Usage);
  if (f.Usage == FieldUsage::NotNumeric) return line;
  line += f.IsDiscrete != 0 ? ", качественное (дискретное)" : ", количественное (непрерывное)";
  line += ", диапазон от " + FormatReal(f.MinValue, sep) + " до " + FormatReal(f.MaxValue, sep);
  if (f.IsDiscrete != 0) {
    line += f.Predecessor != 0 ? ", упорядоченные состояния:" : ", состояния:";
    for (int s = 0; s < f.NumOfDiscreteStates && s < static_cast<int>(f.States.size()); ++s) {
      const StateRange& r = f.States[s];
      if (r.From == kUnsetValue) {
        line += " [не задано]";
      } else {
        line += " [" + FormatReal(r.From, sep) + " .. " + FormatReal(r.To, sep) + "]";
      }
    }
  }
  if (f.Usage == FieldUsage::Output) {
    line += f.IsDiscrete != 0 ? ", надежность " + FormatReal(f.Gap, sep)
                              : ", точность ±" + FormatReal(f.Gap, sep);
  }
  return line;
}

int RunInfo(CommandContext& context);

const Command kInfo{"info", "show a project's options and networks", kUsage, &RunInfo};
const CommandRegistrar kRegistrar(kInfo);

int RunInfo(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args, {}, {"--json"})) return UsageError(context, kInfo, args.error());
  if (args.positional().size() != 1) return UsageError(context, kInfo, "expected PROJECT");
  const std::string path = args.positional()[0];

  Project project;
  if (int code = LoadProjectForCommand(context, path, project); code != kExitOk) return code;
  if (args.Has("--json")) {
    context.out << ProjectInfoJson(path, project);
    return kExitOk;
  }

  const char sep = context.host.DecimalSeparator();
  const ProjectOptions& o = project.Options();
  std::ostream& out = context.out;
  out << "Проект: " << path << "\n";
  out << kTrainingMethodCaption << ": " << OptionName(kTrainingMethodNames, o.TrainingMethod)
      << " (" << o.TrainingMethod << ")\n";
  out << kSensitivityNormCaption << ": " << OptionName(kSensitivityNormNames, o.SensitivityNorm)
      << " (" << o.SensitivityNorm << ")\n";
  out << kBinaryWeightSetCaption << ": " << OptionName(kBinaryWeightSetNames, o.BinaryWeightSet)
      << " (" << o.BinaryWeightSet << ")\n";
  out << kExtendTaskbookCaption << ": " << (o.ExtendTaskbook != 0 ? "да" : "нет") << " ("
      << o.ExtendTaskbook << ")\n";
  out << "Создано сетей: " << project.NetNameCounter() << "\n";
  out << "Нейронных сетей: " << project.NetCount() << "\n";

  for (int i = 0; i < project.NetCount(); ++i) {
    const NeuralNet& net = project.Net(i);
    out << "\nСеть " << i + 1 << ": " << net.Desc.Name << "\n";
    out << NetworkSelectionText(net.Desc) << "\n";
    out << "Характеристика слоев:";
    for (int l = 0; l < net.Desc.NumOfLayers && l < kMaxLayers; ++l) {
      out << (l == 0 ? " " : "; ") << FormatReal(net.Desc.Characteristic[l], sep);
    }
    out << (net.Desc.IsMonotonical != 0 ? "\nМонотонная архитектура\n" : "\n");
    out << "Поля:\n";
    for (const FieldDescription& field : net.Desc.Fields) {
      out << "  " << DescribeField(field, sep) << "\n";
    }
    out << "Циклов обучения: " << net.NumOfTrainingCycles << "\n";
    out << "Удалено входов: " << net.NumOfPrunedInputs
        << "; удалено синапсов: " << net.NumOfPrunedSynapses
        << "; бинаризовано синапсов: " << net.NumOfBinSynapses
        << "; удалено нейронов: " << net.NumOfPrunedNeurons << "\n";
  }
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
