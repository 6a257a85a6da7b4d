#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "common/helpers.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "shell/main_form.h"
#include "shell/program.h"
#include "shell/startup.h"

namespace {

constexpr const char* kUpdaterSettings = "UpDateSettings.ini";

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  return text.substr(begin, end - begin);
}

// "[name]" with blanks allowed around; nothing when the line is no section header.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

std::optional<std::string> KeyOf(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return std::nullopt;
  const std::string t = Trim(line);
  if (!t.empty() && t.front() == ';') return std::nullopt;
  return Trim(line.substr(0, eq));
}

std::string PercentEncodePath(const std::string& path) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::string content;
  {
    std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (in) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) content.append(buf, n);
    }
  }
  // Lines keep their own endings; new lines take the file's style.
  const std::string eol = content.find("\r\n") != std::string::npos || content.empty() ? "\r\n" : "\n";
  std::vector<std::string> lines;  // each with its ending
  for (size_t pos = 0; pos < content.size();) {
    size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) nl = content.size() - 1;
    lines.push_back(content.substr(pos, nl - pos + 1));
    pos = nl + 1;
  }
  auto body = [](const std::string& line) {
    std::string b = line;
    while (!b.empty() && (b.back() == '\n' || b.back() == '\r')) b.pop_back();
    return b;
  };
  const std::string new_line = key + "=" + value + eol;
  int section_at = -1, last_in_section = -1, key_at = -1;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const std::string b = body(lines[i]);
    if (auto name = SectionOf(b)) {
      if (section_at >= 0) break;  // the section ended
      if (SameTextAscii(*name, section)) section_at = last_in_section = i;
      continue;
    }
    if (section_at < 0) continue;
    if (!Trim(b).empty()) last_in_section = i;
    if (auto k = KeyOf(b); k && SameTextAscii(*k, key)) {
      key_at = i;
      break;
    }
  }
  if (key_at >= 0) {
    const std::string& old = lines[key_at];
    const std::string ending = old.substr(body(old).size());
    lines[key_at] = key + "=" + value + (ending.empty() ? std::string() : ending);
  } else if (section_at >= 0) {
    std::string& prev = lines[last_in_section];
    if (prev.back() != '\n') prev += eol;
    lines.insert(lines.begin() + last_in_section + 1, new_line);
  } else {
    if (!lines.empty() && lines.back().back() != '\n') lines.back() += eol;
    lines.push_back("[" + section + "]" + eol);
    lines.push_back(new_line);
  }
  std::string out;
  for (const auto& line : lines) out += line;
  // Written to a neighbour and renamed over the file, so a failed write leaves
  // the updater's settings as they were.
  const std::string temp = path + ".tmp";
  {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(temp.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size() || std::fflush(file.get()) != 0) {
      file.reset();
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

std::string CodecDownloadAddress(const std::string& app_dir) {
  return "file://" + PercentEncodePath(app_dir + platform::kHelpFile) + "#codecs";
}

TFrmCodeErrorForm::TFrmCodeErrorForm(Program& program) : program_(program) {
  BitBtn1.OnClick = [this] { Form.Hide(); };
}

void TFrmCodeErrorForm::Label2Click() {
  program_.launcher().Open(CodecDownloadAddress(program_.AppDir()));
}

void TFrmMainForm::Label3Click() {
  program_.launcher().Open(CodecDownloadAddress(program_.AppDir()));
}

void TFrmMainForm::actUpdateExecute() {
  const std::string settings = program_.AppDir() + kUpdaterSettings;
  struct stat st {};
  if (::stat(settings.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    WriteProfileString(settings, "AutoUpdate", "UpdateModalUsr", "true");
    WriteProfileString(settings, "AutoUpdate", "UpdateTodayExeced", "false");
  }
  // The updater is not ours: start it when it is there, do not wait, do not look.
  const std::string updater = program_.AppDir() + platform::kUpdater;
  if (::access(updater.c_str(), X_OK) == 0) platform::SpawnDetached(std::vector<std::string>{updater});
}
