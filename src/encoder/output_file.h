// The output is written under a temporary name in its own folder and gets its
// real name only when it is complete (or cut short on request but playable), so
// a failed run leaves nothing half-written behind and never destroys a file
// that -y would have replaced.
#pragma once

#include <string>

namespace encoder {

class OutputFile {
 public:
  // Throws EncoderError when the path names a folder, or names an existing
  // entry and `overwrite` is false.
  OutputFile(std::string final_path, bool overwrite);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& final_path() const { return final_path_; }
  const std::string& temp_path() const { return temp_path_; }

  // True when the output path is the input file itself.
  bool SameFileAs(const std::string& input_path) const;

  // Gives the finished temporary file its real name. Without overwrite, a file
  // that appeared meanwhile under that name is not replaced (EncoderError).
  void Commit();

 private:
  std::string final_path_;
  std::string temp_path_;
  bool overwrite_;
  bool committed_ = false;
};

}  // namespace encoder
