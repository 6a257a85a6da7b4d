// The texts a run hands out: JSON records, names escaped for one line, commands
// quoted for a shell. Any bytes a path may hold come out as one valid line.

#include <algorithm>
#include <cstdio>

#include "cli/vtp_convert.h"

namespace cli {

namespace {

// Length of the UTF-8 sequence at `at`, 0 when the bytes there are none
// (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(at);
  if (c < 0x80) return 1;
  size_t length = 0;
  unsigned min = 0;
  unsigned value = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, min = 0x80, value = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, min = 0x800, value = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, min = 0x10000, value = c & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(at + i) & 0x3Fu);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

bool ValidUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t n = Utf8Length(text, at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

// A JSON string; bytes that are not UTF-8 become U+FFFD.
void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (size_t at = 0; at < text.size();) {
    const size_t n = Utf8Length(text, at);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (n > 1) {
      out.append(text, at, n);
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
    at += n;
  }
  out += '"';
}

// "name":"path", plus "name_base64" with the exact bytes when they are not UTF-8.
void AppendJsonPath(std::string& out, const char* name, const std::optional<std::string>& path) {
  out += std::string(",\"") + name + "\":";
  if (!path) {
    out += "null";
    return;
  }
  AppendJsonString(out, *path);
  if (!ValidUtf8(*path)) out += std::string(",\"") + name + "_base64\":\"" + Base64(*path) + "\"";
}

}  // namespace

std::string ResultJson(const FileResult& r) {
  std::string out = "{\"index\":" + std::to_string(r.index);
  AppendJsonPath(out, "source", r.source);
  AppendJsonPath(out, "output", r.output);
  out += r.planned ? ",\"status\":\"planned\"" : r.converted ? ",\"status\":\"converted\"" : ",\"status\":\"failed\"";
  if (r.planned) {
    out += ",\"command\":";
    AppendJsonString(out, r.command);
  }
  if (r.partial) out += ",\"partial\":true";
  out += ",\"reason\":";
  AppendJsonString(out, r.reason);
  out += ",\"exit_code\":" + (r.exit_code ? std::to_string(*r.exit_code) : std::string("null"));
  char tail[32];
  std::snprintf(tail, sizeof tail, ",\"seconds\":%.2f}", r.seconds);
  return out + tail;
}

std::string EscapeName(const std::string& name) {
  std::string out;
  for (size_t at = 0; at < name.size();) {
    const size_t n = Utf8Length(name, at);
    const unsigned char c = static_cast<unsigned char>(name[at]);
    if (n > 1) {
      out.append(name, at, n);
      at += n;
      continue;
    }
    ++at;
    static const char kLetters[] = "abtnvfr";
    if (c == '\\') {
      out += "\\\\";
    } else if (n == 1 && c >= 0x07 && c <= 0x0D) {
      out += '\\';
      out += kLetters[c - 0x07];
    } else if (n == 0 || c < 0x20 || c == 0x7F) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ShellQuote(const std::vector<std::string>& argv) {
  std::string out;
  for (const auto& arg : argv) {
    if (!out.empty()) out += ' ';
    const bool plain = !arg.empty() && arg.find_first_not_of(
                                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                           "0123456789_@%+=:,./-") == std::string::npos;
    const bool control = std::any_of(arg.begin(), arg.end(), [](char ch) {
      const auto c = static_cast<unsigned char>(ch);
      return c < 0x20 || c == 0x7F;
    });
    if (plain) {
      out += arg;
    } else if (control || !ValidUtf8(arg)) {
      // $'...' keeps the line one line; every byte outside printable ASCII as octal.
      out += "$'";
      for (char ch : arg) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\'' || c == '\\') {
          out += '\\';
          out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
          char octal[8];
          std::snprintf(octal, sizeof octal, "\\%03o", c);
          out += octal;
        } else {
          out += ch;
        }
      }
      out += '\'';
    } else {
      out += '\'';
      for (char ch : arg) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
      out += '\'';
    }
  }
  return out;
}

}  // namespace cli
