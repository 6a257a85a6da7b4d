// The controllers' conversion operations, handing the engine what each needs.

#include <string>

#include "common/helpers.h"
#include "engine/after_batch.h"
#include "engine/batch.h"
#include "engine/builder.h"
#include "engine/converting_form.h"
#include "engine/fragments.h"
#include "engine/job.h"
#include "engine/process_table.h"
#include "engine/runner.h"
#include "platform/platform.h"
#include "settings/option_form.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/list_box.h"
#include "ui/source_grid.h"

namespace {

engine::EncoderProcesses Encoders(const Program& program, const TCommonLib& lib) {
  return {program.processes(), lib.EncoderChildren, [&program](const std::string& line) { program.WriteLog(line); }};
}

// The main window and the controllers as the batch driver sees them.
class MainWindowBatchHost : public engine::BatchHost {
 public:
  explicit MainWindowBatchHost(Program& program) : program_(program) {}
  void EnableMainWindow(bool enabled) override { program_.MainForm().Form.SetEnabled(enabled); }
  std::string BuildCommand(const std::string& source) override {
    return program_.CustomProc().CreateConvertParameter(source);
  }
  void ReleaseOutputName(const std::string& path) override { program_.FileFunc().ReleaseReservation(path); }
  void ConvertOutput(const std::string& text) override { program_.CustomProc().ConvertOutputCallback(text); }
  void ShowRowStatus(int row, const ui::RowStatus& status) override {
    program_.MainForm().dxTreeSourceFileInfo.SetStatus(row, status);
  }
  bool ShowOutputFolderChecked() const override { return program_.MainForm().chkShowOutputDirectory.Checked(); }
  bool ShutdownChecked() const override { return program_.MainForm().chkShutdown.Checked(); }
  void OpenFolder(const std::string& folder) override { program_.CommonLib().OpenFolder(folder); }
  bool ShutdownComputer() override { return program_.CommonLib().ShutdownComputer(); }
  void Quit() override { program_.Quit(); }
  void Warn(const std::string& text) override { program_.CommonLib().ShowMessageBox(text, ui::MessageKind::Warning); }
  void Log(const std::string& line) override { program_.WriteLog(line); }

 private:
  Program& program_;
};

}  // namespace

// --- Option fragments. ---

std::string TCommonLib::GetCodecArgs(int output_type) const {
  return fragments::CodecArgs(output_type);
}

std::string TCommonLib::GetVideoBitrateArg(const ui::ListBox& list, int position) const {
  return fragments::VideoBitrateArg(list.ItemText(position));
}

std::string TCommonLib::GetVideoSizeArg(const ui::ListBox& list, int position) const {
  return fragments::VideoSizeArg(list.ItemText(position));
}

std::string TCommonLib::GetFrameRateArg(const ui::ListBox& list, int position) const {
  return fragments::FrameRateArg(list.ItemText(position));
}

std::string TCommonLib::GetAspectArg(const ui::ListBox& list, int position) const {
  return fragments::AspectArg(list.ItemText(position));
}

std::string TCommonLib::GetAudioBitrateArg(const ui::ListBox& list, int position) const {
  return fragments::AudioBitrateArg(list.ItemText(position));
}

std::string TCommonLib::GetVolumeArg(const ui::ListBox& list, int position) const {
  return fragments::VolumeArg(list.ItemText(position));
}

std::string TCommonLib::GetChannelsArg(const ui::ListBox& list, int position) const {
  return fragments::ChannelsArg(list.ItemText(position));
}

std::string TCommonLib::GetSampleRateArg(const ui::ListBox& list, int position) const {
  return fragments::SampleRateArg(list.ItemText(position));
}

std::string TCommonLib::GetFormatArg(int output_type) const {
  return fragments::FormatArg(output_type);
}

std::string TCommonLib::GetOutputExt(int output_type) const {
  return fragments::OutputExt(output_type);
}

// --- Process table operations. ---

pid_t TCommonLib::GetProcessIdByName(const std::string& name) const {
  return engine::GetProcessIdByName(program_.SysFunc(), name,
                                    [this](const std::string& line) { program_.WriteLog(line); });
}

bool TCommonLib::KillProcessByName(const std::string& name) const {
  EnableDebugPrivilege();
  return engine::KillProcessByName(Encoders(program_, *this), name);
}

bool TCommonLib::SetTokenPrivilege(int /*token*/, const std::string& /*privilege*/, bool /*enable*/) const {
  // Any process may signal its own user's processes here: nothing to enable.
  return true;
}

bool TCommonLib::EnableDebugPrivilege() const {
  return SetTokenPrivilege(0, "SeDebugPrivilege", true);
}

bool TCommonLib::OwnEncoderRunning() const {
  return engine::OwnEncoderRunning(program_.processes(), EncoderChildren);
}

void TCommonLib::StopEncoder(const std::string& /*path*/) const {
  EnableDebugPrivilege();
  engine::StopEncoder(Encoders(program_, *this), program_.loop(), program_.timing());
}

// --- After-batch actions. ---

void TCommonLib::OpenFolder(const std::string& folder) const {
  engine::OpenFolder(program_.launcher(), folder);
}

void TCommonLib::EnableShutdownPrivilege() const {
  // Whether the power-off is allowed is the system's decision (polkit); nothing
  // to enable in our own process.
}

bool TCommonLib::ShutdownComputer() const {
  EnableShutdownPrivilege();
  return engine::ShutdownComputer(
      program_.power(), [this](const std::string& line) { program_.WriteLog(line); },
      [this](const std::string& text) { ShowMessageBox(text, ui::MessageKind::Warning); });
}

// --- Command-line builder. ---

std::string TCustomProc::GetTrimStart(const std::string& source) {
  const ui::SourceGrid& grid = program_.MainForm().dxTreeSourceFileInfo;
  std::string result;
  for (int row = 0; row < grid.RowCount(); ++row) {
    if (!SameTextAscii(grid.Cell(row, ui::kColPath), source)) continue;
    result = grid.Cell(row, ui::kColStart);
    // A selected custom profile is put back in force before every job, so the
    // option lists read afterwards follow it.
    ApplyCustomProfile();
  }
  return result;
}

std::string TCustomProc::GetTrimSeconds(const std::string& source) {
  const ui::SourceGrid& grid = program_.MainForm().dxTreeSourceFileInfo;
  const int last = LastRowOfSource(grid, source);
  if (last < 0) return {};
  return RangeSecondsText(source, grid.Cell(last, ui::kColStart), grid.Cell(last, ui::kColEnd));
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
  const TFrmMainForm& main = program_.MainForm();

  TrimStartText = GetTrimStart(source);
  TrimSecondsText = GetTrimSeconds(source);

  ConversionJob job;
  job.source = source;
  // Without a start cell the whole file converts; the row has been checked above.
  if (!TrimStartText.empty()) {
    const ui::SourceGrid& grid = main.dxTreeSourceFileInfo;
    const int row = LastRowOfSource(grid, source);
    job.start_text = TrimStartText;
    job.end_text = grid.Cell(row, ui::kColEnd);
    // The untouched end shows the length in whole seconds; it means the real
    // end, whose last fraction of a second is often what the clip was kept for.
    if (job.end_text == grid.Cell(row, ui::kColDuration)) job.end_text.clear();
  }
  job.output_type = main.cbbOutputFiletype.ItemIndex();
  // Read after GetTrimStart, which may have applied a custom profile to them.
  const TfrmOption& options = program_.OptionForm();
  const auto item = [](const ui::ListBox& list) { return list.ItemText(list.ItemIndex()); };
  job.options.video_bitrate = item(options.cbbVideoBitrate);
  job.options.video_size = item(options.cbbVideoSize);
  job.options.frame_rate = item(options.cbbFramerate);
  job.options.aspect = item(options.cbbAspectratio);
  job.options.audio_bitrate = item(options.cbbAudioBitrate);
  job.options.volume = item(options.cbbAudioVolumeGain);
  job.options.channels = item(options.cbbAudioChannels);
  job.options.sample_rate = item(options.cbbAudioSample);
  job.output_dir = GetOutputDirectory();
  job.app_dir = lib.AppDir;
  job.script_path = program_.Layout().scratch_folder + kScriptFile;
  job.encoder_name = program_.EncoderName();
  job.rm_encoder_name = program_.RealMediaEncoderName();

  BuiltJob built = BuildConversionCommand(job, program_.FileFunc());
  lib.ConvertParameter = std::move(built.parameters);
  if (ClassifyCommand(lib.ConvertParameter.CodecArgs, lib.ConvertParameter.OutputExt) == CommandForm::None)
    program_.WriteLog("Create convert parameter failure.");
  return built.command;
}

// --- Batch driver. ---

void TFrmMainForm::btnConvertClick() {
  TCustomProc& proc = program_.CustomProc();
  // The main window is disabled during a batch, but a stop before a row's encoder
  // started re-enables it while that row still converts.
  if (proc.BatchRunning()) return;
  proc.FilesDone = 0;
  proc.ConvertCheckedRows(dxTreeSourceFileInfo);
}

void TCustomProc::ConvertCheckedRows(ui::SourceGrid& grid) {
  TCommonLib& lib = program_.CommonLib();
  MainWindowBatchHost host(program_);
  const engine::BatchServices services{
      program_.ConvertingForm(), lib.ConvertParameter, program_.loop(),     program_.timing(),
      program_.desktop(),        program_.processes(), lib.EncoderChildren, lib.AppDir};
  engine::ConvertCheckedRows(grid, *this, host, services);
}

void TCustomProc::ConvertOutputCallback(const std::string& text) {
  TfrmConverting& progress = program_.ConvertingForm();
  progress.statState.SetPanelText(text);
  progress.lblCurFileName.SetCaption(program_.CommonLib().ConvertParameter.SourceFile);
  progress.actRefreshProgressExecute();
  progress.UpdateTimeLeft();
}

bool TCustomProc::SuspendEncoder(bool suspend) {
  return Runner && Runner->Suspend(suspend);
}
