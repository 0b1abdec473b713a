// The command line's words: each subcommand declares its options once, and the
// parser, the range checks and the --help text all come from that declaration.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace zentor::cli {

// A usage error: exit status 2, the text says which word and what it may be.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The command ran and failed: exit status 1 with the program's own words.
struct CommandFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct OptionSpec {
  std::string name;   // "--gate"
  std::string value;  // what follows it in the help ("MS"); empty for a switch
  std::string help;
};

struct SubcommandSpec {
  std::string name;
  std::string synopsis;  // after "zentor NAME "
  std::string summary;
  std::vector<OptionSpec> options;
  int32_t minPositional = 0, maxPositional = 0;
};

class Arguments {
 public:
  std::vector<std::string> positional;

  bool Has(const std::string& name) const { return values_.count(name) > 0; }
  std::string Text(const std::string& name, const std::string& fallback = "") const;
  // A whole number in lo..hi; a usage error names the option and the range.
  int32_t Whole(const std::string& name, int32_t lo, int32_t hi, int32_t fallback) const;
  double Real(const std::string& name, double lo, double hi, double fallback) const;
  // One of the listed words.
  std::string Choice(const std::string& name, const std::vector<std::string>& allowed,
                     const std::string& fallback) const;
  // Two numbers "LO:HI".
  bool Pair(const std::string& name, double lo, double hi, double& first, double& second) const;

  std::map<std::string, std::string> values_;
};

// Parses the words after the subcommand's name; throws UsageError.
Arguments ParseArguments(const SubcommandSpec& command, const std::vector<std::string>& words);
std::string HelpText(const SubcommandSpec& command);

}  // namespace zentor::cli
