// The output is written to a file of its own in the output folder and gets its
// real name only when it is complete (or cut short on request but playable), so
// a failed or killed run leaves nothing half-written behind and never destroys
// a file that -y would have replaced.
//
// The file is unnamed (O_TMPFILE) where the file system allows, and linked in
// at the end; elsewhere it takes a fresh random hidden name. Either way nothing
// that already exists in the folder is followed or reused: a planted symlink
// cannot redirect the output.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavformat/avio.h>
}

namespace encoder {

class OutputFile {
 public:
  // Checks what can be checked without writing: throws EncoderError when the
  // path names a folder, cannot be looked up (too long, a file as a folder),
  // or names an existing entry and `overwrite` is false.
  OutputFile(std::string final_path, bool overwrite);
  ~OutputFile();  // drops the file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& final_path() const { return final_path_; }
  // Empty while the file has no name of its own.
  const std::string& temp_path() const { return temp_path_; }

  // True when the output path is the input file itself.
  bool SameFileAs(const std::string& input_path) const;

  // Creates the file in the output folder; throws EncoderError when it cannot.
  // `unnamed` false skips straight to the named file (for tests of it).
  void Create(bool unnamed = true);
  int fd() const { return fd_; }

  // Gives the finished file its real name. Without overwrite, a file that
  // appeared meanwhile under that name is not replaced (EncoderError).
  void Commit();

 private:
  void CreateNamed();
  int LinkUnnamed(const std::string& name);
  void CommitNamed();

  std::string final_path_;
  std::string folder_;  // with a trailing slash, or empty for the current folder
  std::string temp_path_;
  int fd_ = -1;
  bool overwrite_;
  bool committed_ = false;
};

// Where the muxer writes: an I/O context over the output file's descriptor,
// seekable, so containers that patch their header at the end (MP4) work.
// Write errors stay in the context's `error` field, as with the library's own files.
struct FdIoCloser {
  void operator()(AVIOContext* io) const;
};
using FdIoPtr = std::unique_ptr<AVIOContext, FdIoCloser>;
FdIoPtr MakeFdIo(int fd);

}  // namespace encoder
