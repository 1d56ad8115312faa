#include "cli/command.h"

#include <algorithm>
#include <ostream>

#include "cli/args.h"
#include "core/base/thread_pool.h"

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
         "Every command takes --threads N (before or after it): the passes over the\n"
         "training set run on N threads (default: all cores); the results do not\n"
         "depend on N.\n"
         "Exit codes: 0 success, 1 refused operation, 2 bad usage.\n";
}

// Takes "--threads N" or "--threads=N" out of `args` (up to a "--"). Returns
// false with `problem` set when the count is missing or not a positive number.
bool TakeThreadsOption(std::vector<std::string>& args, int& threads, std::string& problem) {
  threads = 0;
  for (size_t i = 0; i < args.size() && args[i] != "--";) {
    std::string text;
    size_t taken = 1;
    if (args[i] == "--threads") {
      if (i + 1 >= args.size()) {
        problem = "--threads needs a number of threads";
        return false;
      }
      text = args[i + 1];
      taken = 2;
    } else if (args[i].rfind("--threads=", 0) == 0) {
      text = args[i].substr(10);
    } else {
      ++i;
      continue;
    }
    long long value = 0;
    if (!ParseInt(text, value) || value < 1 || value > 1024) {
      problem = "--threads needs a number of threads from 1 to 1024, got " + text;
      return false;
    }
    threads = static_cast<int>(value);
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i + taken));
  }
  return true;
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

int RunCli(const std::vector<std::string>& given, std::ostream& out, std::ostream& err,
           Host& host) {
  // "--threads N" may also come before the command.
  std::vector<std::string> args = given;
  int leading_threads = 0;
  if (!args.empty() && (args[0] == "--threads" || args[0].rfind("--threads=", 0) == 0)) {
    const size_t taken = args[0] == "--threads" ? std::min<size_t>(2, args.size()) : 1;
    std::vector<std::string> lead(args.begin(), args.begin() + static_cast<long>(taken));
    std::string problem;
    if (!TakeThreadsOption(lead, leading_threads, problem)) {
      err << "velmar-cli: " << problem << "\n";
      return kExitUsage;
    }
    args.erase(args.begin(), args.begin() + static_cast<long>(taken));
  }
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
  int threads = 0;
  std::string problem;
  if (!TakeThreadsOption(rest, threads, problem)) {
    err << "velmar-cli " << command->name << ": " << problem << "\n\n" << command->usage;
    return kExitUsage;
  }
  SetPassThreads(threads > 0 ? threads : leading_threads);
  CommandContext context{std::move(rest), out, err, host};
  context.changes_project = command->changes_project;
  return command->run(context);
}

}  // namespace velmar::cli
