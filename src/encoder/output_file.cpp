#include "encoder/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "encoder/av_compat.h"
#include "encoder/encoder_error.h"

extern "C" {
#include <libavutil/mem.h>
}

namespace encoder {
namespace {

[[noreturn]] void CannotWrite(const std::string& path, int error) {
  throw EncoderError("cannot write " + Quoted(path) + ": " + std::strerror(error));
}

[[noreturn]] void AlreadyExists(const std::string& path) {
  throw EncoderError("the output " + Quoted(path) + " already exists; give -y to replace it");
}

// A hidden name nobody can guess ahead of the run.
std::string RandomName() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
    // Without the kernel's randomness the name may be guessed, but the
    // exclusive create still refuses anything that exists.
    bits = static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(time(nullptr));
  }
  char name[40];
  std::snprintf(name, sizeof name, ".evc-%016" PRIx64 ".part", bits);
  return name;
}

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

// Library I/O callbacks over a plain descriptor.
int WriteFd(void* opaque, av::WriteData data, int size) {
  const int fd = *static_cast<int*>(opaque);
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR(EIO);
    done += static_cast<int>(n);
  }
  return done;
}

int64_t SeekFd(void* opaque, int64_t offset, int whence) {
  const int fd = *static_cast<int*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat info;
    return fstat(fd, &info) == 0 ? info.st_size : AVERROR(errno);
  }
  const off_t position = lseek(fd, offset, whence & ~AVSEEK_FORCE);
  return position < 0 ? AVERROR(errno) : position;
}

}  // namespace

void FdIoCloser::operator()(AVIOContext* io) const {
  delete static_cast<int*>(io->opaque);
  av_freep(&io->buffer);
  avio_context_free(&io);
}

FdIoPtr MakeFdIo(int fd) {
  constexpr int kBufferSize = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) throw std::bad_alloc();
  auto opaque = std::make_unique<int>(fd);
  AVIOContext* io = avio_alloc_context(buffer, kBufferSize, 1, opaque.get(), nullptr, WriteFd, SeekFd);
  if (!io) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  opaque.release();
  return FdIoPtr(io);
}

OutputFile::OutputFile(std::string final_path, bool overwrite, bool reserved)
    : final_path_(std::move(final_path)), reserved_(reserved), overwrite_(overwrite) {
  struct stat info;
  if (lstat(final_path_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) throw EncoderError("the output " + Quoted(final_path_) + " is a folder");
    if (reserved_ && S_ISREG(info.st_mode) && info.st_size == 0) {
      has_placeholder_ = true;
      placeholder_dev_ = info.st_dev;
      placeholder_ino_ = info.st_ino;
    } else if (!overwrite_ && !reserved_) {
      AlreadyExists(final_path_);
    }
  } else if (errno != ENOENT) {
    // A name too long for the file system, or a plain file used as a folder:
    // better said now than after the whole conversion.
    CannotWrite(final_path_, errno);
  }
  const size_t slash = final_path_.rfind('/');
  folder_ = slash == std::string::npos ? std::string() : final_path_.substr(0, slash + 1);
}

OutputFile::~OutputFile() {
  if (!committed_ && !temp_path_.empty()) {
    // Only the file this run made: a name swapped meanwhile is not removed.
    struct stat ours;
    struct stat named;
    if (fstat(fd_, &ours) == 0 && lstat(temp_path_.c_str(), &named) == 0 && ours.st_dev == named.st_dev &&
        ours.st_ino == named.st_ino)
      unlink(temp_path_.c_str());
  }
  if (!committed_) DropPlaceholder();
  if (fd_ >= 0) close(fd_);
}

std::string OutputFile::PartialName(const std::string& final_path) {
  const size_t slash = final_path.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = final_path.rfind('.');
  if (dot == std::string::npos || dot <= name_start) return final_path + ".partial";
  return final_path.substr(0, dot) + ".partial" + final_path.substr(dot);
}

std::string OutputFile::NumberedName(const std::string& path, int n) {
  const size_t slash = path.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= name_start) dot = path.size();
  return path.substr(0, dot) + "_" + std::to_string(n) + path.substr(dot);
}

bool OutputFile::IsPlaceholder(const std::string& path) const {
  struct stat info;
  return has_placeholder_ && lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0 &&
         info.st_dev == placeholder_dev_ && info.st_ino == placeholder_ino_;
}

void OutputFile::DropPlaceholder() {
  if (IsPlaceholder(final_path_)) unlink(final_path_.c_str());
  has_placeholder_ = false;
}

bool OutputFile::SameFileAs(const std::string& input_path) const {
  struct stat output_info;
  struct stat input_info;
  if (stat(final_path_.c_str(), &output_info) != 0 || stat(input_path.c_str(), &input_info) != 0) return false;
  return output_info.st_dev == input_info.st_dev && output_info.st_ino == input_info.st_ino;
}

void OutputFile::Create(bool unnamed) {
  const std::string folder = folder_.empty() ? "." : folder_;
  if (unnamed) fd_ = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ >= 0) return;
  // File systems without unnamed files say so in several ways.
  if (unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) CannotWrite(final_path_, errno);
  CreateNamed();
}

void OutputFile::CreateNamed() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = folder_ + RandomName();
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_path_ = path;
      return;
    }
    if (errno != EEXIST) CannotWrite(final_path_, errno);
  }
  CannotWrite(final_path_, EEXIST);
}

// Links the unnamed file in under `name`: 0, or the error. The link fails
// rather than replace anything there.
int OutputFile::LinkUnnamed(const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  // Without /proc the descriptor itself can be linked, given the privilege.
  if (errno == ENOENT && linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno;
}

int OutputFile::LinkNoReplace(const std::string& name) {
  if (temp_path_.empty()) return LinkUnnamed(name);
  if (RenameNoReplace(temp_path_, name) != 0) return errno;
  temp_path_.clear();
  return 0;
}

bool OutputFile::ReplacePlaceholder() {
  if (temp_path_.empty()) {
    // An exchange takes two names: the unnamed file gets a fresh one first.
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      const std::string staging = folder_ + RandomName();
      error = LinkUnnamed(staging);
      if (error == 0) temp_path_ = staging;
    }
    if (error != 0) CannotWrite(final_path_, error);
  }
  if (renameat2(AT_FDCWD, temp_path_.c_str(), AT_FDCWD, final_path_.c_str(), RENAME_EXCHANGE) == 0) {
    // What now has the temporary name is whatever held the final one.
    if (IsPlaceholder(temp_path_)) {
      unlink(temp_path_.c_str());
      temp_path_.clear();
      has_placeholder_ = false;
      return true;
    }
    // Someone else's file took the name meanwhile: it gets it back.
    if (renameat2(AT_FDCWD, temp_path_.c_str(), AT_FDCWD, final_path_.c_str(), RENAME_EXCHANGE) != 0)
      CannotWrite(final_path_, errno);
    return false;
  }
  // File systems without the exchange: a plain rename right after the check.
  if ((errno == EINVAL || errno == ENOSYS) && IsPlaceholder(final_path_) &&
      rename(temp_path_.c_str(), final_path_.c_str()) == 0) {
    temp_path_.clear();
    has_placeholder_ = false;
    return true;
  }
  return false;
}

void OutputFile::CommitFirstFree(const std::string& first) {
  for (int n = 0; n < 10000; ++n) {
    const std::string name = n == 0 ? first : NumberedName(first, n);
    const int error = LinkNoReplace(name);
    if (error == 0) {
      committed_path_ = name;
      return;
    }
    if (error != EEXIST) CannotWrite(name, error);
  }
  CannotWrite(first, EEXIST);
}

void OutputFile::Commit() {
  if (reserved_) {
    if (has_placeholder_ && ReplacePlaceholder())
      committed_path_ = final_path_;
    else
      CommitFirstFree(final_path_);
    DropPlaceholder();
  } else if (!overwrite_) {
    const int error = LinkNoReplace(final_path_);
    if (error == EEXIST) AlreadyExists(final_path_);
    if (error != 0) CannotWrite(final_path_, error);
    committed_path_ = final_path_;
  } else if (!temp_path_.empty()) {
    if (rename(temp_path_.c_str(), final_path_.c_str()) != 0) CannotWrite(final_path_, errno);
    committed_path_ = final_path_;
  } else {
    // Replacing takes a rename, and a rename takes a name: a fresh one first.
    std::string staging;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      staging = folder_ + RandomName();
      error = LinkUnnamed(staging);
    }
    if (error != 0) CannotWrite(final_path_, error);
    if (rename(staging.c_str(), final_path_.c_str()) != 0) {
      error = errno;
      unlink(staging.c_str());
      CannotWrite(final_path_, error);
    }
    committed_path_ = final_path_;
  }
  committed_ = true;
}

void OutputFile::CommitPartial() {
  CommitFirstFree(PartialName(final_path_));
  DropPlaceholder();
  committed_ = true;
}

}  // namespace encoder
