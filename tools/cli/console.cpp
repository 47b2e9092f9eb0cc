#include "tools/cli/console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/text.h"

Console::Console(std::FILE* out, std::FILE* err, std::FILE* in)
    : out_(out), err_(err), in_(in), outTty_(::isatty(::fileno(out)) == 1), inTty_(in && ::isatty(::fileno(in)) == 1) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

Console::~Console() {
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void Console::Interrupt() {
  interrupted_ = true;
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);  // full pipe: already woken
  }
}

namespace {

// The write end of the waiting question's wake pipe, for the signal handler.
std::atomic<int> g_questionWakeFd{-1};

void OnCtrlCAtQuestion(int) {
  const int fd = g_questionWakeFd.load();
  if (fd < 0) return;
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  errno = saved;
}

// Ctrl+C while a question waits, when nothing else of the process takes it
// (the job's signal watcher blocks it everywhere and waits for it itself;
// it then calls Interrupt()): for the question's time a handler wakes the
// question instead of the default action ending the process.
class QuestionInterrupt {
 public:
  explicit QuestionInterrupt(int wakeFd) {
    struct sigaction current {};
    if (wakeFd < 0 || ::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    g_questionWakeFd = wakeFd;
    struct sigaction action {};
    action.sa_handler = OnCtrlCAtQuestion;
    sigemptyset(&action.sa_mask);
    installed_ = ::sigaction(SIGINT, &action, &saved_) == 0;
  }
  ~QuestionInterrupt() {
    if (installed_) ::sigaction(SIGINT, &saved_, nullptr);
    g_questionWakeFd = -1;
  }
  QuestionInterrupt(const QuestionInterrupt&) = delete;
  QuestionInterrupt& operator=(const QuestionInterrupt&) = delete;

 private:
  struct sigaction saved_ {};
  bool installed_ = false;
};

}  // namespace

void Console::EndProgressLine() {
  if (!progressOpen_) return;
  std::fputs("\n", out_);
  progressOpen_ = false;
}

void Console::Finish() {
  std::lock_guard lock(mutex_);
  EndProgressLine();
}

void Console::Progress(const std::wstring& line) {
  std::lock_guard lock(mutex_);
  if (outTty_) {
    // Carriage return, the line, then clear whatever a longer line left.
    std::fprintf(out_, "\r%s\x1b[K", platform::AnsiFromWide(line).c_str());
    progressOpen_ = true;
  } else {
    std::fprintf(out_, "%s\n", platform::AnsiFromWide(line).c_str());
  }
  std::fflush(out_);
}

void Console::Say(const std::wstring& line) {
  std::lock_guard lock(mutex_);
  EndProgressLine();
  std::fprintf(out_, "%s\n", platform::AnsiFromWide(line).c_str());
  std::fflush(out_);
}

void Console::Complain(const std::wstring& line) {
  std::lock_guard lock(mutex_);
  EndProgressLine();
  std::fflush(out_);
  std::fprintf(err_, "kestrunex-cli: %s\n", platform::AnsiFromWide(line).c_str());
  std::fflush(err_);
}

bool Console::Ask(const std::wstring& prompt, std::string& answer) {
  std::lock_guard lock(mutex_);
  // Ctrl+C is taken before the prompt shows: a person who presses it as
  // soon as the question appears gets the question's "no", never a process
  // ended by the signal.
  const int in = in_ ? ::fileno(in_) : -1;
  std::optional<QuestionInterrupt> ctrlC;
  if (in >= 0) ctrlC.emplace(wake_[1]);
  EndProgressLine();
  std::fprintf(out_, "%s ", platform::AnsiFromWide(prompt).c_str());
  std::fflush(out_);
  answer.clear();
  if (!in_ || interrupted_) return false;
  if (in < 0) {  // a stream without a descriptor cannot be waited for
    for (int c; (c = std::fgetc(in_)) != EOF;) {
      if (c == '\n') return true;
      answer += static_cast<char>(c);
    }
    return !answer.empty();
  }
  for (;;) {
    pollfd waits[] = {{in, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (waits[1].revents) {
      interrupted_ = true;
      std::fputs("\n", out_);  // the prompt's line ends; what follows starts on its own
      std::fflush(out_);
      return false;
    }
    char c = 0;
    const ssize_t got = ::read(in, &c, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return !answer.empty();
    if (c == '\n') return true;
    answer += c;
  }
}
