#include <memory>
#include <ostream>
#include <string>

#include "cli/args.h"
#include "cli/cli_project.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "core/base/format_real.h"
#include "core/engine/test_network.h"

namespace velmar::cli {
namespace {

constexpr const char* kUsage =
    "Usage: velmar-cli test PROJECT --data TABLE [--net NAME|INDEX] [-o FILE] [--json]\n\n"
    "Runs a network of PROJECT over every record of TABLE and writes the test\n"
    "grid as tab-separated text (the actual value, the forecast, and the\n"
    "confidence or the error of each output field, then the summaries) to FILE,\n"
    "or to stdout. A short summary follows on stdout, or on stderr when the\n"
    "grid itself goes to stdout. --net may be left out when the project holds\n"
    "one network. --json prints the cells, verdicts and both summaries as one\n"
    "JSON document on stdout instead (the grid still goes to FILE with -o).\n";

std::string CountText(long long n, long long total, char separator) {
  return std::to_string(n) + " (" +
         FormatReal(100.0 * static_cast<double>(n) / static_cast<double>(total == 0 ? 1 : total),
                    separator) +
         "%)";
}

void PrintSummary(std::ostream& out, const TestGrid& grid, char separator) {
  out << grid.Caption << ": записей " << grid.Records << "\n";
  for (const TestFieldSummary& field : grid.Summary) {
    out << "  " << field.Name << ": правильно " << CountText(field.Correct, field.Total, separator);
    if (field.Discrete) {
      out << ", неуверенно " << CountText(field.Uncertain, field.Total, separator);
    }
    out << ", неправильно " << CountText(field.Wrong, field.Total, separator) << ", всего "
        << field.Total;
    if (!field.Discrete && field.Compared > 0) {
      out << ", ср.ошибка " << FormatReal(field.MeanError, separator) << ", макс.ошибка "
          << FormatReal(field.MaxError, separator);
    }
    out << "\n";
  }
}

int RunTest(CommandContext& context);

const Command kTest{"test", "test a network of a project against a data table", kUsage, &RunTest};
const CommandRegistrar kRegistrar(kTest);

int RunTest(CommandContext& context) {
  const Command& self = kTest;
  Args args;
  if (!args.Parse(context.args, {"--data", "--net", "-o"}, {"--json"})) {
    return UsageError(context, self, args.error());
  }
  if (int code = CheckProjectAndData(context, self, args); code != kExitOk) return code;

  Workspace workspace(context.host);
  int index = 0;
  if (int code = OpenNetAndData(context, args, workspace, index); code != kExitOk) return code;

  EngineContext engine = workspace.Context();
  TestGrid grid;
  if (!TestNetwork(workspace.project().Net(index), engine, grid)) {
    return kExitRefused;  // the host said why
  }

  const char separator = context.host.DecimalSeparator();
  if (const std::optional<std::string> file = args.Get("-o")) {
    if (int code = WriteOutputForCommand(context, *file, TestGridText(grid)); code != kExitOk) {
      return code;
    }
    if (args.Has("--json")) {
      context.out << TestGridJson(workspace.project().Net(index), grid);
    } else {
      PrintSummary(context.out, grid, separator);
    }
    return kExitOk;
  }
  if (args.Has("--json")) {
    context.out << TestGridJson(workspace.project().Net(index), grid);
    return kExitOk;
  }
  context.out << TestGridText(grid);
  PrintSummary(context.err, grid, separator);
  return kExitOk;
}

}  // namespace
}  // namespace velmar::cli
