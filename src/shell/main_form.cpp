#include "shell/main_form.h"

#include <malloc.h>

#include "media/preview_graph.h"
#include "settings/option_form.h"
#include "shell/custom_proc.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "ui/event_loop.h"

TFrmMainForm::TFrmMainForm(Program& program)
    : edtOutputFolder(program.Layout().default_output_folder, /*read_only=*/true), program_(program) {
  WireButtons();
  WireSettingsHandlers();
  InitSourceList();
}

TFrmMainForm::~TFrmMainForm() {}

void TFrmMainForm::WireButtons() {
  btnHelp.ShowHint = false;  // the hint exists but is not shown
  btnWindowMinimize.OnClick = [this] { actMinimizeExecute(); };
  btnWindowClose.OnClick = [this] { actCloseWindowExecute(); };
  btnHomePage.OnClick = [this] { ActSysHomePageExecute(); };
  btnEMail.OnClick = [this] { ActSysEmailExecute(); };
  btnHelp.OnClick = [this] { ActSysHelpExecute(); };
  btnAbout.OnClick = [this] { ActSysAboutExecute(); };
  btnOptions.OnClick = [this] { btnOptionsClick(); };
  btnUpdate.OnClick = [this] { actUpdateExecute(); };
  btnSelectOutputFolder.OnClick = [this] { btnSelectOutputFolderClick(); };
  btnOpenFile.OnClick = [this] { btnOpenFileClick(); };
  btnRemoveFile.OnClick = [this] { btnRemoveFileClick(); };
  btnClearFile.OnClick = [this] { btnClearFileClick(); };
  btnPlay.OnClick = [this] { btnPlayClick(); };
  btnConvert.OnClick = [this] { btnConvertClick(); };
  btnPause.OnClick = [this] { btnPauseClick(); };
  btnStop.OnClick = [this] { btnStopClick(); };
  RzBmpButton1.OnClick = [this] { btnSelectOutputFolderClick(); };
  tmrClearMemory.OnTimer = [this] { tmrClearMemoryTimer(); };
  tmrAutoUpdate.OnTimer = [this] { tmrAutoUpdateTimer(); };
}

void TFrmMainForm::AttachTimers() {
  // The window's timers start with the window: before it is shown nothing of
  // the program has run yet.
  if (!window_timers_.Empty()) return;
  window_timers_.Attach(program_.loop(), tmrClearMemory);
  window_timers_.Attach(program_.loop(), tmrAutoUpdate);
}

void TFrmMainForm::FormKeyDown(int key, const ui::ShiftState& shift) {
  if (shift.OnlyCtrl()) {
    switch (key) {
      case 'O':
        btnOpenFile.Click();
        break;
      case 'R':
        btnRemoveFile.Click();
        break;
      case 'L':
        btnClearFile.Click();
        break;
      case 'I':
        btnOptions.Click();
        break;
      case 'P':
        btnPlay.Click();
        break;
      case 'U':
        btnPause.Click();
        break;
      case 'T':
        btnStop.Click();
        break;
      case 'S':
        btnConvert.Click();
        break;
      case 'N':
        btnConvert.Click();
        break;
      case 'B':
        btnSelectOutputFolder.Click();
        break;
      case 'Z':
        UndoRemove();
        break;
      case 'A':
        SelectAllRows();
        break;
      default:
        break;
    }
  }
  if (key == vk::F1) OpenHelp();
}

void TFrmMainForm::FormClose() {
  // A playing preview goes with the window.
  media::PreviewGraph& graph = program_.previewGraph();
  program_.Guarded([&] {
    graph.SetActive(false);
    graph.Clear();
  });
  // The settings must not keep the user from ending the program: a failed save
  // is reported and the program ends all the same.
  program_.CustomProc().SaveUserSettingsOnClose();
  program_.EndProcess(0);
}

void TFrmMainForm::FormResize() {
  MinHeight = 519;
  MinWidth = 686;
  Form.SetCaption(Form.Caption());  // lets the views pick up the new limits
}

void TFrmMainForm::tmrClearMemoryTimer() {
  // Hands freed heap pages back to the system, as a working-set trim would.
  ::malloc_trim(0);
  program_.loop().ProcessEvents();
}

void TFrmMainForm::actMinimizeExecute() {
  Form.Restore();
  Form.Minimize();
}

void TFrmMainForm::actCloseWindowExecute() {
  FormClose();
}

void TFrmMainForm::btnOptionsClick() {
  program_.OptionForm().Form.Show();
}
