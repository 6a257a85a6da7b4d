// Which files the source list and vtp-convert take.
#include "sources/source_types.h"

#include <iterator>

#include "common/helpers.h"

namespace {

// The one list of what the program and vtp-convert take as sources. ".mp4" is
// taken too: the open dialog offers it, and refusing what it offers would only
// puzzle the user. ".mkv" to ".ogv" are today's containers (Matroska, WebM,
// MPEG transport streams, Ogg), which the encoder reads like the rest. Sound
// files convert like the sound of a video; to MP4 they give a sound-only file.
constexpr const char* kVideoExtensions[] = {".3gp", ".mp4", ".m4v",  ".mpeg", ".mpg",  ".avi",  ".asf",
                                            ".mov", ".wmv", ".flv",  ".swf",  ".rm",   ".rmvb", ".3g2",
                                            ".vob", ".mkv", ".webm", ".ts",   ".m2ts", ".mts",  ".ogv"};
constexpr const char* kAudioExtensions[] = {".mp3", ".wav", ".m4a", ".aac", ".flac", ".ogg", ".opus", ".wma"};

// One entry per format after the summaries.
constexpr const char* kFormatFilters =
    "|3GP Files (*.3gp)|*.3gp|AVI Files (*.avi)|*.avi|ASF Files (*.asf)|*.asf"
    "|Flash Files (*.flv,swf)|*.flv;*.swf|MOV Files (*.mov)|*.mov|WMV Files (*.wmv)|*.wmv"
    "|MP4 File (*.mp4,*.m4v)|*.mp4;*.m4v|MPEG Files (*.mpeg,*.mpg)|*.mpeg;*.mpg;"
    "|RM Files (*.rm,*.rmvb)|*.rm;*.rmvb;"
    "|3G2 Files (*.3g2)|*.3g2|DVD Video Files (*.vob)|*.vob|Matroska Files (*.mkv)|*.mkv|WebM Files (*.webm)|*.webm"
    "|MPEG-TS Files (*.ts,*.m2ts,*.mts)|*.ts;*.m2ts;*.mts|Ogg Video Files (*.ogv)|*.ogv";

template <size_t N>
std::string Patterns(const char* const (&extensions)[N]) {
  std::string patterns;
  for (const char* ext : extensions) patterns += std::string("*") + ext + ";";
  return patterns;
}

// The first entry offers everything the list takes, so all of it can be chosen at once.
std::string MakeOpenDialogFilter() {
  return "All supported files|" + Patterns(kVideoExtensions) + Patterns(kAudioExtensions) + "|Video files|" +
         Patterns(kVideoExtensions) + "|Audio files|" + Patterns(kAudioExtensions) + kFormatFilters;
}

template <size_t N>
bool InList(const std::string& ext, const char* const (&extensions)[N]) {
  for (const char* listed : extensions)
    if (ext == listed) return true;
  return false;
}

}  // namespace

namespace sources {

const std::string& OpenDialogFilter() {
  static const std::string filter = MakeOpenDialogFilter();
  return filter;
}

std::vector<std::string> AcceptedSourceExtensions() {
  std::vector<std::string> all(std::begin(kVideoExtensions), std::end(kVideoExtensions));
  all.insert(all.end(), std::begin(kAudioExtensions), std::end(kAudioExtensions));
  return all;
}

bool AcceptedSourceExtension(const std::string& path) {
  const std::string ext = LowerAscii(TFileFunc::GetFileExt(path));
  return InList(ext, kVideoExtensions) || InList(ext, kAudioExtensions);
}

}  // namespace sources
