// TFrmMainForm: the main window's component models and handlers.
#pragma once

#include "platform/platform.h"
#include "ui/list_box.h"
#include "ui/models.h"
#include "ui/open_dialog.h"
#include "ui/source_grid.h"

class Program;

class TFrmMainForm {
 public:
  explicit TFrmMainForm(Program& program) : program_(program) {}

  ui::Window Form;
  ui::Label lblTitle{"Application name "};
  ui::ListBox cbbOutputFiletype;
  ui::ListBox cbbProfile;
  ui::EditBox edtOutputFolder{platform::DefaultOutputFolder(), /*read_only=*/true};
  ui::CheckBox chkShutdown{false};
  ui::CheckBox chkShowOutputDirectory{true};
  ui::SourceGrid dxTreeSourceFileInfo;
  ui::OpenDialog dlgOpenSourceFile;

  // --- Conversion (engine/batch.cpp). ---
  // Convert: converts the checked rows.
  void btnConvertClick();

 private:
  [[maybe_unused]] Program& program_;
};
