#include "encoder/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "encoder/encoder_error.h"

namespace encoder {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Renames without replacing an entry that exists; falls back to a hard link on
// file systems that lack the no-replace rename.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP) return -1;
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

}  // namespace

OutputFile::OutputFile(std::string final_path, bool overwrite)
    : final_path_(std::move(final_path)), overwrite_(overwrite) {
  struct stat info;
  if (lstat(final_path_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw EncoderError("the output " + Quoted(final_path_) + " is a folder");
    if (!overwrite_) throw EncoderError("the output " + Quoted(final_path_) + " already exists; give -y to replace it");
  }
  const size_t slash = final_path_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : final_path_.substr(0, slash + 1);
  // Hidden and named by process, so it neither shows up in the folder nor
  // collides with another encoder writing there.
  temp_path_ = folder + ".evc-" + std::to_string(getpid()) + ".part";
}

OutputFile::~OutputFile() {
  if (!committed_) unlink(temp_path_.c_str());
}

bool OutputFile::SameFileAs(const std::string& input_path) const {
  struct stat output_info;
  struct stat input_info;
  if (stat(final_path_.c_str(), &output_info) != 0 || stat(input_path.c_str(), &input_info) != 0) return false;
  return output_info.st_dev == input_info.st_dev && output_info.st_ino == input_info.st_ino;
}

void OutputFile::Commit() {
  const int result = overwrite_ ? rename(temp_path_.c_str(), final_path_.c_str())
                                : RenameNoReplace(temp_path_, final_path_);
  if (result != 0) {
    const int error = errno;
    if (error == EEXIST)
      throw EncoderError("the output " + Quoted(final_path_) + " already exists; give -y to replace it");
    throw EncoderError("cannot write " + Quoted(final_path_) + ": " + std::strerror(error));
  }
  committed_ = true;
}

}  // namespace encoder
