#ifndef VELMAR_CLI_CLI_PROJECT_H_
#define VELMAR_CLI_CLI_PROJECT_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "core/base/random.h"
#include "core/project/project.h"
#include "core/project/workspace.h"
#include "core/tables/table.h"

// Helpers shared by the velmar-cli commands that work on a project file.
// Each returns an exit code: kExitOk on success; otherwise the refusal has
// already been printed to context.err and the command should return it.
namespace velmar::cli {

inline constexpr const char* kProjectOpenErrorCaption = "Ошибка открытия файла проекта";
inline constexpr const char* kOperationImpossible = "Операция невозможна";

// Loads PROJECT into `project` (freshly made). On failure prints
// "Ошибка открытия файла проекта: Не удается открыть файл PATH".
int LoadProjectForCommand(CommandContext& context, const std::filesystem::path& path,
                          Project& project);

// As LoadProjectForCommand, but a file that does not exist yet leaves
// `project` empty and succeeds (commands that may create the project).
int LoadOrCreateProjectForCommand(CommandContext& context, const std::filesystem::path& path,
                                  Project& project);

// Saves atomically; a failure keeps the previous file and is printed as
// "Ошибка сохранения проекта: Не удается записать файл PATH (reason)".
int SaveProjectForCommand(CommandContext& context, Project& project,
                          const std::filesystem::path& path);

// Resolves a --net value: a network's name, or its 1-based position in the
// list. A value that matches nothing, or that names several networks (or one
// network by name and another by position), is refused.
int ResolveNet(CommandContext& context, const Project& project, const std::string& net_ref,
               int& index);
// Reads --net from `args` (refused when absent) and resolves it.
int ResolveNetOption(CommandContext& context, const Project& project, const Args& args, int& index);

// Loads PROJECT and picks the network named by --net, which may be left out
// when the project holds exactly one network.
int LoadProjectAndNet(CommandContext& context, const std::filesystem::path& path, const Args& args,
                      Project& project, int& index);

// Loads PROJECT and picks the network named by --net, which is required.
int LoadProjectAndNamedNet(CommandContext& context, const std::filesystem::path& path,
                           const Args& args, Project& project, int& index);

// The commands that run a network over a table (PROJECT --data TABLE
// [--net NAME|INDEX]) share these steps.
// Usage checks: exactly one PROJECT and a --data.
int CheckProjectAndData(CommandContext& context, const Command& command, const Args& args);
// Loads PROJECT (the one positional argument) into `workspace` and picks the
// network as LoadProjectAndNet does.
int LoadProjectAndNet(CommandContext& context, const Args& args, Workspace& workspace, int& index);
// Opens --data TABLE as the workspace's data file (refused as
// OpenTableForCommand refuses).
int OpenDataForCommand(CommandContext& context, const Args& args, Workspace& workspace);
// Both of the above, in that order.
int OpenNetAndData(CommandContext& context, const Args& args, Workspace& workspace, int& index);

// Opens a data table by path. On failure prints "Ошибка открытия файла:
// Не удается открыть файл PATH\n\nREASON".
int OpenTableForCommand(CommandContext& context, const std::filesystem::path& path,
                        std::unique_ptr<Table>& table);

// Replaces the calendar clock that seeds the random generator by a fixed one
// for its lifetime, so that a run with --seed is repeatable.
class SeedOverride {
 public:
  SeedOverride() = default;
  ~SeedOverride();
  SeedOverride(const SeedOverride&) = delete;
  SeedOverride& operator=(const SeedOverride&) = delete;

  void Install(int64_t seconds);
  bool installed() const { return clock_ != nullptr; }

 private:
  std::unique_ptr<FixedClock> clock_;
};

// Applies --seed S when given; S that is not an integer is a usage error of
// `command`.
int ApplySeedOption(CommandContext& context, const Command& command, const Args& args,
                    SeedOverride& seed);

// Writes `text` to the output file of -o, replacing it only once the text is
// complete. On failure prints "Ошибка сохранения: Не удается записать файл
// PATH (reason)".
int WriteOutputForCommand(CommandContext& context, const std::filesystem::path& path,
                          std::string_view text);

// The index of the field named `name` (exact, case-sensitive) in `desc`, or
// a refusal "Несовместимый файл данных: В файле данных нет поля NAME".
int FindFieldForCommand(CommandContext& context, const DataDescription& desc,
                        const std::string& name, int& index);

// Splits "a,b,c" at `separator`; empty items are kept.
std::vector<std::string> SplitList(const std::string& text, char separator = ',');
// Splits "F=V" at the last '='; false when there is none or F is empty.
bool SplitAssignment(const std::string& text, std::string& name, std::string& value);

}  // namespace velmar::cli

#endif  // VELMAR_CLI_CLI_PROJECT_H_
