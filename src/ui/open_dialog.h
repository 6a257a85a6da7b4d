// The open dialog's model: its settings and the files it last returned, which
// stay after a cancelled run.
#pragma once

#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace ui {

class OpenDialog {
 public:
  std::string Title;
  std::string InitialDir;
  std::string Filter;
  bool MultiSelect = true;

  // Shows the dialog; true when the user chose files (then FileNames holds them).
  bool Execute(Dialogs& dialogs) {
    std::vector<std::string> chosen = dialogs.OpenFiles({Title, InitialDir, Filter, MultiSelect});
    if (chosen.empty()) return false;
    file_names_ = std::move(chosen);
    return true;
  }

  // Files of the last successful run, in the dialog's order.
  const std::vector<std::string>& FileNames() const { return file_names_; }
  // The first of them; empty when the dialog never returned a file.
  std::string FileName() const { return file_names_.empty() ? std::string() : file_names_.front(); }

 private:
  std::vector<std::string> file_names_;
};

}  // namespace ui
