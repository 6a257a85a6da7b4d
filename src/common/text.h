// The program's one set of text and number helpers. Every layer above uses these,
// so that a cell, a setting and an encoder argument are read by the same rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace text {

// Parts between separators; an empty text gives none, a trailing separator adds nothing.
std::vector<std::string> SplitText(const std::string& text, char separator);

// The text without the blanks and control characters at either end.
std::string TrimBlanks(const std::string& text);

// A whole decimal number, blanks around it allowed, an optional sign; false for
// anything else and for magnitudes beyond 10^15 (far past any duration or size).
bool ParseWholeNumber(const std::string& text, int64_t& value);

// Keeps digits, the first ".", "+" and "-"; throws ConversionError when what is
// kept is no number. Reads "." as the decimal point whatever the user's locale.
double ParseLenientNumber(const std::string& text);

// Seconds of a strict "hh:mm:ss" time (hours of two or more digits, minutes and
// seconds 00 to 59); false for any other text.
bool ParseTimeText(const std::string& text, int64_t& seconds);

// Seconds as "hh:mm:ss"; hours grow past two digits, negative gives "00:00:00".
std::string FormatSeconds(int64_t seconds);

// "<n> B", "<n> KB", "<n> MB" or "<n> GB" with at most two decimals, cut not rounded.
std::string FormatFileSize(int64_t bytes);

// value / divisor in decimal, padded with zeros to the width.
std::string PadNumber(int width, int64_t value, int64_t divisor);

// The length of a range given by two "hh:mm:ss" texts, end minus start in whole
// seconds; false unless both are such times.
bool RangeSeconds(const std::string& start, const std::string& end, int64_t& seconds);

}  // namespace text
