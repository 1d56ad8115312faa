#include "core/engine/perturb.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <system_error>

#include "core/base/format_real.h"
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
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  // A typed plus sign is part of a number; from_chars alone would refuse it.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
    text.remove_prefix(1);
  }
  std::string normalized(text);
  const char separator = host.DecimalSeparator();
  for (char& c : normalized) {
    if (c == separator) c = '.';
  }
  double value = 0;
  const char* first = normalized.data();
  const char* last = first + normalized.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  const bool is_number = !normalized.empty() && ec == std::errc() && end == last;
  // Written so that a NaN fails the test as well.
  if (!is_number || !(value >= 0) || value > 1) {
    host.ShowMessage({"Уровень возмущений должен лежать в диапазоне от 0 до 1", "Неверное значение",
                      OwnerKind::kOther});
    return std::nullopt;
  }
  return static_cast<float>(value);
}

std::string DefaultBumpLevelText(char decimal_separator) {
  return FormatReal(kDefaultBumpLevel, decimal_separator);
}

}  // namespace velmar
