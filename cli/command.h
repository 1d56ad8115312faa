#ifndef VELMAR_CLI_COMMAND_H_
#define VELMAR_CLI_COMMAND_H_

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/base/host.h"
#include "core/base/status.h"

namespace velmar::cli {

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

struct CommandContext {
  std::vector<std::string> args;  // after the command name
  std::ostream& out;
  std::ostream& err;
  Host& host;
  // Set for commands that save the project they load: the load takes a lock
  // on it, held until the command ends.
  bool changes_project = false;
  std::unique_ptr<FileLock> project_lock;
  // The files the command reads (project, table); no output may replace them.
  std::vector<std::filesystem::path> inputs;
};

struct Command {
  const char* name;
  const char* summary;  // one line for --help
  const char* usage;    // the command's own help text
  int (*run)(CommandContext& context);
  bool changes_project = false;  // saves the project it loads
};

// Commands register themselves from their own source file through a static
// CommandRegistrar, so adding a command touches no shared file.
void RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command) { RegisterCommand(command); }
};

// Runs velmar-cli with `args` (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Host& host);

// Prints "caption: text" of a refusal to `err` and returns kExitRefused.
int Refuse(CommandContext& context, const std::string& caption, const std::string& text);
// Prints a usage error with the command's usage and returns kExitUsage.
int UsageError(CommandContext& context, const Command& command, const std::string& problem);

}  // namespace velmar::cli

#endif  // VELMAR_CLI_COMMAND_H_
