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

constexpr const char* kScriptFile = "VideoFile.avs";

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

JobOptions ApplyProfileValue(JobOptions base, const std::string& profile_value) {
  const auto fields = text::SplitText(profile_value, '|');
  struct Target {
    std::string JobOptions::*item;
    catalogue::TextList table;
  };
  const Target targets[] = {
      {&JobOptions::video_size, catalogue::VideoSizeList()},
      {&JobOptions::frame_rate, catalogue::FrameRateList()},
      {&JobOptions::video_bitrate, catalogue::VideoBitrateList()},
      {&JobOptions::audio_bitrate, catalogue::AudioBitrateList()},
      {&JobOptions::channels, catalogue::AudioChannelsList()},
      {&JobOptions::sample_rate, catalogue::AudioSampleList()},
  };
  for (size_t i = 0; i < fields.size() && i < std::size(targets); ++i) {
    int64_t position = 0;
    if (!text::ParseWholeNumber(fields[i], position) || position < 0) continue;
    base.*targets[i].item = CatalogueItem(targets[i].table, static_cast<int>(position));
  }
  return base;
}

BuiltJob BuildConversionCommand(const ConversionJob& job, TFileFunc& names) {
  BuiltJob built;
  if (!job.start_text.empty() || !job.end_text.empty()) {
    int64_t seconds = 0;
    for (const std::string* t : {&job.start_text, &job.end_text}) {
      // An empty end runs to the source's real end, fraction of a second included.
      if (t == &job.end_text && t->empty()) continue;
      if (!text::ParseTimeText(*t, seconds)) throw ConversionError("'" + *t + "' is not a time of the form hh:mm:ss");
    }
    built.trim_start = job.start_text.empty() ? "00:00:00" : job.start_text;
    if (!job.end_text.empty()) {
      text::RangeSeconds(built.trim_start, job.end_text, seconds);
      built.trim_seconds = std::to_string(seconds);
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
  WriteScript(script, p.SourceFile);

  const std::string source_ext = TFileFunc::GetFileExt(p.SourceFile);
  if (source_ext == ".rm" || source_ext == ".rmvb") {
    p.EncoderPath = job.app_dir + job.rm_encoder_name;
    p.SourceFile = script;
  } else {
    p.EncoderPath = job.app_dir + job.encoder_name;
  }

  const CommandForm form = ClassifyCommand(p.CodecArgs, p.OutputExt);
  if (form == CommandForm::None || form == CommandForm::Unknown) return built;
  built.output_path = names.ReserveUniqueFileName(p.OutputDir + p.OutputBaseName + p.OutputExt);
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
