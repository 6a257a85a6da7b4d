// The modal dialogs the logic asks for. The Qt front end shows real ones;
// tests script the answers.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ui {

// Icon of a message box; the numbers are the kinds ShowMessageBox takes.
enum class MessageKind { Error = 0, Warning = 1, Question = 2, Information = 3 };

struct OpenFilesRequest {
  std::string title;
  std::string initial_folder;
  // Filter text in the "Caption|patterns|Caption|patterns" form.
  std::string filter;
  bool multi_select = true;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A box with one OK button; returns when the user has closed it.
  virtual void Message(MessageKind kind, const std::string& caption, const std::string& text) = 0;

  // A Yes/No box with the question icon; true for Yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;

  // A one-line input prompt with a pre-filled text; nothing when cancelled.
  virtual std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                               const std::string& initial) = 0;

  // The folder browser, opened at initial_folder; the chosen folder, or nothing
  // when cancelled.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initial_folder) = 0;

  // The open dialog; the chosen paths in the dialog's order, empty when cancelled.
  virtual std::vector<std::string> OpenFiles(const OpenFilesRequest& request) = 0;

  // A new modal codec error window ("Error Info") naming the file that could not
  // be read; returns when it was closed.
  virtual void ShowCodecError(const std::string& path) = 0;
};

}  // namespace ui
