// TfrmOption: the Options dialog's component models and handlers. The dialog is
// modeless and only ever shown and hidden; its eight lists are the conversion
// options the command-line builder reads, whether it is shown or not.
#pragma once

#include <functional>
#include <string>

#include "settings/config_files.h"
#include "settings/profiles.h"
#include "ui/combo_box.h"
#include "ui/list_box.h"
#include "ui/models.h"

class TfrmOption {
 public:
  // The profiles are stored in the config folder; main_profiles is the main
  // window's profile list, which the dialog follows when shown and refills on OK.
  TfrmOption(std::string config_folder, settings::Messages messages, ui::ListBox& main_profiles);

  ui::Window Form{"Options"};

  ui::Label lblCustomProfile{"Custom Profile:"};
  ui::ComboBox cbbCustomProfile;

  ui::Label grpAdvOptions{"Advanced Options"};
  ui::Label lblVideoSize{"Video Size:"};
  ui::Label lblVideoBitrate{"Video Bitrate(kbps):"};
  ui::Label lblFrameRate{"Frame Rate(fps):"};
  ui::Label lblAspectRatio{"Aspect Ratio:"};
  ui::Label lblAudioBitrate{"Audio Bitrate(kbps):"};
  ui::Label lblSample{"Audio Sample(khz):"};
  ui::Label lblVolume{"Audio Volume(%):"};
  ui::Label lblChannels{"Audio Channels:"};
  // The audio bit rate the file will really have when the format cannot hold
  // the one chosen ("MP3 at 22050 Hz: 160 (192 asked) kbit/s"); empty otherwise.
  ui::Label lblAudioBitrateKept;
  // The extension of the output type chosen in the main window.
  std::function<std::string()> OutputExt;
  void ShowKeptAudioBitrate();

  ui::ListBox cbbVideoSize;
  ui::ListBox cbbVideoBitrate;
  ui::ListBox cbbFramerate;
  ui::ListBox cbbAspectratio;
  ui::ListBox cbbAudioBitrate;
  ui::ListBox cbbAudioSample;
  ui::ListBox cbbAudioVolumeGain;
  ui::ListBox cbbAudioChannels;

  // Reloads the profile names, picks the box's selection, records the snapshot.
  void FormShow();
  // The user picked or typed in the custom profile box.
  void cbbCustomProfileChange();
  void btnAddClick();
  void btnSaveClick();
  void btnDelClick();
  // OK: rebuilds the main window's profile list and hides; applies nothing.
  void btnApplyClick();
  // Cancel (Esc): restores the snapshot and hides.
  void btnCancelClick();
  // The title bar's close box: hides, keeping every selection as it is.
  void FormClose();

  // Selected positions recorded at the last showing, in restore order.
  struct Snapshot {
    int VideoSize = ui::ListBox::kNone;
    int VideoBitrate = ui::ListBox::kNone;
    int Framerate = ui::ListBox::kNone;
    int Aspectratio = ui::ListBox::kNone;
    int AudioBitrate = ui::ListBox::kNone;
    int AudioSample = ui::ListBox::kNone;
    int AudioVolumeGain = ui::ListBox::kNone;
    int AudioChannels = ui::ListBox::kNone;
    int CustomProfile = ui::ListBox::kNone;
  };
  const Snapshot& OptionSnapshot() const { return snapshot_; }

  // The six lists a profile sets, in the order of a profile value's fields.
  settings::ProfileLists ProfileFields() {
    return {&cbbVideoSize, &cbbFramerate, &cbbVideoBitrate, &cbbAudioBitrate, &cbbAudioChannels, &cbbAudioSample};
  }

 private:
  // Replaces the box's items with the stored profile names; the text stays.
  void ReloadProfiles();
  // The main window's Profile list afresh from the profile file.
  void ReloadMainProfiles();
  void SelectLastProfile();

  const std::string config_folder_;
  const settings::Messages messages_;
  ui::ListBox& main_profiles_;
  Snapshot snapshot_;
};
