#include "disk/tracelog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "disk/appfolders.h"
#include "disk/textutils.h"
#include "platform/clock.h"
#include "platform/fs/paths.h"
#include "platform/invoker/invoker.h"
#include "platform/machine/machine.h"
#include "platform/text.h"

namespace {

constexpr size_t kMessageBufferChars = 1024;
constexpr unsigned kLogMode = 0644;
// Non-blocking: a FIFO put at the log's name must not hold the line.
constexpr int kLogFlags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Fixed on the first call and kept for the life of the process; later calls
// do not look at the folder again.
const std::wstring& LogPath() {
  static const std::wstring path = FromAnsi(GetAppDataFolder() + "RAREzodav.log");
  return path;
}

// The log's folder, opened once and again only when its path names another
// folder (a test's next machine) or it was opened for another identity.
class LogFolder {
 public:
  // The folder's descriptor, or -1; the caller holds mutex().
  int Get(const std::string& host, bool asInvoker) {
    struct stat now {}, held {};
    const bool same = fd_ && host == host_ && asInvoker == asInvoker_ && ::stat(host.c_str(), &now) == 0 &&
                      ::fstat(fd_.get(), &held) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino;
    if (same) return fd_.get();
    host_ = host;
    asInvoker_ = asInvoker;
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    fd_ = platform::invoker::Fd(asInvoker ? platform::invoker::Open(host, kFolderFlags)
                                          : ::open(host.c_str(), kFolderFlags));
    if (fd_ && asInvoker && !platform::invoker::MayWriteFolder(fd_.get())) fd_ = platform::invoker::Fd();
    return fd_.get();
  }
  std::mutex& mutex() { return mutex_; }

 private:
  std::mutex mutex_;
  std::string host_;
  bool asInvoker_ = false;
  platform::invoker::Fd fd_;
};

LogFolder& TheLogFolder() {
  static LogFolder folder;
  return folder;
}

bool WriteWhole(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
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
  const size_t slash = host.rfind('/');
  if (slash == std::string::npos || slash + 1 == host.size()) return;
  const std::string folder = slash == 0 ? "/" : host.substr(0, slash);
  const std::string name = host.substr(slash + 1);
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
  const bool asInvoker = platform::CurrentMachine().InvokersPrefix();
  LogFolder& logFolder = TheLogFolder();
  std::lock_guard lock(logFolder.mutex());
  const int dir = logFolder.Get(folder, asInvoker);
  if (dir < 0) return;
  platform::invoker::Fd log(asInvoker ? platform::invoker::OpenAt(dir, name, kLogFlags, kLogMode)
                                      : ::openat(dir, name.c_str(), kLogFlags, kLogMode));
  struct stat st {};
  if (!log || ::fstat(log.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  WriteWhole(log.get(), line);
}
