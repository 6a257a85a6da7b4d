#include "sources/init_file_form.h"

#include <utility>

#include "ui/event_loop.h"
#include "ui/timing.h"

namespace {

constexpr const char* kSpinner[] = {"|", "/", "-", "\\"};

}  // namespace

TFrmInitFileForm::TFrmInitFileForm(ui::EventLoop& loop, const ui::Timing& timing, AddFiles add_files)
    : Timer1(timing.busy_spinner_ms, false),
      Timer2(timing.busy_start_ms, false),
      loop_(loop),
      add_files_(std::move(add_files)) {
  Form.OnShow = [this] { FormShow(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer2.OnTimer = [this] { Timer2Timer(); };
  timers_.Attach(loop_, Timer1);
  timers_.Attach(loop_, Timer2);
}

TFrmInitFileForm::~TFrmInitFileForm() = default;

void TFrmInitFileForm::ShowModal() {
  failure_ = nullptr;
  Form.Show();
  while (Form.Visible()) loop_.Wait(ui::BasicEventLoop::kSliceMs);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TFrmInitFileForm::Close() {
  if (!Form.Visible()) return;
  FormClose();
  Form.Hide();
}

void TFrmInitFileForm::FormShow() {
  SpinnerPhase = 1;
  count_text_.clear();
  Timer1.SetEnabled(true);
  Timer2.SetEnabled(true);
}

void TFrmInitFileForm::FormClose() {
  Timer1.SetEnabled(false);
  // A window closed before its first Timer2 tick must not start adding later.
  Timer2.SetEnabled(false);
}

void TFrmInitFileForm::Timer1Timer() {
  loop_.ProcessEvents();
  if (++SpinnerPhase > 4) SpinnerPhase = 1;
  lblInfo.SetCaption((count_text_.empty() ? std::string("Installing File...") : count_text_) + "  " +
                     kSpinner[SpinnerPhase - 1]);
}

namespace {

// 10000 as "10,000".
std::string Grouped(size_t number) {
  std::string digits = std::to_string(number);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

void TFrmInitFileForm::ShowProgress(size_t done, size_t total) {
  count_text_ = "Adding " + Grouped(done) + " of " + Grouped(total);
  lblInfo.SetCaption(count_text_ + "  " + kSpinner[SpinnerPhase - 1]);
  loop_.ProcessEvents();
}

void TFrmInitFileForm::Timer2Timer() {
  loop_.ProcessEvents();
  Timer2.SetEnabled(false);
  try {
    add_files_(FileList, [this](size_t done, size_t total) { ShowProgress(done, total); });
  } catch (...) {
    failure_ = std::current_exception();
  }
  Close();
}
