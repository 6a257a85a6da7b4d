// The encoder command line is one text, composed the way the Windows program did
// it. These turn it into an argument vector with the Windows quoting rules, and
// quote a path so that the splitting gives back exactly that path.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits the arguments after the program with the Windows rules: blanks and tabs
// separate; double quotes group; 2n backslashes before a quote give n backslashes
// and the quote groups; 2n+1 give n backslashes and a literal quote; backslashes
// elsewhere are literal; two quotes inside a group give one literal quote.
std::vector<std::string> SplitArguments(const std::string& text);

// The whole command line as the platform starts it: the program, then the
// arguments. A quoted program is read like any argument (escaped quotes stay in
// it) and is taken whole. An unquoted program whose
// text holds blanks resolves to the shortest prefix, cut at a blank, that names an
// existing file that is not a folder; without one, the program ends at the first blank.
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// Wraps the text in double quotes, escaping quotes and the backslashes that
// precede a quote or the closing quote. A text without a quote and without a
// trailing backslash comes out as quote + text + quote, unchanged inside.
std::string QuoteArgument(const std::string& text);

}  // namespace platform
