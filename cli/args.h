#ifndef VELMAR_CLI_ARGS_H_
#define VELMAR_CLI_ARGS_H_

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velmar::cli {

// Parses "--name value", "--name=value", "-o value" and bare flags. Options
// keep their order, since some commands apply them in the order given.
class Args {
 public:
  // `valued` lists the options that take a value; `flags` those that do not.
  // Returns false and sets error() on an unknown option or a missing value.
  bool Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
             const std::set<std::string>& flags);

  const std::vector<std::string>& positional() const { return positional_; }
  const std::vector<std::pair<std::string, std::string>>& options() const { return options_; }
  const std::string& error() const { return error_; }

  bool Has(const std::string& name) const;
  // The last value given for `name`.
  std::optional<std::string> Get(const std::string& name) const;
  std::vector<std::string> GetAll(const std::string& name) const;

 private:
  std::vector<std::string> positional_;
  std::vector<std::pair<std::string, std::string>> options_;
  std::string error_;
};

// An integer on the command line: the whole text must be the number.
bool ParseInt(const std::string& text, long long& value);

}  // namespace velmar::cli

#endif  // VELMAR_CLI_ARGS_H_
