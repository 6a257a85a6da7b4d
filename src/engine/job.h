// One conversion as plain data, and the builder that turns it into an encoder
// command line. The main window fills a job from its grid and lists; the console
// front end fills one from its arguments and the stored settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/parameter.h"
#include "platform/platform.h"

// The items chosen in the eight option lists, as the lists show them. An empty
// item gives the fragment's fallback.
struct JobOptions {
  std::string video_bitrate;
  std::string video_size;
  std::string frame_rate;
  std::string aspect;
  std::string audio_bitrate;
  std::string volume;
  std::string channels;
  std::string sample_rate;
};

// The RealMedia script's file name.
inline constexpr const char* kScriptFile = "VideoFile.avs";

struct ConversionJob {
  std::string source;
  // The range as "hh:mm:ss" texts, optionally with a fraction ("00:00:01.5");
  // both empty converts the whole file, an empty end converts to the source's
  // real end.
  std::string start_text;
  std::string end_text;
  // Position in the catalogue's output types.
  int output_type = 0;
  JobOptions options;
  // Absolute, with a trailing separator.
  std::string output_dir;
  // The program folder, with a trailing separator: the encoders live there.
  std::string app_dir;
  std::string encoder_name = platform::kEncoderName;
  std::string rm_encoder_name = platform::kRealMediaEncoderName;
  // Where the RealMedia script goes (the data layout's scratch folder + kScriptFile);
  // empty: VideoFile.avs in the program folder.
  std::string script_path;
  // False for a dry run, which composes the command and writes nothing: no
  // script, and the output name is held in memory only.
  bool write_files = true;
};

// What the builder made of a job.
struct BuiltJob {
  // Empty when the output type's codec text is not one the builder knows.
  std::string command;
  TConvertParameterStruct parameters;
  // Start as hh:mm:ss and length in seconds, each with the job's fraction if any;
  // both empty without a range, the length empty for a range to the real end.
  std::string trim_start;
  std::string trim_seconds;
  // The output file the command writes.
  std::string output_path;
};

// The option items a profile value ("p1|p2|...|p6", positions or "none") gives on
// top of `base`: video size, frame rate, video bitrate, audio bitrate, channels
// and sample rate. Fields that are "none", empty or no whole number leave the
// item as it was.
JobOptions ApplyProfileValue(JobOptions base, const std::string& profile_value);
// What in a stored profile value ApplyProfileValue cannot use and passes over,
// one text per field, naming the field and its value ("frame rate position 9 is
// out of range (0 to 4)"); none for a sound value.
std::vector<std::string> ProfileValueProblems(const std::string& profile_value);
// The audio bit rate an output of that type will really have, as listed:
// "160 (192 asked)" where MP3 below 32 kHz cannot hold the rate asked, else the
// rate asked as it stands.
std::string KeptAudioBitrate(const std::string& output_ext, const std::string& bitrate, const std::string& sample_rate);
// The catalogue's default item of every option list.
JobOptions DefaultJobOptions();

// Set for an encoder run of a job: the output name is held by an empty file
// that the encoder may replace, and nothing else.
inline constexpr const char* kReservedOutputEnvironment = "EVC_RESERVED_OUTPUT=1";

class TFileFunc;
namespace ui {
class SourceGrid;
}

// The last grid row whose path equals `source`, ASCII letters folded; -1 when none.
int LastRowOfSource(const ui::SourceGrid& grid, const std::string& source);

// Writes the RealMedia script, chooses a free output name through `names`,
// holding it on disk with an empty file (the encoder replaces only that; see
// kReservedOutputEnvironment), and composes the command line. Throws FileCreateError when the script cannot be
// written. The output folder must exist already.
BuiltJob BuildConversionCommand(const ConversionJob& job, TFileFunc& names);
