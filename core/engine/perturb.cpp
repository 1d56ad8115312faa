#include "core/engine/perturb.h"

#include <cmath>
#include <cstddef>

#include "core/base/format_real.h"
#include "core/base/number_text.h"
#include "core/base/random.h"

namespace velmar {

void Perturb(NeuralNet& net, float level) {
  const size_t n = net.Parameters.size();
  if (net.SavedParameters.size() < n) net.SavedParameters.resize(n);
  Random15 random;
  random.SeedFromClock(CurrentClock());
  for (size_t i = 0; i < n; ++i) net.SavedParameters[i] = random.NextUniformTenth();

  for (size_t i = 0; i < n; ++i) {
    float p = net.Parameters[i];
    if ((net.ParamFlags[i] & pfTrainable) != 0) p += level * net.SavedParameters[i];
    // The same clamp as a line-search move, so a NaN lands on the lower bound.
    if (!(p >= net.LowerBounds[i])) {
      p = net.LowerBounds[i];
    } else if (p > net.UpperBounds[i]) {
      p = net.UpperBounds[i];
    }
    net.Parameters[i] = p;
  }
}

std::optional<float> ParseBumpLevel(std::string_view text, Host& host) {
  const std::optional<double> value =
      ParseRealText(text, kBumpDialogSyntax, host.DecimalSeparator());
  if (!value || *value < 0 || *value > 1) {
    host.ShowMessage({"Уровень возмущений должен лежать в диапазоне от 0 до 1", "Неверное значение",
                      OwnerKind::kOther});
    return std::nullopt;
  }
  return static_cast<float>(*value);
}

std::string DefaultBumpLevelText(char decimal_separator) {
  return FormatReal(kDefaultBumpLevel, decimal_separator);
}

}  // namespace velmar
