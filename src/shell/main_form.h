// TFrmMainForm: the main window's component models and handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/playback_clock.h"
#include "platform/platform.h"
#include "sources/components.h"
#include "sources/source_list.h"
#include "sources/trim_editing.h"
#include "ui/list_box.h"
#include "ui/models.h"
#include "ui/open_dialog.h"
#include "ui/source_grid.h"
#include "ui/timer_attachment.h"

class Program;
class TFrmFlashForm;

// Key codes of the keys the window handles that are no letters (letters are
// their upper-case character).
namespace vk {
inline constexpr int F1 = 0x70;
inline constexpr int Delete = 0x2E;
inline constexpr int Escape = 0x1B;
}  // namespace vk

class TFrmMainForm {
 public:
  explicit TFrmMainForm(Program& program);
  ~TFrmMainForm();

  ui::Window Form;
  ui::Label lblTitle{"Application name "};
  ui::ListBox cbbOutputFiletype;
  ui::ListBox cbbProfile;
  // Starts with the data layout's default output folder.
  ui::EditBox edtOutputFolder;
  ui::CheckBox chkShutdown{false};
  ui::CheckBox chkShowOutputDirectory{true};
  ui::SourceGrid dxTreeSourceFileInfo;
  ui::OpenDialog dlgOpenSourceFile;

  // --- Window frame, product information and the command buttons. ---
  ui::Button btnWindowMinimize;
  ui::Button btnWindowClose;
  ui::Button btnHomePage;
  ui::Button btnEMail;
  ui::Button btnHelp{"", "Help (F1)"};
  ui::Button btnAbout;
  ui::Button btnPlay{"", "Ctrl + P"};
  ui::Button btnPause{"", "Ctrl + U"};
  ui::Button btnStop{"", "Ctrl + T"};
  ui::Button btnOptions{"", "Ctrl + I"};
  ui::Button RzBmpButton1{"", "Ctrl + B"};
  ui::Button btnSelectOutputFolder{"", "Ctrl + B", /*visible=*/false};
  ui::Button btnOpenFile{"", "Ctrl + O"};
  ui::Button btnRemoveFile{"", "Ctrl + R"};
  ui::Button btnClearFile{"", "Ctrl + L"};
  ui::Button btnConvert{"", "Ctrl + S"};
  ui::Button btnUpdate{"", "", /*visible=*/false};

  ui::Label lblOutputFileTypeName{"Output FileType:"};
  ui::Label lblProfileSettings{"Profile Settings:"};
  ui::Label lblOutputFolderInfo{"Output Folder:"};
  ui::Label Label1{"Shutdown computer when job is finished."};
  ui::Label Label2{"Show output directory when done"};
  ui::Label Label3{"Click here to download the coder"};

  ui::Timer tmrClearMemory{1000, true};
  ui::Timer tmrAutoUpdate{10000, false};

  // Design size of the window, and the minimum size FormResize sets.
  static constexpr int kDesignWidth = 692;
  static constexpr int kDesignHeight = 456;
  int MinWidth = 0;
  int MinHeight = 0;
  // Set once the window accepts files dropped from a file manager.
  bool AcceptsDroppedFiles = false;

  // Builds the view of a splash window while it exists; the view is released
  // before the splash. Left empty, the splash runs without a view.
  std::function<std::shared_ptr<void>(TFrmFlashForm&)> CreateSplashView;

  // --- Start-up (shell/startup.cpp). ---
  // The start-up steps run when the window is first shown; false when the
  // program ended on the way (a sibling library is missing).
  bool FormShow();
  // FormShow, then the window is shown unless the program ended.
  void Start();
  bool CheckLibraries();
  void ShowSplash();
  void InitializeApplication();
  void LoadSoftInfo();

  // --- Product information actions (shell/startup.cpp). ---
  void ShowAbout();
  void OpenHomePage();
  void SendEmail();
  void OpenHelp();
  void ActSysHomePageExecute() { OpenHomePage(); }
  void ActSysEmailExecute() { SendEmail(); }
  void ActSysHelpExecute() { OpenHelp(); }
  void ActSysAboutExecute() { ShowAbout(); }

  // --- Update and codec help (shell/update.cpp). ---
  void actUpdateExecute();
  void tmrAutoUpdateTimer() {}
  void Label3Click();

  // --- Window handling (shell/main_form.cpp). ---
  // The key preview: runs before the focused control's own key handling and
  // does not consume the key.
  void FormKeyDown(int key, const ui::ShiftState& shift);
  void FormClose();
  void FormResize();
  void tmrClearMemoryTimer();
  void actMinimizeExecute();
  void actCloseWindowExecute();
  void btnOptionsClick();

  // --- Conversion (engine/batch.cpp). ---
  // Convert: converts the checked rows.
  void btnConvertClick();
  // --- Output folder and profile selection (shell/settings_ops.cpp). ---
  // Browses for the output folder and shows the one accepted.
  void btnSelectOutputFolderClick();
  // Both apply the selected profile for the selected output type.
  void cbbOutputFiletypeChange();
  void cbbProfileChange();

  // ===== Source list, trim bar and preview (defined in sources/) =====

  // The trim bar Panel1, left to right: the left filler Panel2 (its width L places
  // the start marker), the start marker Splitter1, the track Panel4 (the rest), the
  // end marker Splitter2 and the right filler Panel3 (its width R places the end marker).
  static constexpr int kTrimBarWidth = 260;
  static constexpr int kTrimBarHeight = 19;
  sources::Panel Panel1{kTrimBarWidth};
  sources::Panel Panel2{1};
  sources::Splitter Splitter1{19, "imgL"};
  sources::Splitter Splitter2{19, "imgR"};
  sources::Panel Panel3{1};
  // Width of the track Panel4 between the markers.
  int TrackWidth() const;
  // Repaints the marker pictures every 10 ms.
  ui::Timer tmrPaintSP;

  // Preview: the clock, the logo over the video window, the hidden mirror of the
  // playback clock's range and position, and the playback clock itself.
  sources::Panel pnlCurTime{0, "00:00:00"};
  sources::Panel panLogo;
  ui::ProgressBar pbPlayState;
  media::PlaybackClock dstrckbrMainform;

  // Preview marks. TrimBarReady: the trim bar was loaded once and is not placing
  // its markers right now. StartMarkSeconds: start of the last start-marker move;
  // a newly loaded file plays from there. PreviewStopText: time text of the last
  // end-marker move; the preview pauses when its clock shows it.
  bool TrimBarReady = false;
  int32_t StartMarkSeconds = 0;
  std::string PreviewStopText;
  // Duration of the row last loaded into the trim bar: the scale of both markers.
  int32_t TrimDurationSeconds = 0;
  // That row; the bar's caption names it (sources::TrimBarCaption).
  ui::SourceGrid::RowId TrimRowId = ui::SourceGrid::kNoId;

  // Source list buttons, the shell's file drop and the grid's events.
  void btnOpenFileClick();
  void btnRemoveFileClick();
  void btnClearFileClick();
  void WMDropFiles(const std::vector<std::string>& paths);
  // Files handed in from outside (the command line, "Open with" of a file
  // manager): added through the busy window with the Open dialog's checks, and
  // one Error Info for each that cannot be a source, as a dialog could not have
  // offered it. Relative paths are taken from the current folder. Also what a
  // later start of the program hands over.
  void OpenFiles(const std::vector<std::string>& paths);
  void dxTreeSourceFileInfoKeyDown(sources::GridKey key);
  void dxTreeSourceFileInfoKeyUp(sources::GridKey key);
  void actDxTreeListOnClickExecute();
  bool dxTreeSourceFileInfoDragOver() const { return true; }
  // The rows dragged out of the grid were released over the grid itself or not.
  void dxTreeSourceFileInfoEndDrag(bool dropped_on_grid);
  // Remove, the Delete key, a drag out and Clear ask nothing: Ctrl+Z (or the
  // grid's Undo item) puts the rows of the last of them back, trims and checks
  // included, one removal after another. Trim changes (a marker drag, a filler
  // click, a typed time) are undone by the same key, one step each.
  void UndoRemove();
  bool CanUndoRemove() const { return !undo_.empty(); }
  // The Undo item's text: what the next Ctrl+Z undoes.
  std::string UndoCaption() const {
    return !undo_.empty() && !undo_.back().trims.empty() ? "Undo Trim" : "Undo Remove";
  }
  // Ctrl+A: every row selected (not while a time is typed).
  void SelectAllRows();
  // A click on a column header: the check column's ticks or unticks every row;
  // the file name, size and duration sort the rows by that column, ascending
  // first, the other way round at the next click on the same header.
  void dxTreeSourceFileInfoHeaderClick(int column);
  // The column the rows were last sorted by (-1: none) and its direction.
  int SortColumn = -1;
  bool SortAscending = true;

  // Trim editing.
  void SetStartTimeAndPlay();
  void Splitter2Moved();
  void Panel2MouseDown(sources::MouseButton button, sources::ShiftState shift);
  void Panel3MouseDown(sources::MouseButton button, sources::ShiftState shift);
  void dxTreeSourceFileInfoEdited();
  void dxtrlSourceFileStartTimeChange();
  void Splitter1Paint() { Splitter1.Repaint(); }
  void Splitter2Paint() { Splitter2.Repaint(); }
  void tmrPaintSPTimer();
  // A marker dragged by the user: the filler beside it takes the width (kept at
  // least 1 and the track at least 1 wide); each change runs the moved handler.
  void Splitter1DragTo(int left_filler_width);
  void Splitter2DragTo(int right_filler_width);
  // Mouse released or Esc: the moved handler runs once more.
  void Splitter1EndDrag();
  void Splitter2EndDrag();

  // Player buttons and the playback clock's tick (positions in milliseconds).
  void btnPlayClick();
  void btnPauseClick();
  void btnStopClick();
  void dstrckbrMainformTimer(uint32_t current_pos, uint32_t stop_pos);

 private:
  void WireButtons();
  void AttachTimers();

  void WireSettingsHandlers();

  void InitSourceList();
  // Both trim fillers back to 2 pixels, as after the list was emptied.
  void ResetTrimFillers();
  void KeepRemoved(sources::RemovedRows rows);
  // Runs a change of trim cells and keeps what it changed as an undo step; the
  // moves of one drag make one step, closed when the drag ends. Rows left
  // with an empty range are marked at once.
  enum class TrimChange { Drag, Click, Typed };
  void KeepTrimChange(const std::function<void()>& change, TrimChange kind);
  // Each removal's rows, or the trim cells a change replaced, the last one
  // last; kept for as long as the window.
  struct UndoStep {
    sources::RemovedRows rows;
    sources::TrimCellList trims;
  };
  std::vector<UndoStep> undo_;
  bool drag_step_open_ = false;
  // Declared after the timers it detaches.
  ui::TimerAttachment source_list_timers_;
  // ===== end of source list, trim bar and preview =====

  Program& program_;
  ui::TimerAttachment window_timers_;
};
