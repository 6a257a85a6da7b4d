#include "platform/single_instance.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/dbus_client.h"

namespace platform {

namespace {

constexpr const char* kOpenFiles = "OpenFiles";

std::vector<std::string> AbsolutePaths(const std::vector<std::string>& paths) {
  std::vector<std::string> absolute;
  for (const std::string& path : paths) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    absolute.push_back(ec ? path : full.lexically_normal().string());
  }
  return absolute;
}

// A NULL-terminated array of the texts, for sd-bus; the texts must outlive it.
std::vector<char*> StringArray(const std::vector<std::string>& texts) {
  std::vector<char*> array;
  for (const std::string& text : texts) array.push_back(const_cast<char*>(text.c_str()));
  array.push_back(nullptr);
  return array;
}

}  // namespace

struct InstanceCalls {
  static int OpenFiles(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* server = static_cast<InstanceServer*>(userdata);
    char** strv = nullptr;
    const int r = sd_bus_message_read_strv(message, &strv);
    if (r < 0) return r;
    std::vector<std::string> paths;
    for (char** s = strv; s && *s; ++s) {
      paths.emplace_back(*s);
      free(*s);
    }
    free(strv);
    // Answered first: the caller is another start waiting to end, and adding
    // the files may take a while.
    const int replied = sd_bus_reply_method_return(message, "");
    if (server->on_files_) server->on_files_(std::move(paths));
    return replied;
  }

  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("OpenFiles", "as", "", &InstanceCalls::OpenFiles, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };
};

bool HandToRunningInstance(const std::vector<std::string>& paths, std::string& why) {
  std::unique_ptr<DBusConnection> bus = DBusConnection::Open(BusKind::Session, "", why);
  if (!bus) return false;
  if (!bus->NameHasOwner(kInstanceBusName)) {
    why = "no running program";
    return false;
  }
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const std::vector<std::string> absolute = AbsolutePaths(paths);
  std::vector<char*> strv = StringArray(absolute);
  int r = sd_bus_message_new_method_call(bus->Get(), &call, kInstanceBusName, kInstanceObjectPath, kInstanceInterface,
                                         kOpenFiles);
  if (r >= 0) r = sd_bus_message_append_strv(call, strv.data());
  if (r >= 0) r = sd_bus_call(bus->Get(), call, kDBusCallTimeoutUs, &error, &reply);
  if (r < 0) why = "the running program did not answer (" + DBusErrorText(r, &error) + ")";
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_error_free(&error);
  return r >= 0;
}

InstanceServer::InstanceServer(std::unique_ptr<DBusConnection> bus, FilesHandler on_files)
    : bus_(std::move(bus)), on_files_(std::move(on_files)) {}

InstanceServer::~InstanceServer() {
  sd_bus_slot_unref(static_cast<sd_bus_slot*>(slot_));
}

std::unique_ptr<InstanceServer> InstanceServer::Claim(FilesHandler on_files, std::string& why) {
  std::unique_ptr<DBusConnection> bus = DBusConnection::Open(BusKind::Session, "", why);
  if (!bus) return nullptr;
  std::unique_ptr<InstanceServer> server(new InstanceServer(std::move(bus), std::move(on_files)));
  sd_bus_slot* slot = nullptr;
  int r = sd_bus_add_object_vtable(server->bus_->Get(), &slot, kInstanceObjectPath, kInstanceInterface,
                                   InstanceCalls::kVtable, server.get());
  if (r < 0) {
    why = std::string("cannot serve the program's object (") + std::strerror(-r) + ")";
    return nullptr;
  }
  server->slot_ = slot;
  // No queueing: a name already held means another program runs.
  r = sd_bus_request_name(server->bus_->Get(), kInstanceBusName, 0);
  if (r < 0) {
    why = r == -EEXIST ? "another program holds the name"
                       : std::string("cannot claim the name (") + std::strerror(-r) + ")";
    return nullptr;
  }
  return server;
}

int InstanceServer::Fd() const {
  return sd_bus_get_fd(bus_->Get());
}

void InstanceServer::Process() {
  while (sd_bus_process(bus_->Get(), nullptr) > 0) {
  }
  sd_bus_flush(bus_->Get());
}

}  // namespace platform
