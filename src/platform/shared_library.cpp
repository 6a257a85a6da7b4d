#include "platform/shared_library.h"

#include <dlfcn.h>

namespace platform {

SharedLibrary::SharedLibrary(const std::string& path) {
  // RTLD_LOCAL keeps the library's names out of the program's own.
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = ::dlerror();
    error_ = why ? why : "cannot load " + path;
  }
}

SharedLibrary::~SharedLibrary() {
  if (handle_) ::dlclose(handle_);
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace platform
