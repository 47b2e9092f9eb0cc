#pragma once
// Shared libraries loaded at run time, by full system path, with entry points
// resolved by name. The file name is whatever the caller asks for (the string
// library keeps its ".dll" name on every platform: that name is part of the
// program's interface with its data folder).
//
// Thread rules: Load may run on any thread; a Module is used by one owner but
// the entry points it hands out may be called from any thread.

#include <string_view>

#include "platform/types.h"

namespace platform {

class Module {
 public:
  Module() = default;
  ~Module();
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads the library at a full system path ("C:\Program\OvMultiLang.dll").
  // Fails with last error 126 (module not found) when the path does not
  // resolve, the file is missing or the host refuses to load it; the result
  // is then not loaded. Loading the same file twice shares one copy.
  static Module Load(std::wstring_view systemPath);

  bool IsLoaded() const { return handle_ != nullptr; }
  explicit operator bool() const { return IsLoaded(); }

  // The address of an exported entry point; null with last error 127
  // (procedure not found) when the library does not export it, or 6 when
  // nothing is loaded.
  void* Symbol(const char* name) const;

  template <class Fn>
  Fn Entry(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }

  // Unloads the library now (the destructor does it otherwise).
  void Free();

 private:
  explicit Module(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

}  // namespace platform
