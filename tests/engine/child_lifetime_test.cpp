// How long an encoder started by the program lives: a stop sent the moment it
// starts is heard, and it never outlives the program that started it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "engine/runner.h"
#include "fakes.h"
#include "media_probe.h"
#include "platform/child_process.h"

namespace {

std::string Encoder() {
  return std::string(VTPC_PROGRAM_DIR) + "evc";
}

// SIGTERM at once, while the encoder is still being loaded: before its handlers
// are in place the default action would end it without a word.
TEST(EncoderLifetime, AStopSentTheMomentItStartsIsHeard) {
  testing_support::TempDir dir;
  ASSERT_TRUE(engine_tests::MakeClip(dir.file("clip.avi"), 2));
  for (int attempt = 0; attempt < 5; ++attempt) {
    SCOPED_TRACE(attempt);
    auto child = platform::PipedChild::Start(
        {Encoder(), "-y", "-i", dir.file("clip.avi"), "-vcodec", "mpeg4", "-acodec", "aac", dir.file("out.mp4")},
        dir.path(), {}, true);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->Signal(SIGTERM));
    ASSERT_TRUE(child->WaitForExit(10000));
    std::string text;
    char buffer[4096];
    while (child->BytesWaiting() > 0) text.append(buffer, child->Read(buffer, sizeof buffer));
    EXPECT_EQ(*child->ExitStatus(), 128 + SIGTERM);
    EXPECT_NE(text.find("evc: stopped on request"), std::string::npos) << text;
  }
}

// A program killed outright (kill -9) cannot stop its children: they end on
// their own. The helper stands for the program: it starts a child the way
// the program starts its encoders and is then killed.
TEST(EncoderLifetime, AChildEndsWhenTheProgramThatStartedItIsKilled) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  struct NoSubreaper {
    ~NoSubreaper() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  } restore;
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t program = fork();
  ASSERT_GE(program, 0);
  if (program == 0) {
    close(report[0]);
    auto child = platform::PipedChild::Start({"/bin/sleep", "60"}, "/");
    const pid_t pid = child ? child->Pid() : -1;
    if (write(report[1], &pid, sizeof pid) != sizeof pid) _exit(1);
    for (;;) pause();
  }
  close(report[1]);
  pid_t child = -1;
  ASSERT_EQ(read(report[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  close(report[0]);
  ASSERT_GT(child, 0);

  kill(program, SIGKILL);
  ASSERT_TRUE(testing_support::WaitForProcess(program, 5000));
  const auto status = testing_support::WaitForProcess(child, 5000);
  if (!status) {
    kill(child, SIGKILL);
    testing_support::WaitForProcess(child, 5000);
  }
  ASSERT_TRUE(status) << "the child outlived the program";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM) << *status;
}

}  // namespace
