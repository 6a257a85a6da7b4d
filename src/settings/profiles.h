// The option lists, the profiles that set them and the stored custom profiles.
#pragma once

#include <array>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "settings/config_files.h"
#include "ui/combo_box.h"
#include "ui/list_box.h"

namespace settings {

// The six lists a profile sets, in the order of a profile value's fields: video
// size, frame rate, video bitrate, audio bitrate, audio channels, audio sample.
using ProfileLists = std::array<ui::ListBox*, 6>;

// The ten option lists: the main window's output type and profile lists and the
// Options dialog's eight.
struct OptionLists {
  ui::ListBox& cbbOutputFiletype;
  ui::ListBox& cbbProfile;
  ui::ListBox& cbbVideoSize;
  ui::ListBox& cbbVideoBitrate;
  ui::ListBox& cbbFramerate;
  ui::ListBox& cbbAspectratio;
  ui::ListBox& cbbAudioBitrate;
  ui::ListBox& cbbAudioSample;
  ui::ListBox& cbbAudioVolumeGain;
  ui::ListBox& cbbAudioChannels;

  ProfileLists ProfileFields() const {
    return {&cbbVideoSize, &cbbFramerate, &cbbVideoBitrate, &cbbAudioBitrate, &cbbAudioChannels, &cbbAudioSample};
  }
};

// --- Option lists and profile selection. ---
// Appends a display table's entries (all but its last) and selects its default index.
void FillListFromCatalogue(ui::ListBox& control, const std::vector<std::string>& table);
// Appends the quality levels and the stored custom profile names and selects the
// default quality level. When the profile file cannot be read the levels are
// still there and selected, and the store's error is thrown afterwards.
void FillProfileList(const std::string& config_folder, ui::ListBox& control);
// Fills the ten lists from the catalogue and the profile box with the stored
// names, then runs load_user_settings. A profile or settings file that cannot be
// read goes to report (each message once); every list is filled all the same.
void FillOptionLists(const std::string& config_folder, const OptionLists& lists, ui::ComboBox& custom_profiles,
                     const std::function<void()>& load_user_settings,
                     const std::function<void(const std::exception&)>& report);
// Applies the profile selected in the main window to the six profile-driven lists;
// a custom one is first selected in the profile box.
void ApplyProfile(const std::string& config_folder, const OptionLists& lists, ui::ComboBox& custom_profiles);

// --- Custom profiles, named in the Options dialog's profile box. ---
// Stored value of the profile selected in the box; empty when none is selected or stored.
std::string CustomProfileValue(const std::string& config_folder, const ui::ComboBox& box);
// Sets the six lists from the profile selected in the box, if one is selected and
// stored. A field that is no integer throws ConversionError; the fields before it
// stay applied.
void ApplyCustomProfile(const std::string& config_folder, const ui::ComboBox& box, const ProfileLists& lists);
// Asks for a name (counting every attempt) and stores the six lists under it.
// A name the profile file could not hold is refused with a warning.
void AddCustomProfile(const std::string& config_folder, const ProfileLists& lists, const Messages& messages);
// Stores the six lists under the name shown in the box; a name the profile file
// could not hold is refused with a warning.
void SaveCustomProfile(const std::string& config_folder, const ui::ComboBox& box, const ProfileLists& lists,
                       const Messages& messages);
// Removes the profile named in the box.
void DeleteCustomProfile(const std::string& config_folder, const ui::ComboBox& box);

}  // namespace settings
