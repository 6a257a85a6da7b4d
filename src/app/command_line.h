// The program's own command line, read before Qt starts, since Qt needs a
// display: --help and --version answer without one, an unknown option is
// refused, and Qt's own options (-platform offscreen, -style fusion, ...) are
// left for Qt. What remains are the files to add to the list.
#pragma once

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

namespace app {

struct CommandLine {
  // Set when the command line is answered without running the program: the
  // exit status (0 for --help and --version, 2 for bad usage).
  int exit_code = -1;
  // Printed before exiting: to standard output with status 0, else to standard error.
  std::string text;
  std::vector<std::string> files;
};

CommandLine ReadCommandLine(int argc, char** argv, const std::string& version);

// The printing and exit status of an answered command line.
int Answer(const CommandLine& command_line);

// The application object, or, when no display can be opened, the line
// "cannot open the display: ..." on standard error and exit status 1 (Qt
// itself would abort with a text about reinstalling the program).
std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv);

}  // namespace app
