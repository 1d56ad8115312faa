#include "cli/args.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "core/base/number_text.h"

namespace velmar::cli {

bool Args::Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
                 const std::set<std::string>& flags) {
  positional_.clear();
  options_.clear();
  error_.clear();
  bool only_positional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_positional || arg.size() < 2 || arg[0] != '-' ||
        (arg[1] != '-' && !std::isalpha(static_cast<unsigned char>(arg[1])))) {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_positional = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool has_value = false;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    if (valued.count(name) != 0) {
      if (!has_value) {
        if (i + 1 >= args.size()) {
          error_ = "option " + name + " needs a value";
          return false;
        }
        value = args[++i];
      }
      options_.emplace_back(name, value);
    } else if (flags.count(name) != 0 && !has_value) {
      options_.emplace_back(name, "");
    } else {
      error_ = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

bool Args::Has(const std::string& name) const {
  for (const auto& [key, value] : options_) {
    if (key == name) return true;
  }
  return false;
}

std::optional<std::string> Args::Get(const std::string& name) const {
  std::optional<std::string> found;
  for (const auto& [key, value] : options_) {
    if (key == name) found = value;
  }
  return found;
}

std::vector<std::string> Args::GetAll(const std::string& name) const {
  std::vector<std::string> found;
  for (const auto& [key, value] : options_) {
    if (key == name) found.push_back(value);
  }
  return found;
}

bool ParseInt(const std::string& text, long long& value) {
  const std::optional<int64_t> parsed = ParseIntegerText(text, kCommandLineSyntax);
  if (!parsed) return false;
  value = *parsed;
  return true;
}

}  // namespace velmar::cli
