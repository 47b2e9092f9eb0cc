#include "disk/tracelog.h"

#include <cstdio>

#include "disk/appfolders.h"
#include "disk/textutils.h"
#include "platform/clock.h"
#include "platform/fs/paths.h"
#include "platform/text.h"

namespace {

constexpr size_t kMessageBufferChars = 1024;

// Fixed on the first call and kept for the life of the process; later calls
// do not look at the folder again.
const std::wstring& LogPath() {
  static const std::wstring path = FromAnsi(GetAppDataFolder() + "RAREzodav.log");
  return path;
}

}  // namespace

std::wstring TraceLogPath() { return LogPath(); }

void TraceLog(const std::wstring& message) {
  // Lines quote names from outside (files, packages, tool output): their
  // control characters are written as "\xNN" (reversible: the log loses
  // nothing but a terminal's commands), the log's own line breaks stay.
  std::wstring buffer = platform::PrintableText(message.substr(0, kMessageBufferChars - 1), true);
  std::string host;
  if (!platform::ResolvePath(LogPath(), host)) return;
  std::FILE* f = std::fopen(host.c_str(), "a+b");
  if (!f) return;
  platform::SYSTEMTIME t = platform::GetLocalTime();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  std::string line = stamp;
  line.reserve(line.size() + buffer.size() + 2);
  for (wchar_t c : buffer) {
    if (c == L'\n') line += "\r\n";
    else line += static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?';
  }
  line += "\r\n";
  std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
}
