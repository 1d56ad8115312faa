#ifndef VELMAR_CORE_VERBAL_C_EXPORT_H_
#define VELMAR_CORE_VERBAL_C_EXPORT_H_

#include <string>

#include "core/base/status.h"
#include "core/data/project_options.h"
#include "core/engine/neural_net.h"

namespace velmar {

struct CExportOptions {
  // Prefix of every name the file defines; empty: made from the net's name.
  std::string ident;
  // Also write main(): CSV records on stdin, one line of forecasts each.
  bool with_main = false;
  // The project's options: the note on training, and whether a retired
  // input's missing value makes a record unusable (ExtendTaskbook off).
  ProjectOptions options;
};

// Writes `net` as one C99 source file that depends on nothing but the C
// library (stdio, stdlib and string for main() only). The function computes
// what Forward does, bit for bit: every sum in double in the engine's order,
// every stored signal rounded to float32; removed synapses, dead neurons and
// retired inputs do not appear. Refused for an identifier that is not a
// plain C name, and for a net holding a non-finite parameter or bound.
Status ExportNetworkAsC(const NeuralNet& net, const CExportOptions& options, std::string& source);

// A C identifier made from a network's name: letters, digits and '_' kept,
// everything else '_'; "velmar_net" when nothing is left.
std::string DefaultCIdentifier(const std::string& net_name);
// Whether `ident` can prefix the generated names (ASCII letter or '_' first,
// then letters, digits, '_'; not a C keyword; at most 40 characters).
bool IsUsableCIdentifier(const std::string& ident);

// The shortest decimal that reads back as `value` in float32, as a C float
// literal ("0.1f", "1.0f", "-3.5e-07f").
std::string CFloatLiteral(float value);

}  // namespace velmar

#endif  // VELMAR_CORE_VERBAL_C_EXPORT_H_
