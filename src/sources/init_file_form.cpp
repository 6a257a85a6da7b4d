#include "sources/init_file_form.h"

#include <utility>

#include "shell/common_lib.h"
#include "shell/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/event_loop.h"

TFrmInitFileForm::TFrmInitFileForm(Program& program)
    : Timer1(program.timing().busy_spinner_ms, false), Timer2(program.timing().busy_start_ms, false), program_(program) {
  Form.OnShow = [this] { FormShow(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer2.OnTimer = [this] { Timer2Timer(); };
  program_.loop().Attach(Timer1);
  program_.loop().Attach(Timer2);
}

TFrmInitFileForm::~TFrmInitFileForm() {
  program_.loop().Detach(Timer1);
  program_.loop().Detach(Timer2);
}

void TFrmInitFileForm::ShowModal() {
  failure_ = nullptr;
  Form.Show();
  while (Form.Visible()) program_.loop().Wait(ui::BasicEventLoop::kSliceMs);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TFrmInitFileForm::Close() {
  if (!Form.Visible()) return;
  FormClose();
  Form.Hide();
}

void TFrmInitFileForm::FormShow() {
  SpinnerPhase = 1;
  Timer1.SetEnabled(true);
  Timer2.SetEnabled(true);
}

void TFrmInitFileForm::FormClose() {
  Timer1.SetEnabled(false);
  // A window closed before its first Timer2 tick must not start adding later.
  Timer2.SetEnabled(false);
}

void TFrmInitFileForm::Timer1Timer() {
  program_.loop().ProcessEvents();
  if (++SpinnerPhase > 4) SpinnerPhase = 1;
  static constexpr const char* kSpinner[] = {"|", "/", "-", "\\"};
  lblInfo.SetCaption(std::string("Installing File...  ") + kSpinner[SpinnerPhase - 1]);
}

void TFrmInitFileForm::Timer2Timer() {
  program_.loop().ProcessEvents();
  Timer2.SetEnabled(false);
  try {
    program_.CommonLib().AddSourceFiles(program_.MainForm().dxTreeSourceFileInfo, FileList);
    program_.CustomProc().SaveInitDir();
  } catch (...) {
    failure_ = std::current_exception();
  }
  Close();
}
