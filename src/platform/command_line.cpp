#include "platform/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Only a file that could run counts: a stray data file at a shorter prefix of a
// folder with blanks (a document named /home/u/My beside "My Programs") must not
// take the encoder's place.
bool IsRunnableFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  const size_t n = text.size();
  size_t i = 0;
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n) {
      const char c = text[i];
      if (!quoted && IsBlank(c)) break;
      if (c == '\\') {
        size_t run = 0;
        while (i < n && text[i] == '\\') {
          ++run;
          ++i;
        }
        if (i < n && text[i] == '"') {
          arg.append(run / 2, '\\');
          if (run % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even run leaves the quote to group, handled on the next turn.
        } else {
          arg.append(run, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += c;
        ++i;
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  const size_t n = command_line.size();
  size_t i = 0;
  while (i < n && IsBlank(command_line[i])) ++i;
  if (i >= n) return {};

  // A quoted program follows the argument rules, so a folder whose name holds a
  // quote (possible here, unlike on Windows) comes back whole; no prefix of it
  // is ever tried.
  if (command_line[i] == '"') return SplitArguments(command_line);

  size_t first_blank = n;
  for (size_t j = i; j < n; ++j) {
    if (IsBlank(command_line[j])) {
      first_blank = j;
      break;
    }
  }
  // Try every cut at a blank, shortest first, then the whole text.
  size_t chosen = std::string::npos;
  for (size_t j = i; j <= n; ++j) {
    if (j < n && !IsBlank(command_line[j])) continue;
    if (j > i && !IsBlank(command_line[j - 1]) && IsRunnableFile(command_line.substr(i, j - i))) {
      chosen = j;
      break;
    }
  }
  if (chosen == std::string::npos) chosen = first_blank;
  const std::string program = command_line.substr(i, chosen - i);
  const size_t rest = chosen;

  std::vector<std::string> argv{program};
  for (auto& arg : SplitArguments(command_line.substr(rest))) argv.push_back(std::move(arg));
  return argv;
}

std::string QuoteArgument(const std::string& text) {
  std::string out = "\"";
  size_t run = 0;
  for (const char c : text) {
    if (c == '\\') {
      ++run;
      continue;
    }
    if (c == '"') {
      out.append(run * 2 + 1, '\\');
    } else {
      out.append(run, '\\');
    }
    run = 0;
    out += c;
  }
  // Backslashes before the closing quote must not escape it.
  out.append(run * 2, '\\');
  out += '"';
  return out;
}

}  // namespace platform
