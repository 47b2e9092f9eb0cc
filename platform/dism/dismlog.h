#pragma once
// The servicing interface's own log: one line per call,
// "YYYY-MM-DD hh:mm:ss, Level   text", appended to the file named at
// initialisation (a system path). Lines above the level asked for are left
// out. The file is opened and closed for every line.

#include <string>

#include "platform/dism/dismapi.h"

namespace platform::dism {

enum class LogKind { Error = 0, Warning = 1, Info = 2 };

class DismLog {
 public:
  void Open(DismLogLevel level, std::wstring path);
  void Close() { path_.clear(); }
  void Write(LogKind kind, const std::wstring& text) const;

 private:
  DismLogLevel level_ = DismLogErrors;
  std::wstring path_;
};

}  // namespace platform::dism
