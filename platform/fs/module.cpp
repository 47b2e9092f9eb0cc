#include "platform/fs/module.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <string>
#include <utility>

#include "platform/lasterror.h"
#include "platform/fs/paths.h"

namespace platform {

Module::~Module() { Free(); }

Module::Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Module Module::Load(std::wstring_view systemPath) {
  std::string host;
  struct stat st;
  if (!ResolvePath(systemPath, host) || ::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return Module();
  }
  // dlopen searches the library path for a bare name; a resolved host path
  // always holds a separator, so only this file is considered.
  if (host.find('/') == std::string::npos) host = "./" + host;
  void* handle = ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return Module();
  }
  return Module(handle);
}

void* Module::Symbol(const char* name) const {
  if (!handle_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(handle_, name);
  if (!address) SetLastError(ERROR_PROC_NOT_FOUND);
  return address;
}

void Module::Free() {
  if (handle_) ::dlclose(std::exchange(handle_, nullptr));
}

}  // namespace platform
