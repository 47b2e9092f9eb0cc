#include "platform/invoker/invoker.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/invoker/invokerhelper.h"

namespace platform::invoker {

namespace {

constexpr std::size_t kPasswdBuffer = 16384;
constexpr int kMaxGroups = 65536;
// pkexec's variable first: under `sudo pkexec` it names the later caller.
constexpr const char* kInvokerVariables[] = {"PKEXEC_UID", "SUDO_UID"};

std::optional<unsigned> UidFrom(const char* variable) {
  const char* text = std::getenv(variable);
  if (!text || *text < '0' || *text > '9') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || *end != '\0' || value >= UINT_MAX) return std::nullopt;
  return static_cast<unsigned>(value);
}

// The user's primary group and group list, as a login would give them.
bool IdentityOf(unsigned uid, Identity& who) {
  std::string buffer(kPasswdBuffer, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
  who.uid = uid;
  who.gid = found->pw_gid;
  int count = 32;
  for (;;) {
    who.groups.resize(static_cast<std::size_t>(count));
    const int wanted = count;
    if (::getgrouplist(found->pw_name, found->pw_gid, who.groups.data(), &count) >= 0) break;
    if (count <= wanted) count = wanted * 2;
    if (count > kMaxGroups) return false;
  }
  who.groups.resize(static_cast<std::size_t>(count));
  return true;
}

// The one helper of the process, started on first use and again when the
// invoker changes (tests name several users in one process).
class Helper {
 public:
  ~Helper() { Stop(); }

  // An errno value, and the descriptor received when there is one.
  int Call(unsigned uid, const Request& request, int folder, int* received) {
    std::lock_guard<std::mutex> lock(mutex_);
    *received = -1;
    // A helper that has gone since the last request (killed from outside)
    // is started once more; one that cannot drop to the user ends again.
    for (int attempt = 0;; ++attempt) {
      if (uid != uid_ || socket_ < 0) {
        Stop();
        uid_ = uid;
        if (!Start()) return EPERM;
      }
      if (SendWithDescriptor(socket_, &request, sizeof request, folder) == static_cast<ssize_t>(sizeof request)) break;
      Stop();
      if (attempt > 0) return EPERM;
    }
    Reply reply;
    const ssize_t got = ReceiveWithDescriptor(socket_, &reply, sizeof reply, received);
    if (got != static_cast<ssize_t>(sizeof reply)) {
      // The helper ended: it could not drop to the user. Fail closed.
      if (*received >= 0) ::close(*received);
      *received = -1;
      Stop();
      return EPERM;
    }
    if (reply.error == 0 && request.op == Operation::kOpen && *received < 0) return EPROTO;
    return reply.error;
  }

 private:
  bool Start() {
    Identity who;
    if (!IdentityOf(uid_, who)) return false;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
      ::close(pair[0]);
      ::close(pair[1]);
      return false;
    }
    if (child == 0) ServeAsInvoker(pair[1], who, parent);
    ::close(pair[1]);
    socket_ = pair[0];
    pid_ = child;
    return true;
  }

  void Stop() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    if (pid_ > 0)
      while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
    pid_ = -1;
  }

  std::mutex mutex_;
  unsigned uid_ = 0;
  int socket_ = -1;
  pid_t pid_ = -1;
};

Helper& TheHelper() {
  static Helper helper;
  return helper;
}

int Ask(unsigned uid, Operation op, int folder, const std::string& name, int flags, unsigned mode) {
  Request request;
  if (name.size() >= sizeof request.name || name.find('\0') != std::string::npos) {
    errno = name.size() >= sizeof request.name ? ENAMETOOLONG : EINVAL;
    return -1;
  }
  request.op = op;
  request.flags = flags;
  request.mode = mode;
  request.hasFolder = folder >= 0 ? 1 : 0;
  std::memcpy(request.name, name.c_str(), name.size() + 1);
  int received = -1;
  const int error = TheHelper().Call(uid, request, folder, &received);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return op == Operation::kOpen ? received : 0;
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<unsigned> InvokerUid() {
  if (::geteuid() != 0) return std::nullopt;
  for (const char* variable : kInvokerVariables)
    if (auto uid = UidFrom(variable)) return *uid == 0 ? std::nullopt : uid;
  return std::nullopt;
}

int Open(const std::string& path, int flags, unsigned mode) {
  if (auto uid = InvokerUid()) return Ask(*uid, Operation::kOpen, -1, path, flags, mode);
  return ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
}

int OpenAt(int dir, const std::string& name, int flags, unsigned mode) {
  if (dir < 0) {
    errno = EBADF;
    return -1;
  }
  if (auto uid = InvokerUid()) return Ask(*uid, Operation::kOpen, dir, name, flags, mode);
  return ::openat(dir, name.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
}

bool MayWriteFolder(int dir) {
  if (auto uid = InvokerUid()) return Ask(*uid, Operation::kMayWriteFolder, dir, ".", 0, 0) == 0;
  return true;
}

bool InvokerMayWriteFolder(const std::string& folder) {
  if (!ActsForInvoker()) return true;
  const Fd dir(Open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
  if (!dir) return false;
  if (MayWriteFolder(dir.get())) return true;
  errno = EACCES;
  return false;
}

std::string DescriptorPath(int fd) {
  return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd);
}

}  // namespace platform::invoker
