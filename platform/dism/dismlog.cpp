#include "platform/dism/dismlog.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace platform::dism {

void DismLog::Open(DismLogLevel level, std::wstring path) {
  level_ = level;
  path_ = std::move(path);
}

void DismLog::Write(LogKind kind, const std::wstring& text) const {
  if (path_.empty() || static_cast<int>(kind) > static_cast<int>(level_)) return;
  std::string host;
  if (!ResolvePath(path_, host)) return;
  std::FILE* f = std::fopen(host.c_str(), "ab");
  if (!f) return;
  SYSTEMTIME t = GetLocalTime();
  static const char* const kNames[] = {"Error  ", "Warning", "Info   "};
  std::fprintf(f, "%04d-%02d-%02d %02d:%02d:%02d, %s DISM   %s\r\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
               t.wSecond, kNames[static_cast<int>(kind)], AnsiFromWide(text).c_str());
  std::fclose(f);
}

}  // namespace platform::dism
