// The last steps of the command-line builder, apart so that the forms the
// catalogue never produces can be checked too.
#pragma once

#include <string>

#include "platform/errors.h"

struct TConvertParameterStruct;

// A row whose trim cell is no time text: its job is refused rather than run
// over a range the encoder would misread.
class TrimTimeError : public AppError {
 public:
  TrimTimeError(const std::string& source, const std::string& which, const std::string& cell)
      : AppError("The " + which + " time \"" + cell + "\" of \"" + source + "\" is not a time of the form hh:mm:ss."),
        reason_("the " + which + " time \"" + cell + "\" is not a time of the form hh:mm:ss") {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

enum class CommandForm {
  V,        // video output
  T,        // a "-target" preset
  N,        // narrow-band audio into .3gp, .3g2 or .amr
  A,        // audio only
  None,     // "-none": no command, and a log line
  Unknown,  // any other codec text: no command
};

// Classifies by the codec text, blanks trimmed: its first seven characters, then
// its first five.
CommandForm ClassifyCommand(const std::string& codec_args, const std::string& output_ext);

// The command line of a form V, T, N or A job, the encoder, input and output paths
// quoted; empty for the other forms.
std::string ComposeCommand(CommandForm form, const TConvertParameterStruct& job, const std::string& output_path);

// The length in whole seconds, as text, of a row's range for the job of `source`.
// An empty start converts the whole file: nothing is checked, and the length is
// the end's (0 when the end is no time). Otherwise both cells must be time texts,
// or TrimTimeError refuses the job.
std::string RangeSecondsText(const std::string& source, const std::string& start, const std::string& end);
