#include <algorithm>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "settings/option_form.h"
#include "shell/main_form.h"
#include "shell/program.h"

namespace {

constexpr const char* kProfileFile = "UserProfileInfo.ini";
constexpr const char* kNoChange = "none";

// The catalogue is fixed data: its default indexes are always plain decimals.
int CatalogueIndex(const std::string& text) {
  return std::stoi(text);
}

}  // namespace

void TCustomProc::FillListFromCatalogue(ui::ListBox& control, const std::vector<std::string>& table) {
  if (table.empty()) return;
  for (size_t i = 0; i + 1 < table.size(); ++i) control.Add(table[i]);
  control.SetItemIndex(CatalogueIndex(table.back()));
}

void TCustomProc::FillProfileList(ui::ListBox& control) const {
  const catalogue::TextList levels = catalogue::QualityLevelList();
  std::vector<std::string> items = control.Items();
  for (size_t i = 0; i + 1 < levels.size(); ++i) items.push_back(levels[i]);
  // The quality levels go in whatever happens to the profile file.
  std::exception_ptr failure;
  try {
    for (std::string& name : program_.CommonLib().ReadIniSections(kProfileFile)) items.push_back(std::move(name));
  } catch (const std::exception&) {
    failure = std::current_exception();
  }
  // One change for the whole list: a view redraws once, not once per profile.
  control.SetItems(std::move(items));
  // Selected only now, after the custom names: the default is always a quality level.
  control.SetItemIndex(CatalogueIndex(levels.back()));
  if (failure) std::rethrow_exception(failure);
}

void TCustomProc::FillOptionLists() {
  TFrmMainForm& main = program_.MainForm();
  TfrmOption& options = program_.OptionForm();
  // A profile or settings file that cannot be read is reported, but every list
  // is filled all the same: half-filled lists would leave nothing to convert with.
  std::vector<std::string> reported;
  const auto reporting = [&](const std::function<void()>& step) {
    try {
      step();
    } catch (const std::exception& error) {
      if (std::find(reported.begin(), reported.end(), error.what()) != reported.end()) return;
      reported.emplace_back(error.what());
      program_.ReportError(error);
    }
  };
  FillListFromCatalogue(main.cbbOutputFiletype, catalogue::OutputTypeList());
  reporting([&] { FillProfileList(main.cbbProfile); });
  // The dialog's box gets the same names now, not only when the dialog is first
  // shown: a custom profile chosen in the main window before that must apply.
  reporting([&] { options.cbbCustomProfile.SetItems(program_.CommonLib().ReadIniSections(kProfileFile)); });
  FillListFromCatalogue(options.cbbAspectratio, catalogue::AspectRatioList());
  FillListFromCatalogue(options.cbbVideoBitrate, catalogue::VideoBitrateList());
  FillListFromCatalogue(options.cbbAudioBitrate, catalogue::AudioBitrateList());
  FillListFromCatalogue(options.cbbAudioChannels, catalogue::AudioChannelsList());
  FillListFromCatalogue(options.cbbFramerate, catalogue::FrameRateList());
  FillListFromCatalogue(options.cbbAudioSample, catalogue::AudioSampleList());
  FillListFromCatalogue(options.cbbAudioVolumeGain, catalogue::VolumeGainList());
  FillListFromCatalogue(options.cbbVideoSize, catalogue::VideoSizeList());
  reporting([&] { LoadUserSettings(); });
}

void TCustomProc::ApplyProfile() {
  TFrmMainForm& main = program_.MainForm();
  TfrmOption& options = program_.OptionForm();
  const int profile = main.cbbProfile.ItemIndex();
  if (profile >= catalogue::kFirstCustomProfile) {
    options.cbbCustomProfile.SetItemIndex(profile - catalogue::kFirstCustomProfile);
    ApplyCustomProfile();
    return;
  }
  // Without an output type or a quality level nothing changes.
  const std::string value = catalogue::QualityPreset(main.cbbOutputFiletype.ItemIndex(), profile);
  ui::ListBox* const lists[] = {&options.cbbVideoSize,    &options.cbbFramerate,     &options.cbbVideoBitrate,
                                &options.cbbAudioBitrate, &options.cbbAudioChannels, &options.cbbAudioSample};
  const std::vector<std::string> fields = TCommonLib::SplitText(value, '|');
  for (size_t i = 0; i < fields.size() && i < std::size(lists); ++i)
    if (fields[i] != kNoChange) lists[i]->SetItemIndex(CatalogueIndex(fields[i]));
}

void TFrmMainForm::cbbOutputFiletypeChange() {
  program_.CustomProc().ApplyProfile();
}

void TFrmMainForm::cbbProfileChange() {
  program_.CustomProc().ApplyProfile();
}

void TFrmMainForm::WireSettingsHandlers() {
  cbbOutputFiletype.OnChange = [this] { cbbOutputFiletypeChange(); };
  cbbProfile.OnChange = [this] { cbbProfileChange(); };
}
