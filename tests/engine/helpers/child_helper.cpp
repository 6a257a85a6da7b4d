// A small child program for the runner and process-table tests. Tests copy it
// under names of their own, so looking processes up by name can only ever find
// what the test itself started.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

const char* g_marker = nullptr;

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void SleepMs(long ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void TouchMarker(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) close(fd);
}

void OnTerm(int) {
  if (g_marker) TouchMarker(g_marker);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "silent";
  if (mode == "silent") return 0;
  if (mode == "print" && argc > 2) {
    WriteAll(1, argv[2]);
    return 0;
  }
  if (mode == "bytes" && argc > 2) {
    // One write, so the whole block lands in the pipe at once.
    const long n = std::atol(argv[2]);
    std::string block;
    for (long i = 0; i < n; ++i) block += static_cast<char>('a' + i % 26);
    WriteAll(1, block);
    SleepMs(50);
    return 0;
  }
  if (mode == "mixed") {
    WriteAll(1, "OUT-TEXT ");
    WriteAll(2, "ERR-TEXT");
    return 0;
  }
  if (mode == "cwd") {
    char buf[4096];
    if (getcwd(buf, sizeof buf)) WriteAll(1, buf);
    return 0;
  }
  if (mode == "args") {
    std::string out;
    for (int i = 2; i < argc; ++i) out += std::string("[") + argv[i] + "]\n";
    WriteAll(1, out);
    return 0;
  }
  if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
  if (mode == "selfkill") {
    raise(SIGKILL);
    return 0;
  }
  if (mode == "sleep" && argc > 2) {
    SleepMs(std::atol(argv[2]));
    if (argc > 3) TouchMarker(argv[3]);
    return 0;
  }
  if (mode == "sequence") {
    WriteAll(1, "one\n");
    SleepMs(100);
    WriteAll(1, "two\n");
    SleepMs(100);
    WriteAll(1, "three\n");
    return 0;
  }
  if (mode == "stream" && argc > 2) {
    // A status line every 20 ms for the given time.
    const long ms = std::atol(argv[2]);
    for (long t = 0; t < ms; t += 20) {
      WriteAll(2, "size=  1kB time=" + std::to_string(t / 1000) + ".00 bitrate=  1.0kbits/s\r");
      SleepMs(20);
    }
    return 0;
  }
  if (mode == "ignore-term" && argc > 2) {
    // Notes every SIGTERM in the marker file and goes on; only SIGKILL ends it.
    g_marker = argv[2];
    struct sigaction sa {};
    sa.sa_handler = OnTerm;
    sigaction(SIGTERM, &sa, nullptr);
    for (int i = 0; i < 600; ++i) SleepMs(50);
    return 0;
  }
  return 2;
}
