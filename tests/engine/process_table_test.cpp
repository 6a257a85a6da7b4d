// Real processes, looked up and ended by names no other process bears: every
// process these tests end is one they started.
#include "engine/process_table.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "common/helpers.h"
#include "engine_test_support.h"
#include "platform/child_process.h"
#include "platform/process_table.h"
#include "ui/event_loop.h"

using testing_support::Exists;

namespace {

class NamedProcesses : public ::testing::Test {
 protected:
  NamedProcesses() {
    ::mkdir((dir.path() + "Config").c_str(), 0755);
    encoder = engine_tests::UniqueProcessName("enc");
    ProgramServices services;
    services.app_dir = dir.path();
    services.dialogs = &dialogs;
    services.loop = &loop;
    services.processes = &table;
    services.encoder_name = encoder;
    services.rm_encoder_name = "r" + encoder;
    program = std::make_unique<Program>(std::move(services));
  }

  ~NamedProcesses() override {
    // Whatever a failed test left running is ours: end it and collect it.
    for (auto& child : children) {
      if (!child->ExitStatus()) ::kill(child->Pid(), SIGKILL);
      child->WaitForExit(5000);
    }
  }

  // Starts the child helper under a name of the test's own; `ours` marks it as
  // an encoder this program's runner started.
  platform::PipedChild& Start(const std::string& name, std::vector<std::string> args, bool ours = false) {
    const std::string path = dir.path() + name;
    if (!Exists(path)) engine_tests::InstallChildHelper(dir.path(), name);
    args.insert(args.begin(), path);
    auto child = platform::PipedChild::Start(args, dir.path());
    EXPECT_TRUE(child) << name;
    if (child && ours) lib().EncoderChildren.Add(child->Pid());
    children.push_back(std::move(child));
    return *children.back();
  }

  std::vector<std::string> Log() const {
    std::vector<std::string> messages;
    auto content = testing_support::ReadFile(dir.path() + "log.txt");
    if (!content) return messages;
    size_t start = 0;
    for (size_t pos = content->find("\r\n"); pos != std::string::npos; pos = content->find("\r\n", start)) {
      const std::string line = content->substr(start, pos - start);
      messages.push_back(line.substr(line.find('|') + 1));
      start = pos + 2;
    }
    return messages;
  }

  TSysFunc& sys() { return program->SysFunc(); }
  TCommonLib& lib() { return program->CommonLib(); }

  testing_support::TempDir dir;
  testing_support::FakeDialogs dialogs;
  ui::SteadyClock clock;
  ui::BasicEventLoop loop{clock};
  platform::ProcProcessTable table;
  std::string encoder;
  std::unique_ptr<Program> program;
  std::vector<std::unique_ptr<platform::PipedChild>> children;
};

}  // namespace

TEST_F(NamedProcesses, LookupMatchesWholeNamesIgnoringAsciiCase) {
  const std::string name = engine_tests::UniqueProcessName("cas");
  auto& exact = Start(name, {"sleep", "20000"});
  Start("r" + name, {"sleep", "20000"});
  Start(name + "x", {"sleep", "20000"});

  EXPECT_EQ(sys().ProcessIdByName(name), exact.Pid());
  EXPECT_EQ(sys().ProcessIdByName(UpperAscii(name)), exact.Pid());
  EXPECT_EQ(lib().GetProcessIdByName(name), exact.Pid());
  EXPECT_EQ(sys().ProcessIdByName(name.substr(0, name.size() - 1)), 0);
  EXPECT_TRUE(Log().empty());

  // Two of one name: the last in the table's order.
  auto& second = Start(name, {"sleep", "20000"});
  EXPECT_EQ(sys().ProcessIdByName(name), std::max(exact.Pid(), second.Pid()));

  EXPECT_EQ(sys().ProcessIdByName(name + "zz"), 0);
  EXPECT_TRUE(Log().empty()) << "the silent lookup logs nothing";
  EXPECT_EQ(lib().GetProcessIdByName(name + "zz"), 0);
  EXPECT_EQ(Log(), std::vector<std::string>{"Get Process id error."});
}

TEST_F(NamedProcesses, KillByNameEndsEveryProcessOfThatNameThatWeStarted) {
  const std::string name = engine_tests::UniqueProcessName("kil");
  auto& a = Start(name, {"sleep", "20000"}, true);
  auto& b = Start(name, {"sleep", "20000"}, true);
  auto& bystander = Start(name + "b", {"sleep", "20000"}, true);
  auto& foreign = Start(name, {"sleep", "20000"});

  EXPECT_TRUE(lib().KillProcessByName(name));
  ASSERT_TRUE(a.WaitForExit(5000));
  ASSERT_TRUE(b.WaitForExit(5000));
  EXPECT_EQ(*a.ExitStatus(), 128 + SIGTERM);
  EXPECT_EQ(*b.ExitStatus(), 128 + SIGTERM);
  EXPECT_FALSE(bystander.ExitStatus().has_value());
  EXPECT_FALSE(foreign.WaitForExit(300)) << "a process of that name we did not start";
  EXPECT_TRUE(Log().empty());

  // Once ours have ended, nothing of that name is ours to end.
  lib().EncoderChildren.Collect(a.Pid(), [] { return std::optional<int>(0); });
  lib().EncoderChildren.Collect(b.Pid(), [] { return std::optional<int>(0); });
  EXPECT_FALSE(lib().KillProcessByName(name));
  EXPECT_EQ(Log(), std::vector<std::string>{"Terminate process error."});
  EXPECT_FALSE(foreign.ExitStatus().has_value());
}

TEST_F(NamedProcesses, ZombiesDoNotCount) {
  const std::string name = engine_tests::UniqueProcessName("zom");
  auto& child = Start(name, {"silent"});
  // Leave it uncollected and wait for the kernel to mark it a zombie.
  const std::string stat_path = "/proc/" + std::to_string(child.Pid()) + "/stat";
  bool zombie = false;
  for (int i = 0; i < 500 && !zombie; ++i) {
    std::ifstream in(stat_path);
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    zombie = close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
    if (!zombie) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(zombie);
  EXPECT_EQ(sys().ProcessIdByName(name), 0);
  platform::ProcessEntry entry;
  EXPECT_FALSE(platform::ReadProcessEntry(child.Pid(), entry));
}

TEST_F(NamedProcesses, LongNamesAreReadWholeFromTheExecutable) {
  const std::string name = "vtlongname" + engine_tests::UniqueProcessName("lng");
  ASSERT_GT(name.size(), 15u);
  auto& child = Start(name, {"sleep", "20000"});
  EXPECT_EQ(sys().ProcessIdByName(name), child.Pid());
  EXPECT_EQ(sys().ProcessIdByName(name.substr(0, 15)), 0);
}

TEST_F(NamedProcesses, StopEncoderEndsEveryEncoderWeStartedAndNoOther) {
  auto& rm = Start("r" + encoder, {"sleep", "20000"}, true);
  auto& plain = Start(encoder, {"sleep", "20000"}, true);
  // Another instance's encoder of the very same name.
  auto& foreign = Start(encoder, {"sleep", "20000"});
  lib().StopEncoder(dir.path() + "r" + encoder);
  EXPECT_TRUE(rm.ExitStatus().has_value() || rm.WaitForExit(1000));
  EXPECT_TRUE(plain.ExitStatus().has_value() || plain.WaitForExit(1000));
  EXPECT_FALSE(foreign.ExitStatus().has_value());
  EXPECT_EQ(sys().ProcessIdByName("r" + encoder), 0);
  EXPECT_EQ(sys().ProcessIdByName(encoder), foreign.Pid());
  EXPECT_TRUE(Log().empty());
}

TEST_F(NamedProcesses, ProcessIgnoringTerminateIsKilledAfterTwoSeconds) {
  const std::string marker = dir.path() + "got-term";
  auto& stubborn = Start(encoder, {"ignore-term", marker}, true);
  // Give it time to install its handler.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  lib().StopEncoder(encoder);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(stubborn.WaitForExit(1000));
  EXPECT_TRUE(Exists(marker)) << "asked politely first";
  EXPECT_EQ(*stubborn.ExitStatus(), 128 + SIGKILL);
  EXPECT_GE(ms, 1800) << "killed only after two seconds of attempts";
  const auto log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Terminate process error."), 0);
}
