#include "cli/cli_project.h"

#include <ostream>
#include <system_error>
#include <vector>

#include "core/base/file_util.h"
#include "core/project/project_file.h"
#include "core/tables/table_factory.h"

namespace velmar::cli {
namespace {

namespace fs = std::filesystem;

std::string PathText(const fs::path& path) { return path.string(); }

int RefuseTableOpen(CommandContext& context, const fs::path& path, const Status& status) {
  return Refuse(context, "Ошибка открытия файла",
                "Не удается открыть файл " + PathText(path) + "\n\n" + status.message());
}

}  // namespace

int LoadProjectForCommand(CommandContext& context, const fs::path& path, Project& project) {
  context.inputs.push_back(path);
  if (context.changes_project) {
    // Held from before the load until the command ends, so that a second
    // command changing the same project cannot lose this one's work or its own.
    auto lock = std::make_unique<FileLock>();
    Status locked = lock->Acquire(path);
    if (locked.IsCancelled()) {
      return Refuse(
          context, kOperationImpossible,
          "Проект " + PathText(path) + " уже открыт для изменения другой командой или программой");
    }
    if (locked.ok()) context.project_lock = std::move(lock);
  }
  Status status = LoadProject(path, project);
  if (!status.ok()) {
    return Refuse(context, kProjectOpenErrorCaption, ProjectOpenErrorText(path, status));
  }
  return kExitOk;
}

int LoadOrCreateProjectForCommand(CommandContext& context, const fs::path& path, Project& project) {
  std::error_code ec;
  if (!fs::exists(path, ec) && !ec) {
    context.inputs.push_back(path);
    return kExitOk;
  }
  return LoadProjectForCommand(context, path, project);
}

int SaveProjectForCommand(CommandContext& context, Project& project, const fs::path& path) {
  if (context.changes_project && !context.project_lock) {
    context.project_lock = std::make_unique<FileLock>();
  }
  Status status = SaveProject(project, path, context.project_lock.get());
  if (!status.ok()) {
    return Refuse(context, "Ошибка сохранения проекта",
                  "Не удается записать файл " + PathText(path) + " (" + status.message() + ")");
  }
  return kExitOk;
}

int ResolveNet(CommandContext& context, const Project& project, const std::string& net_ref,
               int& index) {
  index = -1;
  int by_name = -1;
  int name_matches = 0;
  for (int i = 0; i < project.NetCount(); ++i) {
    if (project.Net(i).Desc.Name == net_ref) {
      if (by_name < 0) by_name = i;
      ++name_matches;
    }
  }
  int by_position = -1;
  long long position = 0;
  if (ParseInt(net_ref, position) && position >= 1 && position <= project.NetCount()) {
    by_position = static_cast<int>(position - 1);
  }
  if (name_matches > 1) {
    return Refuse(context, kOperationImpossible,
                  "В проекте несколько сетей с именем " + net_ref + "; укажите номер сети");
  }
  if (by_name >= 0 && by_position >= 0 && by_name != by_position) {
    return Refuse(context, kOperationImpossible,
                  "Значение " + net_ref + " означает и имя одной сети, и номер другой");
  }
  index = by_name >= 0 ? by_name : by_position;
  if (index < 0) {
    if (project.NetCount() == 0) {
      return Refuse(context, kOperationImpossible, "В проекте нет нейронных сетей");
    }
    return Refuse(context, kOperationImpossible,
                  "В проекте нет сети " + net_ref + " (имя сети или номер от 1 до " +
                      std::to_string(project.NetCount()) + ")");
  }
  return kExitOk;
}

int LoadProjectAndNet(CommandContext& context, const std::filesystem::path& path, const Args& args,
                      Project& project, int& index) {
  if (int code = LoadProjectForCommand(context, path, project); code != kExitOk) return code;
  index = 0;
  if (args.Has("--net") || project.NetCount() != 1) {
    return ResolveNetOption(context, project, args, index);
  }
  return kExitOk;
}

int LoadProjectAndNamedNet(CommandContext& context, const fs::path& path, const Args& args,
                           Project& project, int& index) {
  index = -1;
  if (int code = LoadProjectForCommand(context, path, project); code != kExitOk) return code;
  return ResolveNetOption(context, project, args, index);
}

int CheckProjectAndData(CommandContext& context, const Command& command, const Args& args) {
  if (args.positional().size() != 1) return UsageError(context, command, "one PROJECT expected");
  if (!args.Has("--data")) return UsageError(context, command, "--data TABLE is required");
  return kExitOk;
}

int LoadProjectAndNet(CommandContext& context, const Args& args, Workspace& workspace, int& index) {
  return LoadProjectAndNet(context, args.positional()[0], args, workspace.project(), index);
}

int OpenDataForCommand(CommandContext& context, const Args& args, Workspace& workspace) {
  const fs::path path = *args.Get("--data");
  context.inputs.push_back(path);
  Status status = workspace.OpenDataFile(path, FieldStatistics::kOnFirstUse);
  if (!status.ok()) return RefuseTableOpen(context, path, status);
  return kExitOk;
}

int OpenNetAndData(CommandContext& context, const Args& args, Workspace& workspace, int& index) {
  if (int code = LoadProjectAndNet(context, args, workspace, index); code != kExitOk) return code;
  return OpenDataForCommand(context, args, workspace);
}

int ResolveNetOption(CommandContext& context, const Project& project, const Args& args,
                     int& index) {
  std::optional<std::string> net_ref = args.Get("--net");
  if (!net_ref) {
    index = -1;
    return Refuse(context, kOperationImpossible, "Не указана сеть (--net ИМЯ или НОМЕР)");
  }
  return ResolveNet(context, project, *net_ref, index);
}

int OpenTableForCommand(CommandContext& context, const fs::path& path,
                        std::unique_ptr<Table>& table) {
  context.inputs.push_back(path);
  Status status = OpenTable(path, table);
  if (status.ok()) status = CheckDistinctColumnNames(*table);
  if (!status.ok()) {
    table.reset();
    return RefuseTableOpen(context, path, status);
  }
  return kExitOk;
}

SeedOverride::~SeedOverride() {
  if (clock_) SetCurrentClock(nullptr);
}

void SeedOverride::Install(int64_t seconds) {
  auto clock = std::make_unique<FixedClock>(seconds);
  SetCurrentClock(clock.get());
  clock_ = std::move(clock);
}

int ApplySeedOption(CommandContext& context, const Command& command, const Args& args,
                    SeedOverride& seed) {
  std::optional<std::string> text = args.Get("--seed");
  if (!text) return kExitOk;
  long long value = 0;
  if (!ParseInt(*text, value)) {
    return UsageError(context, command, "--seed needs an integer, got " + *text);
  }
  seed.Install(value);
  return kExitOk;
}

int WriteOutputForCommand(CommandContext& context, const fs::path& path, std::string_view text) {
  for (const fs::path& input : context.inputs) {
    if (OutputClashesWithInput(path, input)) {
      return Refuse(
          context, "Ошибка сохранения",
          "Файл " + PathText(path) + " нельзя заменить: команда читает " + PathText(input));
    }
  }
  const Status status = WriteFileAtomically(path, text);
  if (!status.ok()) {
    return Refuse(context, "Ошибка сохранения",
                  "Не удается записать файл " + PathText(path) + " (" + status.message() + ")");
  }
  return kExitOk;
}

int FindFieldForCommand(CommandContext& context, const DataDescription& desc,
                        const std::string& name, int& index) {
  for (size_t i = 0; i < desc.Fields.size(); ++i) {
    if (desc.Fields[i].Name == name) {
      index = static_cast<int>(i);
      return kExitOk;
    }
  }
  index = -1;
  return Refuse(context, "Несовместимый файл данных", "В файле данных нет поля " + name);
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
  std::vector<std::string> items;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    items.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return items;
}

bool SplitAssignment(const std::string& text, std::string& name, std::string& value) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0) return false;
  name = text.substr(0, eq);
  value = text.substr(eq + 1);
  return true;
}

}  // namespace velmar::cli
