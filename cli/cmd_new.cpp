#include <memory>
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
    "Usage: velmar-cli new PROJECT --data TABLE [--name N] [--input F]... [--output F]...\n"
    "         [--not-used F]... [--discrete F[:ordered]]... [--states F=a..b,c..d,...]\n"
    "         [--gap F=V] [--layers L] [--neurons n1,n2,...] [--characteristic c1,c2,...]\n"
    "         [--monotone] [--seed S]\n\n"
    "Creates a network over TABLE and adds it to PROJECT (created when missing).\n"
    "It starts from the default description: every numeric field an input, the\n"
    "last one the output, 3 layers of 10 neurons with characteristic 0.1. The\n"
    "options then change it, in the order given:\n"
    "  --input/--output/--not-used F   the usage of field F\n"
    "  --discrete F[:ordered]          make F discrete (ordered: states are ordered)\n"
    "  --states F=a..b,c..d,...        the states of a discrete field (2 to 20)\n"
    "  --gap F=V                       tolerance of output F (accuracy, or reliability 0..1)\n"
    "  --layers L                      1 to 10 layers\n"
    "  --neurons n1,n2,...             neurons of layers 1, 2, ... (1 to 100)\n"
    "  --characteristic c1,c2,...      characteristic of layers 1, 2, ... (0.0001 to 1)\n"
    "  --monotone                      monotone architecture\n"
    "  --seed S                        seed of the initial weights (default: the clock)\n";

int RefuseValidation(CommandContext& context, const ValidationError& error) {
  return Refuse(context, error.caption, error.text);
}

int SetUsage(CommandContext& context, DataDescription& desc, const std::string& name,
             FieldUsage usage) {
  int field = -1;
  if (int code = FindFieldForCommand(context, desc, name, field); code != kExitOk) return code;
  if (desc.Fields[field].Usage == FieldUsage::NotNumeric) {
    return Refuse(context, kOperationImpossible, "Поле " + name + " не числовое и недоступно сети");
  }
  ChangeFieldUsage(desc, field, usage);
  return kExitOk;
}

// Type and states can be set only for fields the network uses.
int FindUsedField(CommandContext& context, DataDescription& desc, const std::string& name,
                  int& field) {
  if (int code = FindFieldForCommand(context, desc, name, field); code != kExitOk) return code;
  const FieldUsage usage = desc.Fields[field].Usage;
  if (usage != FieldUsage::Input && usage != FieldUsage::Output) {
    return Refuse(context, kOperationImpossible,
                  "Тип значений задается только для входного или выходного поля (" + name + ")");
  }
  return kExitOk;
}

int SetDiscrete(CommandContext& context, DataDescription& desc, const std::string& value) {
  std::string name = value;
  bool ordered = false;
  if (const size_t colon = value.rfind(':');
      colon != std::string::npos && value.substr(colon + 1) == "ordered") {
    name = value.substr(0, colon);
    ordered = true;
  }
  int field = -1;
  if (int code = FindUsedField(context, desc, name, field); code != kExitOk) return code;
  if (desc.Fields[field].IsDiscrete == 0) SetFieldType(desc, field, true);
  desc.Fields[field].Predecessor = ordered ? 1 : 0;
  return kExitOk;
}

int SetStates(CommandContext& context, DataDescription& desc, const std::string& value, char sep) {
  std::string name, list;
  if (!SplitAssignment(value, name, list)) {
    return Refuse(context, "Ошибка", "Неверное описание состояний: " + value);
  }
  int field = -1;
  if (int code = FindUsedField(context, desc, name, field); code != kExitOk) return code;
  if (desc.Fields[field].IsDiscrete == 0) {
    return Refuse(context, kOperationImpossible,
                  "Поле " + name + " не дискретное; сначала задайте --discrete " + name);
  }
  const std::vector<std::string> ranges = SplitList(list);
  if (ranges.size() < 2 || ranges.size() > static_cast<size_t>(kMaxStates)) {
    return Refuse(context, "Неверное число состояний",
                  "Число дискретных состояний должно находиться в интервале от 2 до 20");
  }
  std::vector<StateRange> parsed;
  for (const std::string& range : ranges) {
    const size_t dots = range.find("..");
    StateRange state;
    if (dots == std::string::npos) {
      // A single value is a point range.
      if (auto error = ParseStateBound(range, sep, state.From)) {
        return RefuseValidation(context, *error);
      }
      state.To = state.From;
    } else {
      if (auto error = ParseStateBound(range.substr(0, dots), sep, state.From)) {
        return RefuseValidation(context, *error);
      }
      if (auto error = ParseStateBound(range.substr(dots + 2), sep, state.To)) {
        return RefuseValidation(context, *error);
      }
    }
    if (state.From == kUnsetValue || state.To == kUnsetValue) {
      return Refuse(context, "Ошибка", "Неверное числовое значение");
    }
    parsed.push_back(state);
  }
  ChangeNumOfStates(desc, field, static_cast<int32_t>(parsed.size()));
  for (size_t s = 0; s < parsed.size(); ++s) desc.Fields[field].States[s] = parsed[s];
  return kExitOk;
}

int SetGap(CommandContext& context, DataDescription& desc, const std::string& value, char sep) {
  std::string name, text;
  if (!SplitAssignment(value, name, text)) {
    return Refuse(context, "Ошибка", "Неверное значение: " + value + " (ожидается ПОЛЕ=ЗНАЧЕНИЕ)");
  }
  int field = -1;
  if (int code = FindFieldForCommand(context, desc, name, field); code != kExitOk) return code;
  FieldDescription& f = desc.Fields[field];
  if (f.Usage != FieldUsage::Output) {
    return Refuse(context, kOperationImpossible,
                  "Точность и надежность задаются только для выходного поля (" + name + ")");
  }
  if (auto error = ParseGap(text, f, sep, f.Gap)) return RefuseValidation(context, *error);
  return kExitOk;
}

int SetLayers(CommandContext& context, DataDescription& desc, const std::string& value) {
  long long layers = 0;
  if (!ParseInt(value, layers) || layers < 1 || layers > kMaxLayers) {
    return Refuse(context, "Неверное число слоев",
                  "Число слоев нейронов должно находиться в интервале от 1 до 10");
  }
  desc.NumOfLayers = static_cast<int32_t>(layers);
  return kExitOk;
}

int SetNeurons(CommandContext& context, DataDescription& desc, const std::string& value) {
  const std::vector<std::string> items = SplitList(value);
  if (items.size() > static_cast<size_t>(kMaxLayers)) {
    return Refuse(context, "Неверное число слоев", "Слоев нейронов не больше 10");
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (auto error = ParseNeuronCount(items[i], desc.NumOfNeurons[i])) {
      return RefuseValidation(context, *error);
    }
  }
  return kExitOk;
}

int SetCharacteristics(CommandContext& context, DataDescription& desc, const std::string& value,
                       char sep, size_t max_layers) {
  const std::vector<std::string> items = SplitList(value);
  if (items.size() > max_layers) {
    return Refuse(
        context, "Неверное число слоев",
        "Характеристик задано больше, чем слоев нейронов (" + std::to_string(max_layers) + ")");
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (auto error = ParseCharacteristic(items[i], sep, desc.Characteristic[i])) {
      return RefuseValidation(context, *error);
    }
  }
  return kExitOk;
}

int ApplyOption(CommandContext& context, DataDescription& desc, const std::string& option,
                const std::string& value) {
  const char sep = context.host.DecimalSeparator();
  if (option == "--name") {
    if (Status s = CheckStorableText(value); !s.ok()) {
      return Refuse(context, kOperationImpossible, s.message());
    }
    desc.Name = value;
    return kExitOk;
  }
  if (option == "--input") return SetUsage(context, desc, value, FieldUsage::Input);
  if (option == "--output") return SetUsage(context, desc, value, FieldUsage::Output);
  if (option == "--not-used") return SetUsage(context, desc, value, FieldUsage::NotUsed);
  if (option == "--discrete") return SetDiscrete(context, desc, value);
  if (option == "--states") return SetStates(context, desc, value, sep);
  if (option == "--gap") return SetGap(context, desc, value, sep);
  if (option == "--layers") return SetLayers(context, desc, value);
  if (option == "--neurons") return SetNeurons(context, desc, value);
  if (option == "--characteristic") {
    return SetCharacteristics(context, desc, value, sep, kMaxLayers);
  }
  if (option == "--monotone") desc.IsMonotonical = 1;
  return kExitOk;
}

int RunNew(CommandContext& context);

const Command kNew{"new", "create a network over a data table", kUsage, &RunNew, true};
const CommandRegistrar kRegistrar(kNew);

int RunNew(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args,
                  {"--data", "--name", "--input", "--output", "--not-used", "--discrete",
                   "--states", "--gap", "--layers", "--neurons", "--characteristic", "--seed"},
                  {"--monotone"})) {
    return UsageError(context, kNew, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, kNew, "expected PROJECT");
  const std::optional<std::string> data = args.Get("--data");
  if (!data) return UsageError(context, kNew, "--data TABLE is required");
  SeedOverride seed;
  if (int code = ApplySeedOption(context, kNew, args, seed); code != kExitOk) return code;

  const std::string path = args.positional()[0];
  Project project;
  if (int code = LoadOrCreateProjectForCommand(context, path, project); code != kExitOk) {
    return code;
  }
  if (!project.CanAddNetwork()) return Refuse(context, kOperationImpossible, kNetworkLimitText);

  std::unique_ptr<Table> table;
  if (int code = OpenTableForCommand(context, *data, table); code != kExitOk) return code;
  FieldTemplate field_template;
  {
    BusyCursor busy(context.host);
    field_template = BuildFieldTemplate(*table);
  }
  DataDescription desc = project.NewNetworkDescription(field_template);

  for (const auto& [option, value] : args.options()) {
    if (option == "--data" || option == "--seed") continue;
    if (int code = ApplyOption(context, desc, option, value); code != kExitOk) return code;
  }
  const int32_t layers = desc.NumOfLayers;
  for (int i = 0; i < layers; ++i) {
    if (desc.NumOfNeurons[i] < 1 || desc.NumOfNeurons[i] > kMaxNeuronsPerLayer) {
      return Refuse(context, "Неверное число нейронов",
                    "Число нейронов должно находиться в интервале от 1 до 100");
    }
  }
  if (!CanConfirmDescription(desc)) {
    return Refuse(context, kOperationImpossible, kNoInputOrOutputText);
  }
  if (Status s = project.AddNetwork(std::move(desc)); !s.ok()) {
    return Refuse(context, kOperationImpossible, s.message());
  }
  if (int code = SaveProjectForCommand(context, project, path); code != kExitOk) return code;

  const NeuralNet& net = *project.CurrentNet();
  context.out << "Создана сеть " << net.Desc.Name << " (" << project.NetCount() << " в проекте)\n"
              << NetworkSelectionText(net.Desc) << "\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
