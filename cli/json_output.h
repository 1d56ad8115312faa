#ifndef VELMAR_CLI_JSON_OUTPUT_H_
#define VELMAR_CLI_JSON_OUTPUT_H_

#include <string>

#include "core/engine/neural_net.h"
#include "core/engine/test_network.h"
#include "core/project/project.h"

// The JSON documents of `info`, `test` and `significance --json`; the README
// describes their members.
namespace velmar::cli {

std::string ProjectInfoJson(const std::string& path, const Project& project);
std::string TestGridJson(const NeuralNet& net, const TestGrid& grid);
// After ComputeSignificance: one row per input signal.
std::string SignificanceJson(const NeuralNet& net);

}  // namespace velmar::cli

#endif  // VELMAR_CLI_JSON_OUTPUT_H_
