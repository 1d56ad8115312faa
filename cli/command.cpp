#include "cli/command.h"

#include <algorithm>
#include <ostream>

namespace velmar::cli {
namespace {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

constexpr const char* kVersion = "Velmar 0.25";

void PrintHelp(std::ostream& out) {
  out << "Usage: velmar-cli COMMAND [ARGS...]\n\n"
         "Velmar builds small, readable neural networks over Paradox, dBase and\n"
         "FoxPro tables. Commands:\n\n";
  for (const Command& command : Commands()) {
    std::string name = command.name;
    name.resize(std::max<size_t>(name.size() + 2, 14), ' ');
    out << "  " << name << command.summary << "\n";
  }
  out << "\nvelmar-cli help COMMAND or velmar-cli COMMAND --help shows a command's usage.\n"
         "Exit codes: 0 success, 1 refused operation, 2 bad usage.\n";
}

const Command* Find(const std::string& name) {
  for (const Command& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

void RegisterCommand(const Command& command) {
  auto& commands = Registry();
  auto it = commands.begin();
  while (it != commands.end() && std::string(it->name) < command.name) ++it;
  commands.insert(it, command);
}

const std::vector<Command>& Commands() { return Registry(); }

int Refuse(CommandContext& context, const std::string& caption, const std::string& text) {
  context.err << caption << ": " << text << "\n";
  return kExitRefused;
}

int UsageError(CommandContext& context, const Command& command, const std::string& problem) {
  context.err << "velmar-cli " << command.name << ": " << problem << "\n\n" << command.usage;
  return kExitUsage;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Host& host) {
  if (args.empty()) {
    PrintHelp(err);
    return kExitUsage;
  }
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    PrintHelp(out);
    return kExitOk;
  }
  if (first == "--version") {
    out << kVersion << "\n";
    return kExitOk;
  }
  if (first == "help") {
    if (args.size() < 2) {
      PrintHelp(out);
      return kExitOk;
    }
    if (const Command* command = Find(args[1])) {
      out << command->usage;
      return kExitOk;
    }
    err << "velmar-cli: unknown command " << args[1] << "\n";
    return kExitUsage;
  }
  const Command* command = Find(first);
  if (command == nullptr) {
    err << "velmar-cli: unknown command " << first << "\n\n";
    PrintHelp(err);
    return kExitUsage;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const std::string& arg : rest) {
    if (arg == "--help" || arg == "-h") {
      out << command->usage;
      return kExitOk;
    }
    if (arg == "--") break;
  }
  CommandContext context{std::move(rest), out, err, host};
  return command->run(context);
}

}  // namespace velmar::cli
