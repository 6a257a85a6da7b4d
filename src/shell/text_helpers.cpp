#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/common_lib.h"
#include "platform/errors.h"
#include "shell/program.h"
#include "ui/dialogs.h"

std::vector<std::string> TCommonLib::SplitText(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t pos = text.find(separator); pos != std::string::npos; pos = text.find(separator, start)) {
    parts.push_back(text.substr(start, pos - start));
    start = pos + 1;
  }
  if (start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

double TCommonLib::ParseLenientNumber(const std::string& text) {
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
  // Only digits, one point and a leading sign remain; the text must still hold a digit.
  const bool has_digit = kept.find_first_of("0123456789") != std::string::npos;
  char* end = nullptr;
  const double value = std::strtod(kept.c_str(), &end);
  if (!has_digit || end != kept.c_str() + kept.size())
    throw ConversionError("'" + kept + "' is not a valid floating point value");
  return value;
}

std::string TCommonLib::FormatFileSize(int64_t bytes) {
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

std::string TCommonLib::PadNumber(int width, int64_t value, int64_t divisor) {
  std::string text = std::to_string(value / divisor);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  return text;
}

std::string TCommonLib::FormatSeconds(int64_t seconds) {
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

bool TCommonLib::ReadTimeText(const std::string& text, int64_t& seconds) {
  const size_t colon = text.find(':');
  // Hours beyond a few thousand years are no length of a video.
  if (colon == std::string::npos || colon < 2 || colon > 8 || text.size() != colon + 6 || text[colon + 3] != ':')
    return false;
  auto digits = [&](size_t from, size_t count, int64_t& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + (text[i] - '0');
    }
    return true;
  };
  int64_t h = 0, m = 0, s = 0;
  if (!digits(0, colon, h) || !digits(colon + 1, 2, m) || !digits(colon + 4, 2, s) || m > 59 || s > 59) return false;
  seconds = h * 3600 + m * 60 + s;
  return true;
}

bool TCommonLib::ShowMessageBox(const std::string& text, int kind) const {
  if (kind < 0 || kind > 3) return false;
  program_.dialogs().Message(static_cast<ui::MessageKind>(kind), kApplicationTitle, text);
  return true;
}
