#ifndef VELMAR_TESTS_SUPPORT_CLI_RUN_H_
#define VELMAR_TESTS_SUPPORT_CLI_RUN_H_

#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tests/support/recording_host.h"

namespace velmar::cli {

// What one in-process run of velmar-cli left behind.
struct CliRun {
  int code;
  std::string out;
  std::string err;
  std::vector<Message> messages;
};

inline CliRun RunCommand(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  testing_support::RecordingHost host;
  const int code = RunCli(args, out, err, host);
  return {code, out.str(), err.str(), host.messages};
}

}  // namespace velmar::cli

#endif  // VELMAR_TESTS_SUPPORT_CLI_RUN_H_
