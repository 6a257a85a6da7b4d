// The Qt implementations of the services the logic asks for: dialogs, the event
// loop with its timers, and the application object the About box draws with.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <list>
#include <memory>

#include "plugins/plugin_api.h"
#include "ui/dialogs.h"
#include "ui/event_loop.h"

class Program;
namespace ui {
class Timer;
}

namespace app {

// Converts between the logic's UTF-8 texts and Qt's.
QString Q(const std::string& text);
std::string S(const QString& text);

// "Caption|patterns|Caption|patterns" into Qt's name filters, "Caption (p1 p2)".
QStringList QtNameFilters(const std::string& filter);

class QtDialogs : public ui::Dialogs {
 public:
  // The codec error window needs the program (its link opens the codec page).
  void SetProgram(Program* program) { program_ = program; }
  // Owner of the boxes: the main window once it exists.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void Message(ui::MessageKind kind, const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) override;
  std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initial_folder) override;
  std::vector<std::string> OpenFiles(const ui::OpenFilesRequest& request) override;
  void ShowCodecError(const std::string& path) override;

 private:
  QWidget* Owner() const;
  Program* program_ = nullptr;
  QPointer<QWidget> owner_;
};

class QtEventLoop : public ui::EventLoop {
 public:
  // Errors escaping a timer or posted work go to the report instead of
  // unwinding through Qt.
  explicit QtEventLoop(std::function<void(const std::exception&)> report = {});
  ~QtEventLoop() override;
  void SetReport(std::function<void(const std::exception&)> report) { report_ = std::move(report); }

  void ProcessEvents() override;
  void Wait(int ms) override;
  void Post(std::function<void()> work) override;
  void Attach(ui::Timer& timer) override;
  void Detach(ui::Timer& timer) override;

 private:
  struct Binding {
    ui::Timer* model;
    QTimer* timer;  // owned by receiver_, deleted later
    int subscription;
    bool firing = false;
  };
  void Run(const std::function<void()>& work);
  void Sync(Binding& binding);

  std::function<void(const std::exception&)> report_;
  std::unique_ptr<QObject> receiver_;
  std::list<Binding> bindings_;
};

// The application object of Form.so: dialogs built from the program's widgets.
class ApplicationObject {
 public:
  explicit ApplicationObject(Program*& program);
  const VtpcApplication* Get() const { return &api_; }

 private:
  VtpcApplication api_{};
  Program*& program_;
};

}  // namespace app
