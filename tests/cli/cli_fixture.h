// Whole runs of the built vtp-convert through the shell, in folders of their own.
#pragma once

#include <gmock/gmock.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fakes.h"
#include "test_media.h"

namespace cli_test {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using testing_support::ReadFile;
using testing_support::TempDir;

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; its standard output and exit code.
inline RunResult RunShell(const std::string& command) {
  RunResult result;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) result.out.append(buffer.data(), n);
  const int status = pclose(pipe.release());
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Runs vtp-convert through the shell: `before` goes in front of the program
// (variables, a wrapper), `after` behind the arguments (redirections).
inline RunResult RunCli(const std::vector<std::string>& args, const TempDir& scratch, const std::string& folder = "/",
                        const std::string& before = "", const std::string& after = "") {
  std::string command = "cd " + Quote(folder) + " && " + before + " " + Quote(VTPC_CLI);
  for (const auto& a : args) command += " " + Quote(a);
  command += " 2>" + Quote(scratch.file("stderr.txt")) + " " + after;
  RunResult result = RunShell(command);
  result.err = ReadFile(scratch.file("stderr.txt")).value_or("");
  return result;
}

inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class CliRun : public ::testing::Test {
 protected:
  std::vector<std::string> Base() { return {"--config", config.path(), "-o", out.path()}; }
  std::vector<std::string> With(std::vector<std::string> extra) {
    auto args = Base();
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  TempDir sources, out, config, scratch;
};

// Standard output of a shell command.
inline std::string Shell(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  std::string out;
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) out.append(buffer.data(), n);
  return out;
}

inline std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    found.insert((*it)[1]);
  return found;
}

// The JSON record of one source in a run's standard output; empty when none names it.
inline std::string JsonLineOf(const std::string& out, const std::string& source) {
  std::istringstream lines(out);
  std::string line, found;
  while (std::getline(lines, line))
    if (line.find(source) != std::string::npos) found = line;
  return found;
}

}  // namespace cli_test
