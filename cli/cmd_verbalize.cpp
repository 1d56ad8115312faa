#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "core/base/file_util.h"
#include "core/verbal/verbalize.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli verbalize PROJECT [--net NAME|INDEX] [-o FILE]\n\n"
    "Writes the verbal description of a network of PROJECT: its input fields\n"
    "as source symptoms, the preprocessing of the inputs, the syndromes of\n"
    "every level as sigmoids of weighted sums, the final syndromes and the\n"
    "postprocessing of the outputs. The text goes to FILE (UTF-8, replaced\n"
    "whole), or to stdout. --net may be left out when the project holds one\n"
    "network. No data table is needed.\n";

int RunVerbalize(CommandContext& context);

const Command kVerbalize{"verbalize", "write the verbal description of a network", kUsage,
                         &RunVerbalize};
const CommandRegistrar kRegistrar(kVerbalize);

int RunVerbalize(CommandContext& context) {
  const Command& self = kVerbalize;
  Args args;
  if (!args.Parse(context.args, {"--net", "-o"}, {}))
    return UsageError(context, self, args.error());
  if (args.positional().size() != 1) return UsageError(context, self, "one PROJECT expected");

  Project project;
  int index = 0;
  if (int code = LoadProjectAndNet(context, args.positional()[0], args, project, index);
      code != kExitOk) {
    return code;
  }

  std::string text;
  for (const std::string& line :
       VerbalizeNet(project.Net(index), context.host.DecimalSeparator())) {
    text += line;
    text += '\n';
  }
  if (const std::optional<std::string> file = args.Get("-o")) {
    return WriteOutputForCommand(context, *file, text);
  }
  context.out << text;
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
