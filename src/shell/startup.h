// Start-up: the product information, the sibling libraries, the splash window,
// and the codec error window of the update and codec help.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/shared_library.h"
#include "ui/models.h"
#include "ui/timer_attachment.h"

class Program;
class TFrmMainForm;

// Product information, read once at start-up.
struct RecSoftInfo {
  std::string StringEntry0;
  std::string ProductName;
  std::string StringEntry2;
  std::string VersionText;
  std::string HomePageUrl;
  std::string SupportEmail;
  std::string StringEntry7;
  // Program folder with a trailing separator.
  std::string ProgramFolder;
};

// A decoded picture: rows of RGB bytes, top row first.
struct Picture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

// Decodes a JPEG held in memory; nothing when the data is not a readable JPEG.
std::optional<Picture> DecodeJpeg(const void* data, size_t size);

// Reads string-table entries and resources of Res.so while it is loaded.
class ResLibrary {
 public:
  // Entries hold at most this many characters; a longer one is cut.
  static constexpr int kMaxText = 253;

  explicit ResLibrary(const std::string& app_dir);
  bool Loaded() const;
  std::string LoadString(unsigned id) const;
  // The bytes of a named resource of a type; empty when there is none.
  std::string FindResource(const std::string& name, const std::string& type) const;

 private:
  platform::SharedLibrary library_;
};

// The splash window: the picture, two timers and the tick counter. It runs the
// initialisation 250 ms after it is shown and stays for at least two ticks.
class TFrmFlashForm {
 public:
  TFrmFlashForm(Program& program, TFrmMainForm& owner);
  ~TFrmFlashForm();
  TFrmFlashForm(const TFrmFlashForm&) = delete;
  TFrmFlashForm& operator=(const TFrmFlashForm&) = delete;

  ui::Window Form;
  Picture ImgFlash;
  int Width = 0;
  int Height = 0;
  ui::Timer Timer1;
  ui::Timer Timer2;
  int TickCount = 0;

  void FormShow();
  void Timer1Timer();
  void Timer2Timer();

 private:
  Program& program_;
  TFrmMainForm& owner_;
  ui::TimerAttachment timers_;
};

// The codec error window "Error Info", shown for a file that cannot be read.
class TFrmCodeErrorForm {
 public:
  explicit TFrmCodeErrorForm(Program& program);

  ui::Window Form{"Error Info"};
  ui::Label Label1{
      "Files reading error! Please check your files or install a new codec. You can click the link to download the "
      "latest codec."};
  ui::Label Label2{"(Click here to download)"};
  ui::Button BitBtn1{"OK"};

  // Opens the codec download page; the window stays open.
  void Label2Click();

 private:
  Program& program_;
};

// The codec download page: the codec section of the help page in the program folder.
std::string CodecDownloadAddress(const std::string& app_dir);

// Sets a key of a section in an INI file the way the platform's profile-string
// writer does: the key's line is replaced (or added at the end of its section,
// or the section added at the end of the file); every other line stays as it
// was, byte for byte. Sections and keys match without regard to letter case.
// Returns false when the file cannot be written.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);
