#ifndef VELMAR_CORE_BASE_NUMBER_TEXT_H_
#define VELMAR_CORE_BASE_NUMBER_TEXT_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmar {

// How a number the user typed is read where it is typed. Every reader takes
// digits with an optional '-', a decimal point given as '.' or as the
// separator passed in, and an exponent with or without its sign ("1E+2",
// "2.5e-3"); the rules below are what differs from place to place.
struct NumberSyntax {
  std::string_view blanks;  // characters ignored before and after the number
  bool plus_sign;           // a '+' may stand before the number (not before a '-')
  bool non_finite;          // "inf" and "nan" are read as numbers
};

// The rules side by side:
// - edits of the network parameters dialog (neurons, characteristics,
//   tolerance, state bounds): blanks and line ends around, a plus sign,
//   finite numbers only;
inline constexpr NumberSyntax kNetworkDialogSyntax{" \t\r\n", true, false};
// - the edit of the uniform simplification dialog: any white space around;
inline constexpr NumberSyntax kUniformDialogSyntax{" \t\n\v\f\r", true, false};
// - the edit of the perturbation dialog: blanks and tabs around;
inline constexpr NumberSyntax kBumpDialogSyntax{" \t", true, false};
// - a number the system wrote itself and reads back (a cell of the test
//   window): exactly as written, "Inf" and "NaN" included;
inline constexpr NumberSyntax kShownNumberSyntax{"", false, true};
// - numbers on the command line: nothing around, a plus sign.
inline constexpr NumberSyntax kCommandLineSyntax{"", true, false};

// The real number `text` reads as, or nothing. Read to the nearest double,
// or to the nearest float for ParseFloatText (which is not always the double
// rounded again).
std::optional<double> ParseRealText(std::string_view text, const NumberSyntax& syntax,
                                    char decimal_separator);
std::optional<float> ParseFloatText(std::string_view text, const NumberSyntax& syntax,
                                    char decimal_separator);
// The integer `text` reads as (decimal digits with an optional sign), or nothing.
std::optional<int64_t> ParseIntegerText(std::string_view text, const NumberSyntax& syntax);

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_NUMBER_TEXT_H_
