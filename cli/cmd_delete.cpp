#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli delete PROJECT --net NAME|INDEX\n\n"
    "Removes a network from the project at once, without a question.\n"
    "INDEX counts from 1.\n";

int RunDelete(CommandContext& context);

const Command kDelete{"delete", "remove a network from a project", kUsage, &RunDelete, true};
const CommandRegistrar kRegistrar(kDelete);

int RunDelete(CommandContext& context) {
  Args args;
  if (!args.Parse(context.args, {"--net"}, {})) return UsageError(context, kDelete, args.error());
  if (args.positional().size() != 1) return UsageError(context, kDelete, "expected PROJECT");

  const std::string path = args.positional()[0];
  Project project;
  int index = -1;
  if (int code = LoadProjectAndNamedNet(context, path, args, project, index); code != kExitOk) {
    return code;
  }

  const std::string name = project.Net(index).Desc.Name;
  if (Status s = project.DeleteNetwork(index); !s.ok()) {
    return Refuse(context, kOperationImpossible, s.message());
  }
  if (int code = SaveProjectForCommand(context, project, path); code != kExitOk) return code;
  context.out << "Удалена сеть " << name << " (" << project.NetCount() << " в проекте)\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
