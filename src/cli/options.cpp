#include "cli/options.h"

#include <getopt.h>

#include <algorithm>

#include "engine/catalogue.h"
#include "sources/source_types.h"

namespace cli {

namespace {

// Long options report this plus their table position, so that "-t=mp3" and
// "--type==mp3" can be told apart.
constexpr int kLongBase = 0x1000;

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : separator) + item;
  return out;
}

// Units filled into lines no wider than `width`, the first line going on from
// `column`, the others indented by `indent` blanks; a unit is never broken.
std::string Wrap(const std::vector<std::string>& units, size_t column, size_t indent, size_t width) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    if (i > 0 && column + 1 + units[i].size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (i > 0) {
      out += ' ';
      ++column;
    }
    out += units[i];
    column += units[i].size();
  }
  return out;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  for (size_t at = 0; at < text.size();) {
    const size_t blank = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, blank - at));
    at = blank + 1;
  }
  return words;
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

int ParseJobs(const std::string& j) {
  if (j.empty() || j.size() > 3 || j.find_first_not_of("0123456789") != std::string::npos || std::stoi(j) < 1)
    throw UsageError("--jobs needs a whole number from 1 to 999, not " + Quoted(j));
  return std::stoi(j);
}

const OptionEntry* ShortOption(int c) {
  for (const auto& entry : OptionTable())
    if (entry.short_name != 0 && entry.short_name == c) return &entry;
  return nullptr;
}

std::string OptionName(const OptionEntry& entry) {
  return entry.short_name ? std::string("-") + entry.short_name : std::string("--") + entry.long_name;
}

// Why getopt refused `arg` (the word it stopped at).
std::string RefusalOf(const std::string& arg, int short_option) {
  if (arg.rfind("--", 0) == 0) {
    const std::string name = arg.substr(2, arg.find('=') - 2);
    std::vector<std::string> matches;
    for (const auto& entry : OptionTable()) {
      const std::string long_name = entry.long_name;
      if (long_name == name) {
        return entry.value == ValueKind::None ? "option '--" + long_name + "' takes no value"
                                              : "option '--" + long_name + "' needs a value";
      }
      if (long_name.rfind(name, 0) == 0) matches.push_back("--" + long_name);
    }
    if (matches.size() > 1) return "option " + Quoted(arg) + " is ambiguous: " + Join(matches, ", ");
    if (matches.size() == 1) {
      const bool takes_value = arg.find('=') == std::string::npos;
      return "option " + Quoted(arg) + " (" + matches[0] + ") " + (takes_value ? "needs a value" : "takes no value");
    }
    return "unknown option " + Quoted(arg);
  }
  if (const OptionEntry* entry = ShortOption(short_option)) return "option " + OptionName(*entry) + " needs a value";
  if (short_option > 0) return "unknown option '-" + std::string(1, static_cast<char>(short_option)) + "'";
  return "unknown option " + Quoted(arg);
}

}  // namespace

const std::vector<OptionEntry>& OptionTable() {
  using K = ValueKind;
  static const std::vector<OptionEntry> table = {
      {OptionId::Type, "type", 't', K::Required, "TYPE", "output type (see below and --list-types)"},
      {OptionId::Quality, "quality", 'q', K::Required, "NAME",
       "quality level by name or 0-4, or a custom profile; profile:NAME names a custom profile only"},
      {OptionId::Output, "output", 'o', K::Required, "DIR", "output folder (default: OutDir of UserSettings.ini)"},
      {OptionId::Start, "start", 0, K::Required, "TIME",
       "convert from this time on: hh:mm:ss, mm:ss or seconds, with a fraction if wanted (1:30, 90, 00:00:01.5)"},
      {OptionId::End, "end", 0, K::Required, "TIME", "convert up to this time, written as for --start"},
      {OptionId::Config, "config", 0, K::Required, "DIR",
       "settings folder (default: Config beside the program, else ~/.config/video-to-plim-converter)"},
      {OptionId::Jobs, "jobs", 'j', K::Required, "N", "conversions at once, 1 to 999 (default: 1)"},
      {OptionId::DryRun, "dry-run", 'n', K::None, "",
       "print each file's encoder command line and output name; run and write nothing"},
      {OptionId::Null, "null", '0', K::None, "", "names read from standard input end in NUL, as find -print0 writes"},
      {OptionId::Json, "json", 0, K::None, "", "one JSON result per file on standard output"},
      {OptionId::Quiet, "quiet", 0, K::None, "", "print only failures and the summary"},
      {OptionId::Verbose, "verbose", 'v', K::None, "",
       "also print the encoder's own lines, library messages and desktop service notes"},
      {OptionId::ListTypes, "list-types", 0, K::OptionalNames, "names", "list the output types and exit"},
      {OptionId::ListProfiles, "list-profiles", 0, K::OptionalNames, "names",
       "list the quality levels (for the --type given) and the custom profiles with their values, and exit"},
      {OptionId::Help, "help", 'h', K::None, "", "print this text and exit"},
      {OptionId::Version, "version", 0, K::None, "", "print the version and exit"},
  };
  return table;
}

CliOptions ParseArguments(const std::vector<std::string>& args) {
  const auto& table = OptionTable();
  // ":" first: a missing value is reported to us, not printed by getopt.
  std::string short_options = ":";
  std::vector<option> long_options;
  for (size_t i = 0; i < table.size(); ++i) {
    const OptionEntry& entry = table[i];
    const int has_arg = entry.value == ValueKind::Required        ? required_argument
                        : entry.value == ValueKind::OptionalNames ? optional_argument
                                                                  : no_argument;
    if (entry.short_name) {
      short_options += entry.short_name;
      if (entry.value == ValueKind::Required) short_options += ':';
    }
    long_options.push_back({entry.long_name, has_arg, nullptr, kLongBase + static_cast<int>(i)});
  }
  long_options.push_back({nullptr, 0, nullptr, 0});

  std::vector<std::string> words = {"vtp-convert"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  CliOptions o;
  // getopt keeps its state in globals: 0 starts it afresh, and it prints nothing.
  optind = 0;
  opterr = 0;
  for (;;) {
    const int c = getopt_long(static_cast<int>(argv.size() - 1), argv.data(), short_options.c_str(),
                              long_options.data(), nullptr);
    if (c == -1) break;
    if (c == '?' || c == ':') {
      const int at = std::min<int>(optind, static_cast<int>(argv.size()) - 1) - 1;
      throw UsageError(RefusalOf(at >= 1 ? argv[static_cast<size_t>(at)] : "", optopt));
    }
    const bool long_form = c >= kLongBase;
    const OptionEntry& entry = long_form ? table[static_cast<size_t>(c - kLongBase)] : *ShortOption(c);
    const std::string value = optarg ? optarg : "";
    if (!long_form && entry.value == ValueKind::Required && !value.empty() && value[0] == '=') {
      throw UsageError("write -" + std::string(1, entry.short_name) + " " + value.substr(1) + " or --" +
                       entry.long_name + "=" + value.substr(1) + ", not -" + std::string(1, entry.short_name) + value);
    }
    if (entry.value == ValueKind::OptionalNames && optarg && value != "names")
      throw UsageError(std::string("--") + entry.long_name + " takes no value but 'names', not " + Quoted(value));
    switch (entry.id) {
      case OptionId::Type:
        o.type = value;
        break;
      case OptionId::Quality:
        o.quality = value;
        break;
      case OptionId::Output:
        o.output = value;
        break;
      case OptionId::Start:
        o.start = value;
        break;
      case OptionId::End:
        o.end = value;
        break;
      case OptionId::Config:
        o.config = value;
        break;
      case OptionId::Jobs:
        o.jobs = ParseJobs(value);
        break;
      case OptionId::DryRun:
        o.dry_run = true;
        break;
      case OptionId::Null:
        o.null_separated = true;
        break;
      case OptionId::Json:
        o.json = true;
        break;
      case OptionId::Quiet:
        o.quiet = true;
        break;
      case OptionId::Verbose:
        o.verbose = true;
        break;
      case OptionId::ListTypes:
        o.list_types = true;
        o.names_only = o.names_only || optarg != nullptr;
        break;
      case OptionId::ListProfiles:
        o.list_profiles = true;
        o.names_only = o.names_only || optarg != nullptr;
        break;
      case OptionId::Help:
        o.help = true;
        break;
      case OptionId::Version:
        o.version = true;
        break;
    }
  }
  for (size_t i = static_cast<size_t>(optind); i + 1 < argv.size(); ++i) o.files.push_back(argv[i]);

  if (o.help || o.version || o.list_types || o.list_profiles) return o;
  if (o.files.empty()) throw UsageError("no files given ('-' reads their names from standard input)");
  if (std::find(o.files.begin(), o.files.end(), "-") != o.files.end()) {
    if (o.files.size() > 1)
      throw UsageError("'-' (names from standard input) must be the only file; write ./- for a file named '-'");
    o.files.clear();
    o.files_from_stdin = true;
  }
  if (o.null_separated && !o.files_from_stdin)
    throw UsageError("--null is for names read from standard input (the file argument '-')");
  if (o.quiet && o.verbose) throw UsageError("--quiet and --verbose exclude each other");
  return o;
}

std::string UsageText() {
  constexpr size_t kWidth = 79;
  constexpr size_t kHelpColumn = 24;
  std::string out =
      "Usage: vtp-convert [OPTION]... FILE...\n"
      "  or:  vtp-convert [OPTION]... -   (file names from standard input, one a line)\n"
      "Converts video files with the settings, profiles and encoders of\n"
      "Video To Plim Converter.\n\n";
  for (const auto& entry : OptionTable()) {
    std::string left = entry.short_name ? std::string("  -") + entry.short_name + ", " : std::string("      ");
    left += std::string("--") + entry.long_name;
    if (entry.value == ValueKind::Required) left += std::string("=") + entry.value_name;
    if (entry.value == ValueKind::OptionalNames) left += std::string("[=") + entry.value_name + "]";
    if (left.size() + 2 > kHelpColumn) {
      out += left + "\n" + std::string(kHelpColumn, ' ');
    } else {
      out += left + std::string(kHelpColumn - left.size(), ' ');
    }
    out += Wrap(Words(entry.help), kHelpColumn, kHelpColumn, kWidth) + "\n";
  }

  std::vector<std::string> types;
  for (const auto& ext : catalogue::ExtensionList()) types.push_back(ext.substr(1));
  const auto type_names = catalogue::OutputTypeList();
  out += "\nOutput types: " + Join(types, ", ") +
         " (default: " + types[static_cast<size_t>(CatalogueDefault(type_names))] + ").\n";
  const auto levels = catalogue::QualityLevelList();
  std::vector<std::string> units = {"Quality levels:"};
  for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
    units.push_back(std::to_string(q) + " \"" + levels[static_cast<size_t>(q)] + "\"" +
                    (q + 1 < catalogue::kQualityLevelCount ? "," : ""));
  units.push_back("(default: " + std::to_string(CatalogueDefault(levels)) + ").");
  out += Wrap(units, 0, 2, kWidth) + "\n";
  units = {"Source types:"};
  for (const auto& ext : sources::AcceptedSourceExtensions()) units.push_back(ext);
  out += Wrap(units, 0, 2, kWidth) + "\n";
  out +=
      "\nA name already taken in the output folder gets \"_1\", \"_2\", ... as in the\n"
      "program. Exit status: 0 when every file converted; 1 when a file failed or the\n"
      "results could not be written; 2 for bad usage; 130, 143 or 129 when stopped by\n"
      "SIGINT (Ctrl+C), SIGTERM or SIGHUP.\n";
  return out;
}

}  // namespace cli
