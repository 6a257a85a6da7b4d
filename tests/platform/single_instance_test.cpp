// A second start hands its files to the running program over a private session
// bus, and runs on its own where there is no bus or no running program.
#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "private_bus.h"

using testing_support::PrivateBus;

namespace {

// Hands the files over from another thread while the server side is served here,
// as the running program's event loop would.
bool HandOver(platform::InstanceServer& server, const std::vector<std::string>& paths, std::string& why) {
  std::atomic<bool> done{false};
  bool handed = false;
  std::thread second_start([&] {
    handed = platform::HandToRunningInstance(paths, why);
    done = true;
  });
  while (!done) {
    pollfd fd{server.Fd(), POLLIN, 0};
    ::poll(&fd, 1, 20);
    server.Process();
  }
  second_start.join();
  return handed;
}

}  // namespace

TEST(SingleInstance, ALaterStartHandsItsFilesMadeAbsoluteToTheProgramThatHoldsTheName) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok()) << bus.error();
  std::string why;
  // Nobody runs yet: this start goes on by itself.
  EXPECT_FALSE(platform::HandToRunningInstance({"a.avi"}, why));
  EXPECT_EQ(why, "no running program");

  std::vector<std::vector<std::string>> received;
  auto server =
      platform::InstanceServer::Claim([&](std::vector<std::string> paths) { received.push_back(paths); }, why);
  ASSERT_TRUE(server) << why;
  EXPECT_TRUE(bus.Client().NameHasOwner(platform::kInstanceBusName));
  // A second program cannot take the name from it.
  std::string second_why;
  EXPECT_FALSE(platform::InstanceServer::Claim([](std::vector<std::string>) {}, second_why));
  EXPECT_EQ(second_why, "another program holds the name");

  char cwd[4096];
  ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
  ASSERT_TRUE(HandOver(*server, {"clip one.avi", "/media/two.mp3", "../up/three.wav"}, why)) << why;
  ASSERT_TRUE(HandOver(*server, {}, why)) << why;  // a start without files only brings the window up
  const std::string here = cwd;
  const std::string parent = here.substr(0, here.rfind('/'));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], (std::vector<std::string>{here + "/clip one.avi", "/media/two.mp3",
                                                   (parent.empty() ? "" : parent) + "/up/three.wav"}));
  EXPECT_TRUE(received[1].empty());

  // Once the program has gone, the name is free for the next one.
  server.reset();
  EXPECT_TRUE(testing_support::Eventually([&] { return !bus.Client().NameHasOwner(platform::kInstanceBusName); }));
  EXPECT_FALSE(platform::HandToRunningInstance({"a.avi"}, why));
}

TEST(SingleInstance, WithoutASessionBusEveryStartRunsOnItsOwn) {
  const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string before = saved ? saved : "";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vtpc-no-bus", 1);
  std::string why;
  EXPECT_FALSE(platform::HandToRunningInstance({"a.avi"}, why));
  EXPECT_NE(why.find("cannot reach the session bus"), std::string::npos) << why;
  EXPECT_FALSE(platform::InstanceServer::Claim([](std::vector<std::string>) {}, why));
  if (saved)
    ::setenv("DBUS_SESSION_BUS_ADDRESS", before.c_str(), 1);
  else
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}
