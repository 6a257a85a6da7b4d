// The one error type of the encoders: what() is the reason printed after "evc: ".
#pragma once

#include <string>

#include "platform/errors.h"

extern "C" {
#include <libavutil/error.h>
}

namespace encoder {

class EncoderError : public AppError {
 public:
  using AppError::AppError;
};

// A name as it appears in a reason: in double quotes.
inline std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// The library's text for an error code ("No such file or directory").
inline std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace encoder
