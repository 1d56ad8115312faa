#include <optional>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/base/file_util.h"
#include "core/project/workspace.h"
#include "core/verbal/c_export.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli export PROJECT [--net NAME|INDEX] --c FILE.c [--name IDENT] [--main]\n\n"
    "Writes a network of PROJECT as one dependency-free C99 source file that\n"
    "computes what the workbench computes, bit for bit: the coding of the input\n"
    "fields, every layer, and the decoding of the outputs into a class with its\n"
    "confidence or a value. IDENT (default: made from the network's name)\n"
    "prefixes every name the file defines; the function is IDENT(). --main adds\n"
    "a main() that reads CSV records with a header line from stdin and prints\n"
    "each record's forecasts as the test grid shows them. The comment at the top\n"
    "of the file tells how to call it. --net may be left out when the project\n"
    "holds one network.\n";

int RunExport(CommandContext& context);

const Command kExport{"export", "write a network as C source", kUsage, &RunExport};
const CommandRegistrar kRegistrar(kExport);

int RunExport(CommandContext& context) {
  const Command& self = kExport;
  Args args;
  if (!args.Parse(context.args, {"--net", "--c", "--name"}, {"--main"})) {
    return UsageError(context, self, args.error());
  }
  if (args.positional().size() != 1) return UsageError(context, self, "one PROJECT expected");
  const std::optional<std::string> file = args.Get("--c");
  if (!file) return UsageError(context, self, "--c FILE.c is required");
  CExportOptions options;
  options.with_main = args.Has("--main");
  if (const std::optional<std::string> name = args.Get("--name")) {
    if (!IsUsableCIdentifier(*name)) {
      return UsageError(context, self,
                        "--name must be a C identifier (letters, digits, '_'; not a keyword)");
    }
    options.ident = *name;
  }

  Workspace workspace(context.host);
  int index = 0;
  if (int code = LoadProjectAndNet(context, args, workspace, index); code != kExitOk) return code;
  const Project& project = workspace.project();
  options.options = project.Options();
  std::string source;
  if (Status s = ExportNetworkAsC(project.Net(index), options, source); !s.ok()) {
    return Refuse(context, kOperationImpossible, s.message());
  }
  if (int code = WriteOutputForCommand(context, *file, source); code != kExitOk) return code;
  const std::string ident =
      options.ident.empty() ? DefaultCIdentifier(project.Net(index).Desc.Name) : options.ident;
  context.out << "Записано: " << *file << " (функция " << ident << ")\n";
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
