#include <algorithm>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/catalogue.h"
#include "settings/profiles.h"

namespace settings {

namespace {

// A preset field is catalogue data: always a plain decimal.
int CatalogueIndex(const std::string& field) {
  int64_t value = 0;
  text::ParseWholeNumber(field, value);
  return static_cast<int>(value);
}

constexpr const char* kNoChange = "none";

}  // namespace

void FillListFromCatalogue(ui::ListBox& control, const std::vector<std::string>& table) {
  if (table.empty()) return;
  for (size_t i = 0; i + 1 < table.size(); ++i) control.Add(table[i]);
  control.SetItemIndex(CatalogueDefault(table));
}

void FillProfileList(const std::string& config_folder, ui::ListBox& control) {
  const catalogue::TextList levels = catalogue::QualityLevelList();
  std::vector<std::string> items = control.Items();
  for (size_t i = 0; i + 1 < levels.size(); ++i) items.push_back(levels[i]);
  // The quality levels go in whatever happens to the profile file.
  std::exception_ptr failure;
  try {
    for (std::string& name : ReadIniSections(config_folder, kProfileFile)) items.push_back(std::move(name));
  } catch (const std::exception&) {
    failure = std::current_exception();
  }
  // One change for the whole list: a view redraws once, not once per profile.
  control.SetItems(std::move(items));
  // Selected only now, after the custom names: the default is always a quality level.
  control.SetItemIndex(CatalogueDefault(levels));
  if (failure) std::rethrow_exception(failure);
}

void FillOptionLists(const std::string& config_folder, const OptionLists& lists, ui::ComboBox& custom_profiles,
                     const std::function<void()>& load_user_settings,
                     const std::function<void(const std::exception&)>& report) {
  // A profile or settings file that cannot be read is reported, but every list
  // is filled all the same: half-filled lists would leave nothing to convert with.
  std::vector<std::string> reported;
  const auto reporting = [&](const std::function<void()>& step) {
    try {
      step();
    } catch (const std::exception& error) {
      if (std::find(reported.begin(), reported.end(), error.what()) != reported.end()) return;
      reported.emplace_back(error.what());
      report(error);
    }
  };
  FillListFromCatalogue(lists.cbbOutputFiletype, catalogue::OutputTypeList());
  reporting([&] { FillProfileList(config_folder, lists.cbbProfile); });
  // The dialog's box gets the same names now, not only when the dialog is first
  // shown: a custom profile chosen in the main window before that must apply.
  reporting([&] { custom_profiles.SetItems(ReadIniSections(config_folder, kProfileFile)); });
  FillListFromCatalogue(lists.cbbAspectratio, catalogue::AspectRatioList());
  FillListFromCatalogue(lists.cbbVideoBitrate, catalogue::VideoBitrateList());
  FillListFromCatalogue(lists.cbbAudioBitrate, catalogue::AudioBitrateList());
  FillListFromCatalogue(lists.cbbAudioChannels, catalogue::AudioChannelsList());
  FillListFromCatalogue(lists.cbbFramerate, catalogue::FrameRateList());
  FillListFromCatalogue(lists.cbbAudioSample, catalogue::AudioSampleList());
  FillListFromCatalogue(lists.cbbAudioVolumeGain, catalogue::VolumeGainList());
  FillListFromCatalogue(lists.cbbVideoSize, catalogue::VideoSizeList());
  reporting(load_user_settings);
}

void ApplyProfile(const std::string& config_folder, const OptionLists& lists, ui::ComboBox& custom_profiles) {
  const int profile = lists.cbbProfile.ItemIndex();
  if (profile >= catalogue::kFirstCustomProfile) {
    custom_profiles.SetItemIndex(profile - catalogue::kFirstCustomProfile);
    ApplyCustomProfile(config_folder, custom_profiles, lists.ProfileFields());
    return;
  }
  // Without an output type or a quality level nothing changes.
  const std::string value = catalogue::QualityPreset(lists.cbbOutputFiletype.ItemIndex(), profile);
  const ProfileLists fields_lists = lists.ProfileFields();
  const std::vector<std::string> fields = text::SplitText(value, '|');
  for (size_t i = 0; i < fields.size() && i < fields_lists.size(); ++i)
    if (fields[i] != kNoChange) fields_lists[i]->SetItemIndex(CatalogueIndex(fields[i]));
}

}  // namespace settings
