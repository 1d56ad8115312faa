#include <ostream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/base/format_real.h"
#include "core/data/network_validation.h"
#include "core/project/project_file.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli params PROJECT --net NAME|INDEX [--name N]\n"
    "         [--characteristic c1,c2,...] [--gap F=V]...\n\n"
    "Changes what can change in an existing network without losing its weights:\n"
    "its name, the characteristic of its layers (0.0001 to 1) and the tolerance\n"
    "of its output fields (accuracy up to the field's range, or reliability 0..1).\n"
    "The neurons take the new characteristics and the error terms are rebuilt.\n";

int RunParams(CommandContext& context);

const Command kParams{"params", "change a network's name, characteristics and tolerances", kUsage,
                      &RunParams, true};
const CommandRegistrar kRegistrar(kParams);

int RunParams(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args, {"--net", "--name", "--characteristic", "--gap"}, {})) {
    return UsageError(context, kParams, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, kParams, "expected PROJECT");

  const std::string path = args.positional()[0];
  Project project;
  int index = -1;
  if (int code = LoadProjectAndNamedNet(context, path, args, project, index); code != kExitOk) {
    return code;
  }

  // Work on a copy of the description so that a refusal changes nothing.
  NeuralNet& net = project.Net(index);
  DataDescription edited = net.Desc;
  const char sep = context.host.DecimalSeparator();
  std::vector<std::string> changes;
  for (const auto& [option, value] : args.options()) {
    if (option == "--name") {
      if (Status s = CheckStorableText(value); !s.ok()) {
        return Refuse(context, kOperationImpossible, s.message());
      }
      if (edited.Name != value) changes.push_back("Имя: " + edited.Name + " -> " + value);
      edited.Name = value;
    } else if (option == "--characteristic") {
      const std::vector<std::string> items = SplitList(value);
      if (items.size() > static_cast<size_t>(edited.NumOfLayers)) {
        return Refuse(context, "Неверное число слоев",
                      "Характеристик задано больше, чем слоев нейронов (" +
                          std::to_string(edited.NumOfLayers) + ")");
      }
      for (size_t i = 0; i < items.size(); ++i) {
        float c = edited.Characteristic[i];
        if (auto error = ParseCharacteristic(items[i], sep, c)) {
          return Refuse(context, error->caption, error->text);
        }
        if (c != edited.Characteristic[i]) {
          changes.push_back("Слой " + std::to_string(i + 1) + ": характеристика " +
                            FormatReal(edited.Characteristic[i], sep) + " -> " +
                            FormatReal(c, sep));
        }
        edited.Characteristic[i] = c;
      }
    } else if (option == "--gap") {
      std::string name, text;
      if (!SplitAssignment(value, name, text)) {
        return Refuse(context, "Ошибка",
                      "Неверное значение: " + value + " (ожидается ПОЛЕ=ЗНАЧЕНИЕ)");
      }
      int field = -1;
      if (int code = FindFieldForCommand(context, edited, name, field); code != kExitOk) {
        return code;
      }
      FieldDescription& f = edited.Fields[field];
      if (f.Usage != FieldUsage::Output) {
        return Refuse(context, kOperationImpossible,
                      "Точность и надежность задаются только для выходного поля (" + name + ")");
      }
      float gap = f.Gap;
      if (auto error = ParseGap(text, f, sep, gap)) {
        return Refuse(context, error->caption, error->text);
      }
      if (gap != f.Gap) {
        changes.push_back("Поле " + name + (f.IsDiscrete != 0 ? ": надежность " : ": точность ±") +
                          FormatReal(f.Gap, sep) + " -> " + (f.IsDiscrete != 0 ? "" : "±") +
                          FormatReal(gap, sep));
      }
      f.Gap = gap;
    }
  }

  net.Desc.Name = edited.Name;
  net.Desc.Characteristic = edited.Characteristic;
  for (size_t i = 0; i < net.Desc.Fields.size(); ++i) net.Desc.Fields[i].Gap = edited.Fields[i].Gap;
  project.ParametersChanged(index);
  if (int code = SaveProjectForCommand(context, project, path); code != kExitOk) return code;

  if (changes.empty()) {
    context.out << "Сеть " << net.Desc.Name << ": без изменений\n";
  } else {
    context.out << "Сеть " << net.Desc.Name << ":\n";
    for (const std::string& change : changes) context.out << "  " << change << "\n";
  }
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
