#include "core/base/number_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace velmar {
namespace {

// The text without its blanks and without a plus sign the syntax allows.
std::string_view Strip(std::string_view text, const NumberSyntax& syntax) {
  const size_t first = text.find_first_not_of(syntax.blanks);
  if (first == std::string_view::npos) return {};
  text = text.substr(first, text.find_last_not_of(syntax.blanks) - first + 1);
  if (syntax.plus_sign && text.size() > 1 && text[0] == '+' && text[1] != '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  return text;
}

template <typename T>
std::optional<T> ParseReal(std::string_view text, const NumberSyntax& syntax,
                           char decimal_separator) {
  std::string normalized(Strip(text, syntax));
  if (normalized.empty()) return std::nullopt;
  for (char& c : normalized) {
    if (c == decimal_separator) c = '.';
  }
  T value = 0;
  const char* first = normalized.data();
  const char* last = first + normalized.size();
  const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || end != last) return std::nullopt;
  if (!syntax.non_finite && !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> ParseRealText(std::string_view text, const NumberSyntax& syntax,
                                    char decimal_separator) {
  return ParseReal<double>(text, syntax, decimal_separator);
}

std::optional<float> ParseFloatText(std::string_view text, const NumberSyntax& syntax,
                                    char decimal_separator) {
  return ParseReal<float>(text, syntax, decimal_separator);
}

std::optional<int64_t> ParseIntegerText(std::string_view text, const NumberSyntax& syntax) {
  text = Strip(text, syntax);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace velmar
