#include "core/simplify/significance_text.h"

#include <algorithm>

#include "core/base/file_util.h"
#include "core/base/format_real.h"

namespace velmar {

std::string SignificanceCaption(const NeuralNet& net) {
  return net.Desc.Name + " - значимость входов";
}

std::string SignificanceText(const NeuralNet& net, char decimal_separator) {
  const size_t count = std::min(net.InputNames.size(), net.InputSignificance.size());
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += net.InputNames[i];
    text += '\t';
    text += FormatReal(net.InputSignificance[i], decimal_separator);
    text += '\n';
  }
  return text;
}

Status SaveSignificance(const NeuralNet& net, const std::filesystem::path& path,
                        char decimal_separator) {
  return WriteFileAtomically(path, SignificanceText(net, decimal_separator));
}

}  // namespace velmar
