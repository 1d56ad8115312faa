#ifndef VELMAR_CORE_BASE_FORMAT_REAL_H_
#define VELMAR_CORE_BASE_FORMAT_REAL_H_

#include <string>

namespace velmar {

// Every real number the system shows or writes goes through here: 7
// significant digits, fixed notation when the decimal exponent e of
// 0.d1d2...dk x 10^e lies in -3..7, otherwise "d1.d2...dkEn" with no plus sign
// and no leading zeros in n. Zero is "0". Infinity and NaN, which valid work
// never produces, come out as "Inf", "-Inf" and "NaN".
std::string FormatReal(double x, char decimal_separator = '.');

// The same layout with `digits` significant digits and fixed notation for
// exponents -3..max_fixed_exponent; FormatReal is (7, 7).
std::string FormatSignificant(double x, int digits, int max_fixed_exponent, char decimal_separator);

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_FORMAT_REAL_H_
