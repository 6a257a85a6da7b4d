// What a converter asks of the desktop around its work: keep the machine awake
// while a batch runs, keep the screen saver off while a preview plays, and say
// when a batch is done. Every front end uses the same calls. Each service is
// optional: one that cannot be reached is skipped with one log line.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/services.h"

namespace platform {

class DBusConnection;
enum class BusKind;

// A hold on some state of the desktop; it lasts as long as the object.
class Hold {
 public:
  virtual ~Hold() = default;
};

class Desktop {
 public:
  using LogFunction = std::function<void(const std::string&)>;
  virtual ~Desktop() = default;

  // Keeps the machine from sleeping or idling until the hold is destroyed.
  // Nothing when that cannot be arranged.
  virtual std::unique_ptr<Hold> KeepAwake(const std::string& why) = 0;
  // Keeps the screen saver off until the hold is destroyed. Nothing when that
  // cannot be arranged.
  virtual std::unique_ptr<Hold> KeepScreenOn(const std::string& why) = 0;
  // Shows one desktop notification.
  virtual void Notify(const std::string& summary, const std::string& body) = 0;
  // Where the one line about a skipped service goes; none: nowhere.
  virtual void SetLog(LogFunction log) { (void)log; }
};

// Does nothing: the default whenever no real desktop was wired in.
class InertDesktop : public Desktop {
 public:
  std::unique_ptr<Hold> KeepAwake(const std::string&) override { return nullptr; }
  std::unique_ptr<Hold> KeepScreenOn(const std::string&) override { return nullptr; }
  void Notify(const std::string&, const std::string&) override {}
};

// Where the desktop's buses are. Empty: the usual buses of the session.
struct BusAddresses {
  std::string system;
  std::string session;
};

// The desktop over D-Bus: logind's inhibitor on the system bus, the screen
// saver and the notifications on the session bus. A bus is connected at its
// first use and kept, since a screen saver inhibition lasts only as long as the
// connection that asked for it.
class DBusDesktop : public Desktop {
 public:
  explicit DBusDesktop(std::string application_name, BusAddresses addresses = {});
  ~DBusDesktop() override;

  std::unique_ptr<Hold> KeepAwake(const std::string& why) override;
  std::unique_ptr<Hold> KeepScreenOn(const std::string& why) override;
  void Notify(const std::string& summary, const std::string& body) override;
  void SetLog(LogFunction log) override { log_ = std::move(log); }

 private:
  enum Feature { kKeepAwake, kScreenSaver, kNotify, kFeatureCount };
  std::shared_ptr<DBusConnection> Connection(BusKind kind, std::string& error);
  // Logs a feature's failure once, until it works again.
  void Skipped(Feature feature, const std::string& what, const std::string& reason);
  void Worked(Feature feature) { reported_[feature] = false; }

  std::string application_name_;
  BusAddresses addresses_;
  std::shared_ptr<DBusConnection> system_;
  std::shared_ptr<DBusConnection> session_;
  LogFunction log_;
  std::array<bool, kFeatureCount> reported_{};
};

// Powers off through logind, letting it ask the user for permission where the
// system's policy wants that.
class LogindPowerControl : public PowerControl {
 public:
  explicit LogindPowerControl(std::string system_bus_address = {}) : address_(std::move(system_bus_address)) {}
  bool PowerOff(std::string& reason) override;

 private:
  std::string address_;
};

// --- A batch on the desktop, the same for every front end. ---

// What the sleep inhibitor of a running batch says.
inline constexpr const char* kBatchInhibitReason = "Converting videos";
// What the screen saver inhibitor of a playing preview says.
inline constexpr const char* kPreviewInhibitReason = "Playing a preview";

// The notification of a finished batch: "2 files converted, 1 failed."
std::string BatchResultText(int converted, int failed);
void NotifyBatchFinished(Desktop& desktop, int converted, int failed);

}  // namespace platform
