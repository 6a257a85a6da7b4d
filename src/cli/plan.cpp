// Planning a run: the output type, quality and folders from the options and the
// stored settings, the lists of types and profiles, the names of the files.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/vtp_convert.h"
#include "common/helpers.h"
#include "common/text.h"
#include "engine/catalogue.h"
#include "settings/config_files.h"
#include "settings/output_folder.h"
#include "settings/user_settings.h"

namespace cli {

namespace {

constexpr const char* kProfilePrefix = "profile:";

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;
  return folder;
}

int OutputTypeOf(const std::string& name) {
  const auto exts = catalogue::ExtensionList();
  for (size_t i = 0; i < exts.size(); ++i)
    if (SameTextAscii(name, exts[i].substr(1)) || SameTextAscii(name, exts[i])) return static_cast<int>(i);
  std::string known;
  for (const auto& ext : exts) known += (known.empty() ? "" : ", ") + ext.substr(1);
  throw UsageError("unknown output type '" + name + "' (" + known + ")");
}

// The stored custom profile of that name, ASCII letter case ignored as the
// settings file ignores it; empty when none.
std::string FindCustomProfile(const std::string& name, const std::string& config_dir) {
  for (const auto& stored : settings::ReadIniSections(config_dir, settings::kProfileFile))
    if (SameTextAscii(stored, name)) return stored;
  return {};
}

// A quality level by name or position (letter case ignored), else a stored
// custom profile; "profile:NAME" only the custom profile, so that one named
// like a level ("2") stays reachable. Problems of a stored value become warnings.
std::string ProfileValueOf(const std::string& quality, int output_type, const std::string& config_dir,
                           std::vector<std::string>& warnings) {
  const bool custom_only = quality.size() >= std::strlen(kProfilePrefix) &&
                           SameTextAscii(quality.substr(0, std::strlen(kProfilePrefix)), kProfilePrefix);
  const std::string name = custom_only ? quality.substr(std::strlen(kProfilePrefix)) : quality;
  const auto levels = catalogue::QualityLevelList();
  if (!custom_only) {
    for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
      if (SameTextAscii(name, levels[static_cast<size_t>(q)]) || name == std::to_string(q))
        return catalogue::QualityPreset(output_type, q);
  }
  const std::string profile = FindCustomProfile(name, config_dir);
  if (profile.empty()) {
    if (custom_only) throw UsageError("no custom profile named '" + name + "' (see --list-profiles)");
    std::string known;
    for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
      known += (q ? ", \"" : "\"") + levels[static_cast<size_t>(q)] + "\"";
    throw UsageError("unknown quality '" + quality + "' (0 to 4, " + known +
                     ", or a custom profile name; see --list-profiles)");
  }
  const std::string value = settings::ReadNamedValue(config_dir, settings::kProfileFile, profile);
  if (text::SplitText(value, '|').size() != 6) throw UsageError("custom profile '" + profile + "' is damaged");
  for (const auto& problem : ProfileValueProblems(value))
    warnings.push_back("custom profile '" + profile + "': " + problem);
  return value;
}

std::optional<int64_t> CheckedTime(const std::optional<std::string>& time, const char* what) {
  if (!time) return std::nullopt;
  int64_t us = 0;
  if (!text::ParseMediaTime(*time, us))
    throw UsageError(std::string(what) + " '" + *time + "' is not a time (hh:mm:ss, mm:ss or seconds, as 1:30.5)");
  return us;
}

std::string DescribeProfileValue(const std::string& value, int output_type) {
  const JobOptions none;
  const JobOptions o = ApplyProfileValue(none, value);
  const auto item = [](const std::string& v, const std::string& unit) { return v.empty() ? "-" : v + unit; };
  const std::string audio =
      KeptAudioBitrate(catalogue::ExtensionList()[static_cast<size_t>(output_type)], o.audio_bitrate, o.sample_rate);
  return item(o.video_size, "") + ", " + item(o.frame_rate, " fps") + ", video " + item(o.video_bitrate, " kbit/s") +
         ", audio " + item(audio, " kbit/s") + ", " + item(o.channels, "") + ", " + item(o.sample_rate, " Hz");
}

}  // namespace

Plan ResolvePlan(const CliOptions& options, const platform::DataLayout& layout, const std::string& current_folder) {
  Plan plan;
  plan.app_dir = WithSeparator(layout.program_folder);
  plan.scratch_dir = WithSeparator(layout.scratch_folder);
  plan.current_folder = current_folder;
  if (options.config) {
    const std::string folder = TFileFunc::NormalPath(*options.config, current_folder);
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) throw UsageError("--config " + *options.config + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw UsageError("--config " + *options.config + ": not a folder");
    plan.config_dir = WithSeparator(folder);
  } else {
    plan.config_dir = WithSeparator(layout.config_folder);
  }
  plan.output_type = options.type ? OutputTypeOf(*options.type) : CatalogueDefault(catalogue::OutputTypeList());
  // A list needs no more, so a bad stored folder or profile cannot hide it.
  if (options.list_types || options.list_profiles) return plan;
  const std::string quality =
      options.quality ? *options.quality : std::to_string(CatalogueDefault(catalogue::QualityLevelList()));
  plan.options =
      ApplyProfileValue(DefaultJobOptions(), ProfileValueOf(quality, plan.output_type, plan.config_dir, plan.warnings));

  std::string folder;
  if (options.output) {
    folder = *options.output;
  } else {
    // A relative stored folder means the same folder as in the program.
    try {
      folder = settings::ReadOutputFolder(plan.config_dir, layout.relative_base, layout.default_output_folder);
    } catch (const settings::ForeignFolderError& error) {
      throw UsageError(std::string(error.what()) + " Give the output folder with -o DIR.");
    }
  }
  if (folder.empty()) throw UsageError("the output folder is empty");
  if (folder.find_first_of("\r\n") != std::string::npos) throw UsageError("the output folder holds a line break");
  plan.output_dir = WithSeparator(TFileFunc::NormalPath(folder, current_folder));

  plan.start_us = CheckedTime(options.start, "start time");
  plan.end_us = CheckedTime(options.end, "end time");
  if (plan.start_us && plan.end_us && *plan.end_us <= *plan.start_us)
    throw UsageError("the end time must come after the start time");
  plan.dry_run = options.dry_run;
  plan.library_messages = options.verbose;
  return plan;
}

std::string MissingEncoder(const Plan& plan, const std::vector<std::string>& files) {
  std::vector<std::string> needed = {plan.encoder_name};
  for (const auto& file : files) {
    const std::string ext = LowerAscii(TFileFunc::GetFileExt(file));
    if (ext == ".rm" || ext == ".rmvb") {
      needed.push_back(plan.rm_encoder_name);
      break;
    }
  }
  for (const auto& name : needed) {
    const std::string path = plan.app_dir + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "the encoder " + path + " is missing: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode) || access(path.c_str(), X_OK) != 0)
      return "the encoder " + path + " cannot be run (not an executable file)";
  }
  return {};
}

std::string TypeList(bool names_only) {
  const auto exts = catalogue::ExtensionList();
  const auto names = catalogue::OutputTypeList();
  std::string out;
  for (size_t i = 0; i < exts.size(); ++i) {
    out += exts[i].substr(1);
    if (!names_only) {
      out += std::string(6 - std::min<size_t>(5, exts[i].size() - 1), ' ') + names[i];
      if (static_cast<int>(i) == CatalogueDefault(names)) out += " (default)";
    }
    out += "\n";
  }
  return out;
}

std::string ProfileList(const Plan& plan, bool names_only) {
  const auto levels = catalogue::QualityLevelList();
  const auto profiles = settings::ReadIniSections(plan.config_dir, settings::kProfileFile);
  std::string out;
  if (!names_only) out += "Quality levels for " + catalogue::ExtensionList()[size_t(plan.output_type)] + ":\n";
  for (int q = 0; q < catalogue::kQualityLevelCount; ++q) {
    const std::string& name = levels[static_cast<size_t>(q)];
    if (names_only) {
      out += name + "\n";
      continue;
    }
    std::string line = "  " + std::to_string(q) + "  " + name;
    line.resize(std::max<size_t>(line.size() + 2, 26), ' ');
    out += line + DescribeProfileValue(catalogue::QualityPreset(plan.output_type, q), plan.output_type) +
           (q == CatalogueDefault(levels) ? " (default)\n" : "\n");
  }
  if (!names_only)
    out += profiles.empty()
               ? "No custom profiles in " + settings::ConfigPath(plan.config_dir, settings::kProfileFile) + ".\n"
               : "Custom profiles in " + settings::ConfigPath(plan.config_dir, settings::kProfileFile) + ":\n";
  for (const auto& name : profiles) {
    bool shadowed = false;
    for (int q = 0; q < catalogue::kQualityLevelCount; ++q)
      shadowed = shadowed || SameTextAscii(name, levels[static_cast<size_t>(q)]) || name == std::to_string(q);
    const std::string shown = shadowed ? kProfilePrefix + name : name;
    if (names_only) {
      out += shown + "\n";
      continue;
    }
    const std::string value = settings::ReadNamedValue(plan.config_dir, settings::kProfileFile, name);
    std::string line = "  " + EscapeName(shown);
    line.resize(std::max<size_t>(line.size() + 2, 26), ' ');
    out += line +
           (text::SplitText(value, '|').size() == 6 ? DescribeProfileValue(value, plan.output_type) : "(damaged)") +
           "\n";
  }
  return out;
}

std::vector<std::string> ReadFileNames(int fd, bool null_separated) {
  std::string all;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("cannot read file names from standard input: ") + std::strerror(errno));
    }
    all.append(buffer, static_cast<size_t>(n));
  }
  std::vector<std::string> names;
  const char separator = null_separated ? '\0' : '\n';
  size_t start = 0;
  while (start < all.size()) {
    const size_t end = std::min(all.find(separator, start), all.size());
    if (end > start) names.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

}  // namespace cli
