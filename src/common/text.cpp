#include "common/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/errors.h"

namespace text {

std::vector<std::string> SplitText(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t pos = text.find(separator); pos != std::string::npos; pos = text.find(separator, start)) {
    parts.push_back(text.substr(start, pos - start));
    start = pos + 1;
  }
  if (start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

double ParseLenientNumber(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;

  std::string kept;
  bool point = false, plus = false, minus = false;
  for (size_t i = first; i < last; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      kept += c;
    } else if (c == '.' && !point) {
      point = true;
      kept += c;
    } else if (c == '+' && !plus) {
      plus = true;
      kept += c;
    } else if (c == '-' && !minus) {
      minus = true;
      kept += c;
    }
  }
  if (kept.empty() || kept == "+" || kept == "-") return 0;
  if (kept.size() >= 2) {
    std::string rest;
    for (size_t i = 1; i < kept.size(); ++i)
      if (kept[i] != '+' && kept[i] != '-') rest += kept[i];
    kept = kept.substr(0, 1) + rest;
  }
  // Only digits, one point and a leading sign remain; the text must still hold a
  // digit. Read with "." as the point whatever the user's locale says.
  const bool has_digit = kept.find_first_of("0123456789") != std::string::npos;
  const bool negative = kept[0] == '-';
  const size_t body = (kept[0] == '-' || kept[0] == '+') ? 1 : 0;
  double value = 0;
  const char* const last_char = kept.data() + kept.size();
  const auto [end, error] = std::from_chars(kept.data() + body, last_char, value, std::chars_format::fixed);
  if (!has_digit || error != std::errc() || end != last_char)
    throw ConversionError("'" + kept + "' is not a valid floating point value");
  return negative ? -value : value;
}

std::string FormatFileSize(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  double value = static_cast<double>(bytes);
  const char* unit = " B";
  if (bytes < 1073741824LL) {
    const char* units[] = {" KB", " MB", " GB"};
    for (const char* next : units) {
      if (value < 1024) break;
      value /= 1024;
      unit = next;
    }
  } else {
    value = value / 1024 / 1024 / 1024;
    unit = " GB";
  }
  value = std::trunc(value * 100) / 100;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return std::string(buf) + unit;
}

std::string PadNumber(int width, int64_t value, int64_t divisor) {
  std::string text = std::to_string(value / divisor);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

std::string FormatSeconds(int64_t seconds) {
  if (seconds < 0) return "00:00:00";
  int64_t ms = seconds * 1000;
  std::string text;
  if (ms < 3600000) {
    text = "00:";
  } else {
    text = PadNumber(2, ms, 3600000) + ":";
    ms %= 3600000;
  }
  if (ms < 60000) {
    text += "00:";
  } else {
    text += PadNumber(2, ms, 60000) + ":";
    ms %= 60000;
  }
  text += ms < 1000 ? "00" : PadNumber(2, ms, 1000);
  return text;
}

bool ParseWholeNumber(const std::string& text, int64_t& value) {
  const std::string t = TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    if (v > 100'000'000'000'000LL) return false;
    v = v * 10 + (t[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

std::string TrimBlanks(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

bool ParseTimeText(const std::string& text, int64_t& seconds) {
  const auto parts = SplitText(text, ':');
  if (parts.size() != 3 || parts[0].size() < 2 || parts[1].size() != 2 || parts[2].size() != 2) return false;
  int64_t v[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const std::string& part = parts[static_cast<size_t>(i)];
    if (part.find_first_not_of("0123456789") != std::string::npos || !ParseWholeNumber(part, v[i])) return false;
  }
  if (v[1] > 59 || v[2] > 59) return false;
  seconds = v[0] * 3600 + v[1] * 60 + v[2];
  return true;
}

namespace {

// "ss" or "ss.ffffff": whole seconds and microseconds.
bool ParseSecondsWithFraction(const std::string& text, int64_t& whole, int64_t& micros) {
  const size_t dot = text.find('.');
  const std::string digits = text.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  if (dot != std::string::npos &&
      (fraction.empty() || fraction.size() > 6 || fraction.find_first_not_of("0123456789") != std::string::npos))
    return false;
  if (!ParseWholeNumber(digits, whole)) return false;
  micros = 0;
  for (size_t i = 0; i < 6; ++i) micros = micros * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The fraction of the microseconds: "", ".5", ".25", ...
std::string FractionText(int64_t micros) {
  micros %= 1'000'000;
  if (micros == 0) return {};
  std::string fraction = PadNumber(6, micros, 1);
  while (fraction.back() == '0') fraction.pop_back();
  return "." + fraction;
}

}  // namespace

bool ParseMediaTime(const std::string& text, int64_t& microseconds) {
  const auto parts = SplitText(text, ':');
  if (parts.empty() || parts.size() > 3 || text.back() == ':') return false;
  int64_t seconds = 0, micros = 0;
  if (!ParseSecondsWithFraction(parts.back(), seconds, micros)) return false;
  if (parts.size() > 1 && (seconds > 59 || parts.back().substr(0, parts.back().find('.')).size() > 2)) return false;
  int64_t minutes = 0, hours = 0;
  if (parts.size() >= 2) {
    const std::string& m = parts[parts.size() - 2];
    if (!AllDigits(m) || m.size() > 2 || !ParseWholeNumber(m, minutes) || minutes > 59) return false;
  }
  if (parts.size() == 3 && (!AllDigits(parts[0]) || !ParseWholeNumber(parts[0], hours) || hours > 1'000'000))
    return false;
  microseconds = ((hours * 60 + minutes) * 60 + seconds) * 1'000'000 + micros;
  return true;
}

bool ParseClockTime(const std::string& text, int64_t& microseconds) {
  const size_t dot = text.find('.');
  int64_t seconds = 0, micros = 0, unused = 0;
  if (!ParseTimeText(text.substr(0, dot), seconds)) return false;
  if (dot != std::string::npos && !ParseSecondsWithFraction("0" + text.substr(dot), unused, micros)) return false;
  microseconds = seconds * 1'000'000 + micros;
  return true;
}

std::string FormatClockTime(int64_t microseconds) {
  if (microseconds < 0) return FormatSeconds(0);
  return FormatSeconds(microseconds / 1'000'000) + FractionText(microseconds);
}

std::string FormatDecimalSeconds(int64_t microseconds) {
  if (microseconds < 0) return "-" + FormatDecimalSeconds(-microseconds);
  return std::to_string(microseconds / 1'000'000) + FractionText(microseconds);
}

bool RangeSeconds(const std::string& start, const std::string& end, int64_t& seconds) {
  int64_t a = 0, b = 0;
  if (!ParseTimeText(start, a) || !ParseTimeText(end, b)) return false;
  seconds = b - a;
  return true;
}

}  // namespace text
