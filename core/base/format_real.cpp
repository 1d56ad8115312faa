#include "core/base/format_real.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velmar {

std::string FormatReal(double x, char decimal_separator) {
  return FormatSignificant(x, 7, 7, decimal_separator);
}

std::string FormatSignificant(double x, int digits_wanted, int max_fixed_exponent,
                              char decimal_separator) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Inf" : "Inf";
  if (x == 0) return "0";

  // "%.*e" rounds to the wanted significant digits correctly, carries
  // included (9.9999999 becomes 1.000000e+01 at 7 digits).
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", std::clamp(digits_wanted, 1, 17) - 1, std::fabs(x));
  std::string digits;
  const char* p = buffer;
  for (; *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  }
  const int e = std::atoi(p + 1) + 1;  // exponent of the 0.d1d2... form
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int k = static_cast<int>(digits.size());

  std::string out;
  if (x < 0) out.push_back('-');
  if (e >= -3 && e <= max_fixed_exponent) {
    if (e <= 0) {
      out += '0';
      out += decimal_separator;
      out.append(static_cast<size_t>(-e), '0');
      out += digits;
    } else if (k <= e) {
      out += digits;
      out.append(static_cast<size_t>(e - k), '0');
    } else {
      out += digits.substr(0, static_cast<size_t>(e));
      out += decimal_separator;
      out += digits.substr(static_cast<size_t>(e));
    }
  } else {
    out += digits[0];
    if (k > 1) {
      out += decimal_separator;
      out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(e - 1);
  }
  return out;
}

}  // namespace velmar
