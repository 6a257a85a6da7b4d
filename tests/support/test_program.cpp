#include "test_program.h"

#include <sys/stat.h>

namespace testing_support {

TestProgram::TestProgram() : TestProgram(ui::Timing{}) {}

TestProgram::TestProgram(ui::Timing timing) : TestProgram(timing, nullptr) {}

TestProgram::TestProgram(ui::Timing timing, platform::Desktop* desktop) {
  ::mkdir((dir.path() + "Config").c_str(), 0755);
  ProgramServices services;
  services.app_dir = dir.path();
  services.dialogs = &dialogs;
  services.loop = &loop;
  services.launcher = &launcher;
  services.power = &power;
  services.preview_graph = &graph;
  services.timing = timing;
  services.processes = &processes;
  services.desktop = desktop;
  launcher.journal = &journal;
  power.journal = &journal;
  services.quit = [this] {
    ++quits;
    journal.push_back("quit");
  };
  program = std::make_unique<Program>(std::move(services));
}

std::vector<std::string> ReadLogMessages(const std::string& app_dir) {
  std::vector<std::string> messages;
  auto content = ReadFile(app_dir + "log.txt");
  if (!content) return messages;
  size_t start = 0;
  for (size_t pos = content->find("\r\n"); pos != std::string::npos; pos = content->find("\r\n", start)) {
    const std::string line = content->substr(start, pos - start);
    const auto bar = line.find('|');
    messages.push_back(bar == std::string::npos ? line : line.substr(bar + 1));
    start = pos + 2;
  }
  return messages;
}

}  // namespace testing_support
