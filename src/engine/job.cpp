#include "engine/job.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/helpers.h"
#include "common/text.h"
#include "engine/builder.h"
#include "engine/catalogue.h"
#include "engine/fragments.h"
#include "platform/errors.h"
#include "ui/source_grid.h"

namespace {

void WriteScript(const std::string& path, const std::string& source) {
  // The path goes in as it is: the encoder takes everything up to the last
  // "\", fps=" as the file name, so quotes in it do no harm.
  const std::string line = "DirectShowSource(\"" + source + "\", fps=29.9700898503294, convertfps=true)\r\n";
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) throw FileCreateError(path, platform::LastErrorText(errno));
  if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size() || std::fflush(file.get()) != 0)
    throw FileCreateError(path, platform::LastErrorText(errno));
}

}  // namespace

JobOptions DefaultJobOptions() {
  auto pick = [](const catalogue::TextList& table) { return CatalogueItem(table, CatalogueDefault(table)); };
  JobOptions o;
  o.video_bitrate = pick(catalogue::VideoBitrateList());
  o.video_size = pick(catalogue::VideoSizeList());
  o.frame_rate = pick(catalogue::FrameRateList());
  o.aspect = pick(catalogue::AspectRatioList());
  o.audio_bitrate = pick(catalogue::AudioBitrateList());
  o.volume = pick(catalogue::VolumeGainList());
  o.channels = pick(catalogue::AudioChannelsList());
  o.sample_rate = pick(catalogue::AudioSampleList());
  return o;
}

namespace {

// The option lists a profile value's six fields select from, in field order.
struct ProfileTarget {
  std::string JobOptions::*item;
  catalogue::TextList table;
  const char* what;
};

std::vector<ProfileTarget> ProfileTargets() {
  return {
      {&JobOptions::video_size, catalogue::VideoSizeList(), "video size"},
      {&JobOptions::frame_rate, catalogue::FrameRateList(), "frame rate"},
      {&JobOptions::video_bitrate, catalogue::VideoBitrateList(), "video bitrate"},
      {&JobOptions::audio_bitrate, catalogue::AudioBitrateList(), "audio bitrate"},
      {&JobOptions::channels, catalogue::AudioChannelsList(), "audio channels"},
      {&JobOptions::sample_rate, catalogue::AudioSampleList(), "sample rate"},
  };
}

}  // namespace

std::vector<std::string> ProfileValueProblems(const std::string& profile_value) {
  const auto fields = text::SplitText(profile_value, '|');
  const auto targets = ProfileTargets();
  std::vector<std::string> problems;
  for (size_t i = 0; i < fields.size() && i < targets.size(); ++i) {
    const std::string field = text::TrimBlanks(fields[i]);
    if (field.empty() || field == "none") continue;
    // The last entry of a display table is its default index, not an item.
    const int64_t items = static_cast<int64_t>(targets[i].table.size()) - 1;
    int64_t position = 0;
    if (!text::ParseWholeNumber(field, position)) {
      problems.push_back(std::string(targets[i].what) + " \"" + fields[i] +
                         "\" is no list position; it is left as it is");
    } else if (position < 0 || position >= items) {
      problems.push_back(std::string(targets[i].what) + " position " + field + " is out of range (0 to " +
                         std::to_string(items - 1) + "); " +
                         (position < 0 ? "it is left as it is" : "the encoder's default is used"));
    }
  }
  return problems;
}

JobOptions ApplyProfileValue(JobOptions base, const std::string& profile_value) {
  const auto fields = text::SplitText(profile_value, '|');
  const auto targets = ProfileTargets();
  for (size_t i = 0; i < fields.size() && i < targets.size(); ++i) {
    int64_t position = 0;
    if (!text::ParseWholeNumber(fields[i], position) || position < 0) continue;
    base.*targets[i].item = CatalogueItem(targets[i].table, static_cast<int>(position));
  }
  return base;
}

BuiltJob BuildConversionCommand(const ConversionJob& job, TFileFunc& names) {
  BuiltJob built;
  if (!job.start_text.empty() || !job.end_text.empty()) {
    // A fraction of a second goes to the encoder as it is: it takes -ss and -t
    // with one. An empty end runs to the source's real end, its last fraction
    // of a second included.
    const std::string start = job.start_text.empty() ? "00:00:00" : job.start_text;
    int64_t start_us = 0, end_us = 0;
    if (!text::ParseClockTime(start, start_us))
      throw ConversionError("'" + start + "' is not a time of the form hh:mm:ss");
    built.trim_start = start;
    if (!job.end_text.empty()) {
      if (!text::ParseClockTime(job.end_text, end_us))
        throw ConversionError("'" + job.end_text + "' is not a time of the form hh:mm:ss");
      built.trim_seconds = text::FormatDecimalSeconds(end_us - start_us);
    }
  }

  TConvertParameterStruct& p = built.parameters;
  const JobOptions& o = job.options;
  if (!built.trim_start.empty()) p.TrimArg = " -ss " + built.trim_start;
  if (!built.trim_seconds.empty()) p.TrimArg += " -t " + built.trim_seconds;
  p.SourceFile = job.source;
  p.CodecArgs = fragments::CodecArgs(job.output_type);
  p.VideoBitrateArg = fragments::VideoBitrateArg(o.video_bitrate);
  p.VideoSizeArg = fragments::VideoSizeArg(o.video_size);
  p.FrameRateArg = fragments::FrameRateArg(o.frame_rate);
  p.AspectArg = fragments::AspectArg(o.aspect);
  p.AudioBitrateArg = fragments::AudioBitrateArg(o.audio_bitrate);
  p.VolumeArg = fragments::VolumeArg(o.volume);
  p.ChannelsArg = fragments::ChannelsArg(o.channels);
  p.SampleRateArg = fragments::SampleRateArg(o.sample_rate);
  p.FormatArg = fragments::FormatArg(job.output_type);
  p.OutputDir = job.output_dir;
  p.OutputBaseName = TFileFunc::GetFileBaseName(job.source);
  p.OutputExt = fragments::OutputExt(job.output_type);

  const std::string script = job.script_path.empty() ? job.app_dir + kScriptFile : job.script_path;
  if (job.write_files) WriteScript(script, p.SourceFile);

  const std::string source_ext = TFileFunc::GetFileExt(p.SourceFile);
  if (source_ext == ".rm" || source_ext == ".rmvb") {
    p.EncoderPath = job.app_dir + job.rm_encoder_name;
    p.SourceFile = script;
  } else {
    p.EncoderPath = job.app_dir + job.encoder_name;
  }

  const CommandForm form = ClassifyCommand(p.CodecArgs, p.OutputExt);
  if (form == CommandForm::None || form == CommandForm::Unknown) return built;
  const std::string wanted = p.OutputDir + p.OutputBaseName + p.OutputExt;
  if (job.write_files) {
    built.output_path = names.ReserveUniqueFileName(wanted);
  } else {
    built.output_path = names.MakeUniqueFileName(wanted);
    names.Reserve(built.output_path);
  }
  p.OutputFile = built.output_path;
  built.command = ComposeCommand(form, p, built.output_path);
  return built;
}

int LastRowOfSource(const ui::SourceGrid& grid, const std::string& source) {
  int last = -1;
  for (int row = 0; row < grid.RowCount(); ++row)
    if (SameTextAscii(grid.Cell(row, ui::kColPath), source)) last = row;
  return last;
}

std::string KeptAudioBitrate(const std::string& output_ext, const std::string& bitrate,
                             const std::string& sample_rate) {
  // MPEG-2 and 2.5 layer III, the MP3 of the rates below 32 kHz, stop at 160 kbit/s.
  constexpr int64_t kLowRateMp3Max = 160;
  int64_t asked = 0, rate = 0;
  if (output_ext != ".mp3" || !text::ParseWholeNumber(bitrate, asked) || !text::ParseWholeNumber(sample_rate, rate) ||
      rate >= 32000 || asked <= kLowRateMp3Max)
    return bitrate;
  return std::to_string(kLowRateMp3Max) + " (" + bitrate + " asked)";
}
