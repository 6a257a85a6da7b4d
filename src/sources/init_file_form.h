// TFrmInitFileForm: the small busy window shown while the chosen files are added.
// It starts the adding from its Timer2 shortly after it is shown, turns a spinner
// in its label with Timer1, and closes itself when the adding is over.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "sources/source_list.h"
#include "ui/models.h"
#include "ui/timer_attachment.h"

namespace ui {
class EventLoop;
struct Timing;
}  // namespace ui

class TFrmInitFileForm {
 public:
  // Does the adding of the paths; runs from Timer2, inside the event loop, and
  // reports its progress through the callback it is handed.
  using AddFiles = std::function<void(const std::vector<std::string>&, const sources::AddProgress&)>;

  TFrmInitFileForm(ui::EventLoop& loop, const ui::Timing& timing, AddFiles add_files);
  ~TFrmInitFileForm();
  TFrmInitFileForm(const TFrmInitFileForm&) = delete;
  TFrmInitFileForm& operator=(const TFrmInitFileForm&) = delete;

  static constexpr int kWidth = 273;
  static constexpr int kHeight = 45;

  ui::Window Form;
  ui::Label lblInfo{"Installing File..."};
  ui::Timer Timer1;
  ui::Timer Timer2;

  // The paths to add.
  std::vector<std::string> FileList;
  int SpinnerPhase = 1;

  void SetFileList(const std::vector<std::string>& paths) { FileList = paths; }

  // Shows the window and handles events until it has closed. A failure of the
  // adding is raised here, once the window is closed.
  void ShowModal();
  void Close();

  void FormShow();
  void FormClose();
  void Timer1Timer();
  void Timer2Timer();
  // "Adding 2,345 of 10,000" in the label, and a chance for the window to repaint.
  void ShowProgress(size_t done, size_t total);

 private:
  ui::EventLoop& loop_;
  ui::TimerAttachment timers_;
  AddFiles add_files_;
  // The count the label shows beside the spinner once the adding reports one.
  std::string count_text_;
  // Kept out of the event loop, which must not unwind through its timers.
  std::exception_ptr failure_;
};
