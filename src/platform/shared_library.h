// A shared library loaded at run time by its full path.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
 public:
  explicit SharedLibrary(const std::string& path);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  bool Loaded() const { return handle_ != nullptr; }
  // Why it did not load (the loader's own words); empty once loaded.
  const std::string& Error() const { return error_; }
  // Address of an export; null when the library is not loaded or lacks it.
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace platform
