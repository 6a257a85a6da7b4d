// A small client of the desktop's message buses on sd-bus, without Qt: one
// connection per bus, method calls with a bounded wait, and errors as text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sd_bus;

namespace platform {

enum class BusKind { System, Session };

// One client connection to a message bus, closed with the object.
class DBusConnection {
 public:
  // Connects to the bus at `address`. An empty address means the usual bus of
  // that kind: what DBUS_SYSTEM_BUS_ADDRESS or DBUS_SESSION_BUS_ADDRESS say, or
  // the system's default socket. Nothing, with the reason in `error`, when the
  // bus cannot be reached.
  static std::unique_ptr<DBusConnection> Open(BusKind kind, const std::string& address, std::string& error);
  ~DBusConnection();
  DBusConnection(const DBusConnection&) = delete;
  DBusConnection& operator=(const DBusConnection&) = delete;

  sd_bus* Get() const { return bus_; }

  // Whether some connection owns the well-known name now.
  bool NameHasOwner(const std::string& name);

 private:
  explicit DBusConnection(sd_bus* bus) : bus_(bus) {}
  sd_bus* bus_;
};

// How long a method call may take before we give up on the service: a desktop
// service that hangs must not freeze the window for the bus's default 25 s.
inline constexpr uint64_t kDBusCallTimeoutUs = 5'000'000;

// The text of a failed call: the bus error's message, else the errno text.
std::string DBusErrorText(int result, const void* sd_bus_error);

}  // namespace platform
