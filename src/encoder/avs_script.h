// The one-line script the converter writes for RealMedia sources:
//   DirectShowSource("PATH", fps=F, convertfps=true)
// It names the real source and the constant frame rate to deliver its video at.
#pragma once

#include <optional>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

namespace encoder {

struct AvsScript {
  std::string source_path;
  std::optional<AVRational> frame_rate;  // already fit for an encoder time base
};

// True when the input path names such a script (".avs", any letter case).
bool IsAvsScript(const std::string& path);

// Reads the script text. PATH is everything between `DirectShowSource("` and the
// last `", fps=`, so quotes and commas inside a file name do no harm. A relative
// PATH is taken from the script's folder. Throws EncoderError when the text is
// not such a script.
AvsScript ParseAvsScript(const std::string& text, const std::string& script_folder);

// Reads and parses the script file.
AvsScript LoadAvsScript(const std::string& script_path);

}  // namespace encoder
