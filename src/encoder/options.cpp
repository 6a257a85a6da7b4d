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

std::optional<int64_t> ParseTimeOption(const std::string& option, const std::string& text, const char* what) {
  const auto time = ParseTimeText(text);
  if (!time) BadValue(option, text);
  if (*time < 0) throw EncoderError(std::string("the ") + what + " given with " + option + " must not be negative");
  return time;
}

// One option the encoders take: its name, whether a value follows, and what
// it does to the options.
struct OptionRule {
  const char* name;
  bool takes_value;
  void (*apply)(EncoderOptions& options, const std::string& name, const std::string& value);
};

using Options = EncoderOptions;
using Text = const std::string&;

const OptionRule kOptionRules[] = {
    {"-y", false, [](Options& o, Text, Text) { o.overwrite = true; }},
    {"-vn", false, [](Options& o, Text, Text) { o.no_video = true; }},
    {"-i", true,
     [](Options& o, Text, Text value) {
       if (!o.input.empty()) throw EncoderError("only one input file is supported");
       if (value.empty()) throw EncoderError("empty input file name");
       o.input = value;
     }},
    {"-vcodec", true, [](Options& o, Text, Text value) { o.video_codec = value; }},
    {"-acodec", true, [](Options& o, Text, Text value) { o.audio_codec = value; }},
    {"-b", true, [](Options& o, Text name, Text value) { o.video_bitrate = ParseKilobits(name, value); }},
    {"-ab", true, [](Options& o, Text name, Text value) { o.audio_bitrate = ParseKilobits(name, value); }},
    {"-s", true, [](Options& o, Text, Text value) { o.frame_size = ParseFrameSize(value); }},
    {"-r", true, [](Options& o, Text, Text value) { o.frame_rate = ParseFrameRate(value); }},
    {"-aspect", true, [](Options& o, Text, Text value) { o.aspect = ParseAspect(value); }},
    {"-vol", true, [](Options& o, Text name, Text value) { o.volume = ParseBoundedInt(name, value, 0, 65536); }},
    {"-ac", true, [](Options& o, Text name, Text value) { o.channels = ParseBoundedInt(name, value, 1, 8); }},
    {"-ar", true,
     [](Options& o, Text name, Text value) { o.sample_rate = ParseBoundedInt(name, value, 1000, 384000); }},
    {"-f", true,
     [](Options& o, Text name, Text value) {
       if (value.empty()) BadValue(name, value);
       o.format = value;
     }},
    {"-ss", true,
     [](Options& o, Text name, Text value) { o.start_us = ParseTimeOption(name, value, "start position"); }},
    {"-t", true, [](Options& o, Text name, Text value) { o.length_us = ParseTimeOption(name, value, "length"); }},
    {"-threads", true, [](Options& o, Text name, Text value) { o.threads = ParseBoundedInt(name, value, 0, 64); }},
};

const OptionRule* FindRule(const std::string& name) {
  for (const OptionRule& rule : kOptionRules)
    if (name == rule.name) return &rule;
  return nullptr;
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
  if (options.output.empty() || FindRule(options.output)) throw EncoderError("no output file given");

  const size_t option_count = args.size() - 1;
  for (size_t i = 0; i < option_count; ++i) {
    const std::string& name = args[i];
    const OptionRule* rule = FindRule(name);
    if (!rule && !name.empty() && name[0] == '-') throw EncoderError("unknown option " + Quoted(name));
    if (!rule) throw EncoderError("unexpected argument " + Quoted(name) + " before the output file");
    if (rule->takes_value && i + 1 >= option_count) throw EncoderError("missing value for " + name);
    rule->apply(options, name, rule->takes_value ? args[++i] : std::string());
  }
  if (options.input.empty()) throw EncoderError("no input file given (-i FILE)");
  return options;
}

}  // namespace encoder
