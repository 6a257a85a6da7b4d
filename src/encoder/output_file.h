// The output is written to a file of its own in the output folder and gets its
// real name only when it is complete (or cut short on request but playable), so
// a failed or killed run leaves nothing half-written behind and never destroys
// a file that -y would have replaced.
//
// The file is unnamed (O_TMPFILE) where the file system allows, and linked in
// at the end; elsewhere it takes a fresh random hidden name. Either way nothing
// that already exists in the folder is followed or reused: a planted symlink
// cannot redirect the output.
//
// A caller that runs the encoder for a job reserves the output name first, with
// an empty file made by an exclusive create, and says so (kReservedEnvironment).
// Such a run replaces only that empty placeholder, even under -y: a file that
// took the name meanwhile is left alone and the output takes the next free
// "_N" name. A run cut short never takes the finished name at all: its file
// is committed as "<name>.partial.<ext>".
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

extern "C" {
#include <libavformat/avio.h>
}

namespace encoder {

// Set to "1" in the environment by a caller that reserved the output name.
inline constexpr const char* kReservedEnvironment = "EVC_RESERVED_OUTPUT";

class OutputFile {
 public:
  // Checks what can be checked without writing: throws EncoderError when the
  // path names a folder, cannot be looked up (too long, a file as a folder),
  // or names an existing entry and neither `overwrite` nor `reserved` is set.
  // With `reserved`, an empty regular file at the path is the caller's
  // placeholder, and nothing else there may be replaced.
  OutputFile(std::string final_path, bool overwrite, bool reserved = false);
  // Drops the file unless committed, and the placeholder unless replaced.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& final_path() const { return final_path_; }
  // Where the file was committed: the final path, the next free "_N" name when
  // that was taken meanwhile, or the partial name. Empty before a commit.
  const std::string& committed_path() const { return committed_path_; }
  // Empty while the file has no name of its own.
  const std::string& temp_path() const { return temp_path_; }

  // True when the output path is the input file itself.
  bool SameFileAs(const std::string& input_path) const;

  // Creates the file in the output folder; throws EncoderError when it cannot.
  // `unnamed` false skips straight to the named file (for tests of it).
  void Create(bool unnamed = true);
  int fd() const { return fd_; }

  // Gives the finished file its real name. Without overwrite, a file that
  // appeared meanwhile under that name is not replaced: a reserved run takes
  // the next free "_N" name, any other fails (EncoderError).
  void Commit();
  // Gives a file cut short its name, "<name>.partial.<ext>" or the next free
  // "_N" form of it; never replaces anything.
  void CommitPartial();

  // "<folder><base>.partial<ext>" for a final path "<folder><base><ext>".
  static std::string PartialName(const std::string& final_path);
  // "<folder><base>_<n><ext>".
  static std::string NumberedName(const std::string& path, int n);

 private:
  void CreateNamed();
  int LinkUnnamed(const std::string& name);
  // Names the file `name` without replacing anything: 0, or the error.
  int LinkNoReplace(const std::string& name);
  // Swaps the file in for the placeholder, if the placeholder is still there.
  bool ReplacePlaceholder();
  // The first of `first`, its "_1", "_2", ... names that is free, taken without
  // replacing anything.
  void CommitFirstFree(const std::string& first);
  bool IsPlaceholder(const std::string& path) const;
  void DropPlaceholder();

  std::string final_path_;
  std::string committed_path_;
  bool reserved_ = false;
  bool has_placeholder_ = false;
  dev_t placeholder_dev_ = 0;
  ino_t placeholder_ino_ = 0;
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
