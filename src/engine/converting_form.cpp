#include "engine/converting_form.h"

#include <climits>
#include <cstdint>
#include <exception>

#include "engine/common_lib.h"
#include "engine/custom_proc.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"

namespace {

// The console text's time value that the encoder prints before it knows one.
constexpr const char* kUnknownTime = "10000000000";

int ClampToInt(int64_t value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string TrimBlanks(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

// A whole decimal number, optionally signed; nothing for any other text.
bool ParseWholeNumber(const std::string& text, int64_t& value) {
  const std::string t = TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    if (v > (INT64_MAX - 9) / 10) return false;
    v = v * 10 + (t[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

TfrmConverting::TfrmConverting(Program& program) : tmrChanging(program.timing().spinner_ms, true), program_(program) {
  pbTotal.SetRange(0, 1);
  ProgressBar1.SetRange(0, 1);
  Form.OnShow = [this] { FormShow(); };
  tmrChanging.OnTimer = [this] { tmrChangingTimer(); };
  program_.loop().Attach(tmrChanging);
}

TfrmConverting::~TfrmConverting() {
  program_.loop().Detach(tmrChanging);
}

void TfrmConverting::FormShow() {
  const TCustomProc& proc = program_.CustomProc();
  SpinnerStep = 0;
  lblCurFileName.SetCaption(program_.CommonLib().ConvertParameter.SourceFile);
  lblPersent.SetCaption("Current: 1, Total: " + std::to_string(proc.CheckedCount));
  ProgressBar1.SetRange(0, 1);
  ProgressBar1.SetPosition(0);
  pbTotal.SetRange(0, 1);
  pbTotal.SetPosition(0);
}

void TfrmConverting::tmrChangingTimer() {
  ++SpinnerStep;
  if (SpinnerStep > 5) SpinnerStep = 1;
  static constexpr const char* kMarks[] = {"|", "|", "/", "-", "\\", "|"};
  const std::string head = ProgressBar1.Position() < 3 ? "Installing convert information  " : "Converting  ";
  lblInfo.SetCaption(head + kMarks[SpinnerStep]);
}

void TfrmConverting::actRefreshProgressExecute() {
  TCustomProc& proc = program_.CustomProc();
  const TConvertParameterStruct& job = program_.CommonLib().ConvertParameter;

  // The first text of a row often predates the encoder's first real status line.
  ++proc.RefreshCount;
  if (proc.RefreshCount <= 1) return;

  // Batch progress, from where the current-file bar stood before this refresh.
  try {
    pbTotal.SetMax(ClampToInt(int64_t{proc.CheckedCount} * 100));
    const int64_t share = int64_t{ProgressBar1.Position()} * 100 / (int64_t{ProgressBar1.Max()} + 1);
    pbTotal.SetPosition(ClampToInt(share + int64_t{proc.FilesDone} * 100));
    lblPersent.SetCaption("Current: " + std::to_string(int64_t{proc.FilesDone} + 1) +
                          " , Total: " + std::to_string(proc.CheckedCount) + ".");
  } catch (const std::exception&) {
    // A display detail; the rest of the refresh still runs.
  }

  // Current-file range: the row's length in seconds. A bar cannot reach below its
  // minimum, so a negative length leaves the maximum at 0.
  int64_t seconds = 0;
  if (ParseWholeNumber(proc.TrimSecondsText, seconds)) ProgressBar1.SetRange(0, ClampToInt(seconds));

  const std::string text = statState.PanelText();
  if (text.empty()) return;

  // The elapsed time starts the third field of an audio status line and the
  // fifth of a video one.
  const bool audio_only = TrimBlanks(job.CodecArgs).rfind("-acodec", 0) == 0 && job.OutputExt != ".3gp";
  const auto fields = TCommonLib::SplitText(text, '=');
  const size_t index = audio_only ? 2 : 4;
  const size_t needed = audio_only ? 4 : 5;
  if (fields.size() < needed) return;

  const auto parts = TCommonLib::SplitText(fields[index], '.');
  if (parts.empty()) return;
  const std::string whole = parts.front();
  if (whole == kUnknownTime) return;

  double value = 0;
  try {
    value = TCommonLib::ParseLenientNumber(whole);
  } catch (const std::exception&) {
    return;  // Not a time after all: the bar stays where it was.
  }
  if (value >= static_cast<double>(INT_MAX)) {
    ProgressBar1.SetPosition(INT_MAX);
  } else if (value <= static_cast<double>(INT_MIN)) {
    ProgressBar1.SetPosition(INT_MIN);
  } else {
    ProgressBar1.SetPosition(static_cast<int>(value));
  }
}

void TfrmConverting::btnStop1Click() {
  if (!program_.dialogs().AskYesNo(kApplicationTitle, "Are you sure you want to stop the work ? ")) return;
  TCustomProc& proc = program_.CustomProc();
  TCommonLib& lib = program_.CommonLib();
  proc.StopRequested = true;
  proc.BatchInterrupted = true;
  Form.Hide();
  program_.MainForm().Form.SetEnabled(true);
  proc.RowIndex = program_.MainForm().dxTreeSourceFileInfo.RowCount() + 10;
  // One call ends every encoder this program started, whatever its name: a
  // second would only repeat the wait for one that cannot be ended.
  lib.StopEncoder(lib.ConvertParameter.EncoderPath);
  ProgressBar1.SetPosition(0);
  pbTotal.SetMax(0);
  pbTotal.SetPosition(0);
  lblPersent.SetCaption("Current: 1, Total: ...");
}

bool TfrmConverting::FormClose() {
  if (!program_.dialogs().AskYesNo(kApplicationTitle, "Are you sure to stop processing ?")) return false;
  TCustomProc& proc = program_.CustomProc();
  TCommonLib& lib = program_.CommonLib();
  proc.BatchInterrupted = true;
  Form.Hide();
  program_.MainForm().Form.SetEnabled(true);
  proc.RowIndex = program_.MainForm().dxTreeSourceFileInfo.RowCount() + 10;
  lib.StopEncoder(lib.ConvertParameter.EncoderPath);
  return true;
}
