#include "encoder/options.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

#include "encoder/encoder_error.h"

extern "C" {
#include <libavutil/parseutils.h>
}

namespace encoder {
namespace {

// The largest time-base denominator an MPEG-4 part 2 stream can carry.
constexpr int kMaxRateDenominator = 65535;

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

[[noreturn]] void BadValue(const std::string& option, const std::string& value) {
  throw EncoderError("invalid value " + Quoted(value) + " for " + option);
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A plain decimal number ("768", "14.985") as an exact fraction, without any
// floating-point rounding; nothing when the text is not such a number or does
// not fit.
std::optional<std::pair<int64_t, int64_t>> ParseDecimal(std::string_view text) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if (!whole.empty() && !AllDigits(whole)) return std::nullopt;
  if (dot != std::string_view::npos && !fraction.empty() && !AllDigits(fraction)) return std::nullopt;
  if (whole.size() + fraction.size() > 18) return std::nullopt;
  int64_t numerator = 0;
  int64_t denominator = 1;
  for (char c : whole) numerator = numerator * 10 + (c - '0');
  for (char c : fraction) {
    numerator = numerator * 10 + (c - '0');
    denominator *= 10;
  }
  const int64_t divisor = std::gcd(numerator, denominator);
  if (divisor > 1) {
    numerator /= divisor;
    denominator /= divisor;
  }
  return std::make_pair(numerator, denominator);
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

AVRational FitRateValue(double value) {
  const long long family = std::llround(value * 1.001);
  if (family > 0) {
    const double ntsc = family * 1000.0 / 1001.0;
    if (std::fabs(value - ntsc) <= value * 1e-4) {
      AVRational rate;
      av_reduce(&rate.num, &rate.den, family * 1000, 1001, std::numeric_limits<int>::max());
      return rate;
    }
  }
  return av_d2q(value, kMaxRateDenominator);
}

// Kilobits per second as written, in bits per second.
int64_t ParseKilobits(const std::string& option, const std::string& text) {
  const auto value = ParseDecimal(text);
  if (!value || value->first <= 0) BadValue(option, text);
  const long double bits = static_cast<long double>(value->first) * 1000 / value->second;
  if (bits < 1 || bits > 1e10) BadValue(option, text);
  return static_cast<int64_t>(std::llround(bits));
}

FrameSize ParseFrameSize(const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos) BadValue("-s", text);
  const auto width = ParseInt(std::string_view(text).substr(0, x));
  const auto height = ParseInt(std::string_view(text).substr(x + 1));
  if (!width || !height || *width <= 0 || *height <= 0 || *width > 16384 || *height > 16384) BadValue("-s", text);
  return {*width, *height};
}

AVRational ParseAspect(const std::string& text) {
  AVRational ratio{0, 0};
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    const auto width = ParseDecimal(std::string_view(text).substr(0, colon));
    const auto height = ParseDecimal(std::string_view(text).substr(colon + 1));
    if (!width || !height || width->first <= 0 || height->first <= 0) BadValue("-aspect", text);
    // (a/b) / (c/d) = (a*d) / (b*c), reduced to something a container can store.
    const long double value = static_cast<long double>(width->first) * height->second /
                              (static_cast<long double>(width->second) * height->first);
    ratio = av_d2q(static_cast<double>(value), 255);
  } else {
    const auto value = ParseDecimal(text);
    if (!value || value->first <= 0) BadValue("-aspect", text);
    ratio = av_d2q(static_cast<double>(value->first) / value->second, 255);
  }
  if (ratio.num <= 0 || ratio.den <= 0) BadValue("-aspect", text);
  return ratio;
}

int ParseBoundedInt(const std::string& option, const std::string& text, int low, int high) {
  const auto value = ParseInt(text);
  if (!value || *value < low || *value > high) BadValue(option, text);
  return *value;
}

bool IsOptionName(const std::string& arg) {
  static const char* const kNames[] = {"-y", "-i",      "-vcodec", "-acodec", "-vn", "-b", "-ab", "-s",
                                       "-r", "-aspect", "-vol",    "-ac",     "-ar", "-f", "-ss", "-t"};
  for (const char* name : kNames)
    if (arg == name) return true;
  return false;
}

}  // namespace

AVRational FitFrameRate(AVRational rate) {
  av_reduce(&rate.num, &rate.den, rate.num, rate.den, std::numeric_limits<int>::max());
  if (rate.den <= kMaxRateDenominator) return rate;
  return FitRateValue(av_q2d(rate));
}

AVRational ParseFrameRate(const std::string& text) {
  AVRational rate{0, 1};
  const size_t slash = text.find('/');
  if (slash != std::string::npos) {
    const auto num = ParseInt(std::string_view(text).substr(0, slash));
    const auto den = ParseInt(std::string_view(text).substr(slash + 1));
    if (!num || !den || *num <= 0 || *den <= 0) BadValue("-r", text);
    rate = FitFrameRate(AVRational{*num, *den});
  } else {
    const auto value = ParseDecimal(text);
    if (!value || value->first <= 0) BadValue("-r", text);
    if (value->second <= kMaxRateDenominator && value->first <= std::numeric_limits<int>::max())
      rate = AVRational{static_cast<int>(value->first), static_cast<int>(value->second)};
    else
      rate = FitRateValue(static_cast<double>(value->first) / static_cast<double>(value->second));
  }
  const double fps = av_q2d(rate);
  if (rate.num <= 0 || rate.den <= 0 || fps < 0.1 || fps > 1000) BadValue("-r", text);
  return rate;
}

std::optional<int64_t> ParseTimeText(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int64_t us = 0;
  if (av_parse_time(&us, text.c_str(), 1) < 0) return std::nullopt;
  return us;
}

EncoderOptions ParseArguments(const std::vector<std::string>& args) {
  if (args.empty()) throw EncoderError("no input or output given; usage: -i INPUT [options] OUTPUT");
  EncoderOptions options;
  // The output path is always the last argument, so names beginning with "-" are
  // safe there; an option word in its place means the output was left out.
  options.output = args.back();
  if (options.output.empty() || IsOptionName(options.output)) throw EncoderError("no output file given");

  const size_t option_count = args.size() - 1;
  bool have_input = false;
  for (size_t i = 0; i < option_count; ++i) {
    const std::string& name = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= option_count) throw EncoderError("missing value for " + name);
      return args[++i];
    };
    if (name == "-y") {
      options.overwrite = true;
    } else if (name == "-vn") {
      options.no_video = true;
    } else if (name == "-i") {
      if (have_input) throw EncoderError("only one input file is supported");
      options.input = value();
      if (options.input.empty()) throw EncoderError("empty input file name");
      have_input = true;
    } else if (name == "-vcodec") {
      options.video_codec = value();
    } else if (name == "-acodec") {
      options.audio_codec = value();
    } else if (name == "-b") {
      options.video_bitrate = ParseKilobits(name, value());
    } else if (name == "-ab") {
      options.audio_bitrate = ParseKilobits(name, value());
    } else if (name == "-s") {
      options.frame_size = ParseFrameSize(value());
    } else if (name == "-r") {
      options.frame_rate = ParseFrameRate(value());
    } else if (name == "-aspect") {
      options.aspect = ParseAspect(value());
    } else if (name == "-vol") {
      options.volume = ParseBoundedInt(name, value(), 0, 65536);
    } else if (name == "-ac") {
      options.channels = ParseBoundedInt(name, value(), 1, 8);
    } else if (name == "-ar") {
      options.sample_rate = ParseBoundedInt(name, value(), 1000, 384000);
    } else if (name == "-f") {
      options.format = value();
      if (options.format->empty()) BadValue(name, *options.format);
    } else if (name == "-ss") {
      const std::string& text = value();
      const auto start = ParseTimeText(text);
      if (!start) BadValue(name, text);
      if (*start < 0) throw EncoderError("the start position given with -ss must not be negative");
      options.start_us = start;
    } else if (name == "-t") {
      const std::string& text = value();
      const auto length = ParseTimeText(text);
      if (!length) BadValue(name, text);
      if (*length < 0) throw EncoderError("the length given with -t must not be negative");
      options.length_us = length;
    } else if (!name.empty() && name[0] == '-') {
      throw EncoderError("unknown option " + Quoted(name));
    } else {
      throw EncoderError("unexpected argument " + Quoted(name) + " before the output file");
    }
  }
  if (!have_input) throw EncoderError("no input file given (-i FILE)");
  return options;
}

}  // namespace encoder
