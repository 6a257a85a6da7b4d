#include "encoder/avs_script.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "encoder/encoder_error.h"
#include "encoder/options.h"

namespace encoder {
namespace {

constexpr std::string_view kOpening = "directshowsource(";
constexpr std::string_view kRateMark = "\", fps=";

std::string Lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

[[noreturn]] void NotAScript() {
  throw EncoderError("the script is not of the form DirectShowSource(\"FILE\", fps=RATE, convertfps=true)");
}

}  // namespace

bool IsAvsScript(const std::string& path) {
  return path.size() >= 4 && Lower(std::string_view(path).substr(path.size() - 4)) == ".avs";
}

AvsScript ParseAvsScript(const std::string& text, const std::string& script_folder) {
  std::string_view line(text);
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // a UTF-8 byte-order mark
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);

  if (Lower(line.substr(0, kOpening.size())) != kOpening) NotAScript();
  line.remove_prefix(kOpening.size());
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  if (line.empty() || line.front() != '"') NotAScript();
  line.remove_prefix(1);

  AvsScript script;
  const size_t mark = line.rfind(kRateMark);
  if (mark != std::string_view::npos) {
    script.source_path = std::string(line.substr(0, mark));
    std::string_view rest = line.substr(mark + kRateMark.size());
    const size_t end = rest.find_first_of(",)");
    if (end == std::string_view::npos) NotAScript();
    std::string_view rate = rest.substr(0, end);
    while (!rate.empty() && IsBlank(rate.back())) rate.remove_suffix(1);
    try {
      script.frame_rate = ParseFrameRate(std::string(rate));
    } catch (const EncoderError&) {
      throw EncoderError("the script gives an invalid frame rate \"" + std::string(rate) + "\"");
    }
  } else {
    // A script without a rate: the source keeps its own.
    const size_t quote = line.rfind('"');
    if (quote == std::string_view::npos) NotAScript();
    script.source_path = std::string(line.substr(0, quote));
  }
  if (script.source_path.empty()) NotAScript();
  if (script.source_path.front() != '/' && !script_folder.empty()) {
    std::string folder = script_folder;
    if (folder.back() != '/') folder += '/';
    script.source_path = folder + script.source_path;
  }
  return script;
}

AvsScript LoadAvsScript(const std::string& script_path) {
  std::ifstream file(script_path, std::ios::binary);
  if (!file) throw EncoderError("cannot read the script \"" + script_path + "\": " + std::strerror(errno));
  std::ostringstream text;
  text << file.rdbuf();
  const size_t slash = script_path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : script_path.substr(0, slash + 1);
  return ParseAvsScript(text.str(), folder);
}

}  // namespace encoder
