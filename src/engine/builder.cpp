#include "engine/builder.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "platform/command_line.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "settings/option_form.h"
#include "common/helpers.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {

// The one-line script through which the RealMedia encoder opens its source.
constexpr const char* kScriptFile = "VideoFile.avs";

std::string TrimBlanks(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

// A whole decimal number with an optional sign; nothing for any other text.
bool ReadWholeNumber(const std::string& text, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    // Far beyond any duration; refuse rather than overflow.
    if (v > 1'000'000'000'000LL) return false;
    v = v * 10 + (text[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

// Seconds of an "hh:mm:ss" cell; any cell not made of three whole numbers counts as 0.
int64_t CellSeconds(const std::string& cell) {
  const auto parts = TCommonLib::SplitText(cell, ':');
  if (parts.size() != 3) return 0;
  int64_t h = 0, m = 0, s = 0;
  if (!ReadWholeNumber(parts[0], h) || !ReadWholeNumber(parts[1], m) || !ReadWholeNumber(parts[2], s)) return 0;
  return h * 3600 + m * 60 + s;
}

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

std::string TCustomProc::GetTrimStart(const std::string& source) {
  const ui::SourceGrid& grid = program_.MainForm().dxTreeSourceFileInfo;
  std::string result;
  for (int row = 0; row < grid.RowCount(); ++row) {
    if (!SameTextAscii(grid.Cell(row, 1), source)) continue;
    result = grid.Cell(row, 4);
    // A selected custom profile is put back in force before every job, so the
    // fragments read below follow it.
    ApplyCustomProfile();
  }
  return result;
}

std::string TCustomProc::GetTrimSeconds(const std::string& source) {
  const ui::SourceGrid& grid = program_.MainForm().dxTreeSourceFileInfo;
  int last = -1;
  for (int row = 0; row < grid.RowCount(); ++row)
    if (SameTextAscii(grid.Cell(row, 1), source)) last = row;
  if (last < 0) return {};
  const std::string start = grid.Cell(last, 4), end = grid.Cell(last, 5);
  // An empty start converts the whole file; a range must be two whole time texts.
  int64_t unused = 0;
  if (!start.empty() && !TCommonLib::ReadTimeText(start, unused)) throw TrimTimeError(source, "start", start);
  if (!start.empty() && !TCommonLib::ReadTimeText(end, unused)) throw TrimTimeError(source, "end", end);
  return std::to_string(CellSeconds(end) - CellSeconds(start));
}

std::string TCustomProc::GetOutputDirectory() {
  std::string folder = program_.MainForm().edtOutputFolder.Text();
  if (folder.empty() || folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;
  const bool exists = program_.CommonLib().MakeFolders(folder);
  program_.WriteLog((exists ? "Output directory " : "Output directory error. ->") + folder);
  return folder;
}

std::string TCustomProc::CreateConvertParameter(const std::string& source) {
  TCommonLib& lib = program_.CommonLib();
  TConvertParameterStruct& job = lib.ConvertParameter;
  const TfrmOption& options = program_.OptionForm();
  const int type = program_.MainForm().cbbOutputFiletype.ItemIndex();

  TrimStartText = GetTrimStart(source);
  TrimSecondsText = GetTrimSeconds(source);
  job.TrimArg = (!TrimStartText.empty() && !TrimSecondsText.empty())
                    ? " -ss " + TrimStartText + " -t " + TrimSecondsText
                    : std::string();
  job.SourceFile = source;
  job.CodecArgs = lib.GetCodecArgs(type);
  job.VideoBitrateArg = lib.GetVideoBitrateArg(options.cbbVideoBitrate, options.cbbVideoBitrate.ItemIndex());
  job.VideoSizeArg = lib.GetVideoSizeArg(options.cbbVideoSize, options.cbbVideoSize.ItemIndex());
  job.FrameRateArg = lib.GetFrameRateArg(options.cbbFramerate, options.cbbFramerate.ItemIndex());
  job.AspectArg = lib.GetAspectArg(options.cbbAspectratio, options.cbbAspectratio.ItemIndex());
  job.AudioBitrateArg = lib.GetAudioBitrateArg(options.cbbAudioBitrate, options.cbbAudioBitrate.ItemIndex());
  job.VolumeArg = lib.GetVolumeArg(options.cbbAudioVolumeGain, options.cbbAudioVolumeGain.ItemIndex());
  job.ChannelsArg = lib.GetChannelsArg(options.cbbAudioChannels, options.cbbAudioChannels.ItemIndex());
  job.SampleRateArg = lib.GetSampleRateArg(options.cbbAudioSample, options.cbbAudioSample.ItemIndex());
  job.FormatArg = lib.GetFormatArg(type);
  job.OutputDir = GetOutputDirectory();
  job.OutputBaseName = TFileFunc::GetFileBaseName(source);
  job.OutputExt = lib.GetOutputExt(type);

  WriteScript(lib.AppDir + kScriptFile, job.SourceFile);

  const std::string source_ext = TFileFunc::GetFileExt(job.SourceFile);
  if (source_ext == ".rm" || source_ext == ".rmvb") {
    job.EncoderPath = lib.AppDir + program_.RealMediaEncoderName();
    job.SourceFile = lib.AppDir + kScriptFile;
  } else {
    job.EncoderPath = lib.AppDir + program_.EncoderName();
  }

  job.OutputFile.clear();
  const CommandForm form = ClassifyCommand(job.CodecArgs, job.OutputExt);
  if (form == CommandForm::None) program_.WriteLog("Create convert parameter failure.");
  if (form == CommandForm::None || form == CommandForm::Unknown) return {};
  job.OutputFile = program_.FileFunc().MakeUniqueFileName(job.OutputDir + job.OutputBaseName + job.OutputExt);
  return ComposeCommand(form, job, job.OutputFile);
}

CommandForm ClassifyCommand(const std::string& codec_args, const std::string& output_ext) {
  const std::string codec = TrimBlanks(codec_args);
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
