#include "private_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace testing_support {
namespace {

// Debian's interpreter: the one python3-dbusmock is installed for.
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kBusVariables[] = {"DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"};

// No <servicedir>: nothing on this bus can start a real service.
std::string Config(const std::string& socket) {
  return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
         socket + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

void EndAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

std::string LogPath(const std::string& dir, const std::string& bus_name) {
  return dir + bus_name + ".log";
}

}  // namespace

bool Eventually(const std::function<bool()>& condition, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

PrivateBus::PrivateBus() {
  const std::string socket = dir_.file("bus");
  WriteFile(dir_.file("bus.conf"), Config(socket));
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    error_ = "no pipe";
    return;
  }
  daemon_ = Spawn({"dbus-daemon", "--config-file=" + dir_.file("bus.conf"), "--nofork", "--print-address=1"}, out[1]);
  ::close(out[1]);
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  if (daemon_ <= 0 || line.empty()) {
    error_ = "dbus-daemon did not start";
    return;
  }
  // Anything but our own socket could be the machine's bus: refuse it.
  if (line.rfind("unix:path=" + socket + ",", 0) != 0) {
    error_ = "refusing to run on a bus that is not the private one: " + line;
    return;
  }
  address_ = line;
  for (const char* variable : kBusVariables) {
    const char* old = std::getenv(variable);
    saved_env_[variable] = {old != nullptr, old ? old : ""};
    ::setenv(variable, address_.c_str(), 1);
  }
  std::string why;
  client_ = platform::DBusConnection::Open(platform::BusKind::Session, address_, why);
  if (!client_) error_ = "cannot connect to the private bus: " + why;
}

PrivateBus::~PrivateBus() {
  client_.reset();
  for (auto& [name, pid] : mocks_) EndAndReap(pid);
  EndAndReap(daemon_);
  for (const auto& [variable, value] : saved_env_) {
    if (value.first)
      ::setenv(variable.c_str(), value.second.c_str(), 1);
    else
      ::unsetenv(variable.c_str());
  }
}

pid_t PrivateBus::Spawn(const std::vector<std::string>& argv, int stdout_fd) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The child sees the private bus under both names, whatever this process has.
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("DBUS_SYSTEM_BUS_ADDRESS=", 0) == 0 || entry.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0) continue;
    env_text.push_back(entry);
  }
  if (!address_.empty())
    for (const char* variable : kBusVariables) env_text.push_back(std::string(variable) + "=" + address_);
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdout_fd >= 0)
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

bool PrivateBus::WaitForName(const std::string& bus_name) {
  const auto it = mocks_.find(bus_name);
  return Eventually(
             [&] {
               if (::waitpid(it->second, nullptr, WNOHANG) == it->second) {
                 it->second = -1;
                 return true;  // it died: give up at once
               }
               return client_->NameHasOwner(bus_name);
             },
             15000) &&
         it->second > 0;
}

bool PrivateBus::StartTemplate(const std::string& name, const std::string& bus_name) {
  if (!ok()) return false;
  mocks_[bus_name] = Spawn({kPython, "-m", "dbusmock", "--template", name, "-l", LogPath(dir_.path(), bus_name)}, -1);
  return WaitForName(bus_name);
}

bool PrivateBus::StartMock(const std::string& bus_name, const std::string& path, const std::string& interface) {
  if (!ok()) return false;
  mocks_[bus_name] = Spawn(
      {kPython, "-m", "dbusmock", "--session", "-l", LogPath(dir_.path(), bus_name), bus_name, path, interface}, -1);
  return WaitForName(bus_name);
}

void PrivateBus::StopMock(const std::string& bus_name) {
  const auto it = mocks_.find(bus_name);
  if (it == mocks_.end()) return;
  EndAndReap(it->second);
  mocks_.erase(it);
  Eventually([&] { return !client_->NameHasOwner(bus_name); });
}

bool PrivateBus::AddMethod(const std::string& bus_name, const std::string& path, const std::string& interface,
                           const std::string& method, const std::string& in_signature, const std::string& out_signature,
                           const std::string& code) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = sd_bus_call_method(client_->Get(), bus_name.c_str(), path.c_str(), "org.freedesktop.DBus.Mock",
                                   "AddMethod", &error, nullptr, "sssss", interface.c_str(), method.c_str(),
                                   in_signature.c_str(), out_signature.c_str(), code.c_str());
  sd_bus_error_free(&error);
  return r >= 0;
}

std::vector<std::string> PrivateBus::Calls(const std::string& bus_name) const {
  std::vector<std::string> calls;
  const auto text = ReadFile(LogPath(dir_.path(), bus_name));
  if (!text) return calls;
  std::istringstream lines(*text);
  std::string line;
  // Each line: "<time> <method> <arguments>"; the time is dropped.
  while (std::getline(lines, line)) {
    const auto blank = line.find(' ');
    if (blank != std::string::npos) calls.push_back(line.substr(blank + 1));
  }
  return calls;
}

std::vector<std::string> PrivateBus::Inhibitors() {
  std::vector<std::string> result;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int r = sd_bus_call_method(client_->Get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                             "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply, "");
  if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "(ssssuu)");
  while (r > 0) {
    const char *what, *who, *why, *mode;
    uint32_t uid, pid;
    r = sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid);
    if (r > 0) result.push_back(std::string(what) + "|" + who + "|" + why + "|" + mode);
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return result;
}

platform::DBusConnection& PrivateBus::Client() {
  return *client_;
}

}  // namespace testing_support
