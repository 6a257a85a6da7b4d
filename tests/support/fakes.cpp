#include "fakes.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

void FakeDialogs::Modal() {
  if (while_modal) while_modal();
}

void FakeDialogs::Message(ui::MessageKind kind, const std::string& caption, const std::string& text) {
  messages.push_back({kind, caption, text});
  Modal();
}

bool FakeDialogs::AskYesNo(const std::string& caption, const std::string& text) {
  questions.push_back(caption + "|" + text);
  Modal();
  if (yes_no_answers.empty()) return false;
  bool answer = yes_no_answers.front();
  yes_no_answers.pop_front();
  return answer;
}

std::optional<std::string> FakeDialogs::InputText(const std::string& caption, const std::string& prompt,
                                                  const std::string& initial) {
  prompts.push_back(caption + "|" + prompt + "|" + initial);
  Modal();
  if (input_answers.empty()) return std::nullopt;
  auto answer = input_answers.front();
  input_answers.pop_front();
  return answer;
}

std::optional<std::string> FakeDialogs::BrowseForFolder(const std::string& title, const std::string& initial_folder) {
  folder_titles.push_back(title);
  folder_starts.push_back(initial_folder);
  Modal();
  if (folder_answers.empty()) return std::nullopt;
  auto answer = folder_answers.front();
  folder_answers.pop_front();
  return answer;
}

std::vector<std::string> FakeDialogs::OpenFiles(const ui::OpenFilesRequest& request) {
  open_requests.push_back(request);
  Modal();
  if (open_answers.empty()) return {};
  auto answer = open_answers.front();
  open_answers.pop_front();
  return answer;
}

void FakeDialogs::ShowCodecError(const std::string& path) {
  ++codec_errors;
  codec_error_paths.push_back(path);
  Modal();
}

void FakeEventLoop::At(int64_t moment_ms, std::function<void()> action) {
  scheduled_.push_back({moment_ms, -1, std::move(action)});
}

void FakeEventLoop::OnRound(int rounds_from_now, std::function<void()> action) {
  scheduled_.push_back({-1, rounds + rounds_from_now, std::move(action)});
}

void FakeEventLoop::BeforeEvents() {
  ++rounds;
  // Take the due actions out first: an action may wait and so re-enter here.
  std::vector<std::function<void()>> due;
  for (auto it = scheduled_.begin(); it != scheduled_.end();) {
    const bool time_due = it->moment_ms >= 0 && clock.now_ms >= it->moment_ms;
    const bool round_due = it->round >= 0 && rounds >= it->round;
    if (time_due || round_due) {
      due.push_back(std::move(it->action));
      it = scheduled_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& action : due) action();
}

pid_t FakeProcessTable::Add(const std::string& name, bool ignores_terminate, bool protected_process) {
  const pid_t pid = next_pid_++;
  processes.push_back({pid, name, ignores_terminate, protected_process});
  return pid;
}

void FakeProcessTable::Remove(pid_t pid) {
  for (auto it = processes.begin(); it != processes.end(); ++it) {
    if (it->pid == pid) {
      processes.erase(it);
      return;
    }
  }
}

bool FakeProcessTable::Alive(pid_t pid) const {
  for (const auto& p : processes)
    if (p.pid == pid) return true;
  return false;
}

size_t FakeProcessTable::Count(const std::string& name) const {
  size_t n = 0;
  for (const auto& p : processes)
    if (p.name == name) ++n;
  return n;
}

std::vector<platform::ProcessEntry> FakeProcessTable::Snapshot() {
  ++snapshots;
  if (on_snapshot) on_snapshot();
  std::vector<platform::ProcessEntry> result;
  for (const auto& p : processes) result.push_back({p.pid, p.name});
  return result;
}

bool FakeProcessTable::Terminate(pid_t pid) {
  signals.push_back("TERM " + std::to_string(pid));
  for (const auto& p : processes) {
    if (p.pid != pid) continue;
    if (p.protected_process) return false;
    const bool ends = !p.ignores_terminate;
    if (ends) Remove(pid);
    return true;
  }
  return true;
}

bool FakeProcessTable::Kill(pid_t pid) {
  signals.push_back("KILL " + std::to_string(pid));
  for (const auto& p : processes) {
    if (p.pid != pid) continue;
    if (p.protected_process) return false;
    break;
  }
  Remove(pid);
  return true;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vtpc-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(buf.data()) + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only folders removable again.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
}

std::optional<int> WaitForProcess(int pid, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    usleep(10000);
  }
  return std::nullopt;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace testing_support

namespace testing_support {

char ProcessState(pid_t pid) {
  const auto stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return '?';
  // The name in parentheses may hold blanks; the state follows the last ")".
  const auto paren = stat->rfind(')');
  return paren == std::string::npos || paren + 2 >= stat->size() ? '?' : (*stat)[paren + 2];
}

}  // namespace testing_support
