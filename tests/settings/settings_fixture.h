// A fresh program with its lists as the main window's start-up leaves them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "test_program.h"

namespace settings_test {

class SettingsTest : public ::testing::Test {
 protected:
  testing_support::TestProgram tp;
  Program& program = *tp;
  TFrmMainForm& main = program.MainForm();
  TfrmOption& options = program.OptionForm();
  TCustomProc& proc = program.CustomProc();

  std::string ConfigFile(const std::string& name) const { return tp.AppDir() + "Config/" + name; }
  std::string Content(const std::string& name) const {
    return testing_support::ReadFile(ConfigFile(name)).value_or("<missing>");
  }
  void Write(const std::string& name, const std::string& content) const {
    testing_support::WriteFile(ConfigFile(name), content);
  }

  // Fill the lists and load the settings, then apply the selected profile.
  void StartUp() {
    proc.FillOptionLists();
    proc.ApplyProfile();
  }

  // Selected texts of the six profile-driven lists, in profile field order.
  std::vector<std::string> ProfileTexts() const {
    return {options.cbbVideoSize.Text(),    options.cbbFramerate.Text(),     options.cbbVideoBitrate.Text(),
            options.cbbAudioBitrate.Text(), options.cbbAudioChannels.Text(), options.cbbAudioSample.Text()};
  }
  // Selected positions of the six profile-driven lists, in profile field order.
  std::vector<int> ProfilePositions() const {
    return {options.cbbVideoSize.ItemIndex(),     options.cbbFramerate.ItemIndex(),
            options.cbbVideoBitrate.ItemIndex(),  options.cbbAudioBitrate.ItemIndex(),
            options.cbbAudioChannels.ItemIndex(), options.cbbAudioSample.ItemIndex()};
  }
  void SelectProfilePositions(const std::vector<int>& positions) {
    ui::ListBox* lists[] = {&options.cbbVideoSize,    &options.cbbFramerate,     &options.cbbVideoBitrate,
                            &options.cbbAudioBitrate, &options.cbbAudioChannels, &options.cbbAudioSample};
    for (size_t i = 0; i < positions.size(); ++i) lists[i]->SetItemIndex(positions[i]);
  }
};

// The "Normal Quality" preset of the video output type, as positions.
inline const std::vector<int> kNormalVideo = {1, 1, 2, 5, 1, 2};

}  // namespace settings_test
