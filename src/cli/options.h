// vtp-convert's command line: the one table of its options, which the parser,
// --help, the manual page and the shell completion all follow.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// Bad usage: the message is printed and the exit code is 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class OptionId {
  Type,
  Quality,
  Output,
  Start,
  End,
  Config,
  Jobs,
  DryRun,
  Null,
  Json,
  Quiet,
  Verbose,
  ListTypes,
  ListProfiles,
  Help,
  Version,
};

enum class ValueKind { None, Required, OptionalNames };

struct OptionEntry {
  OptionId id;
  const char* long_name;
  // 0 when the option has no short form.
  char short_name;
  ValueKind value;
  // As --help shows it: "TYPE", "DIR", ...; for OptionalNames the optional word.
  const char* value_name;
  const char* help;
};

// Every option, in the order --help lists them.
const std::vector<OptionEntry>& OptionTable();

struct CliOptions {
  std::vector<std::string> files;
  std::optional<std::string> type;
  std::optional<std::string> quality;
  std::optional<std::string> output;
  std::optional<std::string> start;
  std::optional<std::string> end;
  std::optional<std::string> config;
  int jobs = 1;
  bool json = false;
  bool dry_run = false;
  // File names come from standard input: the only file argument was "-".
  bool files_from_stdin = false;
  bool null_separated = false;
  bool quiet = false;
  bool verbose = false;
  bool list_types = false;
  bool list_profiles = false;
  // --list-types=names, --list-profiles=names: bare names for the completion.
  bool names_only = false;
  bool help = false;
  bool version = false;
};

// The arguments after the program name, GNU style: options and files in any
// order, "--" ends the options, long options by any unambiguous prefix, short
// values attached or not ("-j2", "-j 2"). Throws UsageError.
CliOptions ParseArguments(const std::vector<std::string>& args);

// --help: the table, the accepted source types, the output types and quality levels.
std::string UsageText();

}  // namespace cli
