// A message bus of the test's own: a dbus-daemon started in a temporary folder
// with no service activation, and python3-dbusmock services on it. Nothing here
// can reach the machine's own system or session bus: the fixture refuses to go
// on with any other address, and it points both bus variables of this process
// at the private bus while it lives.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fakes.h"
#include "platform/dbus_client.h"

namespace testing_support {

class PrivateBus {
 public:
  PrivateBus();
  // Ends the mocks and the daemon (only the processes it started).
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  // The daemon runs and its address is the private one; otherwise why not.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& address() const { return address_; }

  // Starts a dbusmock template ("logind", "notification_daemon") that claims
  // the name; true once the name is on the bus.
  bool StartTemplate(const std::string& name, const std::string& bus_name);
  // Starts a bare mock object; true once the name is on the bus.
  bool StartMock(const std::string& bus_name, const std::string& path, const std::string& interface);
  // Ends one mock: its service goes from the bus.
  void StopMock(const std::string& bus_name);
  // Adds (or replaces) a method of a mock object; `code` is Python run by the mock.
  bool AddMethod(const std::string& bus_name, const std::string& path, const std::string& interface,
                 const std::string& method, const std::string& in_signature, const std::string& out_signature,
                 const std::string& code);

  // The calls a mock has received, one per line: the method name and its
  // arguments as the mock logs them ("PowerOff True").
  std::vector<std::string> Calls(const std::string& bus_name) const;
  // The inhibitors the logind mock holds now, each "what|who|why|mode".
  std::vector<std::string> Inhibitors();

  // A client connection of the test's own to the private bus.
  platform::DBusConnection& Client();

 private:
  pid_t Spawn(const std::vector<std::string>& argv, int stdout_fd);
  bool WaitForName(const std::string& bus_name);

  TempDir dir_;
  std::string error_;
  std::string address_;
  pid_t daemon_ = -1;
  std::map<std::string, pid_t> mocks_;
  std::unique_ptr<platform::DBusConnection> client_;
  // The bus variables as they were, put back at the end.
  std::map<std::string, std::pair<bool, std::string>> saved_env_;
};

// Looks at the condition every few milliseconds until it holds or the time is up.
bool Eventually(const std::function<bool()>& condition, int timeout_ms = 5000);

}  // namespace testing_support
