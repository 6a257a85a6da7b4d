// One program per desktop session: a second start hands its files to the
// running one over the session bus and ends, instead of opening a second window
// that would share and overwrite the same settings. Without a session bus every
// start runs on its own, as it always did.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class DBusConnection;

// The desktop entry's application ID.
inline constexpr const char* kInstanceBusName = "example.quorvansoft.VideoToPlimConverter";
inline constexpr const char* kInstanceObjectPath = "/example/quorvansoft/VideoToPlimConverter";
inline constexpr const char* kInstanceInterface = "example.quorvansoft.VideoToPlimConverter";

// Hands the files (made absolute against this process's folder) to the running
// program. True when it took them, and this start should end; false with the
// reason when there is no session bus, no running program or the call failed.
bool HandToRunningInstance(const std::vector<std::string>& paths, std::string& why);

// The running program's side: owns the name and takes the files of later starts.
class InstanceServer {
 public:
  using FilesHandler = std::function<void(std::vector<std::string> paths)>;

  // Claims the name on the session bus. Nothing, with the reason, when the bus
  // cannot be reached or another program holds the name already.
  static std::unique_ptr<InstanceServer> Claim(FilesHandler on_files, std::string& why);
  ~InstanceServer();
  InstanceServer(const InstanceServer&) = delete;
  InstanceServer& operator=(const InstanceServer&) = delete;

  // The connection's descriptor, to watch for input.
  int Fd() const;
  // Handles everything pending on the connection; on_files runs for each call.
  void Process();

 private:
  InstanceServer(std::unique_ptr<DBusConnection> bus, FilesHandler on_files);
  friend struct InstanceCalls;

  std::unique_ptr<DBusConnection> bus_;
  FilesHandler on_files_;
  void* slot_ = nullptr;
};

}  // namespace platform
