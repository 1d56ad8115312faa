#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/terminal_host.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  velmar::cli::TerminalHost host(std::cerr);
  return velmar::cli::RunCli(args, std::cout, std::cerr, host);
}
