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
  // A range that holds nothing: the encoder would run from the start to the
  // real end and make a file of one frame.
  static TrimTimeError EmptyRange(const std::string& source, const std::string& reason) {
    return TrimTimeError(source, reason);
  }
  const std::string& reason() const { return reason_; }

 private:
  TrimTimeError(const std::string& source, const std::string& reason)
      : AppError("\"" + source + "\": " + reason + "."), reason_(reason) {}

 private:
  std::string reason_;
};

// Why a row's range holds nothing, "the range is empty (start 00:00:10, end
// 00:00:01)"; empty when the range holds something or its cells are no times.
std::string EmptyRangeReason(const std::string& start, const std::string& end);

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
// or TrimTimeError refuses the job, as it refuses a range that is empty.
std::string RangeSecondsText(const std::string& source, const std::string& start, const std::string& end);
