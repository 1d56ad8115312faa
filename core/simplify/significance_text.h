#ifndef VELMAR_CORE_SIMPLIFY_SIGNIFICANCE_TEXT_H_
#define VELMAR_CORE_SIMPLIFY_SIGNIFICANCE_TEXT_H_

#include <filesystem>
#include <string>

#include "core/base/status.h"
#include "core/engine/neural_net.h"

namespace velmar {

// The caption of a net's input significance window, also the default name
// of its saved table.
std::string SignificanceCaption(const NeuralNet& net);

// One line per input signal in input order: its name, a tab, its indicator
// (FormatReal) and a single line feed.
std::string SignificanceText(const NeuralNet& net, char decimal_separator);

// Writes SignificanceText to `path`, replacing the file only once the new
// text is complete.
Status SaveSignificance(const NeuralNet& net, const std::filesystem::path& path,
                        char decimal_separator);

}  // namespace velmar

#endif  // VELMAR_CORE_SIMPLIFY_SIGNIFICANCE_TEXT_H_
