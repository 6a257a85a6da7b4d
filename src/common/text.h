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

// Microseconds of a time as ffmpeg takes one for a position or a length:
// "hh:mm:ss", "mm:ss" or plain seconds, each with an optional fraction of up to
// six digits ("90", "1:30", "0:00:01.5"); hours of any number of digits, minutes
// and seconds after a ":" below 60. False for anything else.
bool ParseMediaTime(const std::string& text, int64_t& microseconds);

// Microseconds of an "hh:mm:ss" time as ParseTimeText takes it, with an optional
// fraction of up to six digits ("00:00:01.25"); false for any other text.
bool ParseClockTime(const std::string& text, int64_t& microseconds);

// Microseconds as "hh:mm:ss" with the fraction, trailing zeros dropped, when
// there is one ("00:01:05.5"); negative gives "00:00:00". ParseClockTime reads it back.
std::string FormatClockTime(int64_t microseconds);

// Microseconds as plain decimal seconds, trailing zeros dropped ("3.25", "50").
std::string FormatDecimalSeconds(int64_t microseconds);

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
