// TfrmOption: the Options dialog's component models and handlers.
#pragma once

#include "ui/list_box.h"
#include "ui/models.h"

class Program;

class TfrmOption {
 public:
  explicit TfrmOption(Program& program) : program_(program) {}

  ui::Window Form{"Options"};
  ui::ListBox cbbVideoSize;
  ui::ListBox cbbVideoBitrate;
  ui::ListBox cbbFramerate;
  ui::ListBox cbbAspectratio;
  ui::ListBox cbbAudioBitrate;
  ui::ListBox cbbAudioSample;
  ui::ListBox cbbAudioVolumeGain;
  ui::ListBox cbbAudioChannels;

 private:
  [[maybe_unused]] Program& program_;
};
