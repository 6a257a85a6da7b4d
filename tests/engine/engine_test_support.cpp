#include "engine_test_support.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "common/helpers.h"
#include "engine/catalogue.h"

namespace engine_tests {

namespace {

void Fill(ui::ListBox& list, const catalogue::TextList& table) {
  list.Clear();
  for (size_t i = 0; i + 1 < table.size(); ++i) list.Add(table[i]);
  list.SetItemIndex(std::stoi(table.back()));
}

}  // namespace

void SetUpConversionLists(Program& program, int output_type, int quality_level) {
  TFrmMainForm& main = program.MainForm();
  TfrmOption& options = program.OptionForm();
  Fill(main.cbbOutputFiletype, catalogue::OutputTypeList());
  main.cbbOutputFiletype.SetItemIndex(output_type);
  Fill(options.cbbVideoSize, catalogue::VideoSizeList());
  Fill(options.cbbVideoBitrate, catalogue::VideoBitrateList());
  Fill(options.cbbFramerate, catalogue::FrameRateList());
  Fill(options.cbbAspectratio, catalogue::AspectRatioList());
  Fill(options.cbbAudioBitrate, catalogue::AudioBitrateList());
  Fill(options.cbbAudioChannels, catalogue::AudioChannelsList());
  Fill(options.cbbAudioSample, catalogue::AudioSampleList());
  Fill(options.cbbAudioVolumeGain, catalogue::VolumeGainList());
  // The preset's six positions: size, frame rate, video bitrate, audio bitrate,
  // channels, sample rate.
  std::vector<std::string> fields;
  SplitSkipEmpty(catalogue::QualityPreset(output_type, quality_level), '|', fields);
  ui::ListBox* lists[] = {&options.cbbVideoSize,    &options.cbbFramerate,     &options.cbbVideoBitrate,
                          &options.cbbAudioBitrate, &options.cbbAudioChannels, &options.cbbAudioSample};
  for (size_t i = 0; i < 6 && i < fields.size(); ++i)
    if (fields[i] != "none") lists[i]->SetItemIndex(std::stoi(fields[i]));
}

std::string UniqueProcessName(const std::string& tag) {
  static std::atomic<int> counter{0};
  // At most 13 characters, leaving room for a letter before and after.
  std::string name =
      "vt" + tag.substr(0, 3) + std::to_string(getpid() % 100000) + "_" + std::to_string(counter++ % 100);
  if (name.size() > 13) name = name.substr(name.size() - 13);
  return name;
}

std::string InstallChildHelper(const std::string& folder, const std::string& name) {
  const std::string path = folder + name;
  std::filesystem::copy_file(VTPC_CHILD_HELPER, path, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                         std::filesystem::perms::others_exec);
  return path;
}

void AddRow(Program& program, const std::string& check, const std::string& path, const std::string& start,
            const std::string& end, const std::string& duration) {
  program.MainForm().dxTreeSourceFileInfo.AddRow({check, path, "1 KB", duration, start, end, ""});
}

}  // namespace engine_tests
