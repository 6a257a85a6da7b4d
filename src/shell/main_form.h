// TFrmMainForm: the main window's component models and handlers.
#pragma once

#include <functional>
#include <memory>

#include "platform/platform.h"
#include "ui/list_box.h"
#include "ui/models.h"
#include "ui/open_dialog.h"
#include "ui/source_grid.h"

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
  ui::EditBox edtOutputFolder{platform::DefaultOutputFolder(), /*read_only=*/true};
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
  ui::Button btnOptions{"", "Ctrl + N"};
  ui::Button RzBmpButton1{"", "Ctrl + N"};
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

  // --- Output folder and profile selection (settings/). ---
  // Browses for the output folder and shows the one accepted.
  void btnSelectOutputFolderClick();
  // Both apply the selected profile for the selected output type.
  void cbbOutputFiletypeChange();
  void cbbProfileChange();

 private:
  void WireButtons();
  void AttachTimers();

  void WireSettingsHandlers();

  Program& program_;
  bool timers_attached_ = false;
};
