#include "engine/builder.h"

#include "common/text.h"
#include "engine/parameter.h"
#include "platform/command_line.h"

CommandForm ClassifyCommand(const std::string& codec_args, const std::string& output_ext) {
  const std::string codec = text::TrimBlanks(codec_args);
  const std::string head7 = codec.substr(0, 7);
  if (head7 == "-vcodec") return CommandForm::V;
  if (head7 == "-target") return CommandForm::T;
  if (head7 == "-acodec")
    return (output_ext == ".3gp" || output_ext == ".3g2" || output_ext == ".amr") ? CommandForm::N : CommandForm::A;
  if (codec.substr(0, 5) == "-none") return CommandForm::None;
  return CommandForm::Unknown;
}

std::string ComposeCommand(CommandForm form, const TConvertParameterStruct& job, const std::string& output_path) {
  // Paths go in quoted so that splitting gives each back whole: a file name
  // cannot smuggle options in, and a runnable file at a shorter prefix of a
  // program folder with blanks ("/x/My" beside "/x/My Apps/") never runs instead.
  std::string command =
      platform::QuoteArgument(job.EncoderPath) + " -y -i " + platform::QuoteArgument(job.SourceFile) + job.CodecArgs;
  switch (form) {
    case CommandForm::V:
      command += job.VideoBitrateArg + job.VideoSizeArg + job.FrameRateArg + job.AspectArg + job.AudioBitrateArg +
                 job.VolumeArg + job.ChannelsArg + job.SampleRateArg + job.FormatArg;
      break;
    case CommandForm::A:
      command += job.AudioBitrateArg + job.VolumeArg + job.ChannelsArg + job.SampleRateArg + job.FormatArg;
      break;
    case CommandForm::N:
      command += job.VideoSizeArg + job.VideoBitrateArg + job.AudioBitrateArg + job.VolumeArg + " -ac 1 -ar 8000" +
                 job.FormatArg;
      break;
    case CommandForm::T:
      break;
    default:
      return {};
  }
  return command + job.TrimArg + " " + platform::QuoteArgument(output_path);
}

std::string RangeSecondsText(const std::string& source, const std::string& start, const std::string& end) {
  int64_t seconds = 0;
  // An empty start converts the whole file; a range must be two whole time texts.
  if (!start.empty()) {
    if (!text::ParseTimeText(start, seconds)) throw TrimTimeError(source, "start", start);
    if (!text::ParseTimeText(end, seconds)) throw TrimTimeError(source, "end", end);
    const std::string empty = EmptyRangeReason(start, end);
    if (!empty.empty()) throw TrimTimeError::EmptyRange(source, empty);
  }
  if (text::RangeSeconds(start.empty() ? "00:00:00" : start, end, seconds)) return std::to_string(seconds);
  return "0";
}

std::string EmptyRangeReason(const std::string& start, const std::string& end) {
  int64_t seconds = 0;
  if (!text::RangeSeconds(start, end, seconds) || seconds > 0) return {};
  return "the range is empty (start " + start + ", end " + end + ")";
}
