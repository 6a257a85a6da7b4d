#include "platform/dbus_client.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

std::unique_ptr<DBusConnection> DBusConnection::Open(BusKind kind, const std::string& address, std::string& error) {
  sd_bus* bus = nullptr;
  int r = 0;
  if (address.empty()) {
    r = kind == BusKind::System ? sd_bus_open_system(&bus) : sd_bus_open_user(&bus);
  } else {
    r = sd_bus_new(&bus);
    if (r >= 0) r = sd_bus_set_address(bus, address.c_str());
    if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0) r = sd_bus_start(bus);
  }
  if (r < 0) {
    if (bus) sd_bus_flush_close_unref(bus);
    const std::string which = kind == BusKind::System ? "system" : "session";
    const char* variable = kind == BusKind::System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS";
    const std::string where = !address.empty() ? address : std::getenv(variable) ? std::getenv(variable) : "";
    // sd-bus says "No medium found" when it has no address to try at all.
    error = "cannot reach the " + which + " bus";
    if (r == -ENOMEDIUM)
      error += ": none is set up (DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR are unset)";
    else if (r == -ENOENT || r == -ECONNREFUSED)
      error += ": none is running" + (where.empty() ? std::string() : " at " + where);
    else
      error += std::string(" (") + std::strerror(-r) + ")";
    return nullptr;
  }
  sd_bus_set_method_call_timeout(bus, kDBusCallTimeoutUs);
  return std::unique_ptr<DBusConnection>(new DBusConnection(bus));
}

DBusConnection::~DBusConnection() {
  sd_bus_flush_close_unref(bus_);
}

bool DBusConnection::NameHasOwner(const std::string& name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int has_owner = 0;
  const int r = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "NameHasOwner", &error, &reply, "s", name.c_str());
  if (r >= 0 && sd_bus_message_read(reply, "b", &has_owner) < 0) has_owner = 0;
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return r >= 0 && has_owner;
}

std::string DBusErrorText(int result, const void* error) {
  const auto* e = static_cast<const sd_bus_error*>(error);
  if (e && sd_bus_error_is_set(e) && e->message && *e->message) return e->message;
  if (e && sd_bus_error_is_set(e)) return e->name;
  return std::strerror(result < 0 ? -result : result);
}

}  // namespace platform
