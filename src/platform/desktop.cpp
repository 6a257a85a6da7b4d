#include "platform/desktop.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

#include "platform/child_process.h"
#include "platform/dbus_client.h"

namespace platform {
namespace {

constexpr const char* kLogindName = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr const char* kScreenSaverName = "org.freedesktop.ScreenSaver";
constexpr const char* kScreenSaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* kNotificationsName = "org.freedesktop.Notifications";
constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";

// An interactive power-off may wait for the user to authenticate.
constexpr uint64_t kPowerOffTimeoutUs = 120'000'000;

// Owns what one call leaves behind.
struct Call {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ~Call() {
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
  }
  std::string ErrorText(int result) const { return DBusErrorText(result, &error); }
};

// logind ends the inhibition when the last copy of this descriptor closes, so
// it also ends when the program dies.
class LogindInhibition : public Hold {
 public:
  explicit LogindInhibition(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;
};

class ScreenSaverInhibition : public Hold {
 public:
  ScreenSaverInhibition(std::shared_ptr<DBusConnection> bus, uint32_t cookie) : bus_(std::move(bus)), cookie_(cookie) {}
  ~ScreenSaverInhibition() override {
    Call call;
    sd_bus_call_method(bus_->Get(), kScreenSaverName, kScreenSaverPath, kScreenSaverName, "UnInhibit", &call.error,
                       &call.reply, "u", cookie_);
  }

 private:
  std::shared_ptr<DBusConnection> bus_;
  uint32_t cookie_;
};

}  // namespace

DBusDesktop::DBusDesktop(std::string application_name, BusAddresses addresses)
    : application_name_(std::move(application_name)), addresses_(std::move(addresses)) {}

DBusDesktop::~DBusDesktop() = default;

std::shared_ptr<DBusConnection> DBusDesktop::Connection(BusKind kind, std::string& error) {
  std::shared_ptr<DBusConnection>& bus = kind == BusKind::System ? system_ : session_;
  // A bus that went away is connected afresh.
  if (bus && sd_bus_is_open(bus->Get()) <= 0) bus.reset();
  if (!bus) bus = DBusConnection::Open(kind, kind == BusKind::System ? addresses_.system : addresses_.session, error);
  return bus;
}

void DBusDesktop::Skipped(Feature feature, const std::string& what, const std::string& reason) {
  if (reported_[feature]) return;
  reported_[feature] = true;
  if (log_) log_(what + " skipped: " + reason + ".");
}

std::unique_ptr<Hold> DBusDesktop::KeepAwake(const std::string& why) {
  constexpr const char* kWhat = "Keeping the computer awake";
  std::string error;
  auto bus = Connection(BusKind::System, error);
  if (!bus) {
    Skipped(kKeepAwake, kWhat, error);
    return nullptr;
  }
  Call call;
  int fd = -1;
  int r = sd_bus_call_method(bus->Get(), kLogindName, kLogindPath, kLogindManager, "Inhibit", &call.error, &call.reply,
                             "ssss", "sleep:idle", application_name_.c_str(), why.c_str(), "block");
  if (r >= 0) r = sd_bus_message_read(call.reply, "h", &fd);
  if (r < 0) {
    Skipped(kKeepAwake, kWhat, call.ErrorText(r));
    return nullptr;
  }
  // The reply owns its descriptor; ours must not leak into the encoders we
  // start, or an orphaned encoder would keep the machine awake.
  UniqueFd own(fcntl(fd, F_DUPFD_CLOEXEC, 3));
  if (!own) {
    Skipped(kKeepAwake, kWhat, std::strerror(errno));
    return nullptr;
  }
  Worked(kKeepAwake);
  return std::make_unique<LogindInhibition>(std::move(own));
}

std::unique_ptr<Hold> DBusDesktop::KeepScreenOn(const std::string& why) {
  constexpr const char* kWhat = "Keeping the screen saver off";
  std::string error;
  auto bus = Connection(BusKind::Session, error);
  if (!bus) {
    Skipped(kScreenSaver, kWhat, error);
    return nullptr;
  }
  Call call;
  uint32_t cookie = 0;
  int r = sd_bus_call_method(bus->Get(), kScreenSaverName, kScreenSaverPath, kScreenSaverName, "Inhibit", &call.error,
                             &call.reply, "ss", application_name_.c_str(), why.c_str());
  if (r >= 0) r = sd_bus_message_read(call.reply, "u", &cookie);
  if (r < 0) {
    Skipped(kScreenSaver, kWhat, call.ErrorText(r));
    return nullptr;
  }
  Worked(kScreenSaver);
  return std::make_unique<ScreenSaverInhibition>(std::move(bus), cookie);
}

void DBusDesktop::Notify(const std::string& summary, const std::string& body) {
  constexpr const char* kWhat = "The desktop notification";
  std::string error;
  auto bus = Connection(BusKind::Session, error);
  if (!bus) {
    Skipped(kNotify, kWhat, error);
    return;
  }
  Call call;
  // No actions, no hints, the server's own expiry.
  const int r = sd_bus_call_method(bus->Get(), kNotificationsName, kNotificationsPath, kNotificationsName, "Notify",
                                   &call.error, &call.reply, "susssasa{sv}i", application_name_.c_str(), 0u,
                                   "video-x-generic", summary.c_str(), body.c_str(), 0, 0, -1);
  if (r < 0) {
    Skipped(kNotify, kWhat, call.ErrorText(r));
    return;
  }
  Worked(kNotify);
}

bool LogindPowerControl::PowerOff(std::string& reason) {
  auto bus = DBusConnection::Open(BusKind::System, address_, reason);
  if (!bus) return false;
  sd_bus_message* request = nullptr;
  int r = sd_bus_message_new_method_call(bus->Get(), &request, kLogindName, kLogindPath, kLogindManager, "PowerOff");
  // Interactive: logind may ask the user to authenticate rather than refuse.
  if (r >= 0) r = sd_bus_message_append(request, "b", 1);
  Call call;
  if (r >= 0) r = sd_bus_call(bus->Get(), request, kPowerOffTimeoutUs, &call.error, &call.reply);
  sd_bus_message_unref(request);
  if (r < 0) {
    reason = call.ErrorText(r);
    return false;
  }
  return true;
}

std::string BatchResultText(int converted, int failed) {
  return std::to_string(converted) + (converted == 1 ? " file" : " files") + " converted, " + std::to_string(failed) +
         " failed.";
}

void NotifyBatchFinished(Desktop& desktop, int converted, int failed) {
  desktop.Notify("Conversion finished", BatchResultText(converted, failed));
}

}  // namespace platform
